// What the Linux backends learn about one link beyond rtnetlink's view of it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::net {

// The link's driver as ethtool names it ("iwlwifi", "veth"), asked in the calling thread's
// network namespace; nothing when the link has none or is gone.
std::optional<std::string> LinkDriver(std::string_view name);

// Whether the link is up and has its carrier (a station: associated, and past its key handshake
// where a supplicant holds the link dormant until then).
bool LinkRunning(std::string_view name);

// "NAME (driver)"; with no driver, "NAME (kind)" for a link that has a kind ("bridge"), else
// the name alone.
std::string LinkDescription(std::string_view name, std::string_view kind = {});

}  // namespace platform::net
