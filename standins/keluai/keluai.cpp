// Stand-in for the maker's AI assistant. It reads the hand-off section named on its command line
// ("--filemaphandle=0x<hex handle>,<decimal bytes>"), through the handle it inherited, and records
// the document it found there (or why it found none), then ends.
//
// VELMORA_KELU_PROBE_HANDLE=0x<hex> asks it to record whether that handle value is open in its
// process too ("probe=open" or "probe=closed"), so tests can see what else it inherited.
#include <windows.h>

#include <cwchar>
#include <string>

#include "standins/common/standin_log.h"

namespace {

void RecordProbe() {
  wchar_t text[32];
  const DWORD length = ::GetEnvironmentVariableW(L"VELMORA_KELU_PROBE_HANDLE", text, 32);
  if (length == 0 || length >= 32) return;
  unsigned value = 0;
  if (std::swscanf(text, L"0x%X", &value) != 1) return;
  DWORD flags = 0;
  const bool open = ::GetHandleInformation(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value)), &flags) != FALSE;
  standin::Log("keluai", "probe=%s", open ? "open" : "closed");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  const wchar_t* line = ::GetCommandLineW();
  standin::Log("keluai", "started %s", standin::Narrow(line).c_str());
  RecordProbe();
  const wchar_t* argument = std::wcsstr(line, L"--filemaphandle=");
  unsigned value = 0;
  unsigned long length = 0;
  wchar_t end = 0;
  // The whole argument must be "0x<hex>,<decimal>" and end there.
  if (!argument || std::swscanf(argument, L"--filemaphandle=0x%X,%lu%lc", &value, &length, &end) < 2 ||
      (end != 0 && end != L' ') || length == 0) {
    standin::Log("keluai", "no section argument");
    return 1;
  }
  const HANDLE section = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value));
  const void* view = ::MapViewOfFile(section, FILE_MAP_READ, 0, 0, length);
  if (!view) {
    standin::Log("keluai", "section 0x%X unreadable error=%lu", value, ::GetLastError());
    return 1;
  }
  std::string document(static_cast<const char*>(view), length);
  ::UnmapViewOfFile(view);
  ::CloseHandle(section);
  const bool line_feed = !document.empty() && document.back() == '\n';
  if (line_feed) document.pop_back();
  standin::Log("keluai", "document bytes=%lu lf=%d %s", length, line_feed ? 1 : 0, document.c_str());
  return 0;
}
