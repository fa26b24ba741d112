// The driver's Media Foundation source under Wine, judged by Wine's own Media Foundation: Wine's regsvr32
// registers it, Wine's COM creates it, and Wine's source reader (none of them ours) reads it in
// vistrel-mf-reader, a Windows program of the tests. What it read is looked at as the DirectShow tests look
// at ffmpeg's recordings: the placeholder first, then the simulated camera's picture, each the right way up
// with red and blue in their places, at the stored size and rate; and a DirectShow application beside it gets
// the camera too.
#include "tests/wine/FfmpegUnderWine.h"
#include "tests/wine/QtRegistryValue.h"
#include "tests/wine/RecordedFrames.h"
#include "tests/wine/WinePrefix.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSize>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

const QString kDevice = QStringLiteral("VistrelToolx64");
const QString kSettingsKey = QStringLiteral("HKCU\\Software\\com.quorvane.vistrel\\Vistrel App");

// Waits until `condition` holds; the guard only ends a wait that would never end.
bool waitUntil(const std::function<bool()> &condition, int guardMs = 5 * 60 * 1000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > guardMs)
            return false;
        QTest::qWait(100);
    }
    return true;
}

// What vistrel-mf-reader printed.
struct ReaderReport
{
    QStringList native; // "RGB32 960x640 at 30", one per offered type
    QString current;    // the type the reader delivers, the same way
    // The samples' time stamps (100 ns units), of the first run and of the second, through a new source.
    QVector<qint64> times[2];
    QVector<qint64> durations[2];
    bool stopped[2] = {false, false};
    int finalReferences[2] = {-1, -1}; // of each run's source, after its final release
    bool allSucceeded = false;
};

ReaderReport parseReport(const QString &out)
{
    static const QRegularExpression type(
        QStringLiteral("^(native \\d+|current): (\\S+) (\\d+)x(\\d+) (\\d+)/(\\d+)"));
    static const QRegularExpression sample(
        QStringLiteral("^sample run (\\d) index \\d+ time (-?\\d+) duration (-?\\d+)"));
    static const QRegularExpression stopped(QStringLiteral("^run (\\d) stopped$"));
    static const QRegularExpression references(
        QStringLiteral("^run (\\d) source shut down, final reference count (\\d+)"));
    ReaderReport report;
    for (const QString &line : out.split('\n')) {
        const QString text = line.trimmed();
        QRegularExpressionMatch m;
        if ((m = type.match(text)).hasMatch()) {
            const QString described =
                QStringLiteral("%1 %2x%3 at %4")
                    .arg(m.captured(2), m.captured(3), m.captured(4))
                    .arg(m.captured(5).toDouble() / qMax(1.0, m.captured(6).toDouble()));
            if (m.captured(1) == QLatin1String("current"))
                report.current = described;
            else
                report.native << described;
        } else if ((m = sample.match(text)).hasMatch()) {
            const int run = m.captured(1).toInt();
            if (run == 1 || run == 2) {
                report.times[run - 1] << m.captured(2).toLongLong();
                report.durations[run - 1] << m.captured(3).toLongLong();
            }
        } else if ((m = stopped.match(text)).hasMatch()) {
            const int run = m.captured(1).toInt();
            if (run == 1 || run == 2)
                report.stopped[run - 1] = true;
        } else if ((m = references.match(text)).hasMatch()) {
            const int run = m.captured(1).toInt();
            if (run == 1 || run == 2)
                report.finalReferences[run - 1] = m.captured(2).toInt();
        } else if (text == QLatin1String("all calls succeeded")) {
            report.allSucceeded = true;
        }
    }
    return report;
}

// Empty when every sample lasts one frame `interval` and the time stamps rise, no faster on average than one
// frame interval each (the source never runs ahead of its rate); else what is wrong. How far they fall behind
// it depends on how busy the machine is, and is only written down.
QString checkTimes(const QVector<qint64> &times, const QVector<qint64> &durations, qint64 interval)
{
    if (times.size() < 2)
        return QStringLiteral("fewer than two time stamps");
    for (int i = 0; i < durations.size(); ++i)
        if (qAbs(durations[i] - interval) > 1)
            return QStringLiteral("sample %1 lasts %2, not the frame interval %3")
                .arg(i)
                .arg(durations[i])
                .arg(interval);
    QVector<qint64> steps;
    for (int i = 1; i < times.size(); ++i) {
        if (times[i] <= times[i - 1])
            return QStringLiteral("time stamp %1 (%2) does not rise over %3")
                .arg(i)
                .arg(times[i])
                .arg(times[i - 1]);
        steps << times[i] - times[i - 1];
    }
    const double mean = double(times.last() - times.first()) / steps.size();
    std::sort(steps.begin(), steps.end());
    qInfo() << "Time stamp steps (100 ns): min" << steps.first() << "median" << steps[steps.size() / 2]
            << "mean" << qRound64(mean) << "max" << steps.last() << "for a frame interval of" << interval;
    if (mean < 0.9 * interval)
        return QStringLiteral("the time stamps rise by %1 on average, faster than the frame interval %2")
            .arg(mean)
            .arg(interval);
    return {};
}

} // namespace

