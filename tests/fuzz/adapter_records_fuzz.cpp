// Arbitrary adapter records through GetAdaptersInfo into a buffer exactly as large as the caller
// claims. An address that does not fit its field is left out: cut, it would be another address.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/errors.h"
#include "platform/net/iphlpapi.h"
#include "tests/fuzz/fuzz.h"

namespace {

struct FuzzSource final : platform::net::AdapterSource {
  std::vector<platform::net::AdapterRecord> records;
  DWORD List(std::vector<platform::net::AdapterRecord>* adapters) override {
    *adapters = records;
    return ERROR_SUCCESS;
  }
};

// The field holds the text (up to any zero byte in it) cut to leave room for its terminator.
template <std::size_t N>
bool HoldsCut(const char (&field)[N], const std::string& text) {
  return FUZZ_TERMINATED(field) && std::strcmp(field, text.substr(0, N - 1).c_str()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const auto claimed = in.ConsumeIntegralInRange<ULONG>(0, 64 * 1024);
  auto source = std::make_shared<FuzzSource>();
  do {
    const auto text = [&in] { return in.ConsumeRandomLengthString(400); };
    source->records.push_back({text(), text(), in.ConsumeIntegral<DWORD>(), text(), text(), text()});
  } while (in.remaining_bytes() > 0 && source->records.size() < 64);
  const std::size_t count = source->records.size();
  platform::net::SetAdapterSource(source);
  std::unique_ptr<std::uint8_t[]> buffer;
  if (claimed > 0) buffer = std::make_unique_for_overwrite<std::uint8_t[]>(claimed);
  std::fill_n(buffer.get(), claimed, 0x5A);
  ULONG length = claimed;
  const ULONG result = GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.get()), &length);
  // Records are always there, so nothing but these two may come back.
  FUZZ_CHECK(result == ERROR_BUFFER_OVERFLOW || result == ERROR_SUCCESS);
  FUZZ_CHECK(result == ERROR_SUCCESS ? claimed >= count * sizeof(IP_ADAPTER_INFO)
                                     : length > claimed && length == count * sizeof(IP_ADAPTER_INFO));
  const std::size_t written = result == ERROR_SUCCESS ? count * sizeof(IP_ADAPTER_INFO) : 0;
  FUZZ_CHECK(std::all_of(buffer.get() + written, buffer.get() + claimed, [](std::uint8_t b) { return b == 0x5A; }));
  std::size_t seen = 0;
  for (auto* info = reinterpret_cast<PIP_ADAPTER_INFO>(buffer.get()); result == ERROR_SUCCESS && info; info = info->Next) {
    FUZZ_CHECK(seen < count);
    const platform::net::AdapterRecord& record = source->records[seen++];
    FUZZ_CHECK(HoldsCut(info->AdapterName, record.name) && HoldsCut(info->Description, record.description));
    FUZZ_CHECK(HoldsCut(info->GatewayList.IpAddress.String, record.gateway.size() < sizeof(IP_ADDRESS_STRING) ? record.gateway : ""));
    FUZZ_CHECK(!info->IpAddressList.Next && !info->GatewayList.Next);
    for (const IP_ADDR_STRING* entry : {&info->IpAddressList, &info->GatewayList}) {
      FUZZ_CHECK(FUZZ_TERMINATED(entry->IpAddress.String) && FUZZ_TERMINATED(entry->IpMask.String));
    }
  }
  FUZZ_CHECK(result != ERROR_SUCCESS || seen == count);
  platform::net::SetAdapterSource(nullptr);
  return 0;
}
