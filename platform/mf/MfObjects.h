// Bookkeeping shared by the stand-in's COM objects: reference counts, and a process-wide count of live
// objects behind VistrelMfLiveObjects, so that tests can prove that nothing was leaked.
#pragma once

#include "platform/mf/mfidl.h"

#include <atomic>
#include <initializer_list>

namespace vistrel::mf {

void noteObjectCreated();
void noteObjectDestroyed();

// IUnknown's counting half for one stand-in class; QueryInterface stays with the class, which knows its
// interfaces. Starts at one reference (the creator's).
template <class Interface> class UnknownImpl : public Interface
{
public:
    UnknownImpl() { noteObjectCreated(); }
    UnknownImpl(const UnknownImpl &) = delete;
    UnknownImpl &operator=(const UnknownImpl &) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~UnknownImpl() { noteObjectDestroyed(); }

    // Answers `riid` with `self` when it is one of `iids`, IUnknown included. The classes derive along one
    // line of interfaces, so every interface pointer is `self`.
    template <class Self>
    HRESULT answer(Self *self, REFIID riid, void **ppv, std::initializer_list<const GUID *> iids)
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown *>(self);
        } else {
            for (const GUID *iid : iids) {
                if (IsEqualIID(riid, *iid)) {
                    *ppv = self;
                    break;
                }
            }
        }
        if (*ppv == nullptr)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

private:
    std::atomic<ULONG> m_refs{1};
};

} // namespace vistrel::mf