class TestMediaSourceUnderWine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void readsThePlaceholderThenTheCameraAndAgain_data();
    void readsThePlaceholderThenTheCameraAndAgain();
    void directShowAndMediaFoundationApplicationsAtOnce_data();
    void directShowAndMediaFoundationApplicationsAtOnce();

private:
    void storeSetting(const QString &name, const QVariant &value) const;
    // Starts vistrel-mf-reader writing its frames to `file` (of `size`), its first run until `stopFile`
    // exists, with `extraArgs`.
    std::unique_ptr<LiveRecording> startReader(const QString &file, QSize size, const QString &stopFile,
                                               const QStringList &extraArgs = {}) const;
    // Asks a reader started by startReader() to end its last run by making `stopFile`, and waits for it to
    // end; adds what it printed to `out`. False (with the reason in `why`) when it did not end, or not with
    // 0.
    static bool finishReader(LiveRecording &reader, const QString &stopFile, QString &out, QString &why);

    std::unique_ptr<WinePrefix> m_prefix;
    QTemporaryDir m_work;
    QString m_installed; // the Windows files, copied as an installer would
    QString m_ffmpeg;
};

void TestMediaSourceUnderWine::initTestCase()
{
    const QString bin = QStringLiteral(VISTREL_WINDOWS_BIN_DIR);
    m_ffmpeg = QStringLiteral(VISTREL_FFMPEG_EXE);
    for (const QString &file :
         {bin + "/vistrelcam.dll", bin + "/EDSDK.dll", bin + "/vistrel-mf-reader.exe", m_ffmpeg})
        QVERIFY2(QFile::exists(file), qPrintable(file + " is missing: build the Windows files first"));
    QVERIFY(m_work.isValid());

    m_prefix = std::make_unique<WinePrefix>();
    QVERIFY2(m_prefix->error().isEmpty(), qPrintable(m_prefix->error()));
    m_installed = m_prefix->copyWindowsFiles(bin);
    QVERIFY(!m_installed.isEmpty());
    // Wine's 64-bit regsvr32: the source is registered together with the filter.
    const WinePrefix::Result reg =
        m_prefix->run("regsvr32", {"/s", WinePrefix::windowsPath(m_installed + "/vistrelcam.dll")});
    QVERIFY2(reg.finished && reg.exitCode == 0, reg.err.constData());
}

void TestMediaSourceUnderWine::init()
{
    // Every case starts from the defaults: no stored settings.
    m_prefix->run("reg", {"delete", "HKCU\\Software\\com.quorvane.vistrel", "/f"});
}

void TestMediaSourceUnderWine::cleanupTestCase()
{
    m_prefix.reset();
}

void TestMediaSourceUnderWine::storeSetting(const QString &name, const QVariant &value) const
{
    const WinePrefix::Result r = m_prefix->run("reg", regAddArguments(kSettingsKey, name, value));
    QVERIFY2(r.finished && r.exitCode == 0, r.err.constData());
}

std::unique_ptr<LiveRecording> TestMediaSourceUnderWine::startReader(const QString &file, QSize size,
                                                                     const QString &stopFile,
                                                                     const QStringList &extraArgs) const
{
    QFile::remove(file);
    QFile::remove(stopFile);
    std::unique_ptr<QProcess> process = m_prefix->start(
        m_installed + "/vistrel-mf-reader.exe",
        QStringList{"--output", WinePrefix::windowsPath(file), "--until", WinePrefix::windowsPath(stopFile)} +
            extraArgs,
        {}, m_work.path());
    process->waitForStarted(60 * 1000);
    return std::make_unique<LiveRecording>(std::move(process), file, size);
}

