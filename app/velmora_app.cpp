#include "app/velmora_app.h"

#include <objidl.h>
#include <gdiplus.h>
#include <imm.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include "app/command_line.h"
#include "app/companion_libraries.h"
#include "app/engine_install_wait.h"
#include "platform/launch.h"
#include "app/per_user_copy.h"
#include "app/run_modes.h"
#include "app/shutdown.h"
#include "app/single_instance.h"
#include "app/velmora_services.h"
#include "companions/promotion_window.h"
#include "config/app_config.h"
#include "config/autostart.h"
#include "config/time_rules.h"
#include "platform/core_libraries.h"
#include "platform/module_path.h"
#include "platform/module_signature.h"
#include "platform/process_facts.h"
#include "platform/scoped_handle.h"
#include "platform/suite_folder.h"
#include "platform/system_functions.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "platform/window_module.h"
#include "platform/version_info.h"
#include "view/chrome_app.h"
#include "view/engine_locator.h"
#include "platform/process_ids.h"

namespace velmora {
namespace {

constexpr wchar_t kProgramImageName[] = L"Velmora.exe";

std::wstring g_launch_source;

// Ends every other process of our image name. Used when the running side bar did not close.
void TerminateOtherInstances() {
  EnableDebugPrivilege();
  ScopedFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  const DWORD self = ::GetCurrentProcessId();
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self || !EqualsIgnoreAsciiCase(entry.szExeFile, kProgramImageName)) continue;
    ScopedHandle query(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (!query) continue;  // gone already, or not ours to see
    ScopedHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (!process) {
      EnableDebugPrivilege();
      process.reset(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    }
    if (!process) continue;
    if (::TerminateProcess(process.get(), 0)) ::WaitForSingleObject(process.get(), 2000);
  }
}

class CVelmoraApp final : public IRunModeActions {
 public:
  explicit CVelmoraApp(HINSTANCE instance) : instance_(instance) {}

  void RunEngineChild() override {
    CEngineLocator& engine = CEngineLocator::Instance();
    if (!engine.IsEnginePresent() || !engine.ResolveChildEntry()) return;
    engine.SetEngineVersion(GetFileVersionText(engine.EnginePath(L"chrome.dll")));
    // A child process never shows the side bar; the application object only answers the shell.
    CVelmoraServices services(CAppConfigMgr::Instance());
    ChromeApp app(services, &ShutdownSideBar);
    engine.ChildEntry()(instance_, &app);
    app.OnShellReturned();
  }

  void EnableSideBar() override { velmora::EnableSideBar(); }

  void Uninstall() override {
    // Ask the running side bar to close, and give it half a second to go.
    if (HWND running = ::FindWindowW(kSideBarWindowClass, nullptr)) {
      // Synchronous, but a hung instance must not hang the uninstaller with it.
      DWORD_PTR ignored = 0;
      ::SendMessageTimeoutW(running, WM_CLOSE, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, 5000, &ignored);
      for (int poll = 0; poll < 5 && ::IsWindow(running); ++poll) ::Sleep(100);
      if (::IsWindow(running)) TerminateOtherInstances();
    }
    DeleteDesktopShortcut();
    DisableSideBar();
    // The elevated uninstaller deletes in the user's folders: nothing planted on the way may lead
    // it to another file.
    (void)DeletePerUserCopy();
    WriteSettingsDword(L"last_uninst", ToRegistryTime(NowSeconds()));
  }

  void Promotion() override {
    if (CAppConfigMgr::Instance().IsSideBarOn() || IsAnotherInstanceRunning(kInstanceMutexName, kSideBarWindowClass)) {
      return;
    }
    if (!IsPromotionDue(ReadSettingsDword(L"last_show_promotion"), NowSeconds())) return;
    if (RunPromotionPrompt(instance_, GetSuiteFolder()) != kPromotionAccepted) return;
    velmora::EnableSideBarByUser();
    (void)LaunchFile(InstalledExecutable(), L"/from=promotion");
  }

  bool IsSideBarSwitchOn() override { return CAppConfigMgr::Instance().IsSideBarOn(); }

