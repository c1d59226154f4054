// The small tools the page starts (sticky notes, calculator, screen capture, desktop search,
// feedback), the presence tests it asks for (sticky notes, installed software) and the count of
// tool starts it records. Nothing here reports a launch failure: a missing or refused tool simply
// does not start. Files of the suite start only through the trusted launch operations. Main
// thread.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// --- pure pieces ---------------------------------------------------------------------------------

// The screen-capture tool's command line for the capture file `file`.
std::wstring ScreenCaptureParameters(const std::wstring& file);

// The desktop search's start parameters for its file version: "/only_root_search" from 1.0.0.1410
// on, "/quickfind_start" below.
std::wstring DesktopSearchParameters(std::wstring_view version);

// The module updater's parameters that install the desktop search and then run it.
extern const wchar_t kDesktopSearchUpdaterParameters[];

// An isInstalledWithKey text read as "<uninstall key name>[||<value name>]": the pieces between
// the "||" separators, empty pieces skipped. nullopt when it names no key, more than one value, or
// a key name that could reach outside the uninstall key: a "\" or "/" in it, "." or "..", a NUL, or
// more than 255 characters (the registry's longest key name).
struct InstalledKey {
  std::wstring key_name;
  std::wstring value_name;  // empty: the key alone decides
};
std::optional<InstalledKey> ParseInstalledKey(std::wstring_view text);

// Whether an uninstall value's bytes are a terminated string: an even count ending in a zero
// character, or no bytes at all.
bool IsTerminatedRegistryString(const BYTE* data, DWORD bytes);

// --- the machine ---------------------------------------------------------------------------------

// Windows 10 or later by the real OS version; worked out once per process.
bool IsWindows10OrLater();

// Whether one of the three package registrations under HKEY_CURRENT_USER lists the sticky-notes
// package.
bool HasStickyNotesPackage();

// One probe of IsInstalled: the uninstall key `key.key_name` under `root` opened with `view`
// added to KEY_READ; without a value name it succeeds when the key opens, with one when the value
// is a terminated string of at most 520 bytes, its first two characters name an internal fixed
// disk and the file or folder it names exists.
bool ProbeUninstallEntry(HKEY root, REGSAM view, const InstalledKey& key);

// The tool counters under the settings' AITools key as the page's envelope: {"code":0,"data":[names
// by count, highest first, equal counts in enumeration order],"msg":""} and a line feed.
std::string LocalTopJson();

class CToolLauncher {
 public:
  // `suite_folder` answers the suite's install folder at each use; `windows10` whether to take the
  // Windows 10 ways (sticky notes).
  CToolLauncher(std::function<std::wstring()> suite_folder, std::function<bool()> windows10);
  CToolLauncher(const CToolLauncher&) = delete;
  CToolLauncher& operator=(const CToolLauncher&) = delete;

  bool IsStickyNoteAvailable();
  void LaunchStickyNote();
  void LaunchCalculator();
  // Starts the screen-capture tool with a new, empty file in the temporary folder to save into,
  // named with the prefix "VuqSC" (of which GetTempFileNameW keeps "Vuq"); the file is made only
  // when the tool exists, and removed again when the tool is refused.
  void LaunchScreenCapture();
  void LaunchDesktopSearch();
  void LaunchFeedback(const std::wstring& command_line);
  // Whether the software registered under the uninstall key of `key_text` is installed: HKLM in
  // the default view, HKLM's 64-bit view (32-bit program on 64-bit Windows only), then HKCU.
  bool IsInstalled(const std::wstring& key_text);
  // Adds one to `tool_id`'s counter.
  void RecordToolUse(const std::wstring& tool_id);
  std::string GetLocalTop();

 private:
  std::wstring SuitePath(const wchar_t* relative) const;

  std::function<std::wstring()> suite_folder_;
  std::function<bool()> windows10_;
};

}  // namespace velmora
