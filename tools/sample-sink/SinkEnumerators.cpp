#include "tools/sample-sink/SinkEnumerators.h"

#include "platform/windows/ComPtr.h"
#include "tools/sample-sink/MediaTypeCopies.h"
#include "tools/sample-sink/SinkObjects.h"

#include <mutex>
#include <new>

namespace vistrel::sink {

namespace {

// Hands out references on a pin.
struct PinItems
{
    using Item = IPin;
    ComPtr<IPin> pin;
    explicit PinItems(IPin *p) : pin(p) {}
    bool present() const { return static_cast<bool>(pin); }
    IPin *handOut() const
    {
        IPin *result = nullptr;
        pin.CopyTo(&result);
        return result;
    }
};

// Hands out task-allocated copies of a media type.
struct MediaTypeItems
{
    using Item = AM_MEDIA_TYPE;
    AM_MEDIA_TYPE *type = nullptr;
    explicit MediaTypeItems(const AM_MEDIA_TYPE *t)
    {
        if (t && !(type = newMediaTypeCopy(*t)))
            throw std::bad_alloc();
    }
    MediaTypeItems(const MediaTypeItems &other) : MediaTypeItems(other.type) {}
    MediaTypeItems &operator=(const MediaTypeItems &) = delete;
    ~MediaTypeItems() { deleteMediaTypeBlock(type); }
    bool present() const { return type != nullptr; }
    AM_MEDIA_TYPE *handOut() const { return newMediaTypeCopy(*type); }
};

// An enumerator over at most one item.
template <class Enum, const IID &EnumIid, class Items>
class SingleItemEnumerator final : public Enum, LiveSinkObject
{
public:
    using Item = typename Items::Item;

    SingleItemEnumerator(const Items &items, ULONG position) : m_items(items), m_position(position) {}

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
        if (count > 0 && m_position < size()) {
            items[0] = m_items.handOut();
            if (!items[0])
                return E_OUTOFMEMORY;
            ++m_position;
            done = 1;
        }
        if (fetched)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (count > size() - m_position) {
            m_position = size();
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
        *clone = nullptr;
        std::lock_guard<std::mutex> lock(m_lock);
        try {
            *clone = new SingleItemEnumerator(m_items, m_position);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

private:
    ULONG size() const { return m_items.present() ? 1 : 0; }

    RefCount m_refs;
    std::mutex m_lock;
    const Items m_items;
    ULONG m_position;
};

} // namespace

IEnumPins *newPinEnumerator(IPin *pin)
{
    try {
        return new SingleItemEnumerator<IEnumPins, IID_IEnumPins, PinItems>(PinItems(pin), 0);
    } catch (...) {
        return nullptr;
    }
}

IEnumMediaTypes *newMediaTypeEnumerator(const AM_MEDIA_TYPE *type)
{
    try {
        return new SingleItemEnumerator<IEnumMediaTypes, IID_IEnumMediaTypes, MediaTypeItems>(
            MediaTypeItems(type), 0);
    } catch (...) {
        return nullptr;
    }
}

} // namespace vistrel::sink
