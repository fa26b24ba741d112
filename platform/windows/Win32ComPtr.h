// ComPtr with the names of Windows' Microsoft::WRL::ComPtr (see ComPtr.h for the part code may use).
#pragma once

#include "platform/windows/Win32Unknown.h"

#include <cstddef>
#include <utility>

template <class T> class ComPtr
{
public:
    using InterfaceType = T;

    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(T *p) : m_p(p) { addRef(); }
    ComPtr(const ComPtr &other) : m_p(other.m_p) { addRef(); }
    ComPtr(ComPtr &&other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr &operator=(ComPtr other) noexcept
    {
        Swap(other);
        return *this;
    }
    ComPtr &operator=(T *p)
    {
        ComPtr(p).Swap(*this);
        return *this;
    }
    ComPtr &operator=(std::nullptr_t)
    {
        Reset();
        return *this;
    }

    T *Get() const { return m_p; }
    T *operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    T *const *GetAddressOf() const { return &m_p; }
    T **GetAddressOf() { return &m_p; }
    T **ReleaseAndGetAddressOf()
    {
        Reset();
        return &m_p;
    }
    T *Detach() { return std::exchange(m_p, nullptr); }
    unsigned long Reset()
    {
        T *p = std::exchange(m_p, nullptr);
        return p ? p->Release() : 0;
    }
    void Swap(ComPtr &other) { std::swap(m_p, other.m_p); }

    HRESULT CopyTo(T **target) const
    {
        addRef();
        *target = m_p;
        return S_OK;
    }
    HRESULT CopyTo(REFIID riid, void **target) const { return m_p->QueryInterface(riid, target); }

private:
    void addRef() const
    {
        if (m_p)
            m_p->AddRef();
    }

    T *m_p = nullptr;
};
