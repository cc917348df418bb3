#include "service/http_request_win.h"

#include "service/http_transport_win.h"
#include "text/wide_text_win.h"

HttpReply GetFromHost(const std::wstring& host, INTERNET_PORT port, const std::u16string& path) {
  if (!TheHttpSession()) return {HttpReply::Status::ConnectFailed, {}};
  const std::wstring origin =
      L"http://" + host + (port == INTERNET_DEFAULT_HTTP_PORT ? L"" : L":" + std::to_wstring(port));
  const ProxyPlan plan = PlanProxiesFor((origin + AsWide(path.c_str())).c_str());
  const ULONGLONG start = ::GetTickCount64();
  // Windows sends through the first proxy of a list only: a proxy that
  // cannot be reached hands the request on to the next way of the list.
  for (std::size_t index = 0;; ++index) {
    const ChosenProxy& proxy = plan.tries[index];
    UniqueInternet connection(::WinHttpConnect(SessionFor(proxy), host.c_str(), port, 0));
    if (!connection) return {HttpReply::Status::ConnectFailed, {}};
    std::string body;
    bool couldNotConnect = false;
    const bool ended = HttpGet(connection.get(), proxy, AsWide(path.c_str()), body, &couldNotConnect);
    const bool last = index + 1 == plan.tries.size() || ::GetTickCount64() - start >= kFailoverBudgetMs;
    if (couldNotConnect && !last) continue;
    if (!couldNotConnect) NoteProxyAnswered(plan, index);
    if (!ended || body.empty()) return {HttpReply::Status::NoBody, {}};
    return {HttpReply::Status::Body, std::move(body)};
  }
}
