#include "tests/win/wine_paths.h"

std::wstring WindowsPathOf(const char* path) {
  std::wstring result;
  if (path[0] == '/') result = L"Z:";
  for (const char* c = path; *c; ++c) result += (*c == '/') ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
  return result;
}
