#include "tests/win/sim_control.h"

#include <json/value.h>

#include <cstdlib>

#include "tests/win/wine_paths.h"
#include "text/json_reply.h"
#include "win32/handles.h"

namespace {

constexpr wchar_t kControlHost[] = L"sim.control";
constexpr wchar_t kFormType[] = L"Content-Type: application/x-www-form-urlencoded";
constexpr std::size_t kMaxPageBytes = 8u << 20;

std::string PercentEncoded(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                       byte == '-' || byte == '_' || byte == '.' || byte == '~';
    if (plain) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 15];
    }
  }
  return encoded;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(const std::string& text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i] == '+' ? ' ' : text[i];
    }
  }
  return decoded;
}

std::wstring Widened(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string TextMember(const Json::Value& object, const char* name) {
  return ReadText(MemberOf(object, name)).value_or(std::string());
}

std::optional<SimRequest> RequestFrom(const Json::Value& entry) {
  const Json::Value seq = MemberOf(entry, "seq");
  const Json::Value time = MemberOf(entry, "time_ms");
  if (!seq.isUInt64() || !time.isInt64()) return std::nullopt;
  SimRequest request;
  request.seq = seq.asUInt64();
  request.timeMs = time.asInt64();
  request.host = TextMember(entry, "host");
  request.role = TextMember(entry, "role");
  request.target = TextMember(entry, "target");
  request.proxied = MemberOf(entry, "proxied").isBool() && MemberOf(entry, "proxied").asBool();
  request.userAgent = TextMember(entry, "user_agent");
  request.fault = TextMember(entry, "fault");
  return request;
}

}  // namespace

std::optional<std::string> SimRequest::Param(const std::string& name) const {
  const std::size_t query = target.find('?');
  if (query == std::string::npos) return std::nullopt;
  std::size_t start = query + 1;
  while (start <= target.size()) {
    std::size_t end = target.find('&', start);
    if (end == std::string::npos) end = target.size();
    const std::string pair = target.substr(start, end - start);
    const std::size_t equals = pair.find('=');
    if (PercentDecoded(pair.substr(0, equals)) == name)
      return equals == std::string::npos ? std::string() : PercentDecoded(pair.substr(equals + 1));
    start = end + 1;
  }
  return std::nullopt;
}

std::string SimRequest::Path() const { return target.substr(0, target.find('?')); }

SimControl::SimControl(int port) : port_(port) {
  const std::wstring proxy = L"127.0.0.1:" + std::to_wstring(port);
  session_.reset(::WinHttpOpen(L"morvane-e2e", WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.c_str(),
                               WINHTTP_NO_PROXY_BYPASS, 0));
}

