// What a closed device's driver left running on the library's main context.

#include "LeftoverSources.h"

#include "GLibHandles.h"

#include <string>
#include <string_view>

namespace qv::scanman {

guint nextSourceId() {
    // GLib hands out ids in increasing order and offers no other way to learn the next one.
    const SourcePtr probe(g_idle_source_new());
    const guint id = g_source_attach(probe.get(), g_main_context_default());
    g_source_destroy(probe.get());
    return id;
}

unsigned destroyLeftoverSources(FpDevice* device, guint firstId) {
    const char* deviceId = fp_device_get_device_id(device);
    if (deviceId == nullptr) {
        return 0;
    }
    const std::string prefix = std::string("[") + deviceId + "] ";
    const guint end = nextSourceId();
    GMainContext* context = g_main_context_default();
    unsigned destroyed = 0;
    for (guint id = firstId; id < end; ++id) {
        GSource* source = g_main_context_find_source_by_id(context, id);
        const char* name = source == nullptr ? nullptr : g_source_get_name(source);
        if (name != nullptr && std::string_view(name).starts_with(prefix)) {
            g_source_destroy(source);
            ++destroyed;
        }
    }
    return destroyed;
}

} // namespace qv::scanman
