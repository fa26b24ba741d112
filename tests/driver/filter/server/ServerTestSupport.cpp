#include "tests/driver/filter/server/ServerTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <vector>

const CLSID kVistrelCamClsid = {0x6414549A, 0xDB61, 0x4309, {0xAF, 0xA1, 0x45, 0x78, 0xE9, 0x27, 0xE2, 0x34}};
const char kVistrelCamClsidText[] = "{6414549A-DB61-4309-AFA1-4578E927E234}";

namespace {

typedef HRESULT(STDAPICALLTYPE *PlainEntry)();
typedef HRESULT(STDAPICALLTYPE *InstallEntry)(BOOL, LPCWSTR);
typedef HRESULT(STDAPICALLTYPE *ClassObjectEntry)(REFCLSID, REFIID, void **);

class OpenKey
{
public:
    OpenKey(HKEY root, const QString &key)
    {
        if (RegOpenKeyExA(root, key.toLocal8Bit().constData(), 0, KEY_READ, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~OpenKey()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

} // namespace

QString driverLibraryPath()
{
    const QString folder = qEnvironmentVariable("VISTREL_BIN_DIR");
    return QFileInfo(QDir(folder), QStringLiteral("libvistrelcam.so")).absoluteFilePath();
}

QVariant registryValue(HKEY root, const QString &key, const QString &name)
{
    OpenKey open(root, key);
    if (!open.get())
        return QVariant();
    const QByteArray valueName = name.toLocal8Bit();
    const char *namePointer = name.isEmpty() ? nullptr : valueName.constData();
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(open.get(), namePointer, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return QVariant();
    std::vector<BYTE> data(size + 2, 0);
    if (RegQueryValueExA(open.get(), namePointer, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return QVariant();
    switch (type) {
    case REG_SZ:
        return QString::fromLocal8Bit(reinterpret_cast<const char *>(data.data()));
    case REG_DWORD: {
        DWORD value = 0;
        memcpy(&value, data.data(), sizeof value);
        return uint(value);
    }
    default:
        return QByteArray(reinterpret_cast<const char *>(data.data()), int(size));
    }
}

bool registryKeyExists(HKEY root, const QString &key)
{
    return OpenKey(root, key).get() != nullptr;
}

bool deleteRegistryTree(HKEY root, const QString &key)
{
    const QByteArray path = key.toLocal8Bit();
    return RegDeleteTreeA(root, path.constData()) == ERROR_SUCCESS &&
           (RegDeleteKeyA(root, path.constData()) == ERROR_SUCCESS || !registryKeyExists(root, key));
}

DriverLibrary::DriverLibrary(const QString &path) : m_module(LoadLibraryA(path.toLocal8Bit().constData())) {}

DriverLibrary::~DriverLibrary()
{
    if (m_module)
        FreeLibrary(m_module);
}

void *DriverLibrary::entry(const char *name) const
{
    return m_module ? reinterpret_cast<void *>(GetProcAddress(m_module, name)) : nullptr;
}

HRESULT DriverLibrary::registerServer() const
{
    void *f = entry("DllRegisterServer");
    return f ? reinterpret_cast<PlainEntry>(f)() : E_NOTIMPL;
}

HRESULT DriverLibrary::unregisterServer() const
{
    void *f = entry("DllUnregisterServer");
    return f ? reinterpret_cast<PlainEntry>(f)() : E_NOTIMPL;
}

HRESULT DriverLibrary::install(BOOL install, LPCWSTR commandLine) const
{
    void *f = entry("DllInstall");
    return f ? reinterpret_cast<InstallEntry>(f)(install, commandLine) : E_NOTIMPL;
}

HRESULT DriverLibrary::getClassObject(REFCLSID clsid, REFIID iid, void **object) const
{
    void *f = entry("DllGetClassObject");
    return f ? reinterpret_cast<ClassObjectEntry>(f)(clsid, iid, object) : E_NOTIMPL;
}

HRESULT DriverLibrary::canUnloadNow() const
{
    void *f = entry("DllCanUnloadNow");
    return f ? reinterpret_cast<PlainEntry>(f)() : E_NOTIMPL;
}
