// The standard handles: a program asks whether its output is a console (to draw a progress line) and must
// get no for a pipe or a file, as on Windows.
#include "platform/windows/win32.h"

#include <QtTest>
#include <pty.h>
#include <unistd.h>

class TestWindowsConsole : public QObject
{
    Q_OBJECT

private slots:
    void consoleModeOnlyForATerminal()
    {
        // Standard input is borrowed for the test: the test's own output stays where ctest reads it.
        const int savedInput = dup(0);
        QVERIFY(savedInput >= 0);
        int controller = -1, terminal = -1;
        QCOMPARE(openpty(&controller, &terminal, nullptr, nullptr, nullptr), 0);
        int pipeEnds[2];
        QCOMPARE(pipe(pipeEnds), 0);

        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        DWORD mode = 0xdeadbeef;
        QVERIFY(dup2(terminal, 0) == 0);
        const BOOL onTerminal = GetConsoleMode(input, &mode);
        const DWORD terminalMode = mode;
        QVERIFY(dup2(pipeEnds[0], 0) == 0);
        mode = 0xdeadbeef;
        const BOOL onPipe = GetConsoleMode(input, &mode);
        const DWORD pipeError = GetLastError();
        dup2(savedInput, 0);
        for (int fd : {savedInput, controller, terminal, pipeEnds[0], pipeEnds[1]})
            close(fd);

        QVERIFY(onTerminal);
        QVERIFY(terminalMode != 0xdeadbeef);
        QVERIFY(!onPipe);
        QCOMPARE(mode, DWORD(0xdeadbeef));
        QCOMPARE(pipeError, DWORD(ERROR_INVALID_HANDLE));
    }

    void otherHandlesAreNoConsole()
    {
        QCOMPARE(GetStdHandle(DWORD(-13)), INVALID_HANDLE_VALUE);
        DWORD mode = 0;
        QVERIFY(!GetConsoleMode(INVALID_HANDLE_VALUE, &mode));
        QVERIFY(!GetConsoleMode(nullptr, &mode));
        QVERIFY(!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), nullptr));
    }
};

QTEST_GUILESS_MAIN(TestWindowsConsole)
#include "tst_WindowsConsole.moc"
