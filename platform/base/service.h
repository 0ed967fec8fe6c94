// A process-wide service that a test may replace: the host, the clock, the debug output sink,
// the network backends, the shell launcher.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace platform {

// Get gives the service in force: the one last Set, or, before any Set and after Set(nullptr),
// the program's own one, made on first use by `makeDefault` (null when there is none). A caller
// keeps what Get gave alive across a replacement. Declare each one `constinit` at namespace
// scope: it is never destroyed, so that threads still running while statics are torn down can ask.
template <class T>
class Service {
 public:
  using Factory = std::shared_ptr<T> (*)();

  constexpr explicit Service(Factory makeDefault = nullptr) : current_(), makeDefault_(makeDefault) {}
  ~Service() {}
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  std::shared_ptr<T> Get() {
    std::lock_guard g(mutex_);
    if (!current_ && makeDefault_ != nullptr) current_ = makeDefault_();
    return current_;
  }

  void Set(std::shared_ptr<T> service) {
    std::lock_guard g(mutex_);
    current_ = std::move(service);
  }

 private:
  std::mutex mutex_;
  union {
    std::shared_ptr<T> current_;
  };
  Factory makeDefault_;
};

}  // namespace platform
