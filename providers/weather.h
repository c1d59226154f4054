// CWeatherMgr: the local weather. A long-lived worker fetches the report from the weather service
// at start, every hour and at once when the page changes the city or asks for a retry, and keeps
// the latest reply in LastWeather.dat in the data folder; the window thread reads that file for
// the page. Start, Stop, SetCity and RequestRefresh belong to the main thread; ReadCache may run
// on any thread.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include <json/value.h>

#include "platform/scoped_handle.h"

namespace velmora {

class CHttpClient;
class CWindowSlot;

// Thread messages the worker understands (wParam 0, lParam 0).
constexpr UINT WM_WEATHER_CITY_CHANGED = 0x2016;  // fetch now and restart the hourly count
constexpr UINT WM_WEATHER_REFRESH = 0x2017;       // fetch now, hourly count unchanged

// The cache file's bytes for a reply `body` written at local time `when`: the body, the stamp
// "<time>Y-M-D h:m</time>" without leading zeros, one zero byte.
std::string WeatherCacheBytes(const std::string& body, const SYSTEMTIME& when);

// A city code as it goes into the request: letters, digits, "-" and "_" as they are, every other
// character percent-encoded as UTF-8.
std::wstring EncodeCityCode(const std::wstring& code);

class CWeatherMgr {
 public:
  // The worker's pace: one pass per `pass_ms`, a fetch every `passes_per_fetch` passes.
  struct Pace {
    DWORD pass_ms = 1000;
    int passes_per_fetch = 3600;
  };

  explicit CWeatherMgr(CHttpClient& http);
  ~CWeatherMgr();  // stops a running worker
  CWeatherMgr(const CWeatherMgr&) = delete;
  CWeatherMgr& operator=(const CWeatherMgr&) = delete;

  // Starts the worker, which posts WM_WEATHER_UPDATED to `side_bar` before every fetch but its
  // first. Nothing when one runs already.
  void Start(const CWindowSlot& side_bar);
  // Tells the worker to quit without waiting for it (the destructor waits).
  void Stop();
  void SetCity(const std::wstring& code);
  void RequestRefresh();
  // The cached reply, when the file exists, is not empty and starts with a JSON value.
  bool ReadCache(Json::Value* value);

  // Where requests go (scheme and host), where the cache lives (default: the data folder's
  // LastWeather.dat) and the worker's pace. Set before Start.
  void SetEndpoint(std::wstring endpoint) { endpoint_ = std::move(endpoint); }
  void SetCachePath(std::wstring path) { cache_path_ = std::move(path); }
  void SetPace(Pace pace) { pace_ = pace; }

  std::wstring RequestUrl();
  // One fetch with the current city; writes the cache when the reply came.
  bool Fetch();

 private:
  static unsigned __stdcall WorkerMain(void* self);
  void Loop();
  std::wstring CachePath();

  CHttpClient& http_;
  const CWindowSlot* side_bar_ = nullptr;
  HANDLE worker_ = nullptr;
  std::vector<ScopedHandle> stopped_workers_;  // told to quit, waited for by the destructor
  DWORD worker_id_ = 0;
  Pace pace_;
  std::wstring endpoint_;
  std::wstring cache_path_;
  std::mutex lock_;  // the city code, the cache path and the cache file
  std::wstring city_;
};

}  // namespace velmora
