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

// The sign-in notifications, carried from the login stack's threads to the main thread. lParam
// owns a heap record the handler frees.
constexpr UINT WM_SIGNED_IN_NOTICE = WM_APP + 0x200;
constexpr UINT WM_SIGNED_OUT_NOTICE = WM_APP + 0x201;

// Timers of the side bar controller window.
constexpr UINT_PTR kDragTimer = 3600;          // 10 ms while the page drags the window
constexpr UINT_PTR kPageLoadTimer = 3601;      // the page must show itself within 15 s
constexpr UINT_PTR kFirstInputTimer = 3603;    // 1 s until the first input after the window appeared
constexpr UINT_PTR kSceneTimer = 3604;         // scene interval, once
constexpr UINT_PTR kZOrderTimer = 3605;        // 5 s
constexpr UINT_PTR kCloudListTimer = 3606;     // 8 h
constexpr UINT_PTR kDailyTimer = 3607;         // 24 h
constexpr UINT_PTR kRelayoutTimer = 3608;      // 500 ms after a display or work-area change, once
constexpr UINT_PTR kQuickFindTimer = 3609;     // once, started by a page command
constexpr UINT kDragIntervalMs = 10;
constexpr UINT kPageLoadTimeoutMs = 15000;
constexpr UINT kFirstInputIntervalMs = 1000;
constexpr UINT kZOrderIntervalMs = 5000;
constexpr UINT kCloudListIntervalMs = 28800000;
constexpr UINT kDailyIntervalMs = 86400000;
constexpr UINT kRelayoutDelayMs = 500;

constexpr wchar_t kSideBarWindowTitle[] = L"QVuqVelmoraViewCaption";
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
