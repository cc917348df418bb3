#include "service/http_request_win.h"

#include "service/http_transport_win.h"
#include "text/wide_text_win.h"

HttpReply GetFromHost(const std::wstring& host, INTERNET_PORT port, const std::u16string& path) {
  const HINTERNET session = TheHttpSession();
  if (!session) return {HttpReply::Status::ConnectFailed, {}};
  UniqueInternet connection(::WinHttpConnect(session, host.c_str(), port, 0));
  if (!connection) return {HttpReply::Status::ConnectFailed, {}};

  // The origin only steers the per-request proxy lookup.
  const std::wstring origin = L"http://" + host;
  std::string body;
  if (!HttpGet(connection.get(), origin.c_str(), AsWide(path.c_str()), body) || body.empty()) {
    return {HttpReply::Status::NoBody, {}};
  }
  return {HttpReply::Status::Body, std::move(body)};
}
