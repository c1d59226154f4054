// Waits the number of seconds given as its argument (default 60), then ends with 0. Tests use
// it as a long-running child process.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  ::Sleep(static_cast<DWORD>(seconds) * 1000);
  return 0;
}
