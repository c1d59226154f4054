#include "platform/net_probe.h"

#include <utility>

#include "platform/build_constants.h"
#include "platform/core_libraries.h"
#include "platform/system_functions.h"
#include "platform/trust.h"

namespace velmora {
namespace {

constexpr long kProbeTimeoutMs = 1000;

}  // namespace

CNetProbe& CNetProbe::Instance() {
  static CNetProbe probe(L"", std::vector<std::string>(std::begin(kProbeHosts), std::end(kProbeHosts)));
  return probe;
}

CNetProbe::CNetProbe(std::wstring library_path, std::vector<std::string> hosts)
    : library_path_(std::move(library_path)), hosts_(std::move(hosts)) {}

// A library the probe loaded itself stays loaded, like the core libraries.
CNetProbe::~CNetProbe() { (void)own_library_.release(); }

// The probe takes its four entries from a block of its own, so it works whether or not the
// HTTP client has initialised the library.
void CNetProbe::Bind() {
  HMODULE library = nullptr;
  if (library_path_.empty()) {
    library = GetCoreLibrary(CoreLibrary::kNetCore);
  } else {
    own_library_ = LoadTrustedLibrary(library_path_);
    library = own_library_.get();
  }
  const auto init_libs = GetProcAddressAs<netcore::InitLibsFn>(library, netcore::kInitLibsExport);
  if (!init_libs) return;
  netcore::InitBlock block{};
  block.size = netcore::kInitBlockSize;
  if (init_libs(&block) != 0) return;
  create_ = reinterpret_cast<netcore::CreateHandleFn>(block.entries[netcore::kCreateHandle]);
  set_option_ = reinterpret_cast<netcore::SetOptionFn>(block.entries[netcore::kSetOption]);
  perform_ = reinterpret_cast<netcore::PerformFn>(block.entries[netcore::kPerform]);
  release_ = reinterpret_cast<netcore::ReleaseHandleFn>(block.entries[netcore::kReleaseHandle]);
}

int CNetProbe::SetOption(netcore::RequestHandle handle, int option, const void* value) const {
  return set_option_ ? set_option_(handle, option, value) : ERROR_FILE_NOT_FOUND;
}

int CNetProbe::SetOption(netcore::RequestHandle handle, int option, long value) const {
  return set_option_ ? set_option_(handle, option, value) : ERROR_FILE_NOT_FOUND;
}

int CNetProbe::IsReachable() {
  std::lock_guard<std::mutex> hold(lock_);
  if (probed_) return answer_;
  probed_ = true;
  answer_ = 0;
  Bind();
  netcore::RequestHandle handle = create_ ? create_() : nullptr;
  if (!handle) return answer_;
  SetOption(handle, netcore::kOptionTimeoutMs, kProbeTimeoutMs);
  for (const std::string& host : hosts_) {
    SetOption(handle, netcore::kOptionUrl, host.c_str());
    if (perform_ && perform_(handle) == netcore::kOk) {
      answer_ = 1;
      break;
    }
  }
  if (release_) release_(handle);
  return answer_;
}

}  // namespace velmora
