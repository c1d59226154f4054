#include "providers/used_items.h"

#include <mbedtls/md5.h>

#include <set>

#include <json/value.h>
#include <json/writer.h>

#include "config/config_rules.h"
#include "platform/native_system_path.h"
#include "platform/text.h"

namespace velmora {
namespace {

constexpr size_t kMaxPerList = 20;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr int64_t kSecondsFrom1601To1900 = 9435484800LL;

bool EndsWithIgnoreCase(std::wstring_view text, std::wstring_view suffix) {
  return text.size() >= suffix.size() && EqualsIgnoreAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

bool ContainsIgnoreCase(std::wstring_view text, std::wstring_view part) {
  return LowerText(text).find(LowerText(part)) != std::wstring::npos;
}

Json::Value ListJson(const UsedItemList& list, const ReplyRules& rules) {
  Json::Value out(Json::arrayValue);
  std::set<std::wstring> seen;
  list.ForEach([&](const UsedItem& item) {
    std::wstring target = item.target;
    if (EndsWithIgnoreCase(target, L".bat")) return true;
    if (!item.shortcut && target.empty()) target = item.path;
    if (!target.empty() && (target[0] == L'%' || target[0] == L'{')) target = rules.resolve_target(target);
    for (const std::wstring& pattern : rules.exclusions) {
      if (MatchWildcard(target, pattern)) return true;
    }
    if (!rules.exists(target)) return true;
    if (!seen.insert(LowerText(target)).second) return true;
    Json::Value element(Json::objectValue);
    element["name"] = WideToUtf8(item.name);
    element["run"] = WideToUtf8(item.shortcut ? item.path : target);
    const std::wstring icon = rules.icon_for(item);
    if (!icon.empty()) element["icon"] = WideToUtf8(icon);
    out.append(element);
    return out.size() < kMaxPerList;
  });
  return out;
}

}  // namespace

std::wstring Rot13(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(L'a' + (c - L'a' + 13) % 26);
    else if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(L'A' + (c - L'A' + 13) % 26);
  }
  return out;
}

int64_t FileTimeToUnixSeconds(uint64_t file_time) {
  // FileTimeToSystemTime refuses values with the top bit set.
  if (file_time == 0 || file_time > 0x7FFFFFFFFFFFFFFFULL) return 0;
  const int64_t seconds = static_cast<int64_t>(file_time / 10000000ULL);
  if (seconds < kSecondsFrom1601To1900) return 0;
  return seconds - kSecondsFrom1601To1970;
}

int64_t UserAssistLastUsed(const BYTE* data, size_t size, DWORD major, DWORD minor) {
  const size_t offset = (major > 6 || (major == 6 && minor >= 1)) ? 60 : 8;
  if (!data || size < offset + sizeof(FILETIME)) return 0;
  FILETIME time;
  memcpy(&time, data + offset, sizeof(time));
  return FileTimeToUnixSeconds((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

bool IsExcludedProgramName(std::wstring_view file_name, std::wstring_view description) {
  for (const wchar_t* part : {L"uninst.exe", L"Uninstall.exe", L"setup", L"Install"}) {
    if (ContainsIgnoreCase(file_name, part)) return true;
  }
  for (const wchar_t* part : {L"\x5378\x8F7D", L"\x5B89\x88C5", L"setup"}) {  // "uninstall", "install"
    if (ContainsIgnoreCase(description, part)) return true;
  }
  return false;
}

UsedKind KindOfTarget(const std::wstring& target) {
  if (EndsWithIgnoreCase(target, L".exe")) return UsedKind::kProgram;
  const DWORD attributes = NativeFileAttributes(target);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return UsedKind::kFolder;
  return UsedKind::kFile;
}

std::wstring FileNameOf(std::wstring_view path) {
  const size_t slash = path.find_last_of(L"\\/");
  return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

std::wstring FileTitleOf(std::wstring_view path) {
  std::wstring name = FileNameOf(path);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  if (name.size() > MAX_PATH) name.resize(MAX_PATH);
  return name;
}

std::wstring LowerText(std::wstring_view text) {
  std::wstring lower(text);
  if (!lower.empty()) ::CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  return lower;
}

std::wstring IconFileStem(const std::wstring& recorded_path) {
  std::string ansi;
  if (!recorded_path.empty()) {
    const int size = ::WideCharToMultiByte(CP_ACP, 0, recorded_path.data(), static_cast<int>(recorded_path.size()),
                                           nullptr, 0, nullptr, nullptr);
    ansi.resize(size > 0 ? size : 0);
    if (size > 0) {
      ::WideCharToMultiByte(CP_ACP, 0, recorded_path.data(), static_cast<int>(recorded_path.size()), ansi.data(),
                            size, nullptr, nullptr);
    }
  }
  unsigned char digest[16] = {};
  if (mbedtls_md5_ret(reinterpret_cast<const unsigned char*>(ansi.data()), ansi.size(), digest) != 0) return {};
  std::wstring hex;
  for (unsigned char byte : digest) hex += FormatW(L"%02x", byte);
  return hex;
}

std::string BuildUsedItemsReply(const UsedItemList& programs, const UsedItemList& files, const ReplyRules& rules) {
  Json::Value reply(Json::objectValue);
  reply["code"] = 0;
  reply["data"]["programs"] = ListJson(programs, rules);
  reply["data"]["files"] = ListJson(files, rules);
  return Json::FastWriter().write(reply);
}

}  // namespace velmora
