#pragma once
// The typed owners of the Win32 handles the program opens.

#include <windows.h>

#include "win32/unique_handle.h"

using UniqueMenu = UniqueHandle<HMENU, NullHandleTraits<HMENU, ::DestroyMenu>>;
using UniqueWindow = UniqueHandle<HWND, NullHandleTraits<HWND, ::DestroyWindow>>;
using UniqueKernelHandle = UniqueHandle<HANDLE, NullHandleTraits<HANDLE, ::CloseHandle>>;
using UniqueKey = UniqueHandle<HKEY, NullHandleTraits<HKEY, ::RegCloseKey>>;
using UniqueIcon = UniqueHandle<HICON, NullHandleTraits<HICON, ::DestroyIcon>>;
using UniqueBitmap = UniqueHandle<HBITMAP, NullHandleTraits<HBITMAP, ::DeleteObject>>;
using UniqueFont = UniqueHandle<HFONT, NullHandleTraits<HFONT, ::DeleteObject>>;
using UniqueMemoryDc = UniqueHandle<HDC, NullHandleTraits<HDC, ::DeleteDC>>;
