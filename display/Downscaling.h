// The graphics driver's downscaling values and the restart that may be
// needed before the driver honours them. The driver's key is never created:
// a machine without it has no such driver.
#pragma once

#include <windows.h>

#include "settings/RegistryStore.h"

// Display1_DownScalingEnabled follows `enabled`, written only when it differs.
RegistryWrite writeDownscalingEnabled(RegistryStore const& registry, bool enabled);

// The driver was prepared once (Display1_DownScalingSupported exists); its
// questions are then never asked again.
bool driverPreparedForDownscaling(RegistryStore const& registry);

// Both preparation values written, or neither (false).
bool prepareDriverForDownscaling(RegistryStore const& registry);

// Ends the session as `flags` say (EWX_REBOOT) with the shutdown privilege;
// false when the privilege or the call is refused.
bool restartComputer(UINT flags);
