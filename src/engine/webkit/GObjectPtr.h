#pragma once

#include <glib-object.h>
#include <utility>

namespace orvi::engine::webkit {

// Owns one reference to a GObject (or any type with a ref/unref pair given by Traits), so
// that every early return and every destructor gives its reference back.
template <class T> class GObjectPtr {
public:
    GObjectPtr() = default;
    // Takes over a reference the caller already owns (a "transfer full" return value).
    static GObjectPtr adopt(T* object) {
        GObjectPtr ptr;
        ptr.m_object = object;
        return ptr;
    }
    // Adds a reference of its own (to a "transfer none" value), sinking a floating one.
    static GObjectPtr retain(T* object) {
        GObjectPtr ptr;
        ptr.m_object = object ? static_cast<T*>(g_object_ref_sink(object)) : nullptr;
        return ptr;
    }
    GObjectPtr(const GObjectPtr& other) : m_object(other.m_object) {
        if (m_object)
            g_object_ref(m_object);
    }
    GObjectPtr(GObjectPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    GObjectPtr& operator=(GObjectPtr other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~GObjectPtr() {
        if (m_object)
            g_object_unref(m_object);
    }

    T* get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

} // namespace orvi::engine::webkit
