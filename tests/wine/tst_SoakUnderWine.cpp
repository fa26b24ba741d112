// The fault-injection soak built for Windows, under Wine: the driver registered with Wine's regsvr32 and
// streamed through Wine's COM and DirectShow, while the soak unplugs the simulated camera, injects SDK
// errors and damaged frames, pauses, stops and reconfigures the graph, starts client processes beside it and
// kills the one holding the camera (TerminateProcess), at random from a fixed seed. The
// soak judges the run itself (gaps, stalls, memory, what is left at the end); this test checks its verdict
// and prints its figures.
#include "tests/wine/WinePrefix.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

class TestSoakUnderWine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void shortSoakPasses();

private:
    std::unique_ptr<WinePrefix> m_prefix;
    QString m_installed; // the Windows files, copied as an installer would
};

void TestSoakUnderWine::initTestCase()
{
    const QString bin = QStringLiteral(VISTREL_WINDOWS_BIN_DIR);
    for (const char *name : {"vistrelcam.dll", "EDSDK.dll", "vistrelsoak.exe"})
        QVERIFY2(QFile::exists(bin + "/" + name),
                 qPrintable(bin + "/" + name + " is missing: build the Windows files first"));

    m_prefix = std::make_unique<WinePrefix>();
    QVERIFY2(m_prefix->error().isEmpty(), qPrintable(m_prefix->error()));

    m_installed = m_prefix->copyWindowsFiles(bin);
    QVERIFY(!m_installed.isEmpty());

    // Registered under the same path the soak runs from, so that COM and the soak load one driver module.
    const WinePrefix::Result reg =
        m_prefix->run("regsvr32", {"/s", WinePrefix::windowsPath(m_installed + "/vistrelcam.dll")});
    QVERIFY2(reg.finished && reg.exitCode == 0, reg.err.constData());
}

void TestSoakUnderWine::cleanupTestCase()
{
    m_prefix.reset();
}

void TestSoakUnderWine::shortSoakPasses()
{
    // Two minutes of faults; the guard only ends a soak that hangs past its own deadlock detection. Windows
    // keeps no figure of a thread's wait for a CPU, so a gap is reported and only a stalled stream fails.
    const WinePrefix::Result soak = m_prefix->run(
        WinePrefix::windowsPath(m_installed + "/vistrelsoak.exe"),
        {"--seconds", "120", "--seed", "20261207", "--gaps", "stall", "--clients", "2", "--kill-holder"}, {},
        {}, 20 * 60 * 1000);
    const QString out = QString::fromLocal8Bit(soak.out);
    for (const QString &line : out.split('\n', Qt::SkipEmptyParts))
        qInfo().noquote() << line.trimmed();
    for (const QString &line : QString::fromLocal8Bit(soak.err).split('\n', Qt::SkipEmptyParts))
        if (line.startsWith("vistrelsoak:"))
            qInfo().noquote() << "stderr:" << line.trimmed();

    QVERIFY2(soak.finished, "the soak hung");
    QVERIFY2(soak.exitCode == 0, qPrintable(QString("the soak ended with %1:\n%2")
                                                .arg(soak.exitCode)
                                                .arg(QString::fromLocal8Bit(soak.err.right(4000)))));
    // The verdict and the figures it rests on.
    QVERIFY(out.contains("vistrelsoak: passed"));
    for (const char *figure :
         {"faults injected:", "client actions:", "samples delivered:", "longest gap while running:",
          "gaps over 1000 ms:", "memory: after warm-up",
          "at the end:", "client processes:", "hand-over, kill to another process holding the session:"})
        QVERIFY2(out.contains(figure), figure);
    QVERIFY(out.contains("DllCanUnloadNow S_OK"));
}

QTEST_GUILESS_MAIN(TestSoakUnderWine)
#include "tst_SoakUnderWine.moc"
