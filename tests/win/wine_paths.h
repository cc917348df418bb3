#pragma once
#include <string>

// A path as ctest hands it (a Unix path under Wine) in the form Windows
// programs use: Wine maps the Unix root to drive Z:.
std::wstring WindowsPathOf(const char* path);
