#include "providers/cloud_list.h"

#include <process.h>

#include <algorithm>
#include <utility>
#include <vector>

#include <json/value.h>

#include "config/app_config.h"
#include "config/time_rules.h"
#include "platform/build_constants.h"
#include "platform/data_folder.h"
#include "platform/http_client.h"
#include "platform/process_ids.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "platform/version_info.h"
#include "platform/window_slot.h"
#include "providers/cloud_list_key.h"
#include "providers/file_replace.h"
#include "providers/json_text.h"
#include "providers/machine_ids.h"

namespace velmora {
namespace {

constexpr wchar_t kRequestPath[] = L"/main/cdn_client/v1/relations/e";
constexpr wchar_t kQueryTimeValue[] = L"aitool_cloudquerytime";
constexpr int64_t kRefreshAgeMinutes = 480;
constexpr DWORD kWorkerWaitMs = 5000;
// The scene check's longest period; a larger interval from the list is cut to it.
constexpr int64_t kMaxSceneIntervalSeconds = 86400;

// The list's inner array, when the unwrapped document has the expected shape: `data` a string
// holding an array (an empty string counts as an empty array); in each element `sec_time` absent
// or an integer and `list` an array whose entries are null (which ends that list) or objects
// with a string `suffix`. Anything else refuses the whole list.
bool ReadListShape(const Json::Value& document, Json::Value* elements) {
  if (!document.isObject() || !document["data"].isString()) return false;
  const std::string data = document["data"].asString();
  *elements = Json::Value(Json::arrayValue);
  if (data.empty()) return true;
  if (!ParseJsonText(data.data(), data.size(), elements) || !elements->isArray()) return false;
  for (const Json::Value& element : *elements) {
    if (!element.isObject()) return false;
    const Json::Value& seconds = element["sec_time"];
    if (!seconds.isNull() && !seconds.isIntegral()) return false;
    const Json::Value& list = element["list"];
    if (!list.isArray()) return false;
    for (const Json::Value& entry : list) {
      if (entry.isNull()) break;
      if (!entry.isObject() || !entry["suffix"].isString()) return false;
    }
  }
  return true;
}

void ApplyList(const Json::Value& elements, CAppConfigMgr& settings) {
  for (const Json::Value& element : elements) {
    const Json::Value& seconds = element["sec_time"];
    if (!seconds.isNull()) {
      const int64_t value = seconds.isInt64() ? seconds.asInt64() : kMaxSceneIntervalSeconds;
      if (value >= 0) settings.SetSceneInterval(static_cast<int>(std::min(value, kMaxSceneIntervalSeconds)));
    }
    for (const Json::Value& entry : element["list"]) {
      if (entry.isNull()) break;
      settings.AddSceneSuffixes(Utf8ToWide(entry["suffix"].asString()));
    }
  }
}

}  // namespace

std::wstring CloudListQuery(const std::wstring& m2, const std::wstring& mid, const std::wstring& version) {
  // Ordered by name; values go on the wire as they are.
  return L"m2=" + m2 + L"&mid=" + mid + L"&relation_id=aisidebar&version=" + version;
}

bool IsCloudListStale(DWORD stored, int64_t now) {
  return stored == 0 || ElapsedMinutes(stored, now) >= kRefreshAgeMinutes;
}

CCloudRequestMgr::CCloudRequestMgr(CAppConfigMgr& settings, CHttpClient& http)
    : settings_(settings), http_(http), endpoint_(kCloudEndpoint) {}

CCloudRequestMgr::~CCloudRequestMgr() {
  {
    std::lock_guard<std::mutex> hold(run_lock_);
    another_run_ = false;
  }
  if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
}

void CCloudRequestMgr::Start(const CWindowSlot& side_bar) {
  if (enabled_ || http_.Init() != 1 || !BindSealKit()) return;
  Enable(GetSealKit(), side_bar);
}

void CCloudRequestMgr::Enable(SealKitEntries entries, const CWindowSlot& side_bar) {
  if (enabled_ || !entries.decrypt || !entries.free) return;
  seal_ = entries;
  side_bar_ = &side_bar;
  enabled_ = true;
  if (!held_) StartWorker();
}

void CCloudRequestMgr::ForceRefresh() {
  forced_ = true;
  // A held handle (the page has not asked since the last run) leaves the mark for the next run.
  if (!held_) StartWorker();
}

void CCloudRequestMgr::WaitForWorker() {
  if (!held_) return;
  ::WaitForSingleObject(thread_.get(), kWorkerWaitMs);
  // Let go also while the run goes on: the next start may ask for a run again.
  held_ = false;
}

std::string CCloudRequestMgr::GetListText() const {
  std::lock_guard<std::mutex> hold(text_lock_);
  return text_;
}

void CCloudRequestMgr::StartWorker() {
  {
    // A run that outlived WaitForWorker is still going: it makes this run too when it is done,
    // on its own thread, rather than a second worker running beside it.
    std::lock_guard<std::mutex> hold(run_lock_);
    if (running_) {
      another_run_ = true;
      held_ = true;
      return;
    }
    running_ = true;
  }
  thread_.reset(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &WorkerMain, this, 0, nullptr)));
  held_ = thread_.valid();
  if (!held_) {
    std::lock_guard<std::mutex> hold(run_lock_);
    running_ = false;
  }
}

