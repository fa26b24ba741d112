// The whole path, as a user runs it: the registration tool registers the driver, the capture client
// opens it through COM like a video application and records the simulated camera, and Debian's ffmpeg
// reads what was recorded.
#include "tools/capture-client/AviWriter.h"
#include "tools/capture-client/CaptureOptions.h"
#include "tools/capture-client/FrameClassifier.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <vector>

namespace {

QString binary(const QString &name)
{
    return qEnvironmentVariable("VISTREL_BIN_DIR") + "/" + name;
}

QString driverPath()
{
    return binary("libvistrelcam.so");
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run runTool(const QString &program, const QStringList &arguments, int timeoutMs = 180000)
{
    QProcess process;
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = "timed out";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Beyond the client's own guard for camera frames: a hang, not a slow camera.
constexpr int kCameraFramesGuardMs = int(kCameraFramesGuardSeconds + 60) * 1000;

QString describe(const Run &run)
{
    return QString("exit %1\nstdout:\n%2\nstderr:\n%3").arg(run.exitCode).arg(run.out, run.err);
}

// ffprobe's view of the video stream: key=value lines.
QMap<QString, QString> probe(const QString &avi)
{
    const Run run = runTool(QStandardPaths::findExecutable("ffprobe"),
                            {"-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                             "stream=codec_name,width,height,pix_fmt,r_frame_rate,nb_read_frames", "-of",
                             "default=nw=1", avi});
    QMap<QString, QString> values;
    for (const QString &line : run.out.split('\n', Qt::SkipEmptyParts)) {
        const int equals = line.indexOf('=');
        if (equals > 0)
            values[line.left(equals)] = line.mid(equals + 1).trimmed();
    }
    return values;
}

qlonglong summaryValue(const QString &out, const QString &pattern)
{
    const QRegularExpressionMatch match = QRegularExpression(pattern).match(out);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

bool isPlaceholder(const QImage &picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const size_t stride = AviWriter::frameBytes(rgb.width(), 1);
    std::vector<uint8_t> frame(stride * size_t(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar *src = rgb.constScanLine(y);
        uint8_t *dst = frame.data() + size_t(rgb.height() - 1 - y) * stride;
        for (int x = 0; x < rgb.width(); ++x) {
            dst[x * 3] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3];
        }
    }
    return FrameClassifier::looksLikePlaceholder(frame.data(), frame.size(), rgb.width(), rgb.height(),
                                                 stride);
}

// Signed hue step from a to b in degrees, in (-180, 180].
int hueStep(const QColor &a, const QColor &b)
{
    int step = (b.hsvHue() - a.hsvHue()) % 360;
    if (step > 180)
        step -= 360;
    if (step <= -180)
        step += 360;
    return step;
}

// The simulated camera's test picture: fully saturated colour bands whose hue rises from left to right
// by 360 degrees across the width, darkening towards the bottom. Checked away from the frame counter
// (top left) and the white block crossing the middle.
void verifyCameraPicture(const QImage &picture)
{
    const int w = picture.width();
    const int h = picture.height();
    const int row = h / 4;
    for (int i = 1; i < 11; ++i) {
        const QColor a = picture.pixelColor(w * i / 12, row);
        const QColor b = picture.pixelColor(w * (i + 1) / 12, row);
        QVERIFY2(a.hsvSaturation() > 180, qPrintable(QString("column %1: %2").arg(w * i / 12).arg(a.name())));
        // Mirrored pictures or swapped red and blue run the hue backwards.
        const int step = hueStep(a, b);
        QVERIFY2(step > 15 && step < 45,
                 qPrintable(QString("hue step %1 at column %2").arg(step).arg(w * i / 12)));
        // Upside down, the bright top and dark bottom change places.
        const QColor bottom = picture.pixelColor(w * i / 12, h - 1 - h / 20);
        QVERIFY2(a.value() > bottom.value() + 40, qPrintable(QString("top %1, bottom %2 at column %3")
                                                                 .arg(a.value())
                                                                 .arg(bottom.value())
                                                                 .arg(w * i / 12)));
    }
}

// The client's own messages; the driver's log lines share its standard error.
int clientLines(const QString &err)
{
    int lines = 0;
    for (const QString &line : err.split('\n', Qt::SkipEmptyParts))
        lines += line.startsWith("vistrelcapture: ") ? 1 : 0;
    return lines;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void recordsTheSimulatedCameraThroughTheDriver();
    void interruptedRecordingStaysPlayable();
    void failuresAreOneClearMessage();

private:
    void registerDriver();
    QTemporaryDir m_dir;
};

void TestEndToEnd::initTestCase()
{
    if (QStandardPaths::findExecutable("ffprobe").isEmpty() ||
        QStandardPaths::findExecutable("ffmpeg").isEmpty())
        QFAIL(
            "ffmpeg or ffprobe is not installed: install the Debian package ffmpeg (scripts/setup.sh does)");
    QVERIFY(m_dir.isValid());
}

void TestEndToEnd::registerDriver()
{
    const Run first = runTool(binary("vistrelregsvr"), {driverPath()});
    QVERIFY2(first.exitCode == 0 && first.out.contains("succeeded"), qPrintable(describe(first)));
    // Registering again changes nothing and succeeds the same way.
    const Run second = runTool(binary("vistrelregsvr"), {driverPath()});
    QVERIFY2(second.exitCode == 0, qPrintable(describe(second)));
    const Run list = runTool(binary("vistrelcapture"), {"--list"});
    QCOMPARE(list.out.split('\n', Qt::SkipEmptyParts).count("VistrelToolx64"), 1);
}

void TestEndToEnd::recordsTheSimulatedCameraThroughTheDriver()
{
    registerDriver();
    // The camera's live view starts 3 seconds after the filter is created; until then the placeholder.
    // The recording lasts until the camera has shown itself, however long a busy machine takes.
    const QString avi = m_dir.filePath("capture.avi");
    const QString last = m_dir.filePath("last.png");
    const Run capture = runTool(binary("vistrelcapture"),
                                {"--camera-frames", "30", "--output", avi, "--snapshot", "last:" + last},
                                kCameraFramesGuardMs);
    QVERIFY2(capture.exitCode == 0, qPrintable(describe(capture)));
    const qlonglong frames = summaryValue(capture.out, "frames delivered: (\\d+)");
    const qlonglong placeholders = summaryValue(capture.out, "frames: (\\d+) placeholder");
    const qlonglong repeated = summaryValue(capture.out, "(\\d+) repeated");
    const qlonglong fresh = summaryValue(capture.out, "(\\d+) new");
    QVERIFY2(placeholders > 0 && fresh > 0 && repeated + fresh == 30, qPrintable(capture.out));
    QCOMPARE(frames, placeholders + 30);
    QVERIFY(
        capture.out.contains(QRegularExpression("time-stamp spacing: mean [0-9.]+ ms, worst [0-9.]+ ms")));

    const QMap<QString, QString> info = probe(avi);
    QCOMPARE(info.value("codec_name"), QString("rawvideo"));
    QCOMPARE(info.value("width"), QString("960"));
    QCOMPARE(info.value("height"), QString("640"));
    QCOMPARE(info.value("pix_fmt"), QString("bgr24"));
    QCOMPARE(info.value("r_frame_rate"), QString("30/1"));
    QCOMPARE(info.value("nb_read_frames").toLongLong(), frames);

    const QString pattern = m_dir.filePath("frame_%03d.png");
    const Run decode = runTool(QStandardPaths::findExecutable("ffmpeg"),
                               {"-v", "error", "-i", avi, "-start_number", "0", pattern});
    QVERIFY2(decode.exitCode == 0, qPrintable(describe(decode)));
    const QImage first(m_dir.filePath("frame_000.png"));
    const QImage final(m_dir.filePath(QString::asprintf("frame_%03lld.png", frames - 1)));
    QCOMPARE(first.size(), QSize(960, 640));
    QVERIFY2(isPlaceholder(first), "the first frame is not the placeholder picture");
    QVERIFY2(!isPlaceholder(final), "the last frame is still the placeholder picture");
    verifyCameraPicture(final.convertToFormat(QImage::Format_RGB888));

    // The snapshot is that same last frame.
    QCOMPARE(QImage(last).convertToFormat(QImage::Format_RGB888),
             final.convertToFormat(QImage::Format_RGB888));

    const Run unregister = runTool(binary("vistrelregsvr"), {"/u", driverPath()});
    QVERIFY2(unregister.exitCode == 0, qPrintable(describe(unregister)));
    QVERIFY(!runTool(binary("vistrelcapture"), {"--list"}).out.contains("VistrelToolx64"));
}

void TestEndToEnd::interruptedRecordingStaysPlayable()
{
    registerDriver();
    const QString avi = m_dir.filePath("interrupted.avi");
    QProcess capture;
    capture.start(binary("vistrelcapture"), {"--seconds", "300", "--output", avi});
    QVERIFY(capture.waitForStarted(300000));
    // Once a few frames are in, stop it as Ctrl+C would.
    QString out;
    QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(capture.readAllStandardOutput()),
                              out.contains(QRegularExpression("recording: [1-9]\\d* frames"))),
                             300000);
    ::kill(pid_t(capture.processId()), SIGINT);
    QVERIFY(capture.waitForFinished(300000));
    out += QString::fromUtf8(capture.readAllStandardOutput());
    QCOMPARE(capture.exitCode(), 130);
    QVERIFY(QString::fromUtf8(capture.readAllStandardError()).contains("interrupted"));

    const qlonglong frames = summaryValue(out, "frames delivered: (\\d+)");
    QVERIFY2(frames > 0, qPrintable(out));
    const QMap<QString, QString> info = probe(avi);
    QCOMPARE(info.value("width"), QString("960"));
    QCOMPARE(info.value("nb_read_frames").toLongLong(), frames);
}

void TestEndToEnd::failuresAreOneClearMessage()
{
    // Nothing registered: the device is not found.
    runTool(binary("vistrelregsvr"), {"/u", driverPath()});
    Run run = runTool(binary("vistrelcapture"), {"--seconds", "1", "--output", m_dir.filePath("none.avi")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("no video input device named \"VistrelToolx64\""), qPrintable(run.err));
    QCOMPARE(clientLines(run.err), 1);
    QVERIFY(!QFile::exists(m_dir.filePath("none.avi")));

    // The registration tool on something that is not a server library.
    run = runTool(binary("vistrelregsvr"), {m_dir.filePath("missing.so")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("cannot load"), qPrintable(run.err));

    // A recording that cannot be written.
    registerDriver();
    run = runTool(binary("vistrelcapture"),
                  {"--frames", "3", "--output", m_dir.filePath("no/such/folder/x.avi")});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.contains("no/such/folder/x.avi"), qPrintable(run.err));
    QCOMPARE(clientLines(run.err), 1);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_EndToEnd.moc"
