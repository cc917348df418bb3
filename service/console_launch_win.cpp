#include "service/console_launch_win.h"

#include "service/console_launch.h"
#include "service/process_platform.h"

int OpenConsole() { return OpenConsole(TheServicePlatform(), TheShopCredentials(), TheSessionState()); }
