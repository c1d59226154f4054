// Stand-in browser shell: chrome.dll (the side bar process) and chrome_child.dll (processes
// started with "--type"), both exporting ChromeShell. It drives the program's application
// object as a shell would, makes real top-level windows for browsers, and plays a page: the
// steps of the page script named by VELMORA_SHELL_PAGE, one every 100 ms once a browser exists.
// Everything the program does to the shell is written to the stand-in log ("shell" lines).
//
// Page script lines ("#" comments, blank lines skipped):
//   call <command> <json object>   a page call whose arguments are ["", "<json object>"]
//   callraw <command> <text>       a page call with exactly this arguments text
//   callnull <command>             a page call without arguments text
//   event <id> [payload]           a shell event to the current browser's sink
//   key <alt-f4|ctrl-f12>          the key, typed into the browser window
//   workarea                       WM_SETTINGCHANGE(SPI_SETWORKAREA) to the side bar window
//   child                          starts the program once more with "--type=renderer"
//   signin <account> <status> <f>  signs a user in through the stand-in login stack loaded in
//                                  this process; <f> is its "name=value" fields joined by "|"
//   signout                        signs the user out again
//   wait <ms>                      a pause
//   waitpage                       waits until a real page is connected (bridge mode)
//   waitfor <path>                 waits until the file exists (a test's signal)
//   fuzz <count> <seed>            that many hostile page calls (page_fuzz.h) through OnPageCall,
//                                  in slices between which the message loop runs; the scripts
//                                  they bring are counted, not logged. Logs the counts below
//                                  after 10,000 calls and at the end, the calls per second and
//                                  the faults the program reported on the debugger channel
//                                  (a page call that threw) while the calls ran.
//   counts <label>                 logs the process's handle, GDI and USER object counts, its
//                                  windows, private bytes and heap bytes in use
//   quit                           ends the shell's message loop (ChromeShell returns)
// Without a page script the page shows itself at 360 x 640 and then waits.
//
// Bridge mode (VELMORA_SHELL_BRIDGE=<port>, 0 for any free port): a real browser shows the page
// instead (page_bridge.h). The shell serves the packaged local page (query 1001), or the folder
// named by VELMORA_SHELL_PAGE_DIR while the page is being developed, writes the page's address to
// the log ("bridge address ..."), hands the page's calls to the program through OnPageCall and
// the program's scripts and window changes to the page. The maker's online page is not here: it
// gets the same page. A page script still plays alongside (for sign-ins, say), without the
// default Show.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/process_ids.h"
#include "standins/browser_shell/page_bridge.h"
#include "standins/browser_shell/page_fuzz.h"
#include "standins/common/standin_log.h"
#include "tests/support/handle_count.h"
#include "view/shell_interfaces.h"

namespace sh = velmora::shell;

