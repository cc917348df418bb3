#include "service/process_platform.h"

namespace {

// Set once on the user-interface thread before the worker thread is created,
// and never again: both threads read it without a lock.
ServicePlatform* processPlatform = nullptr;

}  // namespace

void UseServicePlatform(ServicePlatform& platform) { processPlatform = &platform; }

ServicePlatform& TheServicePlatform() { return *processPlatform; }
