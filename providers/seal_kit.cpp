#include "providers/seal_kit.h"

#include "platform/scoped_handle.h"
#include "platform/suite_folder.h"
#include "platform/system_functions.h"
#include "platform/trust.h"

namespace velmora {
namespace {

SealKitEntries g_entries;

}  // namespace

bool BindSealKit() {
  if (g_entries.decrypt && g_entries.free) return true;
  const std::wstring suite = GetSuiteFolder();
  if (suite.empty()) return false;
  ScopedLibrary library(LoadTrustedLibrary(suite + L"\\Tidy\\SealKit.dll"));
  SealKitEntries entries;
  entries.decrypt = GetProcAddressAs<DecyptRsaDataFn>(library.get(), "DecyptRsaData");
  entries.free = GetProcAddressAs<FreeRsaDataFn>(library.get(), "FreeRsaData");
  if (!entries.decrypt || !entries.free) return false;
  (void)library.release();  // bound for the life of the process
  g_entries = entries;
  return true;
}

SealKitEntries GetSealKit() { return g_entries; }

}  // namespace velmora
