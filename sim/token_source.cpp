#include "sim/token_source.h"

#include <cstdint>
#include <memory>
#include <random>

TokenSource MakeRandomTokenSource() {
  std::random_device entropy;
  std::seed_seq seed{entropy(), entropy(), entropy(), entropy(), entropy(), entropy(), entropy(), entropy()};
  auto engine = std::make_shared<std::mt19937_64>(seed);
  return [engine] {
    static const char kDigits[] = "0123456789abcdef";
    std::string token;
    for (int half = 0; half < 2; ++half) {
      std::uint64_t bits = (*engine)();
      for (int i = 0; i < 16; ++i, bits >>= 4) token += kDigits[bits & 0xF];
    }
    return token;
  };
}
