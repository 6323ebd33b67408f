// What a closed device's driver left running on the library's main context.

#pragma once

#include <fprint.h>

namespace qv::scanman {

// The id the next source attached to the default main context will get: a source attached
// from now on has this id or a later one.
guint nextSourceId();

// Destroys the sources a device's driver attached since `firstId` and left behind after it
// closed. Some drivers leave a state machine's timer running past their deactivation, which
// would then drive the closed device, or be freed twice when the device is finalised. libfprint
// names such sources after the device ("[<device id>] ..."); nothing of the device's may run
// once it has closed. Returns how many were destroyed.
unsigned destroyLeftoverSources(FpDevice* device, guint firstId);

} // namespace qv::scanman
