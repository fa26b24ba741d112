// The capture client's recording pieces: the AVI it writes (checked by parsing it back and, where
// Debian's ffmpeg is installed, by ffprobe/ffmpeg themselves), PNG snapshots, the placeholder
// recogniser, the summary figures and the command line.
#include "tools/capture-client/AviWriter.h"
#include "tools/capture-client/CaptureOptions.h"
#include "tools/capture-client/CaptureStatistics.h"
#include "tools/capture-client/FrameClassifier.h"
#include "tools/capture-client/PngWriter.h"
#include "tools/capture-client/Recorder.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>
#include <vector>

namespace {

struct Chunk
{
    QByteArray id;
    QByteArray listType; // for LIST and RIFF
    qint64 dataAt = 0;   // offset of the chunk's data (after id and size; after the type for lists)
    quint32 size = 0;    // the size field
};

quint32 u32At(const QByteArray &file, qint64 at)
{
    return qFromLittleEndian<quint32>(file.constData() + at);
}

// The chunks directly inside [from, to).
QVector<Chunk> chunksIn(const QByteArray &file, qint64 from, qint64 to)
{
    QVector<Chunk> chunks;
    qint64 at = from;
    while (at + 8 <= to) {
        Chunk c;
        c.id = file.mid(at, 4);
        c.size = u32At(file, at + 4);
        c.dataAt = at + 8;
        if (c.id == "LIST" || c.id == "RIFF") {
            c.listType = file.mid(at + 8, 4);
            c.dataAt = at + 12;
        }
        chunks.append(c);
        at += 8 + c.size + (c.size & 1);
    }
    return chunks;
}

Chunk find(const QVector<Chunk> &chunks, const QByteArray &id, const QByteArray &listType = {})
{
    for (const Chunk &c : chunks) {
        if (c.id == id && c.listType == listType)
            return c;
    }
    return Chunk();
}

std::vector<uint8_t> patternFrame(int width, int height, int seed)
{
    std::vector<uint8_t> frame(AviWriter::frameBytes(width, height));
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i * 7 + seed * 31);
    return frame;
}

// Frame in capture layout (bottom-up, BGR, padded rows) from a top-down picture.
std::vector<uint8_t> toCaptureFrame(const QImage &picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const size_t stride = AviWriter::frameBytes(rgb.width(), 1);
    std::vector<uint8_t> frame(stride * static_cast<size_t>(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar *src = rgb.constScanLine(y);
        uint8_t *dst = frame.data() + static_cast<size_t>(rgb.height() - 1 - y) * stride;
        for (int x = 0; x < rgb.width(); ++x) {
            dst[x * 3] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3];
        }
    }
    return frame;
}

QString ffmpegTool(const char *name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

} // namespace

class TestCaptureRecording : public QObject
{
    Q_OBJECT

private slots:
    void aviLayoutReadsBack();
    void aviRate_data();
    void aviRate();
    void aviDecodesWithFfmpeg();
    void aviStaysValidWhenNotFinished();
    void aviRefusesBadInput();
    void aviReportsDiskFull();
    void pngRoundTrip();
    void pngFailureLeavesNothing();
    void placeholderRecognised_data();
    void placeholderRecognised();
    void classifierCountsRepeats();
    void statisticsSummary();
    void recorderWritesRequestedSnapshots();
    void recorderReportsWhatItCouldNotWrite();
    void options_data();
    void options();

private:
    QTemporaryDir m_dir;
};