namespace {

constexpr wchar_t kBrowserClass[] = L"VelmoraStandinBrowser";
constexpr UINT_PTR kStepTimer = 1;
constexpr UINT kStepIntervalMs = 100;
constexpr UINT WM_FIRE_WINDOW_CREATED = WM_APP + 1;
constexpr UINT WM_READ_LONG_COOKIE = WM_APP + 2;  // lParam owns a copy of a kind 7 record
constexpr UINT WM_BRIDGE_CALL = WM_APP + 3;  // lParam: a standin::BridgeCall the receiver deletes
constexpr UINT WM_FUZZ_MORE = WM_APP + 4;     // the next slice of a fuzz run

void Log(const char* format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  standin::Log("shell", "%s", text);
}

#if !defined(VELMORA_CHILD_SHELL)
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

standin::PageBridge* g_bridge = nullptr;  // set in bridge mode
class Browser;
Browser* CurrentBrowser();

// A browser: a real, initially hidden top-level window.
class Browser final : public sh::ShellBrowserWithUnusedSlots {
 public:
  Browser(sh::ShellWebBrowserEvent* sink, sh::ExternalShellApp* app) : sink_(sink), app_(app) {
    window_ = ::CreateWindowExW(0, kBrowserClass, L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), this);
  }
  sh::ShellWebBrowserEvent* sink() const { return sink_; }
  sh::ExternalShellApp* app() const { return app_; }
  bool released() const { return released_; }
  HWND GetWindow() override { return window_; }
  void SetBounds(int x, int y, int width, int height) override {
    Log("bounds %d %d %d %d", x, y, width, height);
    if (Bridged()) g_bridge->SetBounds(x, y, width, height);
    if (!window_) return;
    const UINT size = width > 0 && height > 0 ? 0 : SWP_NOSIZE;
    ::SetWindowPos(window_, nullptr, x, y, width, height, size | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void Release() override {
    Log("release");
    if (Bridged()) g_bridge->Close();
    released_ = true;
    if (window_) ::DestroyWindow(window_);
    window_ = nullptr;
  }
  void Relayout() override { Log("relayout"); }
  void Show() override {
    RECT frame{};
    if (window_) ::GetWindowRect(window_, &frame);
    Log("show at %ld %ld %ld %ld", frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top);
    if (window_) ::ShowWindow(window_, SW_SHOWNOACTIVATE);
    if (Bridged()) g_bridge->SetVisible(true);
  }
  void Hide() override {
    Log("hide");
    if (window_) ::ShowWindow(window_, SW_HIDE);
    if (Bridged()) g_bridge->SetVisible(false);
  }
  void RunScript(const wchar_t* text) override;
  void OpenTool(int which, int reserved) override { Log("tool %d %d", which, reserved); }

 private:
  // Only the browser the program uses now reaches the page; an older one (kept hidden after a
  // navigation) does not.
  bool Bridged() { return g_bridge && CurrentBrowser() == this; }

  sh::ShellWebBrowserEvent* sink_;
  sh::ExternalShellApp* app_;
  HWND window_ = nullptr;
  bool released_ = false;
};

// A fuzz run in progress.
struct FuzzRun {
  standin::PageFuzz calls;
  size_t count;
  size_t done = 0;
  size_t scripts = 0;
  DWORD started = ::GetTickCount();
  std::vector<double> seconds = std::vector<double>(standin::kFuzzCommandCount + 1);  // last: no known name
  std::vector<size_t> per_command = std::vector<size_t>(standin::kFuzzCommandCount + 1);
  void* watch = nullptr;  // the debugger-channel handler
};

// The shell's state for the one ChromeShell call of this process.
struct Shell {
  sh::ExternalShellApp* app = nullptr;
  std::vector<std::unique_ptr<Browser>> browsers;
  std::vector<std::string> steps;
  size_t next_step = 0;
  DWORD resume_at = 0;
  HWND message_window = nullptr;
  std::unique_ptr<FuzzRun> fuzz;
};
Shell g_shell;

void Browser::RunScript(const wchar_t* text) {
  if (g_shell.fuzz) {
    ++g_shell.fuzz->scripts;
    return;
  }
  // One log line per script: a line feed inside it is written as "\n".
  std::string script = standin::Narrow(text);
  if (Bridged()) g_bridge->RunScript(script);
  for (size_t at = 0; (at = script.find('\n', at)) != std::string::npos; at += 2) script.replace(at, 1, "\\n");
  Log("script %s", script.c_str());
}

// Bytes in the busy blocks of the process's heaps. Unlike private bytes this falls back when
// memory is freed (no high-water mark), so growth here is memory still held.
unsigned long long HeapBytesInUse() {
  std::vector<HANDLE> heaps(::GetProcessHeaps(0, nullptr) + 8);
  heaps.resize(std::min<size_t>(heaps.size(), ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data())));
  unsigned long long total = 0;
  for (HANDLE heap : heaps) {
    if (!::HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (::HeapWalk(heap, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    ::HeapUnlock(heap);
  }
  return total;
}

// The faults the program reports on the debugger channel ("Velmora: ... threw: ..." through
// OutputDebugStringA, which raises this exception first) while a fuzz run is in progress.
constexpr DWORD kDebugPrintException = 0x40010006;  // DBG_PRINTEXCEPTION_C
std::atomic<long> g_reported_faults{0};
char g_first_fault[256];

LONG CALLBACK WatchDebugOutput(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  if (record.ExceptionCode != kDebugPrintException || record.NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  const char* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
  if (text && std::strncmp(text, "Velmora: ", 9) == 0 && g_reported_faults++ == 0) {
    ::lstrcpynA(g_first_fault, text, sizeof(g_first_fault));
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// Handles of this process (Wine answers GetProcessHandleCount with 0: then the system's list).
unsigned long HandleCount() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count) return count;
  return velmora::test::OpenHandleCount();
}

// This process's entry in /proc where it is a Linux process (Wine), or an empty path. Its
// command line there is the loader's arguments, then this program (a Windows path, or a Unix one
// when started from Linux) and its arguments, NUL-separated and NUL-padded. (Z:\\proc\\self
// would not do: Wine's server opens files, so "self" is the server.)
std::wstring OwnProcEntry() {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!arguments) return L"";
  wchar_t program[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::vector<std::string> own{standin::Narrow(program)};
  for (int i = 1; i < count; ++i) own.push_back(standin::Narrow(arguments[i]));
  ::LocalFree(arguments);
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(L"Z:\\proc\\*", &found);
  if (search == INVALID_HANDLE_VALUE) return L"";
  std::wstring entry;
  do {
    if (found.cFileName[0] < L'1' || found.cFileName[0] > L'9') continue;
    const std::wstring folder = std::wstring(L"Z:\\proc\\") + found.cFileName;
    FILE* file = _wfopen((folder + L"\\cmdline").c_str(), L"rb");
    if (!file) continue;
    char text[4096];
    std::string line(text, std::fread(text, 1, sizeof(text), file));
    std::fclose(file);
    while (!line.empty() && line.back() == '\0') line.pop_back();
    std::vector<std::string> parts;
    for (size_t at = 0, end; at <= line.size(); at = end + 1) {
      end = std::min(line.find('\0', at), line.size());
      parts.push_back(line.substr(at, end - at));
    }
    if (parts.size() < own.size()) continue;
    parts.erase(parts.begin(), parts.end() - static_cast<std::ptrdiff_t>(own.size()));
    std::string& path = parts.front();
    if (!path.empty() && path[0] == '/') {
      std::replace(path.begin(), path.end(), '/', '\\');
      path = "Z:" + path;
    }
    if (lstrcmpiA(path.c_str(), own.front().c_str()) == 0 && std::equal(own.begin() + 1, own.end(), parts.begin() + 1)) {
      entry = folder;
    }
  } while (entry.empty() && ::FindNextFileW(search, &found));
  ::FindClose(search);
  return entry;
}

// Private bytes: PrivateUsage, or where the system does not count them (Wine answers 0) the
// private dirty pages of this process's Linux entry.
unsigned long long PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof(memory);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory));
  if (memory.PrivateUsage) return memory.PrivateUsage;
  static const std::wstring entry = OwnProcEntry();
  unsigned long long kilobytes = 0;
  FILE* rollup = entry.empty() ? nullptr : _wfopen((entry + L"\\smaps_rollup").c_str(), L"rb");
  if (rollup) {
    char line[256];
    while (std::fgets(line, sizeof(line), rollup)) std::sscanf(line, "Private_Dirty: %llu kB", &kilobytes);
    std::fclose(rollup);
  }
  return kilobytes * 1024;
}

BOOL CALLBACK CountOwnWindow(HWND window, LPARAM count) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process == ::GetCurrentProcessId()) ++*reinterpret_cast<unsigned long*>(count);
  ::EnumChildWindows(window, &CountOwnWindow, count);
  return TRUE;
}

