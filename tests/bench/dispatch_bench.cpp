// Time from a page call to the script text it produces, through the real command table, per
// command: median and 99th percentile in microseconds, then the slowest five. Rows that start
// programs, open links or dialogs, write shortcuts or end the side bar are left out; setSettings
// touches only the two page preferences, which are put back afterwards. The services are the
// program's own (providers and companions as built in); their workers are not started, so rows
// answer from what is stored on this machine.
//   dispatch_bench [calls per command]
// Not a test: it asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/command_dispatcher.h"
#include "bridge/page_host.h"
#include "app/velmora_services.h"
#include "bridge/page_services.h"
#include "config/app_config.h"

namespace {

// A host that keeps the last script and does nothing else: what is measured is the bridge.
class LastScriptHost final : public velmora::PageHost {
 public:
  std::wstring last;
  bool HasBrowser() const override { return true; }
  void RunScript(const std::wstring& text) override { last = text; }
  void MarkPageShown() override {}
  void SetPageSize(int, int) override {}
  void StopPageLoadTimeout() override {}
  void PushSignInCookies() override {}
  bool ShowLoginDialog() override { return false; }
  void ShowDevTools() override {}
  HWND BrowserWindow() const override { return nullptr; }
  void ShowCentered(int, int) override {}
  void ShowFullScreen() override {}
  void ShowBrowser() override {}
  void BringToFront(bool) override {}
  void MoveStart() override {}
  void MoveEnd() override {}
  void PostToSideBar(UINT) override {}
  void StartQuickFindTimer(UINT) override {}
};

double NowUs() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return 1e6 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// ["", "<object>"] with the object's quotes escaped.
std::string Arguments(const std::string& object) {
  std::string escaped;
  for (const char c : object) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return "[\"\", \"" + escaped + "\"]";
}

struct Row {
  const char* name;
  std::string object;
  double median = 0, p99 = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
  velmora::CAppConfigMgr settings;
  const int auto_hide = settings.GetAutoHide(), scene = settings.GetSceneRecommend();
  velmora::CVelmoraServices services(settings);
  LastScriptHost host;

  // A 64-byte plain text for Encrypt; Decrypt gets what Encrypt made (it does not open, by design:
  // the key is wrapped for the service, so this measures the full refusal path).
  const std::string plain = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
  std::vector<Row> rows = {
      {"IsInClient", R"({"callbackName":"cb"})"},
      {"getSettings", R"({"callbackName":"cb"})"},
      {"setSettings", R"({"callbackName":"cb","autoHide":true,"sceneRecommend":1})"},
      {"Encrypt", R"({"callbackName":"cb","plaintext":")" + plain + R"(","signdata":"x"})"},
      {"Decrypt", ""},
      {"getUserInfo", R"({"callbackName":"cb"})"},
      {"getWeather", R"({"callbackName":"cb"})"},
      {"getSystemInfo", R"({"callbackName":"cb"})"},
      {"getRecommendedTools", R"({"callbackName":"cb"})"},
      {"getCommonlyUsedData", R"({"callbackName":"cb"})"},
      {"getLocalTop", R"({"callbackName":"cb"})"},
      {"IsStickyNoteExist", R"({"callbackName":"cb"})"},
      {"isInstalledWithKey", R"({"callbackName":"cb","key":"{00000000-0000-0000-0000-000000000000}"})"},
      {"isKeluExist", R"({"callbackName":"cb"})"},
      {"isWordProcessingExist", R"({"callbackName":"cb"})"},
      {"hasShortcut", R"({"callbackName":"cb"})"},
      {"isAutoStart", R"({"callbackName":"cb"})"},
      {"Show", R"({"callbackName":"cb","width":360,"height":640})"},
      {"SetTopMost", R"({"callbackName":"cb"})"},
      {"MoveEnd", R"({"callbackName":"cb"})"},
      {"ShowDevTools", R"({"callbackName":"cb"})"},
  };
  for (Row& row : rows) {
    if (std::string(row.name) == "Decrypt") {
      velmora::DispatchPageCall(host, services, "", "Encrypt", Arguments(rows[3].object).c_str());
      // The reply is cb({"q":"…","sign":"…","skey":"…"}\n): hand q and skey back.
      const std::wstring& reply = host.last;
      auto member = [&](const wchar_t* key) {
        const size_t at = reply.find(std::wstring(L"\"") + key + L"\":\"") + std::wcslen(key) + 4;
        return std::string(reply.begin() + at, reply.begin() + reply.find(L'"', at));
      };
      row.object = R"({"callbackName":"cb","skey":")" + member(L"skey") + R"(","q":")" + member(L"q") + R"("})";
    }
    const std::string arguments = Arguments(row.object);
    std::vector<double> times;
    times.reserve(calls);
    for (int i = 0; i < calls; ++i) {
      const double start = NowUs();
      velmora::DispatchPageCall(host, services, "", row.name, arguments.c_str());
      times.push_back(NowUs() - start);
    }
    std::sort(times.begin(), times.end());
    row.median = times[times.size() / 2];
    row.p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
  }
  settings.SetAutoHide(auto_hide);
  settings.SetSceneRecommend(scene);

  std::printf("%-24s %12s %12s   (%d calls each)\n", "command", "median us", "p99 us", calls);
  for (const Row& row : rows) std::printf("%-24s %12.1f %12.1f\n", row.name, row.median, row.p99);
  std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.median > b.median; });
  std::printf("slowest five:");
  for (size_t i = 0; i < 5 && i < rows.size(); ++i) std::printf(" %s", rows[i].name);
  std::printf("\n");
  return 0;
}
