#pragma once
// Small helpers for the NUL-terminated UTF-16 texts kept in fixed buffers.

#include <cstddef>
#include <string>

// Code units before the first zero, looking at no more than capacity units:
// a buffer that lacks its terminator is never read past its end.
std::size_t Utf16Length(const char16_t* text, std::size_t capacity);

// UTF-8 form of text. A surrogate without its partner becomes U+FFFD, so the
// result is always well-formed UTF-8.
std::string Utf16ToUtf8(const std::u16string& text);
