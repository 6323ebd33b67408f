// RAII owners of GLib and GObject references.

#pragma once

#include <fprint.h>
#include <memory>

namespace qv::scanman {

// GLib and GObject references owned by one object each.
struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct SourceUnref {
    void operator()(GSource* source) const { g_source_unref(source); }
};
using SourcePtr = std::unique_ptr<GSource, SourceUnref>;

struct LoopUnref {
    void operator()(GMainLoop* loop) const { g_main_loop_unref(loop); }
};
using LoopPtr = std::unique_ptr<GMainLoop, LoopUnref>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

} // namespace qv::scanman
