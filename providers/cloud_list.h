// CCloudRequestMgr: the recommended tools list from the maker's cloud configuration service. A
// worker fetches the signed list at most every 480 minutes (or when the side bar forces a
// refresh), has Tidy\SealKit.dll check and unwrap it, keeps the unwrapped text for the page,
// feeds its scene interval and suffixes to the settings store and caches the signed reply in
// Config\aisidebar.dat, which serves when the service cannot be reached.
//
// The worker handle, the start and the forced refresh belong to the main thread; the text may be
// read while a worker that outlived WaitForWorker replaces it. Runs never overlap, and none
// outlives the manager: its destructor waits for the one under way.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "platform/scoped_handle.h"
#include "providers/seal_kit.h"

namespace velmora {

class CAppConfigMgr;
class CHttpClient;
class CWindowSlot;

// The query of a list request, in its fixed order: "m2=..&mid=..&relation_id=aisidebar&version=..".
std::wstring CloudListQuery(const std::wstring& m2, const std::wstring& mid, const std::wstring& version);

// Minutes from the last accepted fetch (`stored`, registry time, 0 = never) to `now` that make
// the list stale.
bool IsCloudListStale(DWORD stored, int64_t now);

class CCloudRequestMgr {
 public:
  CCloudRequestMgr(CAppConfigMgr& settings, CHttpClient& http);
  ~CCloudRequestMgr();  // waits for a running worker
  CCloudRequestMgr(const CCloudRequestMgr&) = delete;
  CCloudRequestMgr& operator=(const CCloudRequestMgr&) = delete;

  // Start-up with the side bar window: readies the network library, binds SealKit and starts the
  // first worker. Once per process while not yet enabled; nothing when either library is missing.
  void Start(const CWindowSlot& side_bar);
  // The second half of Start with entries bound elsewhere (tests bind the stand-in themselves).
  void Enable(SealKitEntries entries, const CWindowSlot& side_bar);
  bool enabled() const { return enabled_.load(); }

  // The 8-hour timer: the next run fetches and notifies; starts it unless a handle is held. A start
  // while a let-go run still goes on has that run's thread make it afterwards.
  void ForceRefresh();
  // Waits at most 5000 ms for a held worker and lets its handle go, finished or not.
  void WaitForWorker();
  // The unwrapped text of the last accepted list; empty when none was accepted.
  std::string GetListText() const;

  // Where requests go (scheme and host) and where the cache lives; defaults: the build's
  // endpoint and <data folder>\Config\aisidebar.dat. Set before Start.
  void SetEndpoint(std::wstring endpoint) { endpoint_ = std::move(endpoint); }
  void SetCachePath(std::wstring path) { cache_path_ = std::move(path); }

  // One worker run on the calling thread (the worker's body; the benchmark and tests call it).
  void RunOnce();
  // Checks, unwraps and applies a signed body; true when the list was accepted.
  bool VerifyAndApply(const char* text, size_t length);

 private:
  static unsigned __stdcall WorkerMain(void* self);
  void StartWorker();
  bool LoadCache();
  bool UnwrapAndApply(const char* text);
  std::wstring RequestUrl() const;
  std::wstring CachePath();

  CAppConfigMgr& settings_;
  CHttpClient& http_;
  const CWindowSlot* side_bar_ = nullptr;
  SealKitEntries seal_;
  std::atomic<bool> enabled_{false};
  std::atomic<bool> forced_{false};
  ScopedHandle thread_;  // the last worker thread; waited for by the destructor
  bool held_ = false;    // the page has a run to wait for (main thread)
  std::mutex run_lock_;  // the two below
  bool running_ = false;
  bool another_run_ = false;
  std::wstring endpoint_;
  std::wstring cache_path_;
  mutable std::mutex text_lock_;
  std::string text_;
};

}  // namespace velmora
