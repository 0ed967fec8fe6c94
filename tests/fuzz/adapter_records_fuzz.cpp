// Arbitrary adapter records through GetAdaptersInfo into a buffer exactly as large as the caller
// claims, so that a write past it is caught. The chain that comes back is well formed and every
// text in it ends within its field.
#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const auto claimed = in.ConsumeIntegralInRange<ULONG>(0, 64 * 1024);
  auto source = std::make_shared<FuzzSource>();
  do {
    const auto text = [&in] { return in.ConsumeRandomLengthString(400); };
    const std::string address = text();
    source->records.push_back({text(), text(), in.ConsumeIntegral<DWORD>(), in.ConsumeIntegral<UINT>(),
                               {address.begin(), address.end()}, text(), text(), text(), false});
  } while (in.remaining_bytes() > 0 && source->records.size() < 64);
  const std::size_t count = source->records.size();
  platform::net::SetAdapterSource(source);
  std::unique_ptr<std::uint8_t[]> buffer;
  if (claimed > 0) buffer = std::make_unique_for_overwrite<std::uint8_t[]>(claimed);
  ULONG length = claimed;
  const ULONG result = GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.get()), &length);
  // Records are always there, so nothing but these two may come back.
  FUZZ_CHECK(result == ERROR_BUFFER_OVERFLOW || result == ERROR_SUCCESS);
  FUZZ_CHECK(result == ERROR_SUCCESS ? claimed >= count * sizeof(IP_ADAPTER_INFO)
                                     : length > claimed && length == count * sizeof(IP_ADAPTER_INFO));
  std::size_t seen = 0;
  for (auto* info = reinterpret_cast<PIP_ADAPTER_INFO>(buffer.get()); result == ERROR_SUCCESS && info; info = info->Next) {
    FUZZ_CHECK(++seen <= count && FUZZ_TERMINATED(info->AdapterName) && FUZZ_TERMINATED(info->Description));
    FUZZ_CHECK(info->AddressLength <= MAX_ADAPTER_ADDRESS_LENGTH && !info->IpAddressList.Next && !info->GatewayList.Next);
    for (const IP_ADDR_STRING* entry : {&info->IpAddressList, &info->GatewayList}) {
      FUZZ_CHECK(FUZZ_TERMINATED(entry->IpAddress.String) && FUZZ_TERMINATED(entry->IpMask.String));
    }
  }
  FUZZ_CHECK(result != ERROR_SUCCESS || seen == count);
  platform::net::SetAdapterSource(nullptr);
  return 0;
}
