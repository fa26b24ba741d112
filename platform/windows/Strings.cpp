// Code-page conversion between UTF-8 (which stands in for the ANSI code page too) and wide strings,
// plus the lstr* helpers. Wide characters are whole code points here; UTF-16 surrogate pairs are accepted.
#include "platform/windows/win32.h"

#include <cwchar>
#include <cwctype>
#include <string>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool knownCodePage(UINT codePage)
{
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

// Decodes one UTF-8 sequence at `in`; false (and one byte consumed) for an invalid one.
bool decodeUtf8(const unsigned char *in, size_t available, char32_t &codePoint, size_t &used)
{
    const unsigned char lead = in[0];
    size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        used = 1;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, codePoint = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, codePoint = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, codePoint = lead & 0x07, minimum = 0x10000;
    } else {
        used = 1;
        return false;
    }
    used = 1;
    if (available < length)
        return false;
    for (size_t i = 1; i < length; ++i) {
        if ((in[i] & 0xC0) != 0x80)
            return false;
        codePoint = (codePoint << 6) | (in[i] & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return false;
    used = length;
    return true;
}

void encodeUtf8(char32_t c, std::string &out)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar)
{
    if (!knownCodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 ||
        cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // -1: up to and including the terminator.
    const size_t length =
        cbMultiByte == -1 ? std::char_traits<char>::length(lpMultiByteStr) + 1 : size_t(cbMultiByte);
    const auto *in = reinterpret_cast<const unsigned char *>(lpMultiByteStr);
    std::wstring out;
    out.reserve(length);
    for (size_t pos = 0; pos < length;) {
        char32_t c = 0;
        size_t used = 0;
        if (!decodeUtf8(in + pos, length - pos, c, used)) {
            if (dwFlags & MB_ERR_INVALID_CHARS) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            c = kReplacement;
        }
        out += wchar_t(c);
        pos += used;
    }
    if (cchWideChar == 0)
        return int(out.size());
    if (out.size() > size_t(cchWideChar)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::wmemcpy(lpWideCharStr, out.data(), out.size());
    return int(out.size());
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar)
{
    if (!knownCodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 ||
        cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr) ||
        (CodePage == CP_UTF8 && (lpDefaultChar || lpUsedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length = cchWideChar == -1 ? std::wcslen(lpWideCharStr) + 1 : size_t(cchWideChar);
    std::string out;
    out.reserve(length);
    bool usedDefault = false;
    for (size_t pos = 0; pos < length; ++pos) {
        char32_t c = char32_t(lpWideCharStr[pos]);
        if (c >= 0xD800 && c <= 0xDBFF && pos + 1 < length && char32_t(lpWideCharStr[pos + 1]) >= 0xDC00 &&
            char32_t(lpWideCharStr[pos + 1]) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(lpWideCharStr[pos + 1]) - 0xDC00);
            ++pos;
        }
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            if (dwFlags & WC_ERR_INVALID_CHARS) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            usedDefault = true;
            if (lpDefaultChar) {
                out += *lpDefaultChar;
                continue;
            }
            c = kReplacement;
        }
        encodeUtf8(c, out);
    }
    if (lpUsedDefaultChar)
        *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    if (cbMultiByte == 0)
        return int(out.size());
    if (out.size() > size_t(cbMultiByte)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::char_traits<char>::copy(lpMultiByteStr, out.data(), out.size());
    return int(out.size());
}

int lstrlenA(LPCSTR lpString)
{
    return lpString ? int(std::char_traits<char>::length(lpString)) : 0;
}

int lstrlenW(LPCWSTR lpString)
{
    return lpString ? int(std::wcslen(lpString)) : 0;
}

LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2)
{
    if (!lpString1 || !lpString2)
        return nullptr;
    return std::wcscpy(lpString1, lpString2);
}

LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength)
{
    if (!lpString1 || !lpString2 || iMaxLength <= 0)
        return nullptr;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i)
        lpString1[i] = lpString2[i];
    lpString1[i] = L'\0';
    return lpString1;
}

int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2)
{
    const int c = std::wcscmp(lpString1 ? lpString1 : L"", lpString2 ? lpString2 : L"");
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2)
{
    const wchar_t *a = lpString1 ? lpString1 : L"";
    const wchar_t *b = lpString2 ? lpString2 : L"";
    for (;; ++a, ++b) {
        const wint_t ca = std::towlower(wint_t(*a));
        const wint_t cb = std::towlower(wint_t(*b));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (!*a)
            return 0;
    }
}
