// Internal: a class factory over a built-in class's create function, for CoGetClassObject.
#pragma once

#include "platform/windows/ComBuiltin.h"

#include <atomic>

namespace vistrel::win32 {

class BuiltinClassFactory final : public IClassFactory
{
public:
    explicit BuiltinClassFactory(CoBuiltinCreateFunction create) : m_create(create) {}

    STDMETHODIMP QueryInterface(REFIID riid, void **ppvObject) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    ~BuiltinClassFactory() = default;

    CoBuiltinCreateFunction m_create;
    std::atomic<ULONG> m_refCount{1};
};

} // namespace vistrel::win32
