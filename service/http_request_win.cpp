#include "service/http_request_win.h"

#include "service/http_transport_win.h"
#include "text/wide_text_win.h"

HttpReply GetFromHost(const std::wstring& host, INTERNET_PORT port, const std::u16string& path) {
  if (!TheHttpSession()) return {HttpReply::Status::ConnectFailed, {}};
  // The origin only steers the proxy lookups.
  const ChosenProxy proxy = ChooseProxyFor((L"http://" + host).c_str());
  UniqueInternet connection(::WinHttpConnect(SessionFor(proxy), host.c_str(), port, 0));
  if (!connection) return {HttpReply::Status::ConnectFailed, {}};

  std::string body;
  if (!HttpGet(connection.get(), proxy, AsWide(path.c_str()), body) || body.empty()) {
    return {HttpReply::Status::NoBody, {}};
  }
  return {HttpReply::Status::Body, std::move(body)};
}
