// The providers that reach the network: the signed cloud tool list and the weather, against
// loopback services reached through the NetCore host map and the signed SealKit stand-in.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "config/app_config.h"
#include "config/time_rules.h"
#include "platform/http_client.h"
#include "platform/module_path.h"
#include "platform/module_signature.h"
#include "platform/process_ids.h"
#include "platform/system_functions.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "platform/window_slot.h"
#include "providers/cloud_list.h"
#include "providers/weather.h"
#include "tests/support/cloud_list_signer.h"
#include "tests/support/file_tree.h"
#include "tests/support/http_test_server.h"
#include "tests/support/registry_backup.h"
#include "tests/support/signature_trust.h"

namespace velmora {
namespace {

using test::HttpRoute;
using test::HttpTestServer;
using test::Reply;
using test::ToolListDocument;
using test::ReadAll;
using test::WrapSignedDocument;

constexpr char kListPath[] = "/main/cdn_client/v1/relations/e";
constexpr char kWeatherPath[] = "/deskhelper/weather";

void WriteAll(const std::wstring& path, const std::string& bytes) {
  std::ofstream(path.c_str(), std::ios::binary | std::ios::trunc) << bytes;
}

template <typename Done>
bool WaitFor(Done done, DWORD ms = 15000) {
  for (DWORD waited = 0; waited < ms; waited += 10) {
    if (done()) return true;
    Sleep(10);
  }
  return done();
}

// Both services, the NetCore stand-in with a host map that sends the program's service hosts to
// them, the SealKit stand-in, a folder for the caches and a window that collects posts.
class NetProvidersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::wstring suite = ParentFolder(ParentFolder(GetModulePath(nullptr))) + L"\\suite\\";
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = FormatW(L"%lsVelmoraNetProviders%lu", temp, GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    CopyFileW((suite + L"NetCore.dll").c_str(), (folder_ + L"\\NetCore.dll").c_str(), FALSE);
    SetTrustVerifiers(&VerifyModuleSignature, &test::TrustClassBySignature);
    seal_library_ = LoadLibraryW((suite + L"Tidy\\SealKit.dll").c_str());
    seal_.decrypt = GetProcAddressAs<DecyptRsaDataFn>(seal_library_, "DecyptRsaData");
    seal_.free = GetProcAddressAs<FreeRsaDataFn>(seal_library_, "FreeRsaData");
  }
  static void TearDownTestSuite() {
    SetTrustVerifiers(nullptr, nullptr);
    test::DeleteTree(folder_);
  }

  void SetUp() override {
    ASSERT_TRUE(seal_.decrypt && seal_.free);
    std::ofstream map((folder_ + L"\\NetCore.hosts").c_str(), std::ios::binary | std::ios::trunc);
    map << "https://cloud.vuq.com " << cloud_.Origin() << "\nweather.vuq.com " << weather_.Origin() << "\n";
    map.close();
    window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    slot_.Set(window_);
    DeleteFileW(ListCache().c_str());
    DeleteFileW(WeatherCache().c_str());
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"aitool_cloudquerytime");
    SettingsKey().Forget();
  }
  void TearDown() override {
    slot_.Set(nullptr);
    DestroyWindow(window_);
  }

  static CHttpClient& Client() {
    static CHttpClient client(folder_ + L"\\NetCore.dll");
    EXPECT_EQ(client.Init(), 1);
    return client;
  }
  static std::wstring ListCache() { return folder_ + L"\\aisidebar.dat"; }
  static std::wstring WeatherCache() { return folder_ + L"\\LastWeather.dat"; }

  // Posts of `message` that reached the window so far (taken off its queue).
  int Posted(UINT message) {
    int count = 0;
    for (MSG msg; PeekMessageW(&msg, window_, message, message, PM_REMOVE);) ++count;
    return count;
  }

  // A list manager of its own settings store; its first run is under way on return.
  std::unique_ptr<CCloudRequestMgr> StartList() {
    auto list = std::make_unique<CCloudRequestMgr>(settings_, Client());
    list->SetCachePath(ListCache());
    list->Enable(seal_, slot_);
    return list;
  }

  std::unique_ptr<CWeatherMgr> MakeWeather(CWeatherMgr::Pace pace) {
    auto weather = std::make_unique<CWeatherMgr>(Client());
    weather->SetCachePath(WeatherCache());
    weather->SetPace(pace);
    return weather;
  }

  size_t CloudRequests() const { return cloud_.RequestCount(); }

  static inline std::wstring folder_;
  static inline HMODULE seal_library_ = nullptr;
  static inline SealKitEntries seal_;
  test::ScopedRegistryBackup settings_backup_{HKEY_CURRENT_USER, kSettingsKey};
  CAppConfigMgr settings_;
  HttpTestServer cloud_, weather_;
  HWND window_ = nullptr;
  CWindowSlot slot_;
};

