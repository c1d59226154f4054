// The records behind the commonly used items: one per program or document found, kept newest
// first. Pure data and pure rules; any thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

enum class UsedKind { kProgram = 1, kFile = 2, kFolder = 3 };

struct UsedItem {
  std::wstring path;    // what was recorded: the path, or the shortcut file of a shortcut
  std::wstring target;  // what it opens
  bool shortcut = false;
  std::wstring name;  // shown on the page
  UsedKind kind = UsedKind::kFile;
  int64_t last_used = 0;  // seconds since 1970, 0 when not recorded
};

// Items keyed by last use, greatest first; equal times keep their insertion order.
class UsedItemList {
 public:
  void Insert(UsedItem item) { items_.emplace(item.last_used, std::move(item)); }
  void Clear() { items_.clear(); }
  size_t size() const { return items_.size(); }
  template <typename Visit>
  void ForEach(Visit&& visit) const {
    for (const auto& entry : items_) {
      if (!visit(entry.second)) return;
    }
  }

 private:
  std::multimap<int64_t, UsedItem, std::greater<int64_t>> items_;
};

// ROT13 of the letters A-Z and a-z; every other character kept.
std::wstring Rot13(std::wstring_view text);

// A FILETIME as seconds since 1970; 0 for 0, for times before 1900 and for values that are no
// valid time.
int64_t FileTimeToUnixSeconds(uint64_t file_time);

// The last-use time of a UserAssist record: the FILETIME at byte 60 on Windows 6.1 and later, at
// byte 8 before; 0 when the data is too short to hold it.
int64_t UserAssistLastUsed(const BYTE* data, size_t size, DWORD major, DWORD minor);

// True when the file name or the file description marks an installer or uninstaller.
bool IsExcludedProgramName(std::wstring_view file_name, std::wstring_view description);

// What an item's target is: ".exe" a program, an existing folder a folder, else a file.
UsedKind KindOfTarget(const std::wstring& target);

// The last element of a path ("\" or "/"), and the same without its extension.
std::wstring FileNameOf(std::wstring_view path);
std::wstring FileTitleOf(std::wstring_view path);

// Lower-cases with the system's wide-character rules.
std::wstring LowerText(std::wstring_view text);

// The file name of an item's exported icon: the MD5 of its recorded path in the system ANSI
// code page, as 32 lower-case hex digits.
std::wstring IconFileStem(const std::wstring& recorded_path);

// The checks and look-ups the reply is built with; the program's own in production.
struct ReplyRules {
  std::vector<std::wstring> exclusions;                                   // MatchWildcard patterns
  std::function<std::wstring(const std::wstring&)> resolve_target;        // "%" and "{" targets
  std::function<bool(const std::wstring&)> exists;                        // the target exists
  std::function<std::wstring(const UsedItem&)> icon_for;                  // PNG path or empty
};

// {"code":0,"data":{"files":[...],"programs":[...]}} with its line feed: per list, newest first,
// at most 20 elements {"icon","name","run"}, each target once (compared lower-cased); ".bat"
// targets, excluded targets and missing targets are left out.
std::string BuildUsedItemsReply(const UsedItemList& programs, const UsedItemList& files, const ReplyRules& rules);

}  // namespace velmora
