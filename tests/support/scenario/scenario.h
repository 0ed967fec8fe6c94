// A scenario file: the simulated Wi-Fi state of some network interfaces, one interface a line.
//
//   NAME MEDIUM STATE SSID
//
// Fields are separated by single blanks. MEDIUM is the number the physical-medium query answers
// (9, 1, 14, ...) or `fail` for a query that fails; STATE is `up` or `down`; SSID is the rest of
// the line after the blank that ends STATE, blanks included, with `\xNN` standing for the byte NN
// (two hexadecimal digits; `\x5c` is a backslash). An empty SSID, or none, means not associated.
// Lines starting with `#` and empty lines say nothing. Every line ends with a line feed (a
// CR LF pair does too); text after the last line feed is no line: a file that a writer is
// still filling ends there, and a line cut short there must not count.
//
// A line that does not fit this shape is ignored as a whole: a bad name, medium or state, a
// backslash that does not start `\xNN`, an SSID of more than 32 bytes. When a name appears on
// several lines, the first one counts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::test {

struct ScenarioInterface {
  std::string name;
  std::optional<std::uint32_t> medium;  // nothing: the medium query fails
  bool up = false;
  std::string ssid;  // raw bytes, zero bytes included; empty: not associated

  // Associated with a network: a link that is down is associated with none, whatever its line
  // says.
  bool Associated() const { return up && !ssid.empty(); }

  friend bool operator==(const ScenarioInterface&, const ScenarioInterface&) = default;
};

// One line without its line end; nothing for a comment, an empty line or a malformed one.
std::optional<ScenarioInterface> ParseScenarioLine(std::string_view line);

class Scenario {
 public:
  static Scenario Parse(std::string_view text);
  // The file named by `path` as it is now; a file that is missing or cannot be read is an empty
  // scenario.
  static Scenario Load(const std::string& path);

  const std::vector<ScenarioInterface>& interfaces() const { return interfaces_; }
  const ScenarioInterface* Find(std::string_view name) const;

 private:
  std::vector<ScenarioInterface> interfaces_;
};

// The text of a scenario file. A file being rewritten is read again until two reads in a row
// agree, so that a rewrite under way rarely leaves lines out. Empty when the path names no
// readable regular file. At most kMaxScenarioBytes are read.
inline constexpr std::size_t kMaxScenarioBytes = 64 * 1024;
std::string ReadScenarioText(const std::string& path);

}  // namespace velmor::test
