// Timers of the side bar window, with their periods. The ids are fixed numbers the page's
// behaviour is described by, so they never change.
#pragma once

#include <windows.h>

namespace velmora {

constexpr UINT_PTR kDragTimer = 3600;          // while the page drags the window
constexpr UINT_PTR kPageLoadTimer = 3601;      // the page must show itself in time
constexpr UINT_PTR kFirstInputTimer = 3603;    // until the first input after the window appeared
constexpr UINT_PTR kSceneTimer = 3604;         // scene interval, once
constexpr UINT_PTR kZOrderTimer = 3605;
constexpr UINT_PTR kCloudListTimer = 3606;
constexpr UINT_PTR kDailyTimer = 3607;
constexpr UINT_PTR kRelayoutTimer = 3608;      // after a display or work-area change, once
constexpr UINT_PTR kQuickFindTimer = 3609;     // once, started by a page command

constexpr UINT kDragIntervalMs = 10;
constexpr UINT kPageLoadTimeoutMs = 15000;
constexpr UINT kFirstInputIntervalMs = 1000;
constexpr UINT kZOrderIntervalMs = 5000;
constexpr UINT kCloudListIntervalMs = 28800000;  // 8 h
constexpr UINT kDailyIntervalMs = 86400000;      // 24 h
constexpr UINT kRelayoutDelayMs = 500;

}  // namespace velmora
