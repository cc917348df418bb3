#pragma once
// A scripted stand-in for the system operations, for tests of the service
// logic: replies are queued per host, and every call is recorded.

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "service/service_platform.h"

class FakeServicePlatform : public ServicePlatform {
 public:
  struct Request {
    ServiceHost host;
    std::u16string path;
  };

  void QueueReply(ServiceHost host, HttpReply reply) { replies_[host].push_back(std::move(reply)); }
  void QueueBody(ServiceHost host, std::string body) {
    QueueReply(host, HttpReply{HttpReply::Status::Body, std::move(body)});
  }
  void QueueStatus(ServiceHost host, HttpReply::Status status) { QueueReply(host, HttpReply{status, {}}); }

  // Unscripted requests get this reply.
  HttpReply fallbackReply{HttpReply::Status::NoBody, {}};
  // Runs inside every Get, before the reply is taken: what another thread
  // does while a request is on the wire.
  std::function<void(ServiceHost)> onGet;
  // Runs inside ShowNotificationDialog, as the user would act on the dialog.
  std::function<void()> onNotificationDialog;

  std::vector<Request> requests;
  std::vector<std::u16string> tooltips;
  std::vector<std::u16string> balloons;
  std::vector<std::u16string> openedUrls;
  std::vector<std::uint32_t> sleeps;
  int notificationDialogs = 0;

  HttpReply Get(ServiceHost host, const std::u16string& path) override {
    requests.push_back({host, path});
    if (onGet) onGet(host);
    auto& queue = replies_[host];
    if (queue.empty()) return fallbackReply;
    HttpReply reply = std::move(queue.front());
    queue.pop_front();
    return reply;
  }
  void SetTooltipText(const std::u16string& text) override { tooltips.push_back(text); }
  void ShowBalloon(const std::u16string& text) override { balloons.push_back(text); }
  void ShowNotificationDialog() override {
    ++notificationDialogs;
    if (onNotificationDialog) onNotificationDialog();
  }
  void OpenUrl(const std::u16string& url) override { openedUrls.push_back(url); }
  void Sleep(std::uint32_t milliseconds) override { sleeps.push_back(milliseconds); }

 private:
  std::map<ServiceHost, std::deque<HttpReply>> replies_;
};
