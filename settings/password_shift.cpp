#include "settings/password_shift.h"

std::vector<std::uint8_t> ShiftPassword(const char16_t* password, std::size_t length) {
  std::vector<std::uint8_t> shifted;
  shifted.reserve(2 * length);
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned unit = password[i];
    shifted.push_back(static_cast<std::uint8_t>((unit & 0xFF) + 1));
    shifted.push_back(static_cast<std::uint8_t>((unit >> 8) + 1));
  }
  return shifted;
}

std::u16string UnshiftPassword(const std::uint8_t* bytes, std::size_t count) {
  std::u16string password;
  password.reserve(count / 2);
  for (std::size_t i = 0; i + 1 < count; i += 2) {
    const auto low = static_cast<std::uint8_t>(bytes[i] - 1);
    const auto high = static_cast<std::uint8_t>(bytes[i + 1] - 1);
    password += static_cast<char16_t>(low | (high << 8));
  }
  return password;
}
