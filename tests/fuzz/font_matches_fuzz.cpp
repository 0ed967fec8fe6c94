// The font-answer store as read back from the user's cache folder, where anything may lie:
// whatever is accepted is written back as a store that reads the same.
#include "platform/gdi/font_matches.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using platform::gdi::fonts::MatchStore;
  if (const std::optional<MatchStore> store = MatchStore::Parse(FuzzText(data, size))) {
    const std::optional<MatchStore> again = MatchStore::Parse(store->Serialize());
    FUZZ_CHECK(again && again->Serialize() == store->Serialize());
  }
  return 0;
}
