#include "providers/weather.h"

#include <process.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/build_constants.h"
#include "platform/data_folder.h"
#include "platform/http_client.h"
#include "platform/process_ids.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "platform/version_info.h"
#include "platform/window_slot.h"
#include "providers/file_replace.h"
#include "providers/json_text.h"

namespace velmora {
namespace {

bool IsPlainCityCharacter(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' || c == L'_';
}

}  // namespace

std::string WeatherCacheBytes(const std::string& body, const SYSTEMTIME& when) {
  char stamp[64] = {};
  const int length = ::wsprintfA(stamp, "<time>%d-%d-%d %d:%d</time>", when.wYear, when.wMonth, when.wDay,
                                 when.wHour, when.wMinute);
  std::string bytes = body;
  bytes.append(stamp, length);
  bytes.push_back('\0');
  return bytes;
}

std::wstring EncodeCityCode(const std::wstring& code) {
  std::wstring encoded;
  for (size_t at = 0; at < code.size(); ++at) {
    if (IsPlainCityCharacter(code[at])) {
      encoded.push_back(code[at]);
      continue;
    }
    // A surrogate pair is one character.
    const size_t count = IS_HIGH_SURROGATE(code[at]) && at + 1 < code.size() ? 2 : 1;
    for (const unsigned char byte : WideToUtf8(std::wstring_view(code).substr(at, count))) {
      encoded += FormatW(L"%%%02X", byte);
    }
    at += count - 1;
  }
  return encoded;
}

CWeatherMgr::CWeatherMgr(CHttpClient& http) : http_(http), endpoint_(kWeatherEndpoint) {}

CWeatherMgr::~CWeatherMgr() {
  Stop();
  // The workers use this object: every one must have ended before the object does.
  for (const ScopedHandle& worker : stopped_workers_) ::WaitForSingleObject(worker.get(), INFINITE);
}

void CWeatherMgr::Start(const CWindowSlot& side_bar) {
  if (worker_id_ || worker_) return;
  side_bar_ = &side_bar;
  unsigned id = 0;
  worker_ = reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &WorkerMain, this, 0, &id));
  worker_id_ = worker_ ? id : 0;
}

void CWeatherMgr::Stop() {
  if (worker_id_) ::PostThreadMessageW(worker_id_, WM_WEATHER_WORKER_QUIT, 0, 0);
  worker_id_ = 0;
  // The handle is kept for the destructor, which waits for the thread; the caller does not. Those
  // of workers already gone are let go.
  if (worker_) {
    stopped_workers_.erase(std::remove_if(stopped_workers_.begin(), stopped_workers_.end(),
                                          [](const ScopedHandle& worker) {
                                            return ::WaitForSingleObject(worker.get(), 0) == WAIT_OBJECT_0;
                                          }),
                           stopped_workers_.end());
    stopped_workers_.emplace_back(std::exchange(worker_, nullptr));
  }
}

void CWeatherMgr::SetCity(const std::wstring& code) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (code.empty()) {
      city_.clear();
      return;
    }
    if (::CompareStringOrdinal(code.c_str(), -1, city_.c_str(), -1, TRUE) == CSTR_EQUAL) return;
    city_ = code;
  }
  if (worker_id_) ::PostThreadMessageW(worker_id_, WM_WEATHER_CITY_CHANGED, 0, 0);
}

void CWeatherMgr::RequestRefresh() {
  if (worker_id_) ::PostThreadMessageW(worker_id_, WM_WEATHER_REFRESH, 0, 0);
}

bool CWeatherMgr::ReadCache(Json::Value* value) {
  std::lock_guard<std::mutex> hold(lock_);
  ScopedFileHandle file(::CreateFileW(CachePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file.valid() || !::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
      size.QuadPart > kMaxResponseBytes + 64) {
    return false;
  }
  std::vector<char> content(static_cast<size_t>(size.QuadPart) + 1, 0);
  DWORD read = 0;
  if (!::ReadFile(file.get(), content.data(), static_cast<DWORD>(size.QuadPart), &read, nullptr)) return false;
  // The reader stops after the first value: the stamp and the zero byte are not seen.
  return ParseJsonText(content.data(), read, value);
}

std::wstring CWeatherMgr::RequestUrl() {
  std::wstring city;
  {
    std::lock_guard<std::mutex> hold(lock_);
    city = city_;
  }
  std::wstring url = endpoint_ + L"/deskhelper/weather?ver=" + GetFileVersionOrZero();
  if (!city.empty()) url += L"&code=" + EncodeCityCode(city);
  return url;
}

bool CWeatherMgr::Fetch() {
  const std::wstring url = RequestUrl();
  (void)http_.Init();
  HttpBuffer body;
  uint32_t length = 0;
  if (!http_.Get(url, &body, &length)) return false;
  SYSTEMTIME now = {};
  ::GetLocalTime(&now);
  const std::string bytes = WeatherCacheBytes(std::string(body.get(), length), now);
  std::lock_guard<std::mutex> hold(lock_);
  return ReplaceFileContents(CachePath(), bytes.data(), bytes.size());
}

unsigned __stdcall CWeatherMgr::WorkerMain(void* self) {
  static_cast<CWeatherMgr*>(self)->Loop();
  return 0;
}

void CWeatherMgr::Loop() {
  int passes = 0;
  for (bool first = true;; first = false) {
    bool city_changed = false, refresh = false;
    MSG message;
    if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_WEATHER_WORKER_QUIT) return;
      city_changed = message.message == WM_WEATHER_CITY_CHANGED;
      refresh = message.message == WM_WEATHER_REFRESH;
    }
    ++passes;
    const bool restart = first || city_changed || passes >= pace_.passes_per_fetch;
    if (restart) passes = 0;
    if (restart || refresh) {
      // The window reads the cache as the previous fetch left it.
      if (!first && side_bar_) side_bar_->Post(WM_WEATHER_UPDATED);
      Fetch();
    }
    ::Sleep(pace_.pass_ms);
  }
}

std::wstring CWeatherMgr::CachePath() {
  if (cache_path_.empty()) cache_path_ = GetDataPath(L"LastWeather.dat");
  return cache_path_;
}

}  // namespace velmora
