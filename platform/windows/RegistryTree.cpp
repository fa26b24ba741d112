#include "platform/windows/RegistryTree.h"
#include "platform/windows/Module.h"

#include <cwctype>
#include <set>
#include <sstream>

namespace vistrel::win32 {

namespace {

const char *const kHeader = "VistrelRegistry\t1";
const char *const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                  "HKEY_USERS"};

std::string escape(const std::string &utf8)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : utf8) {
        if (c < 0x20 || c == 0x7F || c == '%') {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool unescape(const std::string &text, std::string &out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0)
            return false;
        out += char(high * 16 + low);
        i += 2;
    }
    return true;
}

bool isStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// String data that is whole, valid wide characters is written as readable text; anything else as hex.
bool dataAsText(const RegistryValue &value, std::string &text)
{
    if (!isStringType(value.type) || value.data.size() % sizeof(wchar_t) != 0)
        return false;
    std::wstring wide(value.data.size() / sizeof(wchar_t), L'\0');
    std::copy(value.data.begin(), value.data.end(), reinterpret_cast<BYTE *>(&wide[0]));
    text.clear();
    for (wchar_t c : wide) {
        const char32_t code = char32_t(c);
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
    }
    if (!wide.empty()) {
        const int size =
            WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
        text.resize(size_t(size));
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), &text[0], size, nullptr, nullptr);
    }
    return true;
}

std::vector<std::string> splitTabs(const std::string &line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

bool parseName(const std::string &field, std::wstring &name)
{
    std::string utf8;
    if (!unescape(field, utf8))
        return false;
    name = utf8ToWide(utf8);
    // Names reach the API as terminated strings, so one holding a NUL can only come from damage; taken
    // in, it would be cut short when written back and merge with another key or vanish.
    return name.find(L'\0') == std::wstring::npos;
}

void serializeKey(const RegistryKey &key, std::vector<std::string> &path, std::ostringstream &out)
{
    out << 'K';
    for (const std::string &part : path)
        out << '\t' << part;
    out << '\n';
    for (const RegistryValue &value : key.values) {
        out << "V\t" << value.type << '\t' << escape(wideToUtf8(value.name.c_str())) << '\t';
        std::string text;
        if (dataAsText(value, text)) {
            out << "s:" << escape(text);
        } else {
            static const char digits[] = "0123456789abcdef";
            out << "x:";
            for (BYTE b : value.data)
                out << digits[b >> 4] << digits[b & 15];
        }
        out << '\n';
    }
    for (const auto &entry : key.subkeys) {
        path.push_back(escape(wideToUtf8(entry.second->name.c_str())));
        serializeKey(*entry.second, path, out);
        path.pop_back();
    }
}

bool parseValue(const std::vector<std::string> &fields, RegistryValue &value)
{
    if (fields.size() != 4 || fields[1].empty() || fields[1].size() > 10 ||
        fields[1].find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long type = std::stoull(fields[1]);
    if (type > 0xFFFFFFFFull)
        return false;
    value.type = DWORD(type);
    if (!parseName(fields[2], value.name))
        return false;
    const std::string &data = fields[3];
    if (data.compare(0, 2, "s:") == 0) {
        std::string text;
        if (!unescape(data.substr(2), text))
            return false;
        const std::wstring wide = utf8ToWide(text);
        const auto *bytes = reinterpret_cast<const BYTE *>(wide.data());
        value.data.assign(bytes, bytes + wide.size() * sizeof(wchar_t));
        return true;
    }
    if (data.compare(0, 2, "x:") == 0 && data.size() % 2 == 0) {
        value.data.clear();
        for (size_t i = 2; i < data.size(); i += 2) {
            const int high = hexDigit(data[i]);
            const int low = hexDigit(data[i + 1]);
            if (high < 0 || low < 0)
                return false;
            value.data.push_back(BYTE(high * 16 + low));
        }
        return true;
    }
    return false;
}

} // namespace

std::wstring foldedName(const std::wstring &name)
{
    std::wstring folded = name;
    for (wchar_t &c : folded)
        c = wchar_t(std::towupper(wint_t(c)));
    return folded;
}

RegistryKey *RegistryKey::subkey(const std::wstring &name) const
{
    auto found = subkeys.find(foldedName(name));
    return found == subkeys.end() ? nullptr : found->second.get();
}

RegistryKey &RegistryKey::createSubkey(const std::wstring &name)
{
    std::unique_ptr<RegistryKey> &slot = subkeys[foldedName(name)];
    if (!slot) {
        slot = std::make_unique<RegistryKey>();
        slot->name = name;
    }
    return *slot;
}

bool sameName(const std::wstring &a, const std::wstring &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(wint_t(a[i])) != std::towupper(wint_t(b[i])))
            return false;
    }
    return true;
}

RegistryValue *RegistryKey::value(const std::wstring &name)
{
    for (RegistryValue &value : values) {
        if (sameName(value.name, name))
            return &value;
    }
    return nullptr;
}

std::string RegistryTree::serialize() const
{
    std::ostringstream out;
    out << kHeader << '\n';
    out << "# Written by the Vistrel platform layer; see RegistryTree.h for the format.\n";
    std::vector<std::string> path;
    for (int root = 0; root < int(RegistryRoot::Count); ++root) {
        path.assign(1, kRootNames[root]);
        serializeKey(roots[root], path, out);
    }
    out << "End\n";
    return out.str();
}

bool RegistryTree::parse(const std::string &text)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kHeader)
        return false;
    RegistryKey *current = nullptr;
    std::set<std::wstring> currentValueNames; // folded; a name written twice is damage
    bool ended = false;
    while (std::getline(in, line)) {
        if (ended)
            return false; // nothing may follow the end marker
        if (line == "End") {
            ended = true;
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> fields = splitTabs(line);
        if (fields[0] == "K" && fields.size() >= 2) {
            int root = 0;
            while (root < int(RegistryRoot::Count) && fields[1] != kRootNames[root])
                ++root;
            if (root == int(RegistryRoot::Count))
                return false;
            current = &roots[root];
            for (size_t i = 2; i < fields.size(); ++i) {
                std::wstring name;
                if (!parseName(fields[i], name) || name.empty())
                    return false;
                current = &current->createSubkey(name);
            }
            // A key may be listed again; its values so far still count, so that a name given twice
            // is caught as damage rather than kept twice (and refused when the file is next read).
            currentValueNames.clear();
            for (const RegistryValue &value : current->values)
                currentValueNames.insert(foldedName(value.name));
        } else if (fields[0] == "V" && current) {
            RegistryValue value;
            if (!parseValue(fields, value))
                return false;
            if (!currentValueNames.insert(foldedName(value.name)).second)
                return false;
            current->values.push_back(std::move(value));
        } else {
            return false;
        }
    }
    return ended;
}

} // namespace vistrel::win32
