#pragma once

#include <utility>

// Owns one reference to an interface of the client library and releases it
// when it goes. A call that ends the object on success (commit, detach,
// free, close) releases the reference itself; the handle is then handed
// over with take(), so that it is released exactly once on every path.
template <typename T> class FbRef {
public:
    FbRef() = default;
    explicit FbRef(T *pointer) : m_pointer(pointer) {}
    FbRef(FbRef &&other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    FbRef &operator=(FbRef &&other) noexcept
    {
        reset(std::exchange(other.m_pointer, nullptr));
        return *this;
    }
    FbRef(const FbRef &) = delete;
    FbRef &operator=(const FbRef &) = delete;
    ~FbRef() { reset(); }

    T *get() const { return m_pointer; }
    T *operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

    T *take() { return std::exchange(m_pointer, nullptr); }
    void reset(T *pointer = nullptr)
    {
        if (m_pointer)
            m_pointer->release();
        m_pointer = pointer;
    }

private:
    T *m_pointer = nullptr;
};