void TestCaptureRecording::aviLayoutReadsBack()
{
    // 5 pixels wide: rows of 15 bytes padded to 16.
    const int width = 5, height = 3;
    const QString path = m_dir.filePath("layout.avi");
    AviWriter writer;
    QVERIFY2(writer.open(path.toStdString(), width, height, 333333), writer.errorString().c_str());
    QCOMPARE(writer.frameSize(), size_t(48));
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(patternFrame(width, height, i));
        QVERIFY(writer.writeFrame(frames.back().data(), frames.back().size()));
    }
    QVERIFY2(writer.finish(), writer.errorString().c_str());
    QVERIFY(!writer.isOpen());

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray avi = file.readAll();
    const QVector<Chunk> top = chunksIn(avi, 0, avi.size());
    QCOMPARE(top.size(), 1);
    QCOMPARE(top[0].listType, QByteArray("AVI "));
    QCOMPARE(qint64(top[0].size), avi.size() - 8);

    const QVector<Chunk> riff = chunksIn(avi, 12, avi.size());
    const Chunk hdrl = find(riff, "LIST", "hdrl");
    const Chunk movi = find(riff, "LIST", "movi");
    const Chunk idx1 = find(riff, "idx1");
    QVERIFY(!hdrl.id.isEmpty() && !movi.id.isEmpty() && !idx1.id.isEmpty());

    const QVector<Chunk> header = chunksIn(avi, hdrl.dataAt, hdrl.dataAt + hdrl.size - 4);
    const Chunk avih = find(header, "avih");
    QCOMPARE(avih.size, 56u);
    QCOMPARE(u32At(avi, avih.dataAt), 33333u);            // microseconds per frame
    QCOMPARE(u32At(avi, avih.dataAt + 12) & 0x10, 0x10u); // has index
    QCOMPARE(u32At(avi, avih.dataAt + 16), 3u);           // total frames
    QCOMPARE(u32At(avi, avih.dataAt + 24), 1u);           // streams
    QCOMPARE(u32At(avi, avih.dataAt + 32), 5u);
    QCOMPARE(u32At(avi, avih.dataAt + 36), 3u);

    const Chunk strl = find(header, "LIST", "strl");
    const QVector<Chunk> stream = chunksIn(avi, strl.dataAt, strl.dataAt + strl.size - 4);
    const Chunk strh = find(stream, "strh");
    QCOMPARE(avi.mid(strh.dataAt, 4), QByteArray("vids"));
    QCOMPARE(u32At(avi, strh.dataAt + 20), 1u);  // scale
    QCOMPARE(u32At(avi, strh.dataAt + 24), 30u); // rate
    QCOMPARE(u32At(avi, strh.dataAt + 32), 3u);  // length
    const Chunk strf = find(stream, "strf");
    QCOMPARE(strf.size, 40u);
    QCOMPARE(u32At(avi, strf.dataAt), 40u);
    QCOMPARE(qint32(u32At(avi, strf.dataAt + 4)), 5);
    QCOMPARE(qint32(u32At(avi, strf.dataAt + 8)), 3); // positive: bottom-up
    QCOMPARE(qFromLittleEndian<quint16>(avi.constData() + strf.dataAt + 14), quint16(24));
    QCOMPARE(u32At(avi, strf.dataAt + 16), 0u); // BI_RGB
    QCOMPARE(u32At(avi, strf.dataAt + 20), 48u);

    const QVector<Chunk> data = chunksIn(avi, movi.dataAt, movi.dataAt + movi.size - 4);
    QCOMPARE(data.size(), 3);
    QCOMPARE(idx1.size, 3u * 16);
    const qint64 moviFourcc = movi.dataAt - 4;
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(data[i].id, QByteArray("00db"));
        QCOMPARE(data[i].size, 48u);
        QCOMPARE(avi.mid(data[i].dataAt, 48),
                 QByteArray(reinterpret_cast<const char *>(frames[i].data()), 48));
        const qint64 entry = idx1.dataAt + i * 16;
        QCOMPARE(avi.mid(entry, 4), QByteArray("00db"));
        QCOMPARE(u32At(avi, entry + 4), 0x10u); // key frame
        QCOMPARE(moviFourcc + u32At(avi, entry + 8), data[i].dataAt - 8);
        QCOMPARE(u32At(avi, entry + 12), 48u);
    }
}

void TestCaptureRecording::aviRate_data()
{
    QTest::addColumn<qint64>("interval");
    QTest::addColumn<quint32>("rate");
    QTest::addColumn<quint32>("scale");
    QTest::newRow("30 fps, truncated interval") << qint64(333333) << 30u << 1u;
    QTest::newRow("25 fps") << qint64(400000) << 25u << 1u;
    QTest::newRow("15 fps") << qint64(666666) << 15u << 1u;
    QTest::newRow("10 fps") << qint64(1000000) << 10u << 1u;
    QTest::newRow("29.97 fps") << qint64(333667) << 30000u << 1001u;
    QTest::newRow("81 fps") << qint64(123456) << 81u << 1u;
    QTest::newRow("odd interval kept exactly") << qint64(123000) << 10000000u << 123000u;
}

void TestCaptureRecording::aviRate()
{
    QFETCH(qint64, interval);
    QFETCH(quint32, rate);
    QFETCH(quint32, scale);
    uint32_t gotRate = 0, gotScale = 0;
    AviWriter::rateForInterval(interval, &gotRate, &gotScale);
    QCOMPARE(gotRate, rate);
    QCOMPARE(gotScale, scale);
}

