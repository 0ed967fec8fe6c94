// Announcements that the network may have changed: links, addresses, routes, Wi-Fi association.
//
// A monitor is a descriptor to poll and a way to consume what made it readable. The Linux one
// listens on rtnetlink (links, IPv4 addresses, IPv4 routes) and, where the nl80211 family
// exists, on its "mlme" group (association, disassociation), in the network namespace of the
// thread that opens it. A test puts a source of its own in force to announce changes itself.
#pragma once

#include <memory>

namespace platform::net {

// What the announcements consumed at once amount to, from the least to the most telling.
enum class NetworkChange {
  kNone,
  // Something changed.
  kChange,
  // A link that was up has gone down or dormant, as it does for a moment while a station roams
  // between access points, and nothing went away with it.
  kLinkLoss,
  // A link that was not up is up again; after a roam, its traffic may take a moment longer.
  kLinkBack,
  // Something went away (an address, a route, a link), a link was switched off, or announcements
  // were lost: what a loss has come to is there to be seen.
  kLinkOutcome,
};

class ChangeMonitor {
 public:
  virtual ~ChangeMonitor() = default;
  // Readable while an announcement waits to be consumed.
  virtual int Fd() const = 0;
  // Consumes every waiting announcement without blocking; the most telling of them.
  virtual NetworkChange Drain() = 0;
};

class ChangeMonitorSource {
 public:
  virtual ~ChangeMonitorSource() = default;
  // A new monitor, or null when none can be opened here.
  virtual std::unique_ptr<ChangeMonitor> Open() = 0;
};

class LinuxChangeMonitorSource final : public ChangeMonitorSource {
 public:
  std::unique_ptr<ChangeMonitor> Open() override;
};

// The source in force; the Linux one unless the executable or a test chose another.
std::shared_ptr<ChangeMonitorSource> CurrentChangeMonitorSource();
void SetChangeMonitorSource(std::shared_ptr<ChangeMonitorSource> source);

// A monitor from the source in force; null when none can be opened.
std::unique_ptr<ChangeMonitor> OpenChangeMonitor();

}  // namespace platform::net