bool TestMediaSourceUnderWine::finishReader(LiveRecording &reader, const QString &stopFile, QString &out,
                                            QString &why)
{
    QFile stop(stopFile);
    const bool asked = stop.open(QIODevice::WriteOnly);
    stop.close();
    QProcess &process = reader.process();
    const bool ended = asked && process.waitForFinished(5 * 60 * 1000);
    out += QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    if (!ended)
        why = QStringLiteral("vistrel-mf-reader did not end");
    else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        why = QStringLiteral("vistrel-mf-reader ended with %1").arg(process.exitCode());
    if (!why.isEmpty())
        why += QStringLiteral("; its words: ") + err.right(2000) + QStringLiteral("\n") + out.right(2000);
    return why.isEmpty();
}

void TestMediaSourceUnderWine::readsThePlaceholderThenTheCameraAndAgain_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("fps");
    QTest::addColumn<bool>("stored");
    QTest::newRow("defaults") << QSize(960, 640) << 30.0 << false;
    // 642 pixels make rows of 1926 bytes in rgb24, of 2568 in RGB32: the picture must stay straight.
    QTest::newRow("642x480 at 15, stored") << QSize(642, 480) << 15.0 << true;
}

void TestMediaSourceUnderWine::readsThePlaceholderThenTheCameraAndAgain()
{
    QFETCH(QSize, size);
    QFETCH(double, fps);
    QFETCH(bool, stored);
    if (stored) {
        storeSetting("videoResolution", size);
        storeSetting("videoFps", fps);
        storeSetting("customResolution", true);
    }
    const QString file = m_work.filePath("mf.rgb");
    const QString stopFirst = m_work.filePath("mf-first.stop");
    const QString stopSecond = m_work.filePath("mf-second.stop");
    QFile::remove(stopSecond);

    // Until the camera's picture has come and moved on, however long a busy machine takes; then the source
    // is stopped and shut down, and a new source is read until the camera's picture moves again.
    std::unique_ptr<LiveRecording> reader =
        startReader(file, size, stopFirst, {"--second-until", WinePrefix::windowsPath(stopSecond)});
    const auto moved = FfmpegUnderWine::cameraPictureMoved();
    QVERIFY2(waitUntil([&] { return !reader->running() || moved(*reader); }), "no moving camera picture");
    QVERIFY2(reader->running(), "vistrel-mf-reader ended early");
    QFile stop(stopFirst);
    QVERIFY(stop.open(QIODevice::WriteOnly));
    stop.close();
    // The first run's frame count, from the program's words once that run has ended.
    QString out;
    static const QRegularExpression firstRun(QStringLiteral("run 1 read (\\d+) frames"));
    int firstFrames = -1;
    QVERIFY(waitUntil([&] {
        out += QString::fromLocal8Bit(reader->process().readAllStandardOutput());
        const QRegularExpressionMatch m = firstRun.match(out);
        firstFrames = m.hasMatch() ? m.captured(1).toInt() : -1;
        return firstFrames >= 0 || !reader->running();
    }));
    QVERIFY2(waitUntil([&] {
                 const RecordedFrames::Summary again = reader->recorded(firstFrames).summary();
                 return (again.camera > 0 && again.distinctCamera >= 2) || !reader->running();
             }),
             "no moving camera picture from the second source");
    QString why;
    QVERIFY2(finishReader(*reader, stopSecond, out, why), qPrintable(why));
    QVERIFY(firstFrames >= 0);

    const ReaderReport report = parseReport(out);
    qInfo().noquote() << "Offered:" << report.native.join(", ") << "; delivered:" << report.current;
    const QString type = QString("RGB32 %1x%2 at %3").arg(size.width()).arg(size.height()).arg(fps);
    QVERIFY2(report.native.contains(type), qPrintable(report.native.join(", ")));
    QCOMPARE(report.current, type);
    QVERIFY(report.allSucceeded);

    const int frameBytes = size.width() * size.height() * 3;
    const RecordedFrames frames(reader->allFrames().left(firstFrames * frameBytes), size.width(),
                                size.height());
    const RecordedFrames::Summary s = frames.summary();
    qInfo().noquote() << "First run:" << s.describe();
    QCOMPARE(s.frames, firstFrames);
    QVERIFY2(frames.kindOf(0) == RecordedFrames::Kind::Placeholder, "the first frame is not the placeholder");
    QVERIFY2(s.camera > 0, "no camera picture arrived");
    QCOMPARE(s.other, 0);
    QCOMPARE(s.placeholderAfterCamera, 0);
    const qint64 interval = qRound64(10000000.0 / fps);
    QCOMPARE(report.times[0].size(), s.frames);
    const QString firstTimes = checkTimes(report.times[0], report.durations[0], interval);
    QVERIFY2(firstTimes.isEmpty(), qPrintable(firstTimes));
    // Stopped, shut down and released, the first source is gone: nothing of it runs on past its last
    // reference.
    QVERIFY(report.stopped[0]);
    QCOMPARE(report.finalReferences[0], 0);

    // The camera opened again by a new source and reader: its picture comes back, straight.
    const RecordedFrames::Summary r = reader->recorded(firstFrames).summary();
    qInfo().noquote() << "Second run:" << r.describe();
    QVERIFY(r.camera > 0);
    QCOMPARE(r.other, 0);
    QCOMPARE(r.placeholderAfterCamera, 0);
    QCOMPARE(report.times[1].size(), r.frames);
    const QString secondTimes = checkTimes(report.times[1], report.durations[1], interval);
    QVERIFY2(secondTimes.isEmpty(), qPrintable(secondTimes));
    QVERIFY(report.stopped[1]);
    QCOMPARE(report.finalReferences[1], 0);
}

