#ifndef ZELVAN_PIMPL_H
#define ZELVAN_PIMPL_H

// Type-erased owner of one heap-allocated implementation object.

#include <memory>

class ImplHolderBase {
public:
    virtual ~ImplHolderBase() {}

    // New holder owning its own copy of the held object; the caller owns it.
    virtual ImplHolderBase* Clone() const = 0;
    // Assigns the held object's value to the object `other` already holds.
    // `other` must hold the same implementation type.
    virtual void CopyTo(ImplHolderBase* other) const = 0;

    virtual void* GetPtr() = 0;
    virtual const void* GetPtr() const = 0;
};

template <class T>
class ImplHolder : public ImplHolderBase {
public:
    // Takes ownership of `p`.
    explicit ImplHolder(T* p = nullptr) noexcept : ptr(p) {}
    ~ImplHolder() override { delete ptr; }

    // Owns a raw pointer: a member-wise copy would free it twice.
    ImplHolder(const ImplHolder&) = delete;
    ImplHolder& operator=(const ImplHolder&) = delete;

    // Holder first, then the copy of T; if the copy fails the empty holder is
    // released again before the failure propagates.
    ImplHolderBase* Clone() const override {
        std::unique_ptr<ImplHolder> copy(new ImplHolder());
        copy->ptr = new T(*ptr);
        return copy.release();
    }

    void CopyTo(ImplHolderBase* other) const override { *static_cast<ImplHolder*>(other)->ptr = *ptr; }

    void* GetPtr() override { return ptr; }
    const void* GetPtr() const override { return ptr; }

private:
    T* ptr;
};

#endif
