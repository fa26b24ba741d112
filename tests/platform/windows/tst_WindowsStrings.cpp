// Code-page conversion: UTF-8 (also standing in for the ANSI code page) to wide and back.
#include "platform/windows/win32.h"

#include <QtTest>
#include <string>

class TestWin32Strings : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void sizesAndBuffers();
    void invalidInput_data();
    void invalidInput();
};

void TestWin32Strings::roundTrip_data()
{
    QTest::addColumn<UINT>("codePage");
    QTest::addColumn<QByteArray>("utf8");
    QTest::newRow("ascii, ANSI page") << UINT(CP_ACP) << QByteArray("C:\\drivers\\vistrelcam.dll");
    QTest::newRow("accents") << UINT(CP_UTF8) << QByteArray("caf\xc3\xa9 \xc3\xbc");
    QTest::newRow("CJK") << UINT(CP_UTF8) << QByteArray("\xe4\xb8\xad\xe6\x96\x87");
    QTest::newRow("outside the BMP") << UINT(CP_ACP) << QByteArray("\xf0\x9f\x98\x80");
}

void TestWin32Strings::roundTrip()
{
    QFETCH(UINT, codePage);
    QFETCH(QByteArray, utf8);
    // -1: the terminator is converted and counted.
    const int wideSize = MultiByteToWideChar(codePage, 0, utf8.constData(), -1, nullptr, 0);
    QCOMPARE(wideSize, QString::fromUtf8(utf8).toStdWString().size() + 1);
    std::wstring wide(size_t(wideSize), L'x');
    QCOMPARE(MultiByteToWideChar(codePage, 0, utf8.constData(), -1, &wide[0], wideSize), wideSize);
    QCOMPARE(QString::fromWCharArray(wide.c_str()), QString::fromUtf8(utf8));

    const int narrowSize = WideCharToMultiByte(codePage, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    QCOMPARE(narrowSize, utf8.size() + 1);
    QByteArray back(narrowSize, 'x');
    QCOMPARE(WideCharToMultiByte(codePage, 0, wide.c_str(), -1, back.data(), narrowSize, nullptr, nullptr),
             narrowSize);
    QCOMPARE(back, utf8 + '\0');
}

void TestWin32Strings::sizesAndBuffers()
{
    wchar_t small[3] = {L'#', L'#', L'#'};
    SetLastError(ERROR_SUCCESS);
    QCOMPARE(MultiByteToWideChar(CP_UTF8, 0, "abcdef", -1, small, 3), 0);
    QCOMPARE(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    // An explicit length converts no terminator.
    QCOMPARE(MultiByteToWideChar(CP_UTF8, 0, "abcdef", 3, small, 3), 3);
    QCOMPARE(small[2], L'c');

    // A UTF-16 surrogate pair, as Windows code may write, becomes one character.
    const wchar_t pair[] = {wchar_t(0xD83D), wchar_t(0xDE00), 0};
    char narrow[8] = {};
    QCOMPARE(WideCharToMultiByte(CP_UTF8, 0, pair, -1, narrow, sizeof(narrow), nullptr, nullptr), 5);
    QCOMPARE(QByteArray(narrow), QByteArray("\xf0\x9f\x98\x80"));
    QCOMPARE(lstrlenW(nullptr), 0);
    QCOMPARE(lstrcmpiW(L"InprocServer32", L"INPROCSERVER32"), 0);
}

void TestWin32Strings::invalidInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("stray continuation") << QByteArray("a\x80z");
    QTest::newRow("truncated sequence") << QByteArray("a\xe4\xb8");
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf");
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80");
}

void TestWin32Strings::invalidInput()
{
    QFETCH(QByteArray, bytes);
    wchar_t wide[16];
    SetLastError(ERROR_SUCCESS);
    QCOMPARE(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.constData(), bytes.size(), wide, 16),
             0);
    QCOMPARE(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
    // Without the flag, bad bytes become U+FFFD rather than being dropped or read past.
    const int converted = MultiByteToWideChar(CP_UTF8, 0, bytes.constData(), bytes.size(), wide, 16);
    QVERIFY(converted > 0);
    QVERIFY(std::wstring(wide, size_t(converted)).find(wchar_t(0xFFFD)) != std::wstring::npos);
}

QTEST_GUILESS_MAIN(TestWin32Strings)
#include "tst_WindowsStrings.moc"
