#include "win32/module_instance.h"

namespace {
HINSTANCE moduleInstance = nullptr;
}

void KeepModuleInstance(HINSTANCE instance) { moduleInstance = instance; }
HINSTANCE TheModuleInstance() { return moduleInstance; }