// The process's handles, GDI and USER objects (0 where the system does not say: Wine), its
// windows, private bytes and heap bytes in use.
void LogCounts(const char* label) {
  const HANDLE self = ::GetCurrentProcess();
  unsigned long windows = 0;
  ::EnumWindows(&CountOwnWindow, reinterpret_cast<LPARAM>(&windows));
  Log("counts %s handles=%lu gdi=%lu user=%lu windows=%lu private=%llu heap=%llu", label, HandleCount(),
      ::GetGuiResources(self, GR_GDIOBJECTS), ::GetGuiResources(self, GR_USEROBJECTS), windows, PrivateBytes(),
      HeapBytesInUse());
}

double Frequency() {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(frequency.QuadPart);
}

// One slice of the fuzz run: calls for about 20 ms, then the message loop gets its turn (the
// program's own posted messages and timers) before the next slice.
void FuzzSlice() {
  FuzzRun& run = *g_shell.fuzz;
  Browser* browser = CurrentBrowser();
  const DWORD slice_start = ::GetTickCount();
  while (browser && run.done < run.count && ::GetTickCount() - slice_start < 20) {
    const standin::FuzzCall call = run.calls.Next();
    LARGE_INTEGER before, after;
    ::QueryPerformanceCounter(&before);
    browser->sink()->OnPageCall("", call.name ? call.name->c_str() : nullptr,
                                call.arguments ? call.arguments->c_str() : nullptr, 0, 0, 0);
    ::QueryPerformanceCounter(&after);
    const size_t row = call.command < 0 ? standin::kFuzzCommandCount : static_cast<size_t>(call.command);
    run.seconds[row] += static_cast<double>(after.QuadPart - before.QuadPart) / Frequency();
    ++run.per_command[row];
    if (++run.done == 10000) LogCounts("after=10000");
    browser = CurrentBrowser();
  }
  if (browser && run.done < run.count) {
    ::PostMessageW(g_shell.message_window, WM_FUZZ_MORE, 0, 0);
    return;
  }
  const DWORD elapsed = ::GetTickCount() - run.started;
  double in_calls = 0;
  for (double each : run.seconds) in_calls += each;
  ::RemoveVectoredExceptionHandler(run.watch);
  Log("fuzz done calls=%zu scripts=%zu faults=%ld ms=%lu in_calls_ms=%.0f calls_per_s=%.0f%s", run.done, run.scripts,
      g_reported_faults.load(), elapsed, in_calls * 1000, elapsed ? run.done * 1000.0 / elapsed : 0.0,
      browser ? "" : " (the browser was released)");
  if (g_reported_faults) Log("fuzz first fault %s", g_first_fault);
  LogCounts("end");
  // Where the time went: the five commands with the most time per call.
  std::vector<size_t> rows(run.per_command.size());
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = i;
  const auto mean = [&run](size_t row) { return run.per_command[row] ? run.seconds[row] / run.per_command[row] : 0.0; };
  std::sort(rows.begin(), rows.end(), [&mean](size_t a, size_t b) { return mean(a) > mean(b); });
  for (size_t i = 0; i < 12 && i < rows.size(); ++i) {
    Log("fuzz slow %s calls=%zu mean_us=%.1f", rows[i] < standin::kFuzzCommandCount ? standin::kFuzzCommands[rows[i]] : "(other names)",
        run.per_command[rows[i]], mean(rows[i]) * 1e6);
  }
  g_shell.fuzz.reset();
}

