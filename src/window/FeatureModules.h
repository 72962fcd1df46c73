// Every feature module of the program, made once for the application. A new operation is a
// module in its subsystem's folder plus one line here.
#pragma once

#include "window/BridgeModules.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules);

}  // namespace cvl
