// An owning COM interface pointer: releases its reference when it goes out of scope.
#pragma once

#include "platform/windows/win32.h"

#include <utility>

namespace vistrel::dshow {

template <class T> class ComPtr
{
public:
    ComPtr() = default;
    // Takes over a reference the caller already owns.
    static ComPtr adopt(T *p)
    {
        ComPtr result;
        result.m_p = p;
        return result;
    }
    // Adds a reference of its own.
    static ComPtr share(T *p)
    {
        if (p)
            p->AddRef();
        return adopt(p);
    }
    ComPtr(const ComPtr &other) : m_p(other.m_p)
    {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(ComPtr &&other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr &operator=(ComPtr other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset()
    {
        if (T *p = std::exchange(m_p, nullptr))
            p->Release();
    }
    T *get() const { return m_p; }
    T *operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: drops the current reference and hands out the slot.
    T **put()
    {
        reset();
        return &m_p;
    }
    void **putVoid() { return reinterpret_cast<void **>(put()); }
    T *detach() { return std::exchange(m_p, nullptr); }

    template <class U> ComPtr<U> query(REFIID iid) const
    {
        ComPtr<U> result;
        if (m_p)
            m_p->QueryInterface(iid, result.putVoid());
        return result;
    }

private:
    T *m_p = nullptr;
};

} // namespace vistrel::dshow
