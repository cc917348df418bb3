#pragma once
// The few operations the service logic needs from the system. The program's
// own platform is Win32ServicePlatform in app/; tests stand it in.

#include <cstdint>
#include <string>

enum class ServiceHost {
  Authentication,  // log-in and one-time console keys
  Orders,          // the shop's untreated requests
};

struct HttpReply {
  enum class Status {
    // The request could not be started: no HTTP session, or no connection
    // handle for the host. Nothing reached the network; a host that cannot
    // be reached gives NoBody.
    ConnectFailed,
    NoBody,  // the exchange failed or the reply body was empty
    Body,    // body holds the reply's bytes exactly as received
  };
  Status status = Status::NoBody;
  std::string body;
};

class ServicePlatform {
 public:
  virtual ~ServicePlatform() = default;

  // One GET of path (with its query) on port 80 of host, over a connection
  // opened and closed for this request alone.
  virtual HttpReply Get(ServiceHost host, const std::u16string& path) = 0;

  virtual void SetTooltipText(const std::u16string& text) = 0;
  virtual void ShowBalloon(const std::u16string& text) = 0;
  // The icon shows that the service cannot be reached, or (false) the
  // waiting count again.
  virtual void ShowNotConnected(bool notConnected) = 0;

  // Shows the notification dialog modally and returns when the user has
  // closed it. The dialog reads newCount of the untreated state itself.
  virtual void ShowNotificationDialog() = 0;
  // Starts the announcement's sound and returns at once.
  virtual void PlayNewRequestSound() = 0;

  // Opens url in the user's default browser.
  virtual void OpenUrl(const std::u16string& url) = 0;

  // Waits milliseconds, or less when the system resumes from sleep
  // meanwhile (or has resumed since the last wait): true then.
  virtual bool Sleep(std::uint32_t milliseconds) = 0;
  // A clock in milliseconds that wraps after 49 days: only the difference
  // of two readings counts.
  virtual std::uint32_t Milliseconds() = 0;
};
