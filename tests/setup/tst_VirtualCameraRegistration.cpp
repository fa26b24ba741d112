// The virtual camera commands where Windows cannot have the camera: no mfsensorgroup.dll at all (as under
// Wine), or one without the virtual camera functions (as on Windows 10). Both are outcomes, not failures.
// The calls Windows 11 gets are checked under Wine against a recording stand-in (tst_VirtualCameraUnderWine).
#include "setup/VirtualCameraRegistration.h"

#include <QtTest>

using Registration = VirtualCameraRegistration;
Q_DECLARE_METATYPE(Registration::Action)
Q_DECLARE_METATYPE(Registration::Result)

class TestVirtualCameraRegistration : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Registration::setLibraryNameForTest(L"mfsensorgroup.dll"); }

    void sourceIdIsTheMediaSourcesClass()
    {
        QCOMPARE(Registration::sourceId(), QStringLiteral("{613DFA2E-AFB2-40B0-A66C-18134BBACBE6}"));
    }

    void withoutTheLibraryNothingIsWrong()
    {
        const Registration::Outcome added = Registration::add();
        QCOMPARE(added.result, Registration::Result::NotSupported);
        QCOMPARE(added.hr, 0u);
        QCOMPARE(added.line,
                 Registration::describe(Registration::Action::Add, Registration::Result::NotSupported));
        QCOMPARE(Registration::exitCode(added.result), 0);

        const Registration::Outcome removed = Registration::remove();
        QCOMPARE(removed.result, Registration::Result::NotSupported);
        QVERIFY2(removed.line.contains("none to remove"), qPrintable(removed.line));
    }

    void aLibraryWithoutTheFunctionsIsNoSupport()
    {
        // Any library of ours lacks them, as Windows 10's mfsensorgroup.dll does.
        const QString library = qEnvironmentVariable("VISTREL_BIN_DIR") + "/libvistrel_windows.so";
        QVERIFY(QFile::exists(library));
        const std::wstring name = library.toStdWString();
        Registration::setLibraryNameForTest(name.c_str());
        QCOMPARE(Registration::add().result, Registration::Result::NotSupported);
        QCOMPARE(Registration::remove().result, Registration::Result::NotSupported);
    }

    void eachOutcomeIsOneClearLine_data()
    {
        QTest::addColumn<Registration::Action>("action");
        QTest::addColumn<Registration::Result>("result");
        QTest::addColumn<uint>("hr");
        QTest::addColumn<QStringList>("says");
        QTest::addColumn<int>("exitCode");
        using A = Registration::Action;
        using R = Registration::Result;
        QTest::newRow("added") << A::Add << R::Added << 0u
                               << QStringList{"Added the Windows virtual camera \"Vistrel\""} << 0;
        QTest::newRow("removed") << A::Remove << R::Removed << 0u
                                 << QStringList{"Removed the Windows virtual camera \"Vistrel\""} << 0;
        QTest::newRow("not supported") << A::Add << R::NotSupported << 0u
                                       << QStringList{"cannot add Media Foundation virtual cameras",
                                                      "Windows 11", "DirectShow camera is unaffected"}
                                       << 0;
        QTest::newRow("no administrator")
            << A::Add << R::AccessDenied << 0x80070005u
            << QStringList{"could not be added", "needs an administrator", "MFCreateVirtualCamera",
                           "E_ACCESSDENIED (0x80070005)", "DirectShow camera is unaffected"}
            << 1;
        QTest::newRow("failed removal") << A::Remove << R::Failed << 0x80004005u
                                        << QStringList{"could not be removed", "E_FAIL (0x80004005)"} << 1;
    }

    void eachOutcomeIsOneClearLine()
    {
        QFETCH(Registration::Action, action);
        QFETCH(Registration::Result, result);
        QFETCH(uint, hr);
        QFETCH(QStringList, says);
        QFETCH(int, exitCode);
        const QString line = Registration::describe(action, result, hr,
                                                    hr ? QStringLiteral("MFCreateVirtualCamera") : QString());
        QVERIFY2(!line.contains('\n'), qPrintable(line));
        for (const QString &text : says)
            QVERIFY2(line.contains(text), qPrintable(line + " lacks: " + text));
        // Removal is when the DirectShow camera goes too: no word of it being unaffected.
        if (action == Registration::Action::Remove)
            QVERIFY2(!line.contains("DirectShow"), qPrintable(line));
        QCOMPARE(Registration::exitCode(result), exitCode);
    }
};

QTEST_GUILESS_MAIN(TestVirtualCameraRegistration)
#include "tst_VirtualCameraRegistration.moc"
