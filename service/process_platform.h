#pragma once
// The process's one service platform, for the service's Win32 entry points
// (the worker thread, the console command, the settings dialog's test). The
// platform is made above the service, out of the tray and the notification
// dialog, so the program's start-up hands it down here before the worker
// thread exists and before the message loop runs.

#include "service/service_platform.h"

void UseServicePlatform(ServicePlatform& platform);
ServicePlatform& TheServicePlatform();
