// Waits the number of seconds given as its argument (default 60), then ends with 0. Tests use
// it as a long-running child process. With VELMORA_LOAD_BY_NAME set it first loads that library by
// its bare name, as a program that does not restrict its search would.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  wchar_t library[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"VELMORA_LOAD_BY_NAME", library, MAX_PATH)) ::LoadLibraryW(library);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  ::Sleep(static_cast<DWORD>(seconds) * 1000);
  return 0;
}
