// CKeluAIMgr: the hand-off of files to the maker's AI assistant. It finds the assistant through
// its two registry places, answers whether a recent and trusted copy is installed, lets the user
// choose files in the restricted open-file dialog (upload_dialog.h) and hands the accepted paths
// over: a JSON document in an unnamed shared memory section whose handle the assistant inherits
// and finds on its command line ("--cmd=desktoplite --filemaphandle=0x<hex handle>,<bytes>").
//
// One hand-off section exists at a time: it stays open after the assistant started (the
// assistant may read it late) and is closed when the next hand-off begins, or with the manager.
// Main thread; one object per program, a member of the services object.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "companions/upload_dialog.h"
#include "platform/scoped_handle.h"

namespace velmora {

// The assistant's registry places (HKEY_CURRENT_USER) and the oldest version it may have.
constexpr wchar_t kAssistantClientStateKey[] =
    L"Software\\Vuq\\keluai\\Update64\\ClientState\\{FF42E3BD-DBC0-4704-A0CF-257F94EFAF27}";
constexpr wchar_t kAssistantUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\keluai";
constexpr wchar_t kAssistantMinimumVersion[] = L"1.3.1120.64";

// The hand-off document for `paths` (UTF-16, converted to UTF-8): compact JSON, one line feed.
std::string AssistantDocument(const std::vector<std::wstring>& paths);

// The assistant's arguments for a section handle and the document's length in bytes:
// "--cmd=desktoplite --filemaphandle=0x<upper-case hex>,<decimal>".
std::wstring AssistantArguments(HANDLE section, size_t length);

// The paths a finished dialog selection names, in order: the folder (the buffer's text before
// `file_offset`) joined with each NUL-ended name from `file_offset` up to an empty name. A shell
// namespace item ("::{"), a name without extension and an extension in `exclusions` (exact,
// case significant) are dropped. A buffer that does not hold such a list (offset out of range,
// no terminating empty name) names nothing. Pure.
std::vector<std::wstring> AcceptedUploadPaths(std::wstring_view buffer, size_t file_offset,
                                              const std::vector<std::wstring>& exclusions);

class CKeluAIMgr {
 public:
  // Shows the file choice modal to `owner`: the selection, or nullopt when cancelled or failed.
  using FileChooser = std::function<std::optional<UploadSelection>(HWND owner)>;
  using ExclusionSource = std::function<std::vector<std::wstring>()>;

  // `exclusions` gives the upload exclusion list at each choice; `chooser` defaults to the
  // restricted open-file dialog.
  explicit CKeluAIMgr(ExclusionSource exclusions, FileChooser chooser = &ShowUploadDialog);
  ~CKeluAIMgr();
  CKeluAIMgr(const CKeluAIMgr&) = delete;
  CKeluAIMgr& operator=(const CKeluAIMgr&) = delete;

  // Looks for the assistant: the client state's "UninstallString" three folders up, joined with
  // "keluai.exe"; else the uninstall key's "DisplayIcon". The file must exist and pass the trust
  // check. Stores what it found (empty when nothing) and answers whether it found one.
  bool LocateAssistant();
  // LocateAssistant, then a file version of at least kAssistantMinimumVersion and the trust
  // check once more (command `isKeluExist`).
  bool IsAssistantReady();
  // Shows the file choice and hands the accepted files over. False, with nothing shown, when no
  // ready assistant is installed or a choice is already open (the page may ask again while the
  // modal dialog runs); false when cancelled or when no file was accepted.
  bool ChooseAndSendFiles(HWND owner);
  // Hands `paths` over: false for an empty list or an untrusted assistant; true once the
  // document was made, whether or not the section could be made or the assistant started.
  bool SendFilesToAssistant(const std::vector<std::wstring>& paths);

  const std::wstring& assistant_path() const { return assistant_path_; }

 private:
  void CloseSection();

  ExclusionSource exclusions_;
  FileChooser chooser_;
  std::wstring assistant_path_;
  ScopedHandle section_;
  void* view_ = nullptr;
  size_t section_size_ = 0;
  bool choosing_ = false;
};

}  // namespace velmora
