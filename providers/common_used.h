// CCommonUsedMgr: the commonly used programs and documents for the page. One collection run per
// process on a worker thread, which ends with the reply text; the page's request waits for it.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/scoped_handle.h"
#include "providers/icon_cache.h"
#include "providers/used_item_scan.h"
#include "providers/used_items.h"

namespace velmora {

class CCommonUsedMgr {
 public:
  explicit CCommonUsedMgr(UsedItemSources sources = UsedItemSources());
  // Waits for a running worker, which uses this object.
  ~CCommonUsedMgr();
  CCommonUsedMgr(const CCommonUsedMgr&) = delete;
  CCommonUsedMgr& operator=(const CCommonUsedMgr&) = delete;

  // Starts the one collection run, leaving out targets that match `exclusions` (MatchWildcard
  // patterns). Later calls do nothing. Main thread.
  void Start(std::vector<std::wstring> exclusions);

  // Waits for the run at most `wait_ms`, then answers a copy of the reply text: empty when the run
  // has not finished (or never started). Never a partly built text. Any thread.
  std::string GetReply(DWORD wait_ms = 10000);

  // One collection run on the calling thread; answers the reply text and stores it when none is
  // stored yet. GDI+ must be started.
  std::string CollectAndBuild(const std::vector<std::wstring>& exclusions);

 private:
  static unsigned __stdcall WorkerMain(void* self);

  const UsedItemSources sources_;
  std::vector<std::wstring> exclusions_;  // written before the worker starts
  CIconCache icons_;                      // the worker's only
  ScopedHandle worker_;
  std::mutex reply_lock_;
  std::string reply_;  // guarded by reply_lock_; set once, whole
};

}  // namespace velmora
