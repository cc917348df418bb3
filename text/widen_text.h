#pragma once
// The only conversion from 8-bit reply text to UTF-16: one code unit per
// byte, with the byte's value. No UTF-8 decoding takes place.

#include <cstddef>
#include <string>

// Widens source up to its first zero byte into destination, which holds
// capacity code units including the terminator. When the text does not fit,
// destination receives the empty text and the result is false: a cut
// identifier would be a different identifier.
bool WidenText(const char* source, char16_t* destination, std::size_t capacity);

// The same conversion without a size limit, also up to the first zero byte.
std::u16string WidenText(const std::string& source);