void TestCaptureRecording::aviDecodesWithFfmpeg()
{
    const QString ffprobe = ffmpegTool("ffprobe");
    const QString ffmpeg = ffmpegTool("ffmpeg");
    if (ffprobe.isEmpty() || ffmpeg.isEmpty())
        QFAIL(
            "ffmpeg or ffprobe is not installed: install the Debian package ffmpeg (scripts/setup.sh does)");

    // Odd width: rows are padded, and a reader that ignores the padding shears the picture.
    QImage picture(7, 5, QImage::Format_RGB888);
    picture.fill(QColor(128, 128, 128));
    picture.setPixelColor(0, 0, Qt::red);
    picture.setPixelColor(6, 0, Qt::green);
    picture.setPixelColor(0, 4, Qt::blue);
    picture.setPixelColor(6, 4, Qt::white);
    QImage second = picture;
    second.invertPixels();

    const QString path = m_dir.filePath("decode.avi");
    AviWriter writer;
    QVERIFY(writer.open(path.toStdString(), 7, 5, 400000));
    for (const QImage &image : {picture, second}) {
        const std::vector<uint8_t> frame = toCaptureFrame(image);
        QVERIFY(writer.writeFrame(frame.data(), frame.size()));
    }
    QVERIFY(writer.finish());

    QProcess probe;
    probe.start(ffprobe,
                {"-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                 "stream=width,height,pix_fmt,r_frame_rate,nb_read_frames", "-of", "default=nw=1", path});
    QVERIFY(probe.waitForFinished(300000));
    const QString info = QString::fromUtf8(probe.readAllStandardOutput());
    QCOMPARE(probe.exitCode(), 0);
    for (const char *expected :
         {"width=7", "height=5", "pix_fmt=bgr24", "r_frame_rate=25/1", "nb_read_frames=2"})
        QVERIFY2(info.contains(QLatin1String(expected)), qPrintable(info));

    QProcess decode;
    decode.start(ffmpeg,
                 {"-v", "error", "-i", path, "-start_number", "0", m_dir.filePath("decoded_%03d.png")});
    QVERIFY(decode.waitForFinished(300000));
    QCOMPARE(decode.exitCode(), 0);
    const QImage first = QImage(m_dir.filePath("decoded_000.png")).convertToFormat(QImage::Format_RGB888);
    const QImage other = QImage(m_dir.filePath("decoded_001.png")).convertToFormat(QImage::Format_RGB888);
    QCOMPARE(first, picture);
    QCOMPARE(other, second);
}

void TestCaptureRecording::aviStaysValidWhenNotFinished()
{
    // A recording that ends without finish() (an early return, an exception unwinding) still
    // leaves a complete file: the destructor finishes it.
    const QString path = m_dir.filePath("dropped.avi");
    {
        AviWriter writer;
        QVERIFY(writer.open(path.toStdString(), 4, 2, 333333));
        const std::vector<uint8_t> frame = patternFrame(4, 2, 1);
        QVERIFY(writer.writeFrame(frame.data(), frame.size()));
        QVERIFY(writer.writeFrame(frame.data(), frame.size()));
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray avi = file.readAll();
    QCOMPARE(qint64(u32At(avi, 4)), avi.size() - 8);
    QCOMPARE(u32At(avi, 48), 2u);
    const QVector<Chunk> riff = chunksIn(avi, 12, avi.size());
    QCOMPARE(find(riff, "idx1").size, 2u * 16);
}

void TestCaptureRecording::aviRefusesBadInput()
{
    AviWriter writer;
    QVERIFY(!writer.open(m_dir.filePath("bad.avi").toStdString(), 0, 480, 333333));
    QVERIFY(!writer.errorString().empty());
    AviWriter zeroRate;
    QVERIFY(!zeroRate.open(m_dir.filePath("bad.avi").toStdString(), 640, 480, 0));
    AviWriter noFolder;
    QVERIFY(!noFolder.open(m_dir.filePath("missing/folder/x.avi").toStdString(), 640, 480, 333333));
    QVERIFY2(noFolder.errorString().find("missing/folder/x.avi") != std::string::npos,
             noFolder.errorString().c_str());
}

void TestCaptureRecording::aviReportsDiskFull()
{
    // Only the real device: a plain file of that name would be overwritten, not refused.
    struct stat info;
    if (::stat("/dev/full", &info) != 0 || !S_ISCHR(info.st_mode))
        QFAIL("no /dev/full device on this system: the test needs a Linux /dev with it (as Debian has)");
    AviWriter writer;
    QVERIFY(!writer.open("/dev/full", 640, 480, 333333));
    QVERIFY2(writer.errorString().find("No space left") != std::string::npos, writer.errorString().c_str());
    QVERIFY(!writer.isOpen());
}

void TestCaptureRecording::pngRoundTrip()
{
    QImage picture(5, 3, QImage::Format_RGB888);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            picture.setPixelColor(x, y, QColor(x * 50, y * 100, 255 - x * 40));
    }
    const std::vector<uint8_t> frame = toCaptureFrame(picture);
    const QString path = m_dir.filePath("snapshot.png");
    std::string error;
    QVERIFY2(writeBgrBottomUpPng(path.toStdString(), frame.data(), 5, 3, AviWriter::frameBytes(5, 1), &error),
             error.c_str());
    const QImage read(path);
    QVERIFY(!read.isNull());
    QCOMPARE(read.convertToFormat(QImage::Format_RGB888), picture);
    QVERIFY(!QFile::exists(path + ".part"));
}

void TestCaptureRecording::pngFailureLeavesNothing()
{
    std::vector<uint8_t> frame(16 * 2, 0);
    std::string error;
    const QString path = m_dir.filePath("nowhere/snapshot.png");
    QVERIFY(!writeBgrBottomUpPng(path.toStdString(), frame.data(), 4, 2, 16, &error));
    QVERIFY2(error.find("nowhere") != std::string::npos, error.c_str());
    QVERIFY(!writeBgrBottomUpPng(m_dir.filePath("x.png").toStdString(), nullptr, 4, 2, 16, &error));
    QVERIFY(!QFile::exists(m_dir.filePath("x.png")));
}

void TestCaptureRecording::placeholderRecognised_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("placeholder");
    QTest::newRow("placeholder at 960x640") << "placeholder" << QSize(960, 640) << true;
    QTest::newRow("placeholder at 640x480") << "placeholder" << QSize(640, 480) << true;
    QTest::newRow("placeholder at 1366x768") << "placeholder" << QSize(1366, 768) << true;
    QTest::newRow("placeholder upside down") << "flipped" << QSize(960, 640) << false;
    QTest::newRow("placeholder with red and blue swapped") << "swapped" << QSize(960, 640) << false;
    QTest::newRow("black") << "black" << QSize(960, 640) << false;
    QTest::newRow("grey gradient") << "gradient" << QSize(960, 640) << false;
}

void TestCaptureRecording::placeholderRecognised()
{
    QFETCH(QString, picture);
    QFETCH(QSize, size);
    QFETCH(bool, placeholder);

    const QString source = qEnvironmentVariable("VISTREL_SOURCE_DIR", QStringLiteral(VISTREL_SOURCE_DIR));
    const QImage original(source + "/driver/capture/resources/placeholder.png");
    QVERIFY2(!original.isNull(), "the placeholder picture is missing from the source tree");
    QImage image = original.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (picture == "flipped")
        image = image.mirrored(false, true);
    else if (picture == "swapped")
        image = image.convertToFormat(QImage::Format_RGB888).rgbSwapped();
    else if (picture == "black")
        image.fill(Qt::black);
    else if (picture == "gradient") {
        image = QImage(size, QImage::Format_RGB888);
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x)
                image.setPixelColor(x, y, QColor::fromHsv(0, 0, 255 * x / size.width()));
        }
    }
    const std::vector<uint8_t> frame = toCaptureFrame(image);
    const size_t stride = AviWriter::frameBytes(size.width(), 1);
    QCOMPARE(FrameClassifier::looksLikePlaceholder(frame.data(), frame.size(), size.width(), size.height(),
                                                   stride),
             placeholder);
    // A buffer shorter than the picture is never read past its end.
    QVERIFY(!FrameClassifier::looksLikePlaceholder(frame.data(), frame.size() - 1, size.width(),
                                                   size.height(), stride));
}