const std::string kFirstDocument =
    ToolListDocument(R"([{"sec_time":7,"list":[{"suffix":"PDF,Docx"}]}])");
const std::string kSecondDocument = ToolListDocument(R"([{"list":[{"suffix":"txt"}]}])");

std::string Tampered(std::string wrapped) {
  char& c = wrapped[wrapped.find("\"data\":\"") + 10];
  c = c == 'A' ? 'B' : 'A';  // still Base64, another document
  return wrapped;
}

TEST_F(NetProvidersTest, AForcedRunAcceptsOnlyAVerifiedListAndNotifiesWheneverTheFetchCameBack) {
  const std::string first = WrapSignedDocument(kFirstDocument), second = WrapSignedDocument(kSecondDocument);
  const struct {
    const char* name;
    HttpRoute reply;
    bool accepted;
    bool notified;
  } cases[] = {
      {"valid", Reply(200, second), true, true},
      {"slow", [&] { HttpRoute r = Reply(200, second); r.delay_ms = 300; return r; }(), true, true},
      {"tampered", Reply(200, Tampered(second)), false, true},
      {"truncated", Reply(200, second.substr(0, second.size() / 2)), false, true},
      {"empty", Reply(200, ""), false, true},
      {"server error", Reply(500, "{\"error\":1}"), false, true},
      {"inner not JSON", Reply(200, WrapSignedDocument("{not json")), false, true},
      // The text is run in the page as a call's argument: one value and nothing else.
      {"inner with a comment", Reply(200, WrapSignedDocument(kSecondDocument + "/**/")), false, true},
      {"inner with more after it", Reply(200, WrapSignedDocument(kSecondDocument + ");alert(1);(0")), false, true},
      {"data not a string", Reply(200, WrapSignedDocument(R"({"data":[]})")), false, true},
      {"data not an array", Reply(200, WrapSignedDocument(ToolListDocument(R"({"list":[]})"))), false, true},
      {"sec_time not a number", Reply(200, WrapSignedDocument(ToolListDocument(R"([{"sec_time":"5","list":[]}])"))), false, true},
      {"suffix not a string", Reply(200, WrapSignedDocument(ToolListDocument(R"([{"list":[{"suffix":5}]}])"))), false, true},
      {"4 MiB + 1", Reply(200, std::string(kMaxResponseBytes + 1, ' ')), false, false},
      {"cut", [&] { HttpRoute r = Reply(200, second); r.cut_after = 10; return r; }(), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileW(ListCache().c_str());
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"aitool_cloudquerytime");
    SettingsKey().Forget();
    cloud_.Route(kListPath, Reply(200, first));
    auto list = StartList();
    list->WaitForWorker();
    ASSERT_EQ(list->GetListText(), kFirstDocument);
    ASSERT_EQ(ReadAll(ListCache()), first);
    const DWORD stamp = ReadSettingsDword(L"aitool_cloudquerytime").value_or(0);
    ASSERT_NE(stamp, 0u);
    WriteSettingsDword(L"aitool_cloudquerytime", stamp - 60);
    Posted(WM_RECOM_TOOLS_UPDATED);

    cloud_.Route(kListPath, c.reply);
    list->ForceRefresh();
    list->WaitForWorker();
    EXPECT_EQ(list->GetListText(), c.accepted ? kSecondDocument : kFirstDocument);
    EXPECT_EQ(ReadAll(ListCache()), c.accepted ? second : first);
    EXPECT_EQ(ReadSettingsDword(L"aitool_cloudquerytime").value_or(0) != stamp - 60, c.accepted);
    EXPECT_EQ(Posted(WM_RECOM_TOOLS_UPDATED), c.notified ? 1 : 0);
  }
}

TEST_F(NetProvidersTest, TheListIsFetchedWhenItIs480MinutesOldAndServedFromTheCacheBefore) {
  const std::string wrapped = WrapSignedDocument(kFirstDocument);
  cloud_.Route(kListPath, Reply(200, WrapSignedDocument(kSecondDocument)));
  for (const int minutes : {479, 480}) {
    SCOPED_TRACE(minutes);
    WriteAll(ListCache(), wrapped);
    WriteSettingsDword(L"aitool_cloudquerytime", ToRegistryTime(NowSeconds() - minutes * 60));
    const size_t before = CloudRequests();
    auto list = StartList();
    list->WaitForWorker();
    EXPECT_EQ(CloudRequests() - before, minutes >= 480 ? 1u : 0u);
    EXPECT_EQ(list->GetListText(), minutes >= 480 ? kSecondDocument : kFirstDocument);
    EXPECT_EQ(Posted(WM_RECOM_TOOLS_UPDATED), 0);  // unforced runs never notify
  }
}

