#include "providers/common_used.h"

#include <process.h>

#include "platform/data_folder.h"
#include "platform/native_system_path.h"
#include "providers/icon_png.h"

namespace velmora {

CCommonUsedMgr::CCommonUsedMgr(UsedItemSources sources)
    : sources_(std::move(sources)), icons_(sources_.is_local_drive) {}

CCommonUsedMgr::~CCommonUsedMgr() {
  if (worker_) ::WaitForSingleObject(worker_.get(), INFINITE);
}

void CCommonUsedMgr::Start(std::vector<std::wstring> exclusions) {
  if (worker_) return;
  exclusions_ = std::move(exclusions);
  worker_.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CCommonUsedMgr::WorkerMain, this, 0, nullptr)));
}

std::string CCommonUsedMgr::GetReply(DWORD wait_ms) {
  if (worker_) ::WaitForSingleObject(worker_.get(), wait_ms);
  std::lock_guard<std::mutex> lock(reply_lock_);
  return reply_;
}

std::string CCommonUsedMgr::CollectAndBuild(const std::vector<std::wstring>& exclusions) {
  // The existence tests and the icons look at the native system folder (NativeSystemPath) with
  // redirection left on: the run loads libraries (msi, the shell's, COM servers, GDI+).
  UsedItemList programs;
  UsedItemList files;
  CollectUsedItems(sources_, &programs, &files);
  (void)GetDataPath(L"Icon\\placeholder");  // makes the icon folder, not the file
  ReplyRules rules;
  rules.exclusions = exclusions;
  rules.resolve_target = &ResolveReplyTarget;
  rules.exists = [](const std::wstring& path) { return NativeFileAttributes(path) != INVALID_FILE_ATTRIBUTES; };
  rules.icon_for = [this](const UsedItem& item) { return ExportIconPng(item, icons_); };
  std::string text = BuildUsedItemsReply(programs, files, rules);
  std::lock_guard<std::mutex> lock(reply_lock_);
  if (reply_.empty()) reply_ = text;
  return text;
}

unsigned __stdcall CCommonUsedMgr::WorkerMain(void* self) {
  auto* manager = static_cast<CCommonUsedMgr*>(self);
  try {
    (void)manager->CollectAndBuild(manager->exclusions_);
  } catch (...) {
    // Out of memory or a JSON library fault: the page gets the empty reply.
  }
  return 0;
}

}  // namespace velmora