void TestCaptureRecording::classifierCountsRepeats()
{
    const int width = 32, height = 16;
    const size_t stride = AviWriter::frameBytes(width, 1);
    FrameClassifier classifier(width, height, stride);
    const std::vector<uint8_t> a = patternFrame(width, height, 1);
    const std::vector<uint8_t> b = patternFrame(width, height, 2);
    QCOMPARE(classifier.classify(a.data(), a.size()), FrameKind::New);
    QCOMPARE(classifier.classify(a.data(), a.size()), FrameKind::Repeated);
    QCOMPARE(classifier.classify(b.data(), b.size()), FrameKind::New);
    QCOMPARE(classifier.classify(a.data(), a.size()), FrameKind::New);
    QCOMPARE(classifier.classify(a.data(), a.size()), FrameKind::Repeated);
}

void TestCaptureRecording::statisticsSummary()
{
    CaptureStatistics stats;
    QCOMPARE(stats.measuredRate(), 0.0);
    // Start times 0, 33.3, 66.7, 110 ms; the third sample carried no time.
    stats.addFrame(FrameKind::Placeholder, 10.0, int64_t(0));
    stats.addFrame(FrameKind::Placeholder, 10.5, int64_t(333333));
    stats.addFrame(FrameKind::New, 11.0, std::nullopt);
    stats.addFrame(FrameKind::Repeated, 11.5, int64_t(666666));
    stats.addFrame(FrameKind::New, 12.0, int64_t(1100000));
    QCOMPARE(stats.frames(), 5ull);
    QCOMPARE(stats.placeholderFrames(), 2ull);
    QCOMPARE(stats.repeatedFrames(), 1ull);
    QCOMPARE(stats.newFrames(), 2ull);
    QCOMPARE(stats.measuredRate(), 2.0);
    QVERIFY(qAbs(stats.meanSpacingMs() - 110.0 / 3) < 1e-6);
    QVERIFY(qAbs(stats.worstSpacingMs() - 43.3334) < 1e-6);
    const std::vector<std::string> lines = stats.summaryLines();
    QCOMPARE(lines.size(), size_t(4));
    QCOMPARE(QString::fromStdString(lines[0]), QString("frames delivered: 5"));
    QCOMPARE(QString::fromStdString(lines[3]), QString("frames: 2 placeholder, 1 repeated, 2 new"));
}

