// Private window messages, thread messages and timer ids of the side bar process. The numbers
// are a contract with other processes (the running instance, the engine installer) and with
// the page, so they never change.
#pragma once

#include <windows.h>

namespace velmora {

// Side bar controller window (class kSideBarWindowClass).
constexpr UINT WM_SHOW_INSTANCE = WM_USER + 0x1000;  // 0x1400: another start asks us to show
constexpr UINT WM_SCENE_MATCHED = 0x1401;
constexpr UINT WM_WEATHER_UPDATED = 0x1402;
constexpr UINT WM_SCENE_CLEARED = 0x1403;
constexpr UINT WM_RECOM_TOOLS_UPDATED = 0x1404;
constexpr UINT WM_UPLOAD_TO_KELU = 0x1405;
constexpr UINT WM_WINDOW_BLUR = 0x1406;
constexpr UINT WM_NAVIGATE_ONLINE = 0x1407;

constexpr wchar_t kSideBarWindowClass[] = L"QVuqVelmoraViewClass";
constexpr wchar_t kInstanceMutexName[] = L"QVelmoraMutexRunner";

// Engine installer wait window.
constexpr wchar_t kEngineInstallWaitClass[] = L"QVuqVelmoraSdkInst";
constexpr UINT WM_INSTALLER_NOTIFY = WM_APP + 1000;    // 0x83E8, wParam = status
constexpr UINT WM_INSTALLER_NOTIFY_2 = WM_APP + 1001;  // 0x83E9, wParam = status
constexpr UINT_PTR kInstallerTimeoutTimer = 5001;
constexpr UINT kInstallerTimeoutMs = 180000;

// Installer statuses the wait window acts on; others are the installer's own business.
constexpr WPARAM kInstallerStatusInProgress = 3;
constexpr WPARAM kInstallerStatusEngineReady = 7;
constexpr WPARAM kInstallerStatusFailed = 8;
constexpr WPARAM kInstallerStatusCancelled = 10;
constexpr WPARAM kInstallerStatusEnded = 11;

// Weather worker thread: leave the loop.
constexpr UINT WM_WEATHER_WORKER_QUIT = 0x2020;

}  // namespace velmora