unsigned __stdcall CCloudRequestMgr::WorkerMain(void* self) {
  auto* manager = static_cast<CCloudRequestMgr*>(self);
  for (;;) {
    manager->RunOnce();
    std::lock_guard<std::mutex> hold(manager->run_lock_);
    if (!std::exchange(manager->another_run_, false)) {
      manager->running_ = false;
      return 0;
    }
  }
}

void CCloudRequestMgr::RunOnce() {
  if (!enabled_) return;
  // Taken at the start, so a mark set while this run is under way waits for the next run.
  const bool forced = forced_.exchange(false);
  const bool fetch = forced || IsCloudListStale(ReadSettingsDword(kQueryTimeValue).value_or(0), NowSeconds()) ||
                     !LoadCache();
  if (fetch) {
    HttpBuffer body;
    uint32_t length = 0;
    if (http_.Get(RequestUrl(), &body, &length)) {
      if (VerifyAndApply(body.get(), length)) {
        ReplaceFileContents(CachePath(), body.get(), length);
        WriteSettingsDword(kQueryTimeValue, ToRegistryTime(NowSeconds()));
      }
      if (forced && side_bar_) side_bar_->Post(WM_RECOM_TOOLS_UPDATED);
    } else if (!forced) {
      LoadCache();
    }
  }
}

bool CCloudRequestMgr::VerifyAndApply(const char* text, size_t length) {
  Json::Value wrapped;
  if (!text || length == 0 || !seal_.decrypt || !ParseJsonText(text, length, &wrapped)) return false;
  return UnwrapAndApply(text);
}

bool CCloudRequestMgr::UnwrapAndApply(const char* text) {
  char* unwrapped = nullptr;
  unsigned int unwrapped_length = 0;
  if (!seal_.decrypt(kCloudListPublicKey, text, &unwrapped, &unwrapped_length) || !unwrapped ||
      unwrapped_length == 0) {
    if (unwrapped) seal_.free(unwrapped);
    return false;
  }
  std::string inner(unwrapped, unwrapped_length);
  seal_.free(unwrapped);
  // The text goes to the page as it stands, as the argument of a script call: it must be one JSON
  // value and nothing else.
  Json::Value document, elements;
  if (!ParseStrictJsonText(inner.data(), inner.size(), &document) || !ReadListShape(document, &elements)) {
    return false;
  }
  ApplyList(elements, settings_);
  std::lock_guard<std::mutex> hold(text_lock_);
  text_ = std::move(inner);
  return true;
}

bool CCloudRequestMgr::LoadCache() {
  ScopedFileHandle file(::CreateFileW(CachePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file.valid() || !::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
      size.QuadPart > kMaxResponseBytes) {
    return false;
  }
  std::vector<char> content(static_cast<size_t>(size.QuadPart) + 2, 0);
  DWORD read = 0;
  if (!::ReadFile(file.get(), content.data(), static_cast<DWORD>(size.QuadPart), &read, nullptr) ||
      read != size.QuadPart || !seal_.decrypt) {
    return false;
  }
  return UnwrapAndApply(content.data());
}

std::wstring CCloudRequestMgr::RequestUrl() const {
  return endpoint_ + kRequestPath + L"?" + CloudListQuery(SecondMachineId(), MachineId(), GetFileVersionOrZero());
}

std::wstring CCloudRequestMgr::CachePath() {
  if (cache_path_.empty()) cache_path_ = GetDataPath(L"Config\\aisidebar.dat");
  return cache_path_;
}

}  // namespace velmora
