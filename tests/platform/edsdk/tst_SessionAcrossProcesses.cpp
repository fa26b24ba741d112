// A camera has one session on the whole machine, as a USB camera does: while another process holds it,
// opening it here answers "device busy"; closing, terminating the SDK, unplugging or the holder's death
// frees it.

#include "platform/edsdk/EDSDK.h"
#include "platform/edsdk/EdsSimulator.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Waits are for conditions; their time-out only guards against a hang, however slow the machine.
constexpr int kGuardMs = 300000;

// The other process: a session-holder program started with the given environment.
class Holder
{
public:
    explicit Holder(const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationDirPath() + "/session-holder", QStringList());
    }
    ~Holder()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            if (!m_process.waitForFinished(kGuardMs))
                m_process.kill();
        }
    }

    // The next answer line, e.g. "open 00000000"; empty if the process ended first.
    QByteArray answer()
    {
        while (!m_process.canReadLine()) {
            if (m_process.state() == QProcess::NotRunning || !m_process.waitForReadyRead(kGuardMs))
                return QByteArray();
        }
        return m_process.readLine().trimmed();
    }
    QByteArray command(const QByteArray &line)
    {
        m_process.write(line + '\n');
        return answer();
    }
    // End of input: the holder returns from main with its session still open.
    bool endAndWait()
    {
        m_process.closeWriteChannel();
        return m_process.waitForFinished(kGuardMs) && m_process.exitCode() == 0;
    }
    bool killAndWait()
    {
        m_process.kill(); // SIGKILL: no clean-up of any kind
        return m_process.waitForFinished(kGuardMs);
    }

private:
    QProcess m_process;
};

} // namespace

class TestSessionAcrossProcesses : public QObject
{
    Q_OBJECT

    EdsCameraListRef m_list = nullptr;
    EdsCameraRef m_camera = nullptr;

private slots:
    void init()
    {
        QCOMPARE(EdsSimReset(nullptr), EDS_ERR_OK);
        QCOMPARE(EdsInitializeSDK(), EDS_ERR_OK);
        QCOMPARE(EdsGetCameraList(&m_list), EDS_ERR_OK);
        QCOMPARE(EdsGetChildAtIndex(m_list, 0, &m_camera), EDS_ERR_OK);
    }

    void cleanup()
    {
        EdsCloseSession(m_camera);
        EdsRelease(m_camera);
        EdsRelease(m_list);
        m_camera = m_list = nullptr;
        QCOMPARE(EdsTerminateSDK(), EDS_ERR_OK);
    }

    void busyUntilTheHolderCloses()
    {
        Holder holder;
        QCOMPARE(holder.answer(), QByteArray("open 00000000"));
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_DEVICE_BUSY);
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_DEVICE_BUSY); // asking again changes nothing
        QCOMPARE(holder.command("close"), QByteArray("close 00000000"));
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_OK);
        // And the other way round.
        QCOMPARE(holder.command("open"), QByteArray("open 00000081"));
        QCOMPARE(EdsCloseSession(m_camera), EDS_ERR_OK);
        QCOMPARE(holder.command("open"), QByteArray("open 00000000"));
    }

    void freedWhenTheHolderIsKilled()
    {
        Holder holder;
        QCOMPARE(holder.answer(), QByteArray("open 00000000"));
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_DEVICE_BUSY);
        QVERIFY(holder.killAndWait());
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_OK);
    }

    void freedWhenTheHolderExitsWithoutClosing()
    {
        Holder holder;
        QCOMPARE(holder.answer(), QByteArray("open 00000000"));
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_DEVICE_BUSY);
        QVERIFY(holder.endAndWait());
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_OK);
    }

    void freedByTerminatingTheSdk()
    {
        Holder holder;
        QCOMPARE(holder.answer(), QByteArray("open 00000000"));
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_DEVICE_BUSY);
        QCOMPARE(holder.command("terminate"), QByteArray("terminate 00000000"));
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_OK);
    }

    void freedByUnplugging()
    {
        Holder holder;
        QCOMPARE(holder.answer(), QByteArray("open 00000000"));
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_DEVICE_BUSY);
        QCOMPARE(holder.command("unplug"), QByteArray("unplug 00000000"));
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_OK);
        // For the holder the camera is gone.
        QCOMPARE(holder.command("open"), QByteArray("open 00000080"));
    }

    void busyHereKeepsTheSessionThere()
    {
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_OK);
        Holder holder;
        QCOMPARE(holder.answer(), QByteArray("open 00000081"));
        QCOMPARE(holder.command("close"), QByteArray("close 00002003")); // it never had it
        QCOMPARE(holder.command("open"), QByteArray("open 00000081"));
    }

    void otherRuntimeFoldersHaveOtherCameras()
    {
        // Parallel tests each have a runtime folder of their own, so they never share a camera.
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        Holder holder(environment);
        QCOMPARE(holder.answer(), QByteArray("open 00000000"));
        QCOMPARE(EdsOpenSession(m_camera), EDS_ERR_OK);
    }
};

QTEST_GUILESS_MAIN(TestSessionAcrossProcesses)
#include "tst_SessionAcrossProcesses.moc"
