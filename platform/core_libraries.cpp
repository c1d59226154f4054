#include "platform/core_libraries.h"

#include <mutex>

#include "platform/trust.h"

namespace velmora {
namespace {

struct CoreLibrarySlot {
  const wchar_t* name;
  std::once_flag once;
  HMODULE module = nullptr;
};

CoreLibrarySlot g_slots[] = {
    {L"BaseCore.dll", {}, nullptr},
    {L"ConfCore.dll", {}, nullptr},
    {L"HostKit.dll", {}, nullptr},
    {L"NetCore.dll", {}, nullptr},
};

CoreLibrarySlot& Slot(CoreLibrary library) { return g_slots[static_cast<int>(library)]; }

}  // namespace

const wchar_t* CoreLibraryName(CoreLibrary library) { return Slot(library).name; }

HMODULE GetCoreLibrary(CoreLibrary library) {
  CoreLibrarySlot& slot = Slot(library);
  std::call_once(slot.once, [&slot] {
    // Only a located and verified file is loaded, held from its check to its load; kept for the
    // life of the process.
    slot.module = LoadCoreLibrary(slot.name).release();
  });
  return slot.module;
}

bool BindHostKitTable() {
  if (!GetCoreFunction<HostKitCreateInstanceFn>(CoreLibrary::kHostKit, kHostKitCreateInstance)) return false;
  auto version = GetCoreFunction<HostKitVersionFn>(CoreLibrary::kHostKit, kHostKitVersion);
  return version && version() != 0;
}

std::optional<INT_PTR> HostKitShellExecute(HWND window, const wchar_t* verb, const wchar_t* file,
                                           const wchar_t* parameters, const wchar_t* directory, int show) {
  auto shell_execute = GetCoreFunction<HostKitShellExecuteFn>(CoreLibrary::kHostKit, kHostKitShellExecute);
  if (!shell_execute) return std::nullopt;
  return shell_execute(window, verb, file, parameters, directory, show);
}

bool HostKitOpenUrl(const wchar_t* url) {
  auto open_url = GetCoreFunction<HostKitOpenUrlFn>(CoreLibrary::kHostKit, kHostKitOpenUrl);
  return open_url && open_url(url) != FALSE;
}

namespace {

IMsgCenterSettings2* MessageCenterSettings() {
  // Never released: it lives as long as the process, like the library that made it.
  static IMsgCenterSettings2* const settings = [] {
    auto create = GetCoreFunction<HostKitCreateInstanceFn>(CoreLibrary::kHostKit, kHostKitCreateInstance);
    void* object = nullptr;
    if (!create || FAILED(create(kMsgCenterSettingsObject, kMsgCenterSettingsObject, &object))) return
        static_cast<IMsgCenterSettings2*>(nullptr);
    return static_cast<IMsgCenterSettings2*>(object);
  }();
  return settings;
}

}  // namespace

bool HasMessageCenterSettings() { return MessageCenterSettings() != nullptr; }

std::optional<DWORD> QueryMessageCenterSetting(const MsgCenterSettingKey& key) {
  IMsgCenterSettings2* settings = MessageCenterSettings();
  DWORD value = 0;
  if (!settings || FAILED(settings->QuerySetting(1, &key, &value))) return std::nullopt;
  return value;
}

std::optional<int> QueryFileTrustClass(const std::wstring& path) {
  auto query = GetCoreFunction<BaseCoreFileTrustFn>(CoreLibrary::kBaseCore, kBaseCoreFileTrust);
  int trust_class = 0;
  if (!query || !query(path.c_str(), &trust_class)) return std::nullopt;
  return trust_class;
}

}  // namespace velmora
