#include "service/request_paths.h"

#include "service/service_hosts.h"
#include "text/utf16_text.h"

namespace {

bool IsUnreserved(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '-' ||
         byte == '.' || byte == '_' || byte == '~';
}

std::u16string Verbatim(const char16_t* text) { return text == nullptr ? std::u16string() : std::u16string(text); }

std::u16string FittingOrEmpty(std::u16string text, std::size_t capacity) {
  return text.size() < capacity ? text : std::u16string();
}

std::u16string ConsoleUrl(const std::u16string& path) {
  return FittingOrEmpty(u"http://" + std::u16string(MORVANE_CONSOLE_HOST) + path, kRequestPathCapacity);
}

std::u16string PercentEncode(const std::string& bytes) {
  static const char16_t kHexDigits[] = u"0123456789ABCDEF";
  std::u16string encoded;
  for (const char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    if (IsUnreserved(value)) {
      encoded += static_cast<char16_t>(value);
    } else {
      encoded += u'%';
      encoded += kHexDigits[value >> 4];
      encoded += kHexDigits[value & 0x0F];
    }
  }
  return encoded;
}

}  // namespace

std::u16string BuildLoginPath(const char16_t* account, const char16_t* password) {
  return FittingOrEmpty(u"/shop_login.php?name=" + PercentEncode(Utf16ToUtf8(Verbatim(account))) + u"&pwd=" +
                            PercentEncode(Utf16ToUtf8(Verbatim(password))),
                        kLoginPathCapacity);
}

std::u16string BuildPollPath(const char16_t* shop_id, const char16_t* session_id) {
  return FittingOrEmpty(u"/untreatedSheet.php?shop_id=" + Verbatim(shop_id) + u"&session_id=" + Verbatim(session_id),
                        kRequestPathCapacity);
}

std::u16string BuildKeyPath(const char16_t* session_id) {
  return FittingOrEmpty(u"/shop_key.php?session_id=" + Verbatim(session_id), kRequestPathCapacity);
}

std::u16string BuildConsoleEntryUrl(const std::u16string& key) {
  // The key's code units are the reply's bytes; a unit past one byte (never
  // made by widening) travels as UTF-8.
  std::string bytes;
  for (const char16_t unit : key) {
    bytes += unit <= 0xFF ? std::string(1, static_cast<char>(unit)) : Utf16ToUtf8(std::u16string(1, unit));
  }
  return ConsoleUrl(u"/frame/next?go=5&key=" + PercentEncode(bytes));
}

std::u16string BuildConsoleStartUrl() { return ConsoleUrl(u"/"); }
