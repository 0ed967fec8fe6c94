#include "platform/host/host.h"

#include <mutex>

namespace platform::host {
namespace {

std::mutex g_mutex;
std::shared_ptr<Host>& Slot() {
  static auto* slot = new std::shared_ptr<Host>();  // outlives static destruction: late windows may ask
  return *slot;
}

}  // namespace

void Install(std::shared_ptr<Host> host) {
  std::lock_guard g(g_mutex);
  Slot() = std::move(host);
}

std::shared_ptr<Host> Current() {
  std::lock_guard g(g_mutex);
  return Slot();
}

}  // namespace platform::host