void TestCaptureRecording::recorderWritesRequestedSnapshots()
{
    const int width = 6, height = 4;
    const QString avi = m_dir.filePath("recorder.avi");
    Recorder recorder({width, height, 400000}, avi.toStdString(),
                      {{1, m_dir.filePath("second.png").toStdString()},
                       {SnapshotRequest::kLastFrame, m_dir.filePath("last.png").toStdString()}});
    QVERIFY(recorder.start());
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 4; ++i) {
        QImage picture(width, height, QImage::Format_RGB888);
        picture.fill(QColor(i * 60, 255 - i * 60, 17 * i));
        frames.push_back(toCaptureFrame(picture));
        QVERIFY(recorder.addFrame(frames.back().data(), frames.back().size(), i * 0.04, int64_t(i) * 400000));
    }
    QVERIFY2(recorder.finish(), recorder.errorString().c_str());
    QCOMPARE(recorder.statistics().frames(), 4ull);
    QCOMPARE(recorder.statistics().newFrames(), 4ull);
    QCOMPARE(QImage(m_dir.filePath("second.png")).pixelColor(0, 0), QColor(60, 195, 17));
    QCOMPARE(QImage(m_dir.filePath("last.png")).pixelColor(5, 3), QColor(180, 75, 51));
    QFile file(avi);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(u32At(file.readAll(), 48), 4u);
}

void TestCaptureRecording::recorderReportsWhatItCouldNotWrite()
{
    // A snapshot of a frame that never came is an error that names the file.
    Recorder shortRun({4, 2, 333333}, m_dir.filePath("short.avi").toStdString(),
                      {{10, m_dir.filePath("ten.png").toStdString()}});
    QVERIFY(shortRun.start());
    const std::vector<uint8_t> frame = patternFrame(4, 2, 5);
    QVERIFY(shortRun.addFrame(frame.data(), frame.size(), 0, std::nullopt));
    QVERIFY(!shortRun.finish());
    QVERIFY2(shortRun.errorString().find("ten.png") != std::string::npos, shortRun.errorString().c_str());
    QVERIFY(!QFile::exists(m_dir.filePath("ten.png")));

    // A sample of the wrong size stops the recording; what came before stays in a valid file.
    const QString avi = m_dir.filePath("broken.avi");
    Recorder broken({4, 2, 333333}, avi.toStdString(), {});
    QVERIFY(broken.start());
    QVERIFY(broken.addFrame(frame.data(), frame.size(), 0, std::nullopt));
    QVERIFY(!broken.addFrame(frame.data(), frame.size() / 2, 0.1, std::nullopt));
    QVERIFY(!broken.addFrame(frame.data(), frame.size(), 0.2, std::nullopt));
    QVERIFY(!broken.finish());
    QVERIFY(!broken.errorString().empty());
    QFile file(avi);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(u32At(bytes, 48), 1u);
    QCOMPARE(qint64(u32At(bytes, 4)), bytes.size() - 8);

    Recorder unwritable({4, 2, 333333}, m_dir.filePath("missing/x.avi").toStdString(), {});
    QVERIFY(!unwritable.start());
    QVERIFY2(unwritable.errorString().find("missing/x.avi") != std::string::npos,
             unwritable.errorString().c_str());
}