  void NormalStart() override {
    const CCommandLine& table = CCommandLine::Instance();
    BindHostKitTable();
    if (RelaunchForPlan(table)) return;
    if (IsAnotherInstanceRunning(kInstanceMutexName, kSideBarWindowClass)) return;

    g_launch_source = table.GetSwitchValue(L"from");
    GetDpiFunctions();

    ULONG_PTR gdiplus_token = 0;
    Gdiplus::GdiplusStartupInput gdiplus_input;
    Gdiplus::GdiplusStartup(&gdiplus_token, &gdiplus_input, nullptr);

    if (!IsEngineReady()) {
      EngineInstallWaitHooks hooks;
      hooks.installer_path = GetSuiteFolder() + L"\\AppMgr\\GameShell.exe";
      hooks.launch = &LaunchFile;
      hooks.resolve_engine_entry = [] { (void)CEngineLocator::Instance().ResolveEngineEntry(); };
      RunEngineInstallWait(hooks);
      ::Sleep(1000);
    }
    if (IsEngineReady()) {
      // The process's one services object, passed down to the side bar and its page commands.
      CVelmoraServices services(CAppConfigMgr::Instance());
      ChromeApp app(services, &ShutdownSideBar);
      // The shell runs the side bar from here; closing it normally ends the process in there.
      CEngineLocator::Instance().EngineEntry()(instance_, &app);
      // Back here only when the shell ended by itself; its browsers are gone with it.
      app.OnShellReturned();
    }
    NotifyFaultSinkExiting();
    CWindowModule::DestroyRemainingWindows();
    CWindowModule::Term();
  }

 private:
  // The relaunch the start plan asks for; true when it was made and this process is to end. A
  // relaunch that fails leaves the side bar running in place.
  static bool RelaunchForPlan(const CCommandLine& table) {
    StartFacts facts;
    facts.elevated = IsElevatedAdministrator();
    facts.dropped = table.HasSwitch(L"lowrun");
    facts.rerun = table.HasSwitch(L"rerun");
    const std::wstring drop_parameters = L"/lowrun " + table.RawArguments();
    // HostKit's launch entry takes parameters up to its limit; beyond it there is no way that
    // drops elevation.
    facts.can_drop = facts.elevated && !facts.dropped && BindHostKitTable() &&
                     drop_parameters.size() <= kDesktopLaunchParametersLimit;
    facts.in_suite_folder = !facts.elevated && IsInSuiteFolder();
    switch (PlanStart(facts)) {
      case StartPlan::kDropElevation: {
        // Started again as the desktop user through HostKit.
        const std::wstring self = GetModulePath(nullptr);
        const auto result =
            HostKitShellExecute(nullptr, L"open", self.c_str(), drop_parameters.c_str(), nullptr, SW_SHOW);
        return result && *result > 32;
      }
      case StartPlan::kRunFromCopy:
        return PreparePerUserCopy(GetModulePath(nullptr)) && LaunchFile(RunPath(), table.RawArguments() + L" /rerun");
      case StartPlan::kRunInPlace:
        break;
    }
    return false;
  }

  static bool IsElevatedAdministrator() { return ::IsUserAnAdmin() && IsProcessElevated(); }

  static bool IsEngineReady() {
    CEngineLocator& engine = CEngineLocator::Instance();
    return engine.IsEngineUsable() && engine.ResolveEngineEntry();
  }

  HINSTANCE instance_;
};

}  // namespace

std::wstring LaunchSource() { return g_launch_source; }

int RunVelmora(HINSTANCE instance) {
  ::CoInitialize(nullptr);
  ::ImmDisableIME(static_cast<DWORD>(-1));
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  CWindowModule::Init();
  SetTrustVerifiers(&VerifyModuleSignature, &QueryFileTrustClass);
  LoadCompanionLibraries();

  OSVERSIONINFOEXW os{};
  os.dwOSVersionInfoSize = sizeof(os);
  const bool old_system = GetRealOSVersion(reinterpret_cast<OSVERSIONINFOW*>(&os)) && os.dwMajorVersion < 6;
  if (!old_system) {
    CVelmoraApp app(instance);
    if (IsEngineChildCommandLine(::GetCommandLineW())) {
      app.RunEngineChild();
    } else {
      RunModeForSwitches(CCommandLine::Instance(), app);
    }
  }
  ReleaseCompanionLibraries();
  return 0;
}

}  // namespace velmora