Browser* CurrentBrowser() {
  for (auto it = g_shell.browsers.rbegin(); it != g_shell.browsers.rend(); ++it) {
    if (!(*it)->released()) return it->get();
  }
  return nullptr;
}

LRESULT CALLBACK BrowserProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
  }
  auto* browser = reinterpret_cast<Browser*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  // A shell hands the keys typed into a browser to the application first.
  if (browser && (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)) {
    browser->app()->OnKeyEvent(window, message, wparam, lparam);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

class Factory final : public sh::ShellBrowserFactory {
 public:
  bool CreateBrowser(sh::ShellWebBrowserEvent* sink, int reserved, const wchar_t* url, int a, int b) override {
    Log("create_browser url=%s args=%d,%d,%d", standin::Narrow(url).c_str(), reserved, a, b);
    auto browser = std::make_unique<Browser>(sink, g_shell.app);
    Browser* made = browser.get();
    g_shell.browsers.push_back(std::move(browser));
    sink->SetBrowser(made);
    if (g_bridge) {
      Log("bridge page for %s", standin::Narrow(url).c_str());
      g_bridge->Reload();
    }
    // The window-created event comes once the shell's own set-up is done, from its loop.
    ::PostMessageW(g_shell.message_window, WM_FIRE_WINDOW_CREATED, 0, reinterpret_cast<LPARAM>(made));
    return true;
  }
  void Reserved1() override {}
  bool SetCookie(int kind, const void* record) override {
    if (kind == sh::kCookieRecord) {
      const auto* r = static_cast<const sh::CookieRecord*>(record);
      Log("cookie kind=1 url=%.2048s name=%.256s value=%.256s domain=%.256s path=%.256s", r->url, r->name, r->value,
          r->domain, r->path);
    } else if (kind == sh::kLongCookieRecord) {
      // A shell may read the long value later than the call: so does this one, from its own
      // message, after SetCookie has returned. A value the program freed meanwhile shows here.
      auto copy = std::make_unique<sh::LongCookieRecord>(*static_cast<const sh::LongCookieRecord*>(record));
      if (::PostMessageW(g_shell.message_window, WM_READ_LONG_COOKIE, 0, reinterpret_cast<LPARAM>(copy.get()))) {
        (void)copy.release();
      }
    } else {
      Log("cookie kind=%d", kind);
    }
    return true;
  }
};
Factory g_factory;

void StartChild() {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --type=renderer";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  Log("child started=%d", started ? 1 : 0);
  if (!started) return;
  ::WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 1;
  ::GetExitCodeProcess(process.hProcess, &code);
  Log("child exit=%lu", code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
}

void TypeKey(Browser* browser, const std::string& which) {
  const HWND window = browser->GetWindow();
  if (which == "alt-f4") {
    ::SendMessageW(window, WM_SYSKEYDOWN, VK_F4, 1 << 29);
  } else if (which == "ctrl-f12") {
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    ::SendMessageW(window, WM_KEYDOWN, VK_F12, 1);
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
  }
}

// The stand-in login stack's controls, exported by its AcctClient.dll that the program loaded.
void SignInOrOut(bool sign_in, const std::string& rest) {
  using SignInFn = void(WINAPI*)(const wchar_t* fields, const wchar_t* account, int status);
  using SignOutFn = void(WINAPI*)();
  const HMODULE client = ::GetModuleHandleW(L"AcctClient.dll");
  if (!client) {
    Log("signin: no login stack loaded");
    return;
  }
  if (!sign_in) {
    if (auto sign_out = reinterpret_cast<SignOutFn>(reinterpret_cast<void*>(::GetProcAddress(client, "StandinSignOut")))) {
      sign_out();
    }
    return;
  }
  char account[256] = {};
  int status = 0;
  int consumed = 0;
  if (std::sscanf(rest.c_str(), "%255s %d %n", account, &status, &consumed) < 2) return;
  std::string fields = rest.substr(static_cast<size_t>(consumed));
  std::replace(fields.begin(), fields.end(), '|', '\n');
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, fields.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(size > 0 ? size : 1), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, fields.c_str(), -1, wide.data(), size);
  const std::wstring account_text(account, account + std::strlen(account));
  if (auto sign_in_fn = reinterpret_cast<SignInFn>(reinterpret_cast<void*>(::GetProcAddress(client, "StandinSignIn")))) {
    sign_in_fn(wide.c_str(), account_text.c_str(), status);
  }
}

// Plays one step; false while it has to wait for something (a browser).
bool PlayStep(const std::string& step) {
  const size_t space = step.find(' ');
  const std::string verb = step.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : step.substr(space + 1);
  Browser* browser = CurrentBrowser();
  const bool needs_browser =
      verb == "call" || verb == "callraw" || verb == "callnull" || verb == "event" || verb == "key" || verb == "fuzz";
  if (needs_browser && !browser) return false;
  if (verb == "waitpage" && (!g_bridge || !g_bridge->page_connected())) return false;
  if (verb == "waitfor" && ::GetFileAttributesA(rest.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  Log("step %s", step.c_str());
  if (verb == "call" || verb == "callraw" || verb == "callnull") {
    const size_t cut = rest.find(' ');
    const std::string name = rest.substr(0, cut);
    const std::string tail = cut == std::string::npos ? "" : rest.substr(cut + 1);
    const std::string arguments = verb == "call" ? "[\"\", \"" + Escape(tail) + "\"]" : tail;
    const int result = browser->sink()->OnPageCall("", name.c_str(), verb == "callnull" ? nullptr : arguments.c_str(), 0, 0, 0);
    Log("call %s returned %d", name.c_str(), result);
  } else if (verb == "event") {
    const int id = std::atoi(rest.c_str());
    const size_t cut = rest.find(' ');
    const std::wstring payload = cut == std::string::npos ? L"" : std::wstring(rest.begin() + cut + 1, rest.end());
    int result = -1;
    browser->sink()->OnShellEvent(id, payload.c_str(), 0, 0, 0, &result);
    Log("event %d result=%d", id, result);
  } else if (verb == "key") {
    TypeKey(browser, rest);
  } else if (verb == "workarea") {
    ::SendMessageW(::FindWindowW(velmora::kSideBarWindowClass, nullptr), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
  } else if (verb == "child") {
    StartChild();
  } else if (verb == "signin" || verb == "signout") {
    SignInOrOut(verb == "signin", rest);
  } else if (verb == "wait") {
    g_shell.resume_at = ::GetTickCount() + static_cast<DWORD>(std::atoi(rest.c_str()));
  } else if (verb == "fuzz") {
    unsigned long count = 0, seed = 0;
    std::sscanf(rest.c_str(), "%lu %lu", &count, &seed);
    g_shell.fuzz.reset(new FuzzRun{standin::PageFuzz(static_cast<uint32_t>(seed)), count});
    // The watch must see a report before it may vouch for none: one of its own, then counting anew.
    g_shell.fuzz->watch = ::AddVectoredExceptionHandler(1, &WatchDebugOutput);
    ::OutputDebugStringA("Velmora: fuzz \"watch\" threw: the watch's own check\n");
    Log("fuzz watch %s", g_reported_faults.exchange(0) == 1 ? "sees reports" : "sees nothing");
    ::PostMessageW(g_shell.message_window, WM_FUZZ_MORE, 0, 0);
  } else if (verb == "counts") {
    LogCounts(rest.c_str());
  } else if (verb == "quit") {
    ::PostQuitMessage(0);
  }
  return true;
}

LRESULT CALLBACK ShellProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_READ_LONG_COOKIE) {
    const std::unique_ptr<sh::LongCookieRecord> r(reinterpret_cast<sh::LongCookieRecord*>(lparam));
    const std::string value(r->value ? r->value : "", r->value ? r->value_length : 0);
    Log("cookie kind=7 size=%u url=%.2048s name=%.256s domain=%.256s path=%.256s length=%u value=%s", r->size, r->url,
        r->name, r->domain, r->path, r->value_length, value.c_str());
    return 0;
  }
  if (message == WM_FIRE_WINDOW_CREATED) {
    auto* browser = reinterpret_cast<Browser*>(lparam);
    for (const auto& known : g_shell.browsers) {
      if (known.get() == browser && !browser->released()) {
        int result = -1;
        browser->sink()->OnShellEvent(sh::kEventBrowserWindowCreated, L"", 0, 0, 0, &result);
        Log("event 22 fired");
      }
    }
    return 0;
  }
  if (message == WM_BRIDGE_CALL) {
    std::unique_ptr<standin::BridgeCall> call(reinterpret_cast<standin::BridgeCall*>(lparam));
    Browser* browser = CurrentBrowser();
    if (!browser) {
      Log("bridge call %s: no browser", call->name.c_str());
      return 0;
    }
    const int result = browser->sink()->OnPageCall("", call->name.c_str(),
                                                   call->arguments ? call->arguments->c_str() : nullptr, 0, 0, 0);
    // The arguments are the page's data (texts to seal, names): logged only when asked for.
    if (::GetEnvironmentVariableW(L"VELMORA_SHELL_LOG_ARGUMENTS", nullptr, 0) != 0) {
      Log("bridge call %s %s returned %d", call->name.c_str(), call->arguments ? call->arguments->c_str() : "(none)",
          result);
    } else {
      Log("bridge call %s returned %d", call->name.c_str(), result);
    }
    return 0;
  }
  if (message == WM_FUZZ_MORE) {
    if (g_shell.fuzz) FuzzSlice();
    return 0;
  }
  if (message == WM_TIMER && wparam == kStepTimer) {
    if (g_shell.fuzz || static_cast<LONG>(::GetTickCount() - g_shell.resume_at) < 0) return 0;
    if (g_shell.next_step < g_shell.steps.size() && PlayStep(g_shell.steps[g_shell.next_step])) ++g_shell.next_step;
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(value, length);
}

std::vector<std::string> ReadPageScript(bool bridged) {
  const std::wstring path = Environment(L"VELMORA_SHELL_PAGE");
  if (path.empty()) {
    if (bridged) return {};  // the real page shows itself
    return {"call Show {\"width\":360,\"height\":640}"};
  }
  std::vector<std::string> steps;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return steps;
  char line[8192];
  while (std::fgets(line, sizeof(line), file)) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty() || text[0] == '#') continue;
    steps.push_back(text);
  }
  std::fclose(file);
  return steps;
}

// Bridge mode: serves the page from the local page package (or the page folder) and writes its
// address, whose token lets whoever holds it drive the page's commands, to the file named by
// VELMORA_SHELL_ADDRESS_FILE (in the run's private folder); the log gets the address without it.
void StartBridge(const std::wstring& port_text, const std::wstring& package) {
  const int port = _wtoi(port_text.c_str());
  if (port < 0 || port > 65535) {
    Log("bridge: no port in VELMORA_SHELL_BRIDGE");
    return;
  }
  const std::wstring folder = Environment(L"VELMORA_SHELL_PAGE_DIR");
  std::optional<standin::PageFiles> files =
      folder.empty() ? standin::PageFiles::FromPackage(package) : standin::PageFiles::FromFolder(folder);
  if (!files) {
    Log("bridge: the page package %s cannot be read", standin::Narrow(package.c_str()).c_str());
    return;
  }
  // Icons are written to the data folder's Icon folder; the user-data folder is inside the data folder.
  const wchar_t* user_data = g_shell.app->GetUserDataFolder();
  std::wstring icons = user_data ? user_data : L"";
  const size_t cut = icons.find_last_of(L'\\');
  icons = (cut == std::wstring::npos ? std::wstring() : icons.substr(0, cut)) + L"\\Icon";
  standin::PageBridge::Options options;
  options.port = static_cast<uint16_t>(port);
  options.files = std::move(*files);
  options.icon_folder = icons;
  options.ui_window = g_shell.message_window;
  options.call_message = WM_BRIDGE_CALL;
  g_bridge = standin::PageBridge::Start(std::move(options));
  if (!g_bridge) {
    Log("bridge: cannot listen on 127.0.0.1:%d", port);
    return;
  }
  Log("bridge files %s", standin::Narrow((folder.empty() ? package : folder).c_str()).c_str());
  const std::wstring address_file = Environment(L"VELMORA_SHELL_ADDRESS_FILE");
  if (!address_file.empty()) {
    // Written whole under another name, then renamed: a reader never sees part of it.
    const std::wstring partial = address_file + L".part";
    const std::string address = g_bridge->address();
    HANDLE file =
        ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool whole = file != INVALID_HANDLE_VALUE &&
                       ::WriteFile(file, address.data(), static_cast<DWORD>(address.size()), &written, nullptr) &&
                       written == address.size();
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    if (!whole || !::MoveFileExW(partial.c_str(), address_file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      Log("bridge: the address could not be written");
    }
  }
  Log("bridge address %s/", g_bridge->origin().c_str());
}

void RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &BrowserProc;
  wc.hInstance = instance;
  wc.lpszClassName = kBrowserClass;
  ::RegisterClassExW(&wc);
  wc.lpfnWndProc = &ShellProc;
  wc.lpszClassName = L"VelmoraStandinShell";
  ::RegisterClassExW(&wc);
}
#endif  // !VELMORA_CHILD_SHELL

}  // namespace