void TestCaptureRecording::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("device");
    QTest::addColumn<quint64>("frames");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("snapshots");
    QTest::addColumn<quint64>("cameraFrames");

    QTest::newRow("defaults") << QStringList() << true << "VistrelToolx64" << 0ull << 5.0 << 0 << 0ull;
    QTest::newRow("frames only") << QStringList{"--frames", "90"} << true << "VistrelToolx64" << 90ull << 0.0
                                 << 0 << 0ull;
    QTest::newRow("both limits, = form") << QStringList{"--frames=10", "--seconds=2.5", "--device=Other cam"}
                                         << true << "Other cam" << 10ull << 2.5 << 0 << 0ull;
    QTest::newRow("snapshots") << QStringList{"-s", "12:a.png", "--snapshot", "last:b.png"} << true
                               << "VistrelToolx64" << 0ull << 5.0 << 2 << 0ull;
    QTest::newRow("camera frames, no time limit")
        << QStringList{"-c", "30"} << true << "VistrelToolx64" << 0ull << 0.0 << 0 << 30ull;
    QTest::newRow("zero camera frames")
        << QStringList{"--camera-frames=0"} << false << "" << 0ull << 0.0 << 0 << 0ull;
    QTest::newRow("zero frames") << QStringList{"--frames", "0"} << false << "" << 0ull << 0.0 << 0 << 0ull;
    QTest::newRow("negative seconds") << QStringList{"-t", "-1"} << false << "" << 0ull << 0.0 << 0 << 0ull;
    QTest::newRow("seconds not a number")
        << QStringList{"-t", "5s"} << false << "" << 0ull << 0.0 << 0 << 0ull;
    QTest::newRow("missing value") << QStringList{"--device"} << false << "" << 0ull << 0.0 << 0 << 0ull;
    QTest::newRow("snapshot without file")
        << QStringList{"-s", "3:"} << false << "" << 0ull << 0.0 << 0 << 0ull;
    QTest::newRow("unknown option") << QStringList{"--colour"} << false << "" << 0ull << 0.0 << 0 << 0ull;
}

void TestCaptureRecording::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, valid);
    std::vector<QByteArray> storage{"vistrelcapture"};
    for (const QString &argument : arguments)
        storage.push_back(argument.toUtf8());
    std::vector<const char *> argv;
    for (const QByteArray &a : storage)
        argv.push_back(a.constData());

    CaptureOptions parsed;
    std::string error;
    const bool ok = parseCaptureOptions(static_cast<int>(argv.size()), argv.data(), &parsed, &error);
    QCOMPARE(ok, valid);
    if (!valid) {
        QVERIFY(!error.empty());
        return;
    }
    QFETCH(QString, device);
    QFETCH(quint64, frames);
    QFETCH(double, seconds);
    QFETCH(int, snapshots);
    QFETCH(quint64, cameraFrames);
    QCOMPARE(QString::fromStdString(parsed.device), device);
    QCOMPARE(quint64(parsed.cameraFrames), cameraFrames);
    QCOMPARE(quint64(parsed.frames), frames);
    QCOMPARE(parsed.seconds, seconds);
    QCOMPARE(int(parsed.snapshots.size()), snapshots);
    if (snapshots == 2) {
        QCOMPARE(parsed.snapshots[0].frame, int64_t(12));
        QCOMPARE(parsed.snapshots[1].frame, SnapshotRequest::kLastFrame);
        QCOMPARE(QString::fromStdString(parsed.snapshots[1].path), QString("b.png"));
    }
}

QTEST_GUILESS_MAIN(TestCaptureRecording)
#include "tst_CaptureRecording.moc"
