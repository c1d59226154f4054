// Loading the two login libraries the side bar cannot do without (SignOn.dll and SignOnMgr.dll),
// and the prompt that ends the process when one of them has been tampered with.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// LoadTrustedLibrary(path) for a login library. Null, quietly, when the file is missing or does
// not load. A file that exists but fails the trust check shows the damaged-file prompt, which
// ends the process with exit code 0 (the call does not return then). Any thread; the caller owns
// the module.
[[nodiscard]] HMODULE LoadLoginLibrary(const std::wstring& path);

// True from the moment the damaged-file prompt is shown: the process ends when it is answered, and
// the side bar's timers hold still meanwhile. Any thread.
bool IsDamagedFilePromptUp();

// Asks the user whether to download the suite again, because `damaged_file` failed the trust
// check; on "yes" opens the installer address. Then ends the process with exit code 0. Shown
// once: a second caller waits for the process to end.
[[noreturn]] void ShowDamagedFilePromptAndExit(const std::wstring& damaged_file);

// The damaged-file prompt's caption and text for `damaged_file`. Pure.
inline constexpr wchar_t kDamagedFilePromptCaption[] = L"VuqTrevalis";
std::wstring DamagedFilePromptText(const std::wstring& damaged_file);

// The suite installer's download address: the beta installer for a beta suite. Pure.
std::wstring InstallerAddress(bool beta_suite);

// True when VerProbe.dll in `suite_folder` passes the trusted loader and its IsBetaVersion()
// answers non-zero. False for an empty folder or a missing, refused or incomplete library.
bool IsBetaSuite(const std::wstring& suite_folder);

}  // namespace velmora