TEST_F(NetProvidersTest, AFailedFetchFallsBackToTheCacheOrLeavesNoList) {
  cloud_.Route(kListPath, Reply(200, std::string(kMaxResponseBytes + 1, ' ')));
  auto without_cache = StartList();
  without_cache->WaitForWorker();
  EXPECT_EQ(without_cache->GetListText(), "");
  EXPECT_EQ(GetFileAttributesW(ListCache().c_str()), INVALID_FILE_ATTRIBUTES);

  WriteAll(ListCache(), WrapSignedDocument(kFirstDocument));
  auto with_cache = StartList();
  with_cache->WaitForWorker();  // stale (no time stored): fetches, fails, loads the cache
  EXPECT_EQ(with_cache->GetListText(), kFirstDocument);
  EXPECT_EQ(CloudRequests(), 2u);
}

TEST_F(NetProvidersTest, TheQueryIsInNameOrderWithoutALeadingAmpersand) {
  EXPECT_EQ(CloudListQuery(L"B", L"A", L"1.0.3.1208"), L"m2=B&mid=A&relation_id=aisidebar&version=1.0.3.1208");
  cloud_.Route(kListPath, Reply(404, ""));
  StartList()->WaitForWorker();
  ASSERT_EQ(cloud_.Requests().size(), 1u);
  EXPECT_TRUE(std::regex_match(cloud_.Requests()[0].line,
                               std::regex("GET /main/cdn_client/v1/relations/e\\?m2=[^&]*&mid=[^&]*"
                                          "&relation_id=aisidebar&version=\\d+\\.\\d+\\.\\d+\\.\\d+ HTTP/1\\.1")))
      << cloud_.Requests()[0].line;
}

TEST_F(NetProvidersTest, AHeldWorkerHandleDefersTheForcedFetchToTheNextRun) {
  HttpRoute slow = Reply(200, WrapSignedDocument(kFirstDocument));
  slow.delay_ms = 400;
  cloud_.Route(kListPath, slow);
  auto list = StartList();
  ASSERT_TRUE(WaitFor([&] { return CloudRequests() == 1; }));
  list->ForceRefresh();  // the first run is under way: no second worker
  ASSERT_TRUE(WaitFor([&] { return ReadSettingsDword(L"aitool_cloudquerytime").has_value(); }));
  Sleep(300);
  list->ForceRefresh();  // finished, but its handle is still held
  list->WaitForWorker();  // a worker it started by mistake would be the one waited for
  EXPECT_EQ(CloudRequests(), 1u);
  EXPECT_EQ(Posted(WM_RECOM_TOOLS_UPDATED), 0);
  list->ForceRefresh();  // the mark waited: this run fetches although the list is fresh
  list->WaitForWorker();
  EXPECT_EQ(CloudRequests(), 2u);
  EXPECT_EQ(Posted(WM_RECOM_TOOLS_UPDATED), 1);
}

// A run that outlives the page's 5 s wait is still the manager's: a start meanwhile (the timer)
// starts no second run beside it, and the manager's end waits for it and starts nothing more.
TEST_F(NetProvidersTest, ARunLetGoAfterItsWaitNeitherOverlapsNorOutlivesTheManager) {
  HttpRoute slow = Reply(200, WrapSignedDocument(kFirstDocument));
  slow.delay_ms = 6500;
  cloud_.Route(kListPath, slow);
  auto list = StartList();
  list->WaitForWorker();  // gives up after 5 s
  ASSERT_EQ(GetFileAttributesW(ListCache().c_str()), INVALID_FILE_ATTRIBUTES) << "the run has not ended";
  list->ForceRefresh();
  list.reset();
  EXPECT_NE(GetFileAttributesW(ListCache().c_str()), INVALID_FILE_ATTRIBUTES) << "the run ended before the manager";
  EXPECT_EQ(CloudRequests(), 1u);
}

TEST_F(NetProvidersTest, TheListFeedsTheSceneIntervalAndSuffixes) {
  const struct {
    const char* elements;
    int interval;
    std::vector<std::wstring> suffixes;
  } cases[] = {
      {R"([{"sec_time":7,"list":[{"suffix":"PDF,Docx"}]}])", 7, {L"pdf", L"docx"}},
      {R"([{"list":[{"suffix":"a,,b,"}]}])", 3, {L"a", L"", L"b"}},
      {R"([{"list":[{"suffix":"x"},null,{"suffix":"y"}]},{"list":[{"suffix":"z"}]}])", 3, {L"x", L"z"}},
      {R"([{"sec_time":-5,"list":[]}])", 3, {}},
      {R"([{"sec_time":99999999999,"list":[]}])", 86400, {}},
      {"[]", 3, {}},
      {"", 3, {}},
  };
  cloud_.Route(kListPath, Reply(404, ""));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.elements);
    CAppConfigMgr settings;
    CCloudRequestMgr list(settings, Client());
    list.SetCachePath(ListCache());
    list.Enable(seal_, slot_);
    list.WaitForWorker();
    const std::string wrapped = WrapSignedDocument(ToolListDocument(c.elements));
    ASSERT_TRUE(list.VerifyAndApply(wrapped.data(), wrapped.size()));
    EXPECT_EQ(settings.GetSceneInterval(), c.interval);
    EXPECT_EQ(settings.GetSceneSuffixes(), c.suffixes);
  }
}

