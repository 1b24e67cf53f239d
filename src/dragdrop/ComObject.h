#pragma once
// The reference counting shared by the drag-and-drop objects, and a smart pointer for holding
// references. An object is created with its class's starting count and destroys itself when a
// Release takes the count to zero; this header is the only place that allocates or frees one.

#include "dragdrop/OleTypes.h"

#include <exception>
#include <utility>

namespace quill::ole {

template <class Derived, class Interface> class ComObject : public Interface {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    // Answers for IUnknown and for the object's own interface id, compared as 16 bytes.
    HRESULT QueryInterface(REFIID riid, void** ppvObject) noexcept override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, Derived::interfaceId())) {
            *ppvObject = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }

    ULONG AddRef() noexcept override { return ++refs_; }

    ULONG Release() noexcept override {
        const ULONG left = --refs_;
        if (left == 0) {
            delete static_cast<Derived*>(this);
        }
        return left;
    }

    // How many objects of this class exist right now.
    static int liveObjects() noexcept { return live_; }

protected:
    explicit ComObject(ULONG initialRefs) noexcept : refs_(initialRefs) { ++live_; }
    ~ComObject() { --live_; }

    // Null when the object cannot be made (no memory).
    template <class... Args> static Derived* createObject(Args&&... args) noexcept {
        try {
            return new Derived(std::forward<Args>(args)...);
        } catch (const std::exception&) {
            return nullptr;
        }
    }

private:
    ULONG refs_;
    static inline int live_ = 0;
};

// Holds one reference to an interface and releases it when it goes.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr& other) noexcept : p_(other.p_) {
        if (p_ != nullptr) {
            p_->AddRef();
        }
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Takes over a reference the caller already owns.
    static ComPtr adopt(T* p) noexcept {
        ComPtr result;
        result.p_ = p;
        return result;
    }
    // Adds a reference of its own.
    static ComPtr share(T* p) noexcept {
        ComPtr result;
        result.p_ = p;
        if (p != nullptr) {
            p->AddRef();
        }
        return result;
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // For out-parameters: drops the current reference and lends the slot.
    T** put() noexcept {
        reset();
        return &p_;
    }
    T* detach() noexcept { return std::exchange(p_, nullptr); }
    void reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) {
            p->Release();
        }
    }

private:
    T* p_ = nullptr;
};

} // namespace quill::ole
