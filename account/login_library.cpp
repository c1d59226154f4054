#include "account/login_library.h"

#include <atomic>

#include "account/login_interfaces.h"
#include "platform/build_constants.h"
#include "platform/launch.h"
#include "platform/module_path.h"
#include "platform/scoped_handle.h"
#include "platform/system_functions.h"
#include "platform/trust.h"

namespace velmora {
namespace {

std::atomic<bool> g_prompt_up{false};

}  // namespace

HMODULE LoadLoginLibrary(const std::wstring& path) {
  if (!IsExistingFile(path)) return nullptr;
  // Held from the check to the load, so the file loaded is the file checked.
  const std::optional<CheckedFile> file = HoldTrustedFile(path, /*to_start=*/false);
  if (!file) {
    // While the prompt is up the process is on its way out: a second damaged library found
    // meanwhile (from the prompt's own message loop, or another thread) is simply not loaded.
    if (IsDamagedFilePromptUp()) return nullptr;
    ShowDamagedFilePromptAndExit(path);
  }
  return LoadHeldLibrary(*file).release();
}

bool IsDamagedFilePromptUp() { return g_prompt_up.load(); }

std::wstring DamagedFilePromptText(const std::wstring& damaged_file) {
  std::wstring text = L"发现";
  text += kDamagedFilePromptCaption;
  text += L"的文件已被破坏，不是原版文件。\n请重新安装";
  text += kDamagedFilePromptCaption;
  text += L"并进行木马扫描。\n\n被破坏的文件：";
  text += damaged_file;
  text += L"\n\n是否立即下载最新版？  ";
  return text;
}

std::wstring InstallerAddress(bool beta_suite) {
  return std::wstring(L"https://") + kInstallerDownloadHost + (beta_suite ? L"/setupbeta.exe" : L"/setup.exe");
}

bool IsBetaSuite(const std::wstring& suite_folder) {
  if (suite_folder.empty()) return false;
  const ScopedLibrary probe(LoadTrustedLibrary(suite_folder + L"\\VerProbe.dll"));
  const auto is_beta = GetProcAddressAs<IsBetaVersionFn>(probe.get(), "IsBetaVersion");
  return is_beta && is_beta() != FALSE;
}

void ShowDamagedFilePromptAndExit(const std::wstring& damaged_file) {
  // One prompt at a time; a caller that comes second waits here for the process to end.
  if (g_prompt_up.exchange(true)) {
    for (;;) ::Sleep(INFINITE);
  }
  const std::wstring text = DamagedFilePromptText(damaged_file);
  if (::MessageBoxW(::GetActiveWindow(), text.c_str(), kDamagedFilePromptCaption, MB_YESNO | MB_ICONERROR) == IDYES) {
    const std::wstring address = InstallerAddress(IsBetaSuite(SuiteFolderForTrust()));
    OpenUrlOutside(address);
  }
  // Ends at once: the caller may be any thread, holding locks other threads' exit code would need.
  ::TerminateProcess(::GetCurrentProcess(), 0);
  ::ExitProcess(0);  // not reached
}

}  // namespace velmora
