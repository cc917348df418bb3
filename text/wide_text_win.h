#pragma once
// UTF-16 in both forms: wchar_t is 16 bits wide on Windows, so the program's
// char16_t texts and the wide-character calls share one representation.

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 code units");

inline const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline const char16_t* AsUtf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
