#pragma once
// A flag that ends waits: slow replies and the event script sleep on it, so
// that the simulator stops at once on SIGINT or SIGTERM instead of after
// the longest delay.

#include <chrono>
#include <condition_variable>
#include <mutex>

class StopSignal {
 public:
  void Stop() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
    }
    changed_.notify_all();
  }

  bool stopped() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
  }

  // Waits until deadline; false when Stop came first.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_until(lock, deadline, [this] { return stopped_; });
  }

  bool WaitFor(std::chrono::milliseconds delay) { return WaitUntil(std::chrono::steady_clock::now() + delay); }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stopped_ = false;
};
