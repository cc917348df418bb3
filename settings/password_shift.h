#pragma once
// The stored form of the password: its UTF-16LE bytes, each increased by one
// modulo 256. Low and high bytes wrap independently; nothing carries from
// one byte into the next.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// 2 * length bytes for a password of length code units.
std::vector<std::uint8_t> ShiftPassword(const char16_t* password, std::size_t length);

// The reverse: every byte decreased by one modulo 256, paired into code
// units low byte first. An odd last byte has no partner and is dropped.
std::u16string UnshiftPassword(const std::uint8_t* bytes, std::size_t count);
