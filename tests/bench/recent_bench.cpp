// The commonly used items on a busy machine: 2,000 UserAssist records and 300 Office MRU entries
// (in a registry key and folder of the bench's own) to the finished reply once the icons are
// extracted, a cached icon lookup, and one PNG export. Prints medians in milliseconds.
//   recent_bench [rounds]
// Not a test: it asserts nothing.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/text.h"
#include "providers/common_used.h"
#include "providers/icon_cache.h"
#include "providers/icon_png.h"
#include "providers/json_text.h"
#include "providers/used_item_scan.h"
#include "providers/used_items.h"
#include "tests/bench/bench_clock.h"

namespace {

using velmora::bench::Median;
using velmora::bench::NowMs;

using velmora::FormatW;

void SetValue(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data, size_t size) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
  ::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
  ::RegCloseKey(key);
}

void Touch(const std::wstring& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 9;
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = FormatW(L"%lsvelmora-recent-bench-%lu", temp, ::GetCurrentProcessId());
  ::SHCreateDirectoryExW(nullptr, (folder + L"\\appdata").c_str(), nullptr);
  ::SetEnvironmentVariableW(L"APPDATA", (folder + L"\\appdata").c_str());
  ULONG_PTR gdiplus = 0;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&gdiplus, &input, nullptr);

  const std::wstring root_name = FormatW(L"Software\\VelmoraBench\\Recent%lu", ::GetCurrentProcessId());
  HKEY root = nullptr;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, root_name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr);

  // 2,000 records: 100 programs that exist (copies of a program with icons), the rest gone.
  wchar_t system[MAX_PATH] = {};
  ::GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring program = std::wstring(system) + L"\\notepad.exe";
  const std::wstring assist =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}\\Count";
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  for (int i = 0; i < 2000; ++i) {
    const std::wstring path = FormatW(L"%ls\\program%04d.exe", folder.c_str(), i);
    if (i % 20 == 0) ::CopyFileW(program.c_str(), path.c_str(), FALSE);
    BYTE data[72] = {};
    ULARGE_INTEGER time{{now.dwLowDateTime, now.dwHighDateTime}};
    time.QuadPart -= static_cast<ULONGLONG>(i) * 10000000ULL;
    memcpy(data + 60, &time, sizeof(time));
    SetValue(root, assist, velmora::Rot13(path), REG_BINARY, data, sizeof(data));
  }
  // 300 MRU entries, 100 per application, every third document present.
  int entry = 0;
  for (const wchar_t* application : {L"Word", L"Excel", L"PowerPoint"}) {
    for (int i = 0; i < 100; ++i, ++entry) {
      const std::wstring document = FormatW(L"%ls\\document%03d.docx", folder.c_str(), entry);
      if (entry % 3 == 0) Touch(document);
      const std::wstring text = L"[F00000000][T01D9A1B2C3D4E5F6][O00000000]*" + document;
      SetValue(root, FormatW(L"Software\\Microsoft\\Office\\16.0\\%ls\\File MRU", application), FormatW(L"Item %d", i + 1),
               REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
  }

  velmora::UsedItemSources sources;
  sources.root = root;
  sources.app_data = folder + L"\\appdata";
  velmora::CCommonUsedMgr manager(sources);
  double start = NowMs();
  std::string reply = manager.CollectAndBuild({L"*Velmora.exe"});
  const double first = NowMs() - start;
  std::vector<double> builds;
  for (int i = 0; i < rounds; ++i) {
    start = NowMs();
    reply = manager.CollectAndBuild({L"*Velmora.exe"});
    builds.push_back(NowMs() - start);
  }

  std::vector<double> assists, documents;
  sources.major = 6;  // the layout the records above were written in
  sources.minor = 1;
  for (int i = 0; i < rounds; ++i) {
    velmora::UsedItemList programs, files;
    start = NowMs();
    velmora::ScanUserAssist(sources, &programs);
    assists.push_back(NowMs() - start);
    start = NowMs();
    velmora::ScanRecentDocuments(sources, &files);
    documents.push_back(NowMs() - start);
  }

  velmora::CIconCache cache;
  (void)cache.GetIcon(program, 0);
  std::vector<double> lookups;
  for (int i = 0; i < rounds; ++i) {
    start = NowMs();
    for (int j = 0; j < 1000; ++j) (void)cache.GetIcon(program, 0);
    lookups.push_back((NowMs() - start) / 1000);
  }

  velmora::UsedItem item;
  item.path = item.target = program;
  std::vector<double> exports;
  int failures = 0;
  for (int i = 0; i < std::max(rounds, 21); ++i) {
    start = NowMs();
    const std::wstring png = velmora::ExportIconPng(item, cache);
    exports.push_back(NowMs() - start);
    if (png.empty()) ++failures;
  }
  if (failures) std::fprintf(stderr, "%d of %zu PNG exports wrote nothing\n", failures, exports.size());
  // The reply must list what the records name: programs (notepad among them) and documents.
  Json::Value parsed;
  if (!velmora::ParseJsonText(reply.data(), reply.size(), &parsed) || !parsed["data"]["programs"].size() || !parsed["data"]["files"].size()) {
    std::fprintf(stderr, "the reply lists no programs or no documents: %.300s\n", reply.c_str());
    ++failures;
  }

  std::printf("reply size: %zu bytes\n", reply.size());
  std::printf("2,000 UserAssist values + 300 MRU entries to the reply, first run with icon extraction: %.1f ms\n", first);
  std::printf("the same, icons extracted (median of %d): %.1f ms\n", rounds, Median(builds));
  std::printf("  of which the UserAssist scan: %.1f ms, the documents: %.1f ms\n", Median(assists), Median(documents));
  std::printf("cached icon lookup (median): %.4f ms\n", Median(lookups));
  std::printf("PNG export of a cached icon (median of %zu): %.2f ms\n", exports.size(), Median(exports));

  ::RegCloseKey(root);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, root_name.c_str());
  ::RegDeleteKeyW(HKEY_CURRENT_USER, root_name.c_str());
  ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VelmoraBench");  // only when empty
  SHFILEOPSTRUCTW removal = {};  // the bench folder and everything in it
  const std::wstring from = folder + L'\0';
  removal.wFunc = FO_DELETE;
  removal.pFrom = from.c_str();
  removal.fFlags = FOF_NO_UI;
  ::SHFileOperationW(&removal);
  Gdiplus::GdiplusShutdown(gdiplus);
  return failures ? 1 : 0;
}
