#include "service/console_launch_win.h"

#include <memory>

#include "service/console_launch.h"
#include "service/process_platform.h"
#include "win32/off_thread_work.h"

namespace {

// The process's platform for the requests, but the URL to open is only kept:
// the shell is called from the thread that stays, in its COM apartment.
class UrlKeepingPlatform final : public ServicePlatform {
 public:
  explicit UrlKeepingPlatform(ServicePlatform& platform) : platform_(platform) {}

  HttpReply Get(ServiceHost host, const std::u16string& path) override { return platform_.Get(host, path); }
  void SetTooltipText(const std::u16string& text) override { platform_.SetTooltipText(text); }
  void ShowBalloon(const std::u16string& text) override { platform_.ShowBalloon(text); }
  void ShowNotConnected(bool notConnected) override { platform_.ShowNotConnected(notConnected); }
  void ShowNotificationDialog() override { platform_.ShowNotificationDialog(); }
  void PlayNewRequestSound() override { platform_.PlayNewRequestSound(); }
  void OpenUrl(const std::u16string& url) override { url_ = url; }
  bool Sleep(std::uint32_t milliseconds) override { return platform_.Sleep(milliseconds); }
  std::uint32_t Milliseconds() override { return platform_.Milliseconds(); }

  const std::u16string& url() const { return url_; }

 private:
  ServicePlatform& platform_;  // the process's, never destroyed
  std::u16string url_;
};

struct ConsoleLaunch {
  UrlKeepingPlatform platform{TheServicePlatform()};
  int result = 0;
};

}  // namespace

int OpenConsoleServingMessages() {
  // Shared with the request's thread, which outlives this frame when the
  // program ends meanwhile.
  const auto launch = std::make_shared<ConsoleLaunch>();
  const OffThreadOutcome outcome = RunOffThread(
      [launch] { launch->result = OpenConsole(launch->platform, TheShopCredentials(), TheSessionState()); });
  if (outcome != OffThreadOutcome::Done) return -1;
  if (!launch->platform.url().empty()) TheServicePlatform().OpenUrl(launch->platform.url());
  return launch->result;
}
