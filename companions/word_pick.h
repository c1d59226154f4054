// CGetWordMgr: the maker's word-pick search program. It answers whether a recent enough copy is
// there (a running copy, found by its window class, else the copy installed in the user's
// application-data folder) and starts the chosen copy on its translation tab with
// "--ProxyCall --data=<request>", the request being Base64 without "=" padding. Any process can
// own a window of that class, so a running copy counts only when its image (as the system
// records it) is the default copy or lies inside the registered suite folder.
// Main thread; one object per program, a member of the services object.
#pragma once

#include <string>

namespace velmora {

// The running copy's top-level window class and the oldest version either copy may have.
constexpr wchar_t kWordPickWindowClass[] = L"QVuqMainAITextSearch";
constexpr wchar_t kWordPickMinimumVersion[] = L"14.0.0.1130";

// The start request, compact JSON with its line feed, Base64 encoded without "=" padding and
// without line breaks. Pure.
std::string WordPickRequest();
// "--ProxyCall --data=" and the encoded request.
std::wstring WordPickArguments();

class CGetWordMgr {
 public:
  // The default copy: %APPDATA% (else the shell's application-data folder) joined with
  // "Vuqsafe\WordPick\WordPick.exe", worked out here; the suite folder the trust check knows.
  CGetWordMgr();
  // With the default copy and the suite folder given (tests); an empty folder holds nothing.
  CGetWordMgr(std::wstring default_executable, std::wstring suite_folder);

  // Chooses the copy to start: the running copy's executable when it is the default copy or lies
  // in the suite folder, exists and has at least the minimum version, else the default copy when
  // it does. False, and the choice unchanged, when
  // neither qualifies (command `isWordProcessingExist`).
  bool Resolve();
  // Starts the chosen copy through the trusted launch; nothing when none was chosen. A choice
  // other than the default copy is resolved again first, as that copy may have ended.
  void StartTranslate();

  const std::wstring& executable() const { return executable_; }
  const std::wstring& default_executable() const { return default_executable_; }

 private:
  std::wstring executable_;
  std::wstring default_executable_;
  std::wstring suite_folder_;
};

}  // namespace velmora
