// The main queue of the desktop application: tasks run on the GLib main context.
#pragma once

#include <memory>

#include "platform/Dispatch.h"

namespace cvl {

// Installs a GLib-backed main queue (Dispatch::main()) for the rest of the process.
void installGlibMainQueue();

}  // namespace cvl