std::optional<SimPage> SimControl::Exchange(const std::wstring& host, const wchar_t* verb, const std::wstring& path,
                                            const std::string& form) {
  if (!session_) return std::nullopt;
  const UniqueInternet connection(::WinHttpConnect(session_.get(), host.c_str(), INTERNET_DEFAULT_HTTP_PORT, 0));
  if (!connection) return std::nullopt;
  const UniqueInternet request(::WinHttpOpenRequest(connection.get(), verb, path.c_str(), nullptr,
                                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  if (!request) return std::nullopt;
  const bool hasForm = std::wstring(verb) == L"POST";
  if (!::WinHttpSendRequest(request.get(), hasForm ? kFormType : WINHTTP_NO_ADDITIONAL_HEADERS,
                            hasForm ? static_cast<DWORD>(-1L) : 0,
                            hasForm ? const_cast<char*>(form.data()) : WINHTTP_NO_REQUEST_DATA,
                            static_cast<DWORD>(form.size()), static_cast<DWORD>(form.size()), 0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr)) {
    return std::nullopt;
  }
  SimPage page;
  DWORD statusSize = sizeof(page.status);
  ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &page.status, &statusSize, WINHTTP_NO_HEADER_INDEX);
  for (;;) {
    char chunk[8192];
    DWORD read = 0;
    if (!::WinHttpReadData(request.get(), chunk, sizeof(chunk), &read)) return std::nullopt;
    if (read == 0) break;
    if (page.body.size() + read > kMaxPageBytes) return std::nullopt;
    page.body.append(chunk, read);
  }
  return page;
}

bool SimControl::Post(const std::string& path, const FormFields& fields) {
  std::string form;
  for (const auto& [name, value] : fields) {
    if (!form.empty()) form += '&';
    form += PercentEncoded(name) + "=" + PercentEncoded(value);
  }
  const std::optional<SimPage> page = Exchange(kControlHost, L"POST", Widened(path), form);
  if (!page) {
    lastError_ = "no answer from the simulator to " + path;
    return false;
  }
  const std::optional<Json::Value> answer = ParseReply(page->body);
  const Json::Value ok = answer ? MemberOf(*answer, "ok") : Json::Value();
  if (ok.isBool() && ok.asBool()) return true;
  lastError_ = path + ": " + page->body;
  return false;
}

bool SimControl::AddShop(const std::string& account, const std::string& password, const std::string& shopId) {
  return Post("/shop", {{"account", account}, {"password", password}, {"shop_id", shopId}});
}

bool SimControl::AddEntry(const std::string& shopId, const std::string& category, const std::string& entry) {
  return Post("/entry/add", {{"shop_id", shopId}, {"category", category}, {"entry", entry}});
}

bool SimControl::TreatAll(const std::string& shopId) { return Post("/entry/treat", {{"shop_id", shopId}}); }

bool SimControl::ExpireSessions(const std::string& shopId) {
  return Post("/sessions/expire", {{"shop_id", shopId}});
}

bool SimControl::ArmFault(const std::string& host, const std::string& kind) {
  return Post("/fault", {{"host", host}, {"kind", kind}});
}

bool SimControl::ClearFaults() { return Post("/fault/clear", {}); }

std::optional<std::vector<SimRequest>> SimControl::RequestsSince(std::uint64_t seq) {
  const std::optional<SimPage> page = Exchange(kControlHost, L"GET", L"/log?since=" + std::to_wstring(seq), {});
  if (!page || page->status != 200) return std::nullopt;
  const std::optional<Json::Value> log = ParseReply(page->body);
  if (!log) return std::nullopt;
  const Json::Value entries = MemberOf(*log, "entries");
  if (!entries.isArray()) return std::nullopt;
  std::vector<SimRequest> requests;
  for (Json::ArrayIndex i = 0; i < entries.size(); ++i) {
    const std::optional<SimRequest> request = RequestFrom(entries[i]);
    if (!request) return std::nullopt;
    requests.push_back(*request);
  }
  return requests;
}

std::optional<std::uint64_t> SimControl::LastSeq() {
  const std::optional<std::vector<SimRequest>> requests = RequestsSince(0);
  if (!requests) return std::nullopt;
  return requests->empty() ? 0 : requests->back().seq;
}

std::optional<std::pair<int, int>> SimControl::SessionsAndKeys() {
  const std::optional<SimPage> page = Exchange(kControlHost, L"GET", L"/state", {});
  if (!page || page->status != 200) return std::nullopt;
  const std::optional<Json::Value> state = ParseReply(page->body);
  if (!state) return std::nullopt;
  const Json::Value sessions = MemberOf(*state, "sessions");
  const Json::Value keys = MemberOf(*state, "keys");
  if (!sessions.isInt() || !keys.isInt()) return std::nullopt;
  return std::make_pair(sessions.asInt(), keys.asInt());
}

std::optional<SimPage> SimControl::Browse(const std::string& url) {
  const std::string scheme = "http://";
  if (url.compare(0, scheme.size(), scheme) != 0) return std::nullopt;
  const std::size_t slash = url.find('/', scheme.size());
  const std::string host = url.substr(scheme.size(), slash - scheme.size());
  const std::string path = slash == std::string::npos ? "/" : url.substr(slash);
  return Exchange(Widened(host), L"GET", Widened(path), {});
}

std::optional<int> ReadSimPort(const char* portFile) {
  const HANDLE opened = ::CreateFileW(WindowsPathOf(portFile).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return std::nullopt;
  const UniqueKernelHandle file(opened);
  char text[32] = {};
  DWORD read = 0;
  if (!::ReadFile(file.get(), text, sizeof(text) - 1, &read, nullptr)) return std::nullopt;
  text[read] = '\0';
  char* end = nullptr;
  const long port = std::strtol(text, &end, 10);
  if (end == text || port <= 0 || port > 65535) return std::nullopt;
  return static_cast<int>(port);
}