extern "C" __declspec(dllexport) int __cdecl ChromeShell(HINSTANCE instance, sh::ExternalShellApp* app) {
#if defined(VELMORA_CHILD_SHELL)
  (void)instance;
  Log("child ChromeShell app=%d", app ? 1 : 0);
  return 0;
#else
  if (!app) return 1;
  g_shell.app = app;
  RegisterClasses(instance);
  g_shell.message_window = ::CreateWindowExW(0, L"VelmoraStandinShell", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  Log("user_data=%s", standin::Narrow(app->GetUserDataFolder()).c_str());
  Log("components=%s", standin::Narrow(app->GetComponentsFolder()).c_str());
  Log("extra=%s option=%d", standin::Narrow(app->GetExtraText()).c_str(), app->QueryOption(0) ? 1 : 0);
  app->SetFactory(&g_factory);
  wchar_t package[sh::kQueryBufferChars] = {};
  app->Query(sh::kQueryLocalPackagePath, package);
  Log("query1001=%s", standin::Narrow(package).c_str());
  const std::wstring bridge_port = Environment(L"VELMORA_SHELL_BRIDGE");
  if (!bridge_port.empty()) StartBridge(bridge_port, package);
  g_shell.steps = ReadPageScript(!bridge_port.empty());
  ::SetTimer(g_shell.message_window, kStepTimer, kStepIntervalMs, nullptr);
  app->CreateUserInterface();
  Log("ui created");

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  Log("loop ended");
  return 0;
#endif
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, void*) { return TRUE; }
