// A minimal in-process COM server: one class, object counting, and a DllMain that reports to the test
// program.
#include "tests/platform/windows/TestServer.h"
#include "platform/windows/DllEntry.h"

#include <atomic>
#include <dlfcn.h>
#include <new>
#include <string>

extern std::string testServerStaticMarker;

namespace {

std::atomic<LONG> liveObjects{0};
std::atomic<LONG> serverLocks{0};

class TestObject final : public ITestValue
{
public:
    TestObject() { ++liveObjects; }

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_ITestValue)
            return E_NOINTERFACE;
        *ppv = static_cast<ITestValue *>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }
    LONG STDMETHODCALLTYPE Value() override { return 42; }

private:
    ~TestObject() { --liveObjects; }
    std::atomic<ULONG> m_refs{1};
};

class TestFactory final : public IClassFactory
{
public:
    TestFactory() { ++liveObjects; }

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory)
            return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory *>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto *object = new (std::nothrow) TestObject;
        if (!object)
            return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        lock ? ++serverLocks : --serverLocks;
        return S_OK;
    }

private:
    ~TestFactory() { --liveObjects; }
    std::atomic<ULONG> m_refs{1};
};

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    auto record =
        reinterpret_cast<TestDllEventRecorder>(dlsym(RTLD_DEFAULT, VISTREL_TEST_DLL_EVENT_RECORDER));
    if (record)
        record(reason, module, testServerStaticMarker == "constructed" ? TRUE : FALSE);
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID *ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_VistrelTestObject)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto *factory = new (std::nothrow) TestFactory;
    if (!factory)
        return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow()
{
    return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}
