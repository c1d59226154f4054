// A library in chrome.dll's or chrome_child.dll's place for the engine locator tests: a version
// resource (one build per version) and a ChromeShell export that only answers a known number,
// so a test can tell that the entry it was handed is this library's.
#include <windows.h>

extern "C" __declspec(dllexport) int __cdecl ChromeShell(HINSTANCE, void*) { return ENGINE_PROBE_ANSWER; }
