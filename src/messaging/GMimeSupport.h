#pragma once

#include <memory>
#include <mutex>

// GLib names a struct member "signals", which Qt defines as a keyword macro.
#undef signals
#include <gmime/gmime.h>

namespace bx::gmime {

/** Drops one reference of a GObject; a null pointer is left alone. */
struct Unref
{
    void operator()(gpointer object) const
    {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
};

/** Owns one reference of a GMime object. */
template <typename T> using Ptr = std::unique_ptr<T, Unref>;

/** Initialises the MIME library once per process; safe from any thread. */
inline void init()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

} // namespace bx::gmime