void TestMediaSourceUnderWine::directShowAndMediaFoundationApplicationsAtOnce_data()
{
    QTest::addColumn<bool>("mediaFoundationFirst");
    QTest::newRow("Media Foundation joins DirectShow") << false;
    QTest::newRow("DirectShow joins Media Foundation") << true;
}

void TestMediaSourceUnderWine::directShowAndMediaFoundationApplicationsAtOnce()
{
    // One application holds the camera's session; the other, of the other kind, joins it and gets the same
    // camera through the shared frames, while the first is not disturbed. Small frames keep the growing files
    // small.
    QFETCH(bool, mediaFoundationFirst);
    const QSize size(320, 240);
    storeSetting("videoResolution", size);
    storeSetting("customResolution", true);
    const auto moving = [](const LiveRecording &recording) {
        return recording.recorded().summary().distinctCamera >= 2;
    };
    const QString stopFile = m_work.filePath("both.stop");
    std::unique_ptr<LiveRecording> directShow;
    std::unique_ptr<LiveRecording> mediaFoundation;
    const auto start = [&](bool media) {
        if (media)
            mediaFoundation = startReader(m_work.filePath("mf-both.rgb"), size, stopFile);
        else
            directShow = std::make_unique<LiveRecording>(*m_prefix, m_ffmpeg, kDevice,
                                                         m_work.filePath("dshow.rgb"), size);
        return media ? mediaFoundation.get() : directShow.get();
    };

    LiveRecording *first = start(mediaFoundationFirst);
    QVERIFY2(waitUntil([&] { return moving(*first) || !first->running(); }),
             "the first application got no moving camera picture");
    QVERIFY2(first->running(), "the first application ended");
    const int firstBefore = first->frames();
    LiveRecording *second = start(!mediaFoundationFirst);
    QVERIFY2(waitUntil([&] { return moving(*second) || !second->running(); }),
             "the application that joined got no moving camera picture");
    QVERIFY(waitUntil([&] { return first->frames() >= firstBefore + 30 || !first->running(); }));

    QString out;
    QString why;
    QVERIFY2(finishReader(*mediaFoundation, stopFile, out, why), qPrintable(why));
    QVERIFY2(directShow->close(), qPrintable(directShow->log()));

    const RecordedFrames::Summary mf = mediaFoundation->recorded().summary();
    const RecordedFrames::Summary ds = directShow->recorded().summary();
    qInfo().noquote() << "Media Foundation:" << mf.describe();
    qInfo().noquote() << "DirectShow:" << ds.describe();
    for (const RecordedFrames::Summary &each : {mf, ds}) {
        QVERIFY2(each.distinctCamera >= 2, qPrintable(each.describe()));
        QCOMPARE(each.other, 0);
        QCOMPARE(each.placeholderAfterCamera, 0);
    }
    // The first is not disturbed by the other joining: camera frames all along.
    const RecordedFrames::Summary firstSince = first->recorded(firstBefore).summary();
    QCOMPARE(firstSince.camera, firstSince.frames);
}

QTEST_GUILESS_MAIN(TestMediaSourceUnderWine)
#include "tst_MediaSourceUnderWine.moc"
