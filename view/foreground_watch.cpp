#include "view/foreground_watch.h"

#include <psapi.h>

#include <atomic>

#include "config/app_config.h"
#include "platform/process_ids.h"
#include "platform/scoped_handle.h"

namespace velmora {
namespace {

// The watch the hook callback reports to.
std::atomic<CForegroundWatch*> g_running_watch{nullptr};

std::wstring ProcessFileName(DWORD process_id) {
  ScopedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process) return {};
  wchar_t path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameExW(process.get(), nullptr, path, MAX_PATH);
  if (length == 0) {
    length = MAX_PATH;
    if (!::QueryFullProcessImageNameW(process.get(), 0, path, &length)) return {};
  }
  const std::wstring full(path, length);
  const size_t cut = full.find_last_of(L"\\/");
  return cut == std::wstring::npos ? full : full.substr(cut + 1);
}

}  // namespace

std::optional<std::wstring> MatchSceneKeyword(std::wstring_view title, const std::vector<std::wstring>& keywords) {
  for (const std::wstring& keyword : keywords) {
    // An empty keyword occurs in every title, as a substring search has it. The system's ordinal
    // case-insensitive search folds every script's letters the same way, whatever the locale.
    const bool found =
        keyword.empty() || ::FindStringOrdinal(FIND_FROMSTART, title.data(), static_cast<int>(title.size()),
                                               keyword.data(), static_cast<int>(keyword.size()), TRUE) >= 0;
    if (!found) continue;
    std::wstring lower = keyword;
    if (!lower.empty()) ::CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    return lower;
  }
  return std::nullopt;
}

bool CForegroundWatch::Start() {
  if (hook_) return true;
  CForegroundWatch* none = nullptr;
  if (!g_running_watch.compare_exchange_strong(none, this)) return false;
  hook_ = ::SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, &OnEvent, 0, 0,
                            WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  if (!hook_) g_running_watch.store(nullptr);
  return hook_ != nullptr;
}

void CForegroundWatch::Stop() {
  if (!hook_) return;
  ::UnhookWinEvent(hook_);
  hook_ = nullptr;
  g_running_watch.store(nullptr);
}

ForegroundScene CForegroundWatch::Scene() const {
  std::lock_guard<std::mutex> hold(scene_lock_);
  return scene_;
}

void CALLBACK CForegroundWatch::OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG, LONG, DWORD, DWORD) {
  try {
    CForegroundWatch* watch = g_running_watch.load();
    if (event == EVENT_SYSTEM_FOREGROUND && window && watch) watch->OnForegroundChanged(window);
  } catch (...) {
    // Nothing may leave a hook callback; the next foreground change tries again.
  }
}

void CForegroundWatch::OnForegroundChanged(HWND window) {
  wchar_t title[520] = {};
  ::GetWindowTextW(window, title, 520);
  const HWND side_bar = notify_.Get();
  if (!side_bar) return;
  DWORD process_id = 0;
  ::GetWindowThreadProcessId(window, &process_id);
  const std::wstring process = ProcessFileName(process_id);
  const auto keyword = MatchSceneKeyword(title, settings_.GetSceneSuffixes());
  if (keyword) {
    {
      std::lock_guard<std::mutex> hold(scene_lock_);
      scene_ = {*keyword, process};
    }
    ::SendMessageW(side_bar, WM_SCENE_MATCHED, 0, 0);
  } else {
    ::SendMessageW(side_bar, WM_SCENE_CLEARED, 0, 0);
  }
}

}  // namespace velmora
