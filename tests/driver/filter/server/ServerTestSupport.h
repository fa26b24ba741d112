// Shared by the server tests: the driver library loaded the way a caller loads it, and the registry read
// back the way an application reads it.
#pragma once

#include "platform/windows/win32.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

// The driver's class as applications know it.
extern const CLSID kVistrelCamClsid;
extern const char kVistrelCamClsidText[];

QString driverLibraryPath();

// A REG_SZ value as QString, REG_DWORD as uint, REG_BINARY as QByteArray; invalid when absent.
QVariant registryValue(HKEY root, const QString &key, const QString &name = QString());
bool registryKeyExists(HKEY root, const QString &key);
bool deleteRegistryTree(HKEY root, const QString &key);

// The loaded driver library and its exports.
class DriverLibrary
{
public:
    explicit DriverLibrary(const QString &path = driverLibraryPath());
    ~DriverLibrary();
    DriverLibrary(const DriverLibrary &) = delete;
    DriverLibrary &operator=(const DriverLibrary &) = delete;

    bool isLoaded() const { return m_module != nullptr; }
    HRESULT registerServer() const;
    HRESULT unregisterServer() const;
    HRESULT install(BOOL install, LPCWSTR commandLine) const;
    HRESULT getClassObject(REFCLSID clsid, REFIID iid, void **object) const;
    HRESULT canUnloadNow() const;
    void *entry(const char *name) const;

private:
    HMODULE m_module = nullptr;
};
