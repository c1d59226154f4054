// Window messages, window class names and object names that other processes (a second start,
// the uninstaller, the engine installer) or other threads of this process rely on. The numbers
// and names are contracts, so they never change.
#pragma once

#include <windows.h>

namespace velmora {

// --- the side bar window (class kSideBarWindowClass) ------------------------------------------
constexpr UINT WM_SHOW_INSTANCE = 0x1400;  // another start asks the running side bar to show itself
constexpr UINT WM_SCENE_MATCHED = 0x1401;
constexpr UINT WM_WEATHER_UPDATED = 0x1402;
constexpr UINT WM_SCENE_CLEARED = 0x1403;
constexpr UINT WM_RECOM_TOOLS_UPDATED = 0x1404;
constexpr UINT WM_UPLOAD_TO_KELU = 0x1405;
constexpr UINT WM_WINDOW_BLUR = 0x1406;
constexpr UINT WM_NAVIGATE_ONLINE = 0x1407;
static_assert(WM_SHOW_INSTANCE == WM_USER + 0x1000, "the running instance's show request");

constexpr wchar_t kSideBarWindowTitle[] = L"QVuqVelmoraViewCaption";
constexpr wchar_t kSideBarWindowClass[] = L"QVuqVelmoraViewClass";
constexpr wchar_t kInstanceMutexName[] = L"QVelmoraMutexRunner";

// --- the engine installer's wait window (class kEngineInstallWaitClass) ------------------------
constexpr wchar_t kEngineInstallWaitClass[] = L"QVuqVelmoraSdkInst";
constexpr UINT WM_INSTALLER_NOTIFY = 0x83E8;    // WM_APP + 1000, wParam = status
constexpr UINT WM_INSTALLER_NOTIFY_2 = 0x83E9;  // WM_APP + 1001, wParam = status
static_assert(WM_INSTALLER_NOTIFY == WM_APP + 1000, "the installer's first notification");

// Installer statuses the wait window acts on; others are the installer's own business.
constexpr WPARAM kInstallerStatusInProgress = 3;
constexpr WPARAM kInstallerStatusEngineReady = 7;
constexpr WPARAM kInstallerStatusFailed = 8;
constexpr WPARAM kInstallerStatusCancelled = 10;
constexpr WPARAM kInstallerStatusEnded = 11;

// --- worker threads ----------------------------------------------------------------------------
// Posted to the weather worker's thread queue: leave the loop.
constexpr UINT WM_WEATHER_WORKER_QUIT = 0x2020;

}  // namespace velmora
