// Verifying and applying a 64 KiB signed cloud tool list (SealKit stand-in, RSA-2048 with SHA-256,
// the JSON checks and the settings store), and the weather answer for getWeather read from the
// cache file and put in its reply envelope. Prints the median and spread of each. Measures only.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bridge/page_replies.h"
#include "config/app_config.h"
#include "platform/http_client.h"
#include "platform/module_path.h"
#include "platform/system_functions.h"
#include "platform/text.h"
#include "platform/window_slot.h"
#include "providers/cloud_list.h"
#include "providers/cloud_list_key.h"
#include "providers/weather.h"
#include "tests/bench/bench_clock.h"
#include "tests/support/cloud_list_signer.h"

namespace {

using velmora::bench::NowMs;

void NoSetUp() {}

template <typename Run, typename SetUp = void (*)()>
void Measure(const char* name, int rounds, const char* goal, Run run, SetUp set_up = &NoSetUp) {
  std::vector<double> micros;
  for (int i = 0; i < rounds; ++i) {
    set_up();
    const double start = NowMs();
    run();
    micros.push_back(1000 * (NowMs() - start));
  }
  const auto [least, most] = std::minmax_element(micros.begin(), micros.end());
  std::printf("%-40s median %10.1f us  min %10.1f us  max %10.1f us  (%d rounds; goal %s)\n", name,
              velmora::bench::Median(micros), *least, *most, rounds, goal);
}

// Elements of suffix lists until the document is about `size` bytes.
std::string ListOfSize(size_t size) {
  std::string elements = "[";
  for (int i = 0; elements.size() + 80 < size; ++i) {
    elements += (i ? "," : "") + std::string("{\"sec_time\":5,\"list\":[{\"suffix\":\"doc") + std::to_string(i) +
                ",pdf,xls\"}],\"name\":\"Tool " + std::to_string(i) + "\"}";
  }
  return elements + "]";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace velmora;
  const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 50;
  const std::wstring suite = ParentFolder(ParentFolder(GetModulePath(nullptr))) + L"\\suite\\";
  const HMODULE seal = LoadLibraryW((suite + L"Tidy\\SealKit.dll").c_str());
  SealKitEntries entries;
  entries.decrypt = GetProcAddressAs<DecyptRsaDataFn>(seal, "DecyptRsaData");
  entries.free = GetProcAddressAs<FreeRsaDataFn>(seal, "FreeRsaData");
  if (!entries.decrypt || !entries.free) {
    std::fprintf(stderr, "no SealKit.dll in %ls: build first\n", suite.c_str());
    return 1;
  }
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = FormatW(L"%lsVelmoraBench%lu", temp, GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);

  // The list, applied to a fresh settings store each round as at start-up (the store keeps every
  // suffix it is given). The manager's own first run finds no network library and ends.
  CHttpClient http(folder + L"\\NoNetCore.dll");
  CWindowSlot no_window;
  std::unique_ptr<CAppConfigMgr> settings;
  std::unique_ptr<CCloudRequestMgr> list;
  auto fresh_list = [&] {
    list.reset();
    settings = std::make_unique<CAppConfigMgr>();
    list = std::make_unique<CCloudRequestMgr>(*settings, http);
    list->SetCachePath(folder + L"\\aisidebar.dat");
    list->Enable(entries, no_window);
    list->WaitForWorker();
  };
  const std::string wrapped = test::WrapSignedDocument(test::ToolListDocument(ListOfSize(64 * 1024)));
  std::printf("signed list: %zu bytes wrapped\n", wrapped.size());
  Measure("  of which: SealKit unwraps the list", rounds, "-", [&] {
    char* inner = nullptr;
    unsigned int length = 0;
    if (entries.decrypt(kCloudListPublicKey, wrapped.c_str(), &inner, &length)) entries.free(inner);
  });
  bool accepted = true;
  Measure("verify and apply a 64 KiB signed list", rounds, "<= 5 ms",
          [&] { accepted = list->VerifyAndApply(wrapped.data(), wrapped.size()) && accepted; }, fresh_list);
  if (!accepted) std::fprintf(stderr, "the list was refused: the figures do not count\n");

  // The weather: a reply of a typical size in the cache.
  CWeatherMgr weather(http);
  weather.SetCachePath(folder + L"\\LastWeather.dat");
  std::string body = "{\"city\":\"Demo\",\"days\":[";
  for (int day = 0; day < 7; ++day) {
    body += (day ? "," : "") + std::string("{\"day\":") + std::to_string(day) +
            ",\"low\":12,\"high\":21,\"text\":\"partly cloudy\",\"wind\":\"NE 3\",\"aqi\":42}";
  }
  body += "]}";
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  const std::string bytes = WeatherCacheBytes(body, now);
  std::ofstream((folder + L"\\LastWeather.dat").c_str(), std::ios::binary) << bytes;
  size_t answered = 0;
  Measure("getWeather answered from the cache", rounds * 20, "<= 200 us", [&] {
    Json::Value value;
    if (weather.ReadCache(&value)) answered += EnvelopeJson(0, value).size();
  });
  std::printf("weather cache: %zu bytes; answers %s\n", bytes.size(), answered ? "made" : "MISSING");

  DeleteFileW((folder + L"\\LastWeather.dat").c_str());
  DeleteFileW((folder + L"\\aisidebar.dat").c_str());
  RemoveDirectoryW(folder.c_str());
  return accepted && answered ? 0 : 1;
}
