#pragma once
// The process's one WinHTTP session and its one request operation.

#include <windows.h>
#include <winhttp.h>

#include <cstddef>
#include <string>

#include "win32/unique_handle.h"

using UniqueInternet = UniqueHandle<HINTERNET, NullHandleTraits<HINTERNET, ::WinHttpCloseHandle>>;

constexpr wchar_t kUserAgent[] = L"Mozilla/4.0.(compatible;.MSIE.6..Windows.NT.5..SV1;..NET.CLR.1.1.4322)";
constexpr DWORD kChunkPauseMs = 50;

// Reads the user's proxy settings and opens the session. False when no
// session could be opened.
BOOL OpenHttpSession();
HINTERNET TheHttpSession();

// One GET of path over a connection the caller opened on the session. True
// with the body's bytes (possibly none) when the exchange ended normally or
// never got a reply; false, with body untouched, when no request could be
// made, the body broke off or was too large to keep, or memory ran out.
bool HttpGet(HINTERNET connection, const wchar_t* originUrl, const wchar_t* path, std::string& body);
