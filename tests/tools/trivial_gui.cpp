// The smallest GUI program built like Velmora.exe: the start-up benchmark's yardstick.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
