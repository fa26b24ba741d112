// An enumerator (IEnumFilters, IEnumMoniker, IEnumPins) over the objects present when it was made; it holds a
// reference on each of them.
#pragma once

#include "platform/dshow/RuntimeObjects.h"
#include "platform/dshow/dshow.h"
#include "platform/windows/ComPtr.h"

#include <mutex>
#include <new>
#include <vector>

namespace vistrel::dshow {

template <class Enum, class Item, const IID &EnumIid>
class SnapshotEnumerator final : public Enum, private LiveObject
{
public:
    explicit SnapshotEnumerator(std::vector<ComPtr<Item>> items, size_t position = 0)
        : m_items(std::move(items)), m_position(position)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != EnumIid)
            return E_NOINTERFACE;
        *ppv = static_cast<Enum *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.increment(); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG count = m_refs.decrement();
        if (count == 0)
            delete this;
        return count;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item **items, ULONG *fetched) override
    {
        if (fetched)
            *fetched = 0;
        if (!items)
            return E_POINTER;
        if (count > 1 && !fetched)
            return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(m_lock);
        ULONG done = 0;
        while (done < count && m_position < m_items.size())
            items[done++] = ComPtr<Item>(m_items[m_position++]).Detach();
        if (fetched)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (count > m_items.size() - m_position) {
            m_position = m_items.size();
            return S_FALSE;
        }
        m_position += count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Enum **clone) override
    {
        if (!clone)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        *clone = new (std::nothrow) SnapshotEnumerator(m_items, m_position);
        return *clone ? S_OK : E_OUTOFMEMORY;
    }

private:
    RefCount m_refs;
    std::mutex m_lock;
    const std::vector<ComPtr<Item>> m_items;
    size_t m_position;
};

using FilterEnumerator = SnapshotEnumerator<IEnumFilters, IBaseFilter, IID_IEnumFilters>;
using MonikerEnumerator = SnapshotEnumerator<IEnumMoniker, IMoniker, IID_IEnumMoniker>;
using PinEnumerator = SnapshotEnumerator<IEnumPins, IPin, IID_IEnumPins>;

} // namespace vistrel::dshow
