#pragma once
// One service request over WinHTTP: connect, GET, close.

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "service/service_platform.h"

// Opens a connection to host:port on the process's session, GETs path and
// closes the connection again, on every path.
HttpReply GetFromHost(const std::wstring& host, INTERNET_PORT port, const std::u16string& path);
