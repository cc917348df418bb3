#include "service/console_launch_win.h"

#include "app/service_platform_win.h"
#include "service/console_launch.h"

int OpenConsole() { return OpenConsole(TheServicePlatform(), TheShopCredentials(), TheSessionState()); }
