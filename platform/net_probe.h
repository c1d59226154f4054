// Whether the maker's services can be reached: a one-time probe of the service hosts through
// NetCore.dll, whose answer decides between the remote page and the packaged local page.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/net_core.h"
#include "platform/scoped_handle.h"

namespace velmora {

class CNetProbe {
 public:
  // The process-wide probe of the build's service hosts, through the core library NetCore.dll.
  static CNetProbe& Instance();

  // A probe of `hosts` (in order) through the library at `library_path`, loaded through the
  // trusted loader (tests and tools; the program uses Instance()).
  CNetProbe(std::wstring library_path, std::vector<std::string> hosts);
  ~CNetProbe();
  CNetProbe(const CNetProbe&) = delete;
  CNetProbe& operator=(const CNetProbe&) = delete;

  // 1 when a request to one of the hosts completed within 1 s, else 0. Probes on the first call
  // only; every later call, from any thread, answers the stored result, and callers that come
  // while the probe runs wait for it.
  int IsReachable();

 private:
  void Bind();
  int SetOption(netcore::RequestHandle handle, int option, const void* value) const;
  int SetOption(netcore::RequestHandle handle, int option, long value) const;

  const std::wstring library_path_;
  const std::vector<std::string> hosts_;
  std::mutex lock_;
  bool probed_ = false;
  int answer_ = 0;
  ScopedLibrary own_library_;
  netcore::CreateHandleFn create_ = nullptr;
  netcore::SetOptionFn set_option_ = nullptr;
  netcore::PerformFn perform_ = nullptr;
  netcore::ReleaseHandleFn release_ = nullptr;
};

}  // namespace velmora
