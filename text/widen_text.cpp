#include "text/widen_text.h"

#include <cstring>

bool WidenText(const char* source, char16_t* destination, std::size_t capacity) {
  if (capacity == 0) return false;
  const std::size_t length = source == nullptr ? 0 : std::strlen(source);
  if (length >= capacity) {
    destination[0] = 0;
    return false;
  }
  for (std::size_t i = 0; i < length; ++i) {
    destination[i] = static_cast<unsigned char>(source[i]);
  }
  destination[length] = 0;
  return true;
}

std::u16string WidenText(const std::string& source) {
  std::u16string wide;
  for (const char byte : source) {
    if (byte == 0) break;
    wide += static_cast<char16_t>(static_cast<unsigned char>(byte));
  }
  return wide;
}