TEST(WeatherCacheTest, TheFileIsTheBodyTheStampWithoutLeadingZerosAndOneZeroByte) {
  SYSTEMTIME when = {};
  when.wYear = 2024, when.wMonth = 3, when.wDay = 5, when.wHour = 7, when.wMinute = 8;
  const std::string body = "{\"t\":\"" + std::string(92, 'x') + "\"}";
  ASSERT_EQ(body.size(), 100u);
  const std::string bytes = WeatherCacheBytes(body, when);
  EXPECT_EQ(bytes, body + "<time>2024-3-5 7:8</time>" + std::string(1, '\0'));
  EXPECT_EQ(bytes.size(), 126u);
  EXPECT_EQ(WeatherCacheBytes("", when), std::string("<time>2024-3-5 7:8</time>") + '\0');
}

TEST(WeatherCacheTest, ACityCodeCannotAddParameters) {
  const struct {
    const wchar_t* code;
    const wchar_t* sent;
  } cases[] = {
      {L"101010100", L"101010100"},
      {L"Bei-jing_2", L"Bei-jing_2"},
      {L"1&ver=9", L"1%26ver%3D9"},
      {L"a b#c", L"a%20b%23c"},
      {L"\x5317", L"%E5%8C%97"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeCityCode(c.code), c.sent) << WideToUtf8(c.code);
}

TEST_F(NetProvidersTest, TheWorkerFetchesAtStartAndAnnouncesEveryLaterFetchBeforeMakingIt) {
  weather_.Route(kWeatherPath, Reply(200, "{\"temp\":21}"));
  auto weather = MakeWeather({20, 100000});
  Json::Value value;
  EXPECT_FALSE(weather->ReadCache(&value));
  weather->Start(slot_);
  ASSERT_TRUE(WaitFor([&] { return weather->ReadCache(&value); }));
  EXPECT_EQ(value["temp"].asInt(), 21);
  EXPECT_EQ(Posted(WM_WEATHER_UPDATED), 0);
  EXPECT_TRUE(std::regex_match(weather_.Requests()[0].line,
                               std::regex("GET /deskhelper/weather\\?ver=\\d+\\.\\d+\\.\\d+\\.\\d+ HTTP/1\\.1")));

  weather_.Route(kWeatherPath, Reply(200, "not json"));
  weather->RequestRefresh();
  weather->RequestRefresh();  // two within a pass: two fetches, a pass apart
  ASSERT_TRUE(WaitFor([&] { return weather_.RequestCount() == 3; }));
  ASSERT_TRUE(WaitFor([&] { return !weather->ReadCache(&value); }));
  EXPECT_EQ(Posted(WM_WEATHER_UPDATED), 2);
  EXPECT_EQ(ReadAll(WeatherCache()).substr(0, 14), "not json<time>");

  weather_.Route(kWeatherPath, Reply(200, ""));
  weather->RequestRefresh();
  ASSERT_TRUE(WaitFor([&] { return ReadAll(WeatherCache()).rfind("<time>", 0) == 0; }));
  EXPECT_FALSE(weather->ReadCache(&value));
  weather->Stop();
}

TEST_F(NetProvidersTest, ACityChangeFetchesAtOnceAndRestartsTheHourlyCount) {
  weather_.Route(kWeatherPath, Reply(200, "{}"));
  auto weather = MakeWeather({50, 20});  // "hourly" = 20 passes of 50 ms
  weather->Start(slot_);
  ASSERT_TRUE(WaitFor([&] { return weather_.RequestCount() == 1; }));
  Sleep(500);
  weather->SetCity(L"abc");
  ASSERT_TRUE(WaitFor([&] { return weather_.RequestCount() == 2; }));
  weather->SetCity(L"ABC");  // the same code: nothing
  Sleep(750);                // past the count the first fetch started
  EXPECT_EQ(weather_.RequestCount(), 2u);
  ASSERT_TRUE(WaitFor([&] { return weather_.RequestCount() == 3; }));
  const auto requests = weather_.Requests();
  EXPECT_NE(requests[1].line.find("&code=abc "), std::string::npos) << requests[1].line;
  EXPECT_NE(requests[2].line.find("&code=abc "), std::string::npos) << requests[2].line;
  weather->Stop();
}

}  // namespace
}  // namespace velmora
