#include "platform/ui/host.h"

#include "platform/base/service.h"

namespace platform::host {
namespace {

constinit Service<Host> g_host;

}  // namespace

void Install(std::shared_ptr<Host> host) { g_host.Set(std::move(host)); }

std::shared_ptr<Host> Current() { return g_host.Get(); }

}  // namespace platform::host
