#include "sim/query_text.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string PercentDecode(const std::string& text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      decoded += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += c;
    }
  }
  return decoded;
}

QueryParams ParseQuery(const std::string& query) {
  QueryParams params;
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    if (!pair.empty()) {
      const std::size_t equals = pair.find('=');
      if (equals == std::string::npos) {
        params[PercentDecode(pair)] = std::string();
      } else {
        params[PercentDecode(pair.substr(0, equals))] = PercentDecode(pair.substr(equals + 1));
      }
    }
    start = end + 1;
  }
  return params;
}

const std::string* FindParam(const QueryParams& params, const std::string& name) {
  const auto found = params.find(name);
  return found == params.end() ? nullptr : &found->second;
}
