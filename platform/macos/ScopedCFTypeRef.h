#pragma once

// Owns one CoreFoundation object: adopt what a Create or Copy call returns, retain what a Get call
// returns. The object is released exactly once, on every path.

#include <CoreFoundation/CoreFoundation.h>

namespace gatewarden::macos {

template <typename T>
class ScopedCFTypeRef {
public:
    ScopedCFTypeRef() = default;
    ScopedCFTypeRef(const ScopedCFTypeRef&) = delete;
    ScopedCFTypeRef& operator=(const ScopedCFTypeRef&) = delete;
    ScopedCFTypeRef(ScopedCFTypeRef&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
    ~ScopedCFTypeRef() {
        if (object_) CFRelease(object_);
    }

    // Takes over the reference that a Create or Copy call returned.
    static ScopedCFTypeRef adopt(T object) {
        ScopedCFTypeRef holder;
        holder.object_ = object;
        return holder;
    }
    // Takes a reference of its own to an object that a Get call returned.
    static ScopedCFTypeRef retain(T object) {
        if (object) CFRetain(object);
        return adopt(object);
    }

    T get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // For Copy calls that return their result through a pointer; the holder must be empty.
    T* receive() { return &object_; }

private:
    T object_ = nullptr;
};

}  // namespace gatewarden::macos
