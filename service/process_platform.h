#pragma once
// The process's one service platform. Declared here so that the service's
// Win32 entry points reach it without knowing how it is made; the program's
// start-up code defines it.

#include "service/service_platform.h"

ServicePlatform& TheServicePlatform();
