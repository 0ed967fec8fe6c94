#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>

#include "platform/base/codepage.h"
#include "platform/base/errors.h"
#include "platform/base/service.h"
#include "platform/kernel/handle.h"
#include "platform/net/wlanapi.h"

namespace platform::net {
namespace {

// An open client behind a HANDLE. Calls on one client are serialised; the backend's client is
// closed once, by WlanCloseHandle or, failing that, when the last user lets go.
class WlanClientObject final : public kernel::KernelObject {
 public:
  WlanClientObject(std::unique_ptr<WlanClient> client, std::shared_ptr<WlanService> service)
      : service_(std::move(service)), client_(std::move(client)) {}
  ~WlanClientObject() override { Close(); }

  const std::shared_ptr<WlanService>& service() const { return service_; }

  template <class Call>
  DWORD Use(Call call) {
    std::lock_guard g(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    return call(*client_);
  }

  DWORD Close() {
    std::lock_guard g(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    closed_ = true;
    return client_->Close();
  }

 private:
  std::mutex mutex_;
  bool closed_ = false;
  // The client goes before the service that made it.
  std::shared_ptr<WlanService> service_;
  std::unique_ptr<WlanClient> client_;
};

// Every block handed out and not yet freed, with the backend that allocated it.
std::mutex g_blockMutex;
std::map<void*, std::shared_ptr<WlanService>>& Blocks() {
  static auto* blocks = new std::map<void*, std::shared_ptr<WlanService>>();
  return *blocks;
}

void* HandOut(const std::shared_ptr<WlanService>& service, std::size_t size) {
  void* block = service->Allocate(size);
  if (block == nullptr) return nullptr;
  std::lock_guard g(g_blockMutex);
  Blocks().emplace(block, service);
  return block;
}

constinit Service<WlanService> g_service(
    []() -> std::shared_ptr<WlanService> { return std::make_shared<LinuxWlanService>(); });

template <std::size_t N>
void CopyWide(WCHAR (&field)[N], std::string_view text) {
  const std::u16string wide = AnsiToWide(text);
  const std::size_t n = std::min(wide.size(), N - 1);
  std::copy_n(wide.begin(), n, field);
  field[n] = u'\0';
}

}  // namespace

void* WlanService::Allocate(std::size_t size) { return std::calloc(1, size); }

void WlanService::Free(void* block) { std::free(block); }

std::shared_ptr<WlanService> CurrentWlanService() { return g_service.Get(); }

void SetWlanService(std::shared_ptr<WlanService> service) { g_service.Set(std::move(service)); }

}  // namespace platform::net

DWORD WlanOpenHandle(DWORD clientVersion, PVOID reserved, PDWORD negotiatedVersion, PHANDLE clientHandle) {
  using namespace platform::net;
  if (reserved != nullptr || negotiatedVersion == nullptr || clientHandle == nullptr) return ERROR_INVALID_PARAMETER;
  *clientHandle = nullptr;
  if (clientVersion != 1 && clientVersion != 2) return ERROR_NOT_SUPPORTED;

  std::shared_ptr<WlanService> service = CurrentWlanService();
  std::unique_ptr<WlanClient> client;
  const DWORD error = service->Open(&client);
  if (error != ERROR_SUCCESS) return error;
  if (!client) return ERROR_GEN_FAILURE;
  *negotiatedVersion = clientVersion;
  *clientHandle =
      platform::kernel::InsertHandle(std::make_shared<WlanClientObject>(std::move(client), std::move(service)));
  return ERROR_SUCCESS;
}

DWORD WlanCloseHandle(HANDLE clientHandle, PVOID reserved) {
  using namespace platform::net;
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  const std::shared_ptr<WlanClientObject> object = platform::kernel::LookupHandleAs<WlanClientObject>(clientHandle);
  if (!object) return ERROR_INVALID_HANDLE;
  platform::kernel::RemoveHandle(clientHandle);
  return object->Close();
}

DWORD WlanEnumInterfaces(HANDLE clientHandle, PVOID reserved, PWLAN_INTERFACE_INFO_LIST* interfaceList) {
  using namespace platform::net;
  if (reserved != nullptr || interfaceList == nullptr) return ERROR_INVALID_PARAMETER;
  *interfaceList = nullptr;
  const std::shared_ptr<WlanClientObject> object = platform::kernel::LookupHandleAs<WlanClientObject>(clientHandle);
  if (!object) return ERROR_INVALID_HANDLE;

  std::vector<WlanInterfaceEntry> entries;
  const DWORD error = object->Use([&](WlanClient& client) { return client.EnumInterfaces(&entries); });
  if (error != ERROR_SUCCESS) return error;

  constexpr std::size_t kHeader = offsetof(WLAN_INTERFACE_INFO_LIST, InterfaceInfo);
  constexpr std::size_t kMaxEntries = (std::numeric_limits<DWORD>::max() - kHeader) / sizeof(WLAN_INTERFACE_INFO);
  if (entries.size() > kMaxEntries) return ERROR_NOT_ENOUGH_MEMORY;
  // Room for one entry even when there is none, as the structure declares it.
  const std::size_t size = kHeader + std::max<std::size_t>(entries.size(), 1) * sizeof(WLAN_INTERFACE_INFO);
  void* block = HandOut(object->service(), size);
  if (block == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  std::memset(block, 0, size);

  auto* list = static_cast<WLAN_INTERFACE_INFO_LIST*>(block);
  list->dwNumberOfItems = static_cast<DWORD>(entries.size());
  list->dwIndex = 0;
  // The entries run past the one the structure declares, so they are reached from the block.
  auto* infos = reinterpret_cast<WLAN_INTERFACE_INFO*>(static_cast<BYTE*>(block) + kHeader);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    infos[i].InterfaceGuid = GuidFromInterfaceName(entries[i].name);
    CopyWide(infos[i].strInterfaceDescription, entries[i].description);
    infos[i].isState = entries[i].connected ? wlan_interface_state_connected : wlan_interface_state_disconnected;
  }
  *interfaceList = list;
  return ERROR_SUCCESS;
}

DWORD WlanQueryInterface(HANDLE clientHandle, const GUID* interfaceGuid, WLAN_INTF_OPCODE opCode, PVOID reserved,
                         PDWORD dataSize, PVOID* data, PWLAN_OPCODE_VALUE_TYPE opcodeValueType) {
  using namespace platform::net;
  if (reserved != nullptr || interfaceGuid == nullptr || dataSize == nullptr || data == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  *data = nullptr;
  const std::shared_ptr<WlanClientObject> object = platform::kernel::LookupHandleAs<WlanClientObject>(clientHandle);
  if (!object) return ERROR_INVALID_HANDLE;
  if (opCode != wlan_intf_opcode_current_connection) return ERROR_NOT_SUPPORTED;
  const std::string name = InterfaceNameFromGuid(*interfaceGuid);
  if (name.empty()) return ERROR_NOT_FOUND;

  WlanConnection connection;
  const DWORD error =
      object->Use([&](WlanClient& client) { return client.QueryCurrentConnection(name, &connection); });
  if (error != ERROR_SUCCESS) return error;
  // The structure has room for 32 SSID bytes; a backend that reports more is broken.
  if (connection.ssid.size() > DOT11_SSID_MAX_LENGTH) return ERROR_GEN_FAILURE;

  void* block = HandOut(object->service(), sizeof(WLAN_CONNECTION_ATTRIBUTES));
  if (block == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  std::memset(block, 0, sizeof(WLAN_CONNECTION_ATTRIBUTES));
  auto* attributes = static_cast<WLAN_CONNECTION_ATTRIBUTES*>(block);
  attributes->isState = wlan_interface_state_connected;
  // The association was made by whatever manages the link on this system, not through a profile
  // of this service.
  attributes->wlanConnectionMode = wlan_connection_mode_auto;
  DOT11_SSID& ssid = attributes->wlanAssociationAttributes.dot11Ssid;
  ssid.uSSIDLength = static_cast<ULONG>(connection.ssid.size());
  std::copy(connection.ssid.begin(), connection.ssid.end(), ssid.ucSSID);
  attributes->wlanAssociationAttributes.dot11BssType = dot11_BSS_type_infrastructure;
  attributes->wlanAssociationAttributes.dot11PhyType = dot11_phy_type_unknown;

  *dataSize = sizeof(WLAN_CONNECTION_ATTRIBUTES);
  *data = block;
  if (opcodeValueType != nullptr) *opcodeValueType = wlan_opcode_value_type_query_only;
  return ERROR_SUCCESS;
}

void WlanFreeMemory(PVOID memory) {
  using namespace platform::net;
  if (memory == nullptr) return;
  std::shared_ptr<WlanService> service;
  {
    std::lock_guard g(g_blockMutex);
    const auto found = Blocks().find(memory);
    if (found == Blocks().end()) return;
    service = std::move(found->second);
    Blocks().erase(found);
  }
  service->Free(memory);
}
