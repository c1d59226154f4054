#include "bridge/command_dispatcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include <json/reader.h>

#include "bridge/page_arguments.h"
#include "bridge/page_services.h"
#include "config/app_config.h"
#include "config/autostart.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/recording_host.h"
#include "tests/support/registry_backup.h"

namespace velmora {
namespace {

using Calls = test::RecordingHost::Calls;
using test::FakeServices;

// The arguments text the page sends: ["", "<object>"].
std::string Args(const std::string& object) {
  std::string escaped;
  for (char c : object) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return "[\"\", \"" + escaped + "\"]";
}

// The whole text is one JSON value, with nothing after it.
bool IsOneJsonValue(const std::string& text) {
  Json::CharReaderBuilder builder;
  builder["failIfExtra"] = true;
  Json::Value value;
  return std::unique_ptr<Json::CharReader>(builder.newCharReader())
      ->parse(text.data(), text.data() + text.size(), &value, nullptr);
}

class DispatcherTest : public ::testing::Test {
 protected:
  // The scripts the page received for one call.
  Calls CallRaw(const char* name, const char* arguments) {
    host_.scripts.clear();
    DispatchPageCall(host_, services_, "", name, arguments);
    return host_.scripts;
  }
  Calls Call(const char* name, const std::string& object) { return CallRaw(name, Args(object).c_str()); }

  test::ScopedRegistryBackup settings_key_{HKEY_CURRENT_USER, L"SOFTWARE\\VuqAppMgr\\Velmora"};
  test::ScopedRegistryBackup run_{HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"};
  CAppConfigMgr settings_;
  FakeServices services_{settings_};
  test::RecordingHost host_;
};

TEST_F(DispatcherTest, NamesMatchInAnyCaseButExactly) {
  for (const char* name : {"getsettings", "GETSETTINGS", "gEtSeTtInGs"}) {
    EXPECT_EQ(Call(name, R"({"callbackName":"cb"})").size(), 1u) << name;
  }
  for (const char* name : {"getSettings ", " getSettings", "getSetting", "", "getSettings\t"}) {
    EXPECT_TRUE(Call(name, R"({"callbackName":"cb"})").empty()) << name;
  }
}

// Each row's reply exactly as the page receives it.
TEST_F(DispatcherTest, RepliesAsThePageReceivesThem) {
  settings_.SetAutoHide(1);
  settings_.SetSceneRecommend(0);
  WriteSettingsDword(L"switch_flags", 1);  // whatever an earlier program left
  const struct {
    const char* name;
    const char* object;
    Calls scripts;
  } cases[] = {
      {"getSettings", R"({"callbackName":"cb"})", {L"script cb({\"autoHide\":true,\"on\":true,\"sceneRecommend\":false}\n)"}},
      {"getSettings", R"({})", {}},
      {"getUserInfo", R"({"callbackName":"who"})", {L"script who({\"code\":0,\"data\":{\"logined\":0},\"msg\":\"\"}\n)"}},
      {"getWeather", R"({"callbackName":"w"})", {L"script w({\"code\":1,\"data\":\"\",\"msg\":\"\"}\n)"}},
      {"getWeather", R"({"callbackName":"w","retry":true})", {}},
      {"getWeather", R"({"callbackName":"w","retry":"TRUE"})", {}},
      {"getWeather", R"({"callbackName":"w","retry":"0"})", {L"script w({\"code\":1,\"data\":\"\",\"msg\":\"\"}\n)"}},
      {"getWeather", R"({"callbackName":"w","retry":"0.5"})", {}},  // a non-zero decimal number
      {"getWeather", R"({"callbackName":"w","retry":"-.0"})", {L"script w({\"code\":1,\"data\":\"\",\"msg\":\"\"}\n)"}},
      {"getWeather", R"({"callbackName":"w","retry":"1e3"})", {L"script w({\"code\":1,\"data\":\"\",\"msg\":\"\"}\n)"}},
      {"getWeather", R"({"callbackName":"w","retry":"1.2.3"})", {L"script w({\"code\":1,\"data\":\"\",\"msg\":\"\"}\n)"}},
      {"isInstalledWithKey", R"({"callbackName":"i","key":"{X}"})", {L"script i({\"code\":1,\"data\":null,\"msg\":\"\"}\n)"}},
      {"isInstalledWithKey", R"({"callbackName":"i","key":""})", {}},
      {"IsStickyNoteExist", R"({"callbackName":"s"})", {L"script s(0)"}},
      {"isKeluExist", R"({"callbackName":"k"})", {L"script k(0)"}},
      {"isKeluExist", R"({})", {}},
      {"IsInClient", R"({"callbackName":"c"})", {L"script c({\"data\": 1})"}},
      {"SetTopMost", R"({"callbackName":"t"})", {L"script t()"}},
      {"MoveEnd", R"({"callbackName":"m"})", {L"script m()"}},
      {"startReport", R"({"callbackName":"r","id":""})", {L"script r()"}},
      {"runCmd", R"({"callbackName":"r","path":"C:\\no\\such\\file.exe"})", {L"script r()"}},
      {"FeedBack", R"({"callbackName":"f","cmd":"   "})", {L"script f()"}},
      {"OpenUrl", R"({"callbackName":"u","url":7})", {}},
      {"OpenUrl", R"({"callbackName":"u"})", {}},
      {"OpenUrl", R"({"callbackName":"u","url":""})", {L"script u()"}},             // refused, answered
      {"OpenUrl", R"({"callbackName":"u","url":"file:///C:/x.txt"})", {L"script u()"}},
      {"runTools", R"({"tool":"nothing"})", {}},
      {"navigateOnline", R"({"callbackName":"n"})", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Call(c.name, c.object), c.scripts) << c.name << " " << c.object;
  }
}

// The run commands reach a program of the native system folder without switching file-system
// redirection off, which would also hold for the shell's start and for the reply run in the page.
TEST_F(DispatcherTest, RunCommandsLeaveRedirectionOn) {
  for (const char* name : {"runCmd", "runSafeCmd", "runDownloader", "runExternalCmd"}) {
    EXPECT_EQ(Call(name, R"({"callbackName":"r","path":"%windir%\\system32\\cmd.exe","param":"/c rem"})"),
              Calls{L"script r()"})
        << name;
  }
  EXPECT_FALSE(host_.script_with_redirection_off);
}

TEST_F(DispatcherTest, ProvidersAnswerThroughTheirServices) {
  // No provider built in: no answer, not an empty one.
  EXPECT_TRUE(Call("getSystemInfo", R"({"callbackName":"s"})").empty());
  services_.system_info = "{\"pid\":\"7\"}\n";
  Json::Value weather(Json::objectValue);
  weather["city"] = "\xE5\x8C\x97\xE4\xBA\xAC";  // the compact writer escapes it
  services_.weather = weather;
  services_.sticky_note_present = true;

  EXPECT_EQ(Call("getSystemInfo", R"({"callbackName":"s"})"), Calls{L"script s({\"pid\":\"7\"}\n)"});
  EXPECT_TRUE(Call("getSystemInfo", R"({})").empty());  // no one to answer
  EXPECT_EQ(Call("getWeather", R"({"callbackName":"w","retry":0})"),
            Calls{L"script w({\"code\":0,\"data\":{\"city\":\"\\u5317\\u4eac\"},\"msg\":\"\"}\n)"});
  EXPECT_TRUE(Call("getWeather", R"({"callbackName":"w","retry":"1"})").empty());
  EXPECT_EQ(Call("IsStickyNoteExist", R"({"callbackName":"s"})"), Calls{L"script s(1)"});
  Call("runTools", R"({"tool":"stickynote"})");
  Call("runTools", R"({"tool":"CALC"})");
  EXPECT_EQ(services_.seen, (std::vector<std::wstring>{L"refresh", L"tool 0", L"tool 1"}));
  // The desktop search starts after a short delay, from the side bar window's timer.
  Call("runTools", R"({"tool":"QuickFind"})");
  EXPECT_EQ(host_.actions, Calls{L"quick find in 200 ms"});
  EXPECT_EQ(services_.seen.size(), 3u);
}

TEST_F(DispatcherTest, EncryptAndDecryptRepliesHaveTheirMembers) {
  // 16 data bytes ("AAAA..." is 12 zero bytes, "AAAAAA==" 4 more) give a 44-character q.
  const Calls encrypted = Call("Encrypt", R"({"callbackName":"e","plaintext":" AAAAAAAAAAAAAAAAAAAAAA== ","signdata":"x"})");
  ASSERT_EQ(encrypted.size(), 1u);
  Json::Value reply;
  const std::wstring& script = encrypted[0];
  ASSERT_EQ(script.rfind(L"script e(", 0), 0u);
  ASSERT_TRUE(ParsePageJson(WideToUtf8(script.substr(9, script.size() - 10)), &reply));
  EXPECT_EQ(reply.getMemberNames(), (std::vector<std::string>{"q", "sign", "skey"}));
  EXPECT_EQ(reply["q"].asString().size(), 44u);
  EXPECT_EQ(reply["sign"].asString().size(), 32u);
  EXPECT_FALSE(reply["skey"].asString().empty());
  // A key the page got from Encrypt is wrapped for the service, not for us: it does not open.
  const std::string again = R"({"callbackName":"d","skey":")" + reply["skey"].asString() + R"(","q":")" +
                            reply["q"].asString() + R"("})";
  EXPECT_EQ(Call("Decrypt", again), Calls{L"script d({\"Decrypt\":\"\"}\n)"});

  EXPECT_EQ(CallRaw("Encrypt", "[\"\", 5]"), Calls{});  // no callback name could be read
  EXPECT_EQ(Call("Decrypt", R"({"callbackName":"d","q":"AAAA"})"), Calls{L"script d({\"Decrypt\":\"\"}\n)"});
}

TEST_F(DispatcherTest, SetSettingsWritesOnlyTheKeysGiven) {
  CAppConfigMgr& settings = settings_;
  settings.SetAutoHide(1);
  settings.SetSceneRecommend(1);
  DisableSideBar();

  // Without a callback name nothing changes.
  EXPECT_TRUE(Call("setSettings", R"({"autoHide":false})").empty());
  EXPECT_EQ(settings.GetAutoHide(), 1);

  EXPECT_EQ(Call("setSettings", R"({"callbackName":"ok","autoHide":false})"), Calls{L"script ok()"});
  EXPECT_EQ(settings.GetAutoHide(), 0);
  EXPECT_EQ(ReadSettingsDword(L"sidebar_autohide"), std::optional<DWORD>(0));
  EXPECT_EQ(settings.GetSceneRecommend(), 1);
  EXPECT_FALSE(settings.IsSideBarOn());

  // An integer is taken as it is, any other type as 1; a string turns autostart on.
  Call("setSettings", R"({"callbackName":"ok","sceneRecommend":5,"autoHide":[1],"autoStart":"no"})");
  EXPECT_EQ(settings.GetSceneRecommend(), 5);
  EXPECT_EQ(settings.GetAutoHide(), 1);
  EXPECT_TRUE(settings.IsSideBarOn());
  Call("setSettings", R"({"callbackName":"ok","autoStart":0,"autoHide":null})");
  EXPECT_FALSE(settings.IsSideBarOn());
  EXPECT_EQ(settings.GetAutoHide(), 1);

  // Only JSON integers are integers: 0.0 and 2.0 are other numbers, so 1. Whatever was stored,
  // getSettings reports non-zero as on.
  const struct {
    const char* value;
    int stored;
    const wchar_t* reported;
  } numbers[] = {{"0", 0, L"false"}, {"0.0", 1, L"true"}, {"2.0", 1, L"true"}, {"2", 2, L"true"},
                 {"-1", -1, L"true"}, {"4294967296", 1, L"true"}};
  for (const auto& n : numbers) {
    Call("setSettings", std::string(R"({"callbackName":"ok","sceneRecommend":)") + n.value + "}");
    EXPECT_EQ(settings.GetSceneRecommend(), n.stored) << n.value;
    const Calls reply = Call("getSettings", R"({"callbackName":"cb"})");
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_NE(reply[0].find(std::wstring(L"\"sceneRecommend\":") + n.reported), std::wstring::npos) << n.value;
  }
}

TEST_F(DispatcherTest, ShowRequiresTheArgumentsTextOtherWindowCommandsDoNot) {
  EXPECT_TRUE(CallRaw("Show", nullptr).empty());
  EXPECT_FALSE(host_.page_shown);
  EXPECT_TRUE(CallRaw("Show", "garbage").empty());  // present but unreadable: shown, no size, no reply
  EXPECT_TRUE(host_.page_shown);
  EXPECT_EQ(host_.actions, Calls{L"cookies"});
  host_.actions.clear();
  CallRaw("ShowDevTools", nullptr);
  // The reply comes first; the side bar window closes once the command is over.
  EXPECT_EQ(Call("closeModal", R"({"callbackName":"bye"})"), Calls{L"script bye()"});
  EXPECT_EQ(host_.actions, (Calls{L"devtools", L"post 0x0010"}));
}

// The page is untrusted: generated and mutated calls of every shape must neither crash nor
// throw nor hang, and the controller must still answer afterwards.
TEST_F(DispatcherTest, SurvivesHostileCalls) {
  // Commands that start programs, open links, write shortcuts or end the side bar are covered
  // above; here they would act on random input.
  const std::vector<std::string> names = {
      "Show", "ShowFull", "getSystemInfo", "getUserInfo", "SetTopMost", "CancelTopMost", "MoveStart", "MoveEnd",
      "IsInClient", "ShowDevTools", "getWeather", "getCommonlyUsedData", "getRecommendedTools", "getLocalTop",
      "setWeatherCity", "IsStickyNoteExist", "runTools", "startReport", "isInstalledWithKey", "isKeluExist",
      "isWordProcessingExist", "getSettings", "hasShortcut", "isAutoStart", "Decrypt", "Encrypt", "SHOW", "show ",
      "", "\xFF\xFE", "getsettings"};
  const std::vector<std::string> keys = {"callbackName", "width", "height", "retry", "tool", "id", "key", "city",
                                         "skey", "q", "plaintext", "signdata", "cmd", "url", "path", "param"};
  std::mt19937 random(20261208);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  const std::string mib(1 << 20, 'A');
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += '[';

  auto value = [&](int round) -> std::string {
    switch (pick(round % 997 == 0 ? 12 : 10)) {
      case 0: return "null";
      case 1: return std::to_string(static_cast<int>(random()) - (1 << 30));
      case 2: return random() % 2 ? "true" : "false";
      case 3: return "\"cb" + std::to_string(pick(5)) + "\"";
      case 4: return "\"\xC3\x28\xF0\x28\x8C\xBC\"";  // invalid UTF-8
      case 5: return "[]";
      case 6: return "[1]";
      case 7: return "{\"a\":{\"b\":[1,2,{}]}}";
      case 8: return "1e308";
      case 9: return "-0.5";
      case 10: return "\"" + mib + "\"";
      default: {
        std::string many = "[";
        for (int i = 0; i < 10000; ++i) many += i ? ",0" : "0";
        return many + "]";
      }
    }
  };
  size_t replies = 0;
  for (int round = 0; round < 100000; ++round) {
    const std::string& name = names[pick(names.size())];
    std::string object = "{";
    for (size_t i = 0, n = pick(4); i < n; ++i) {
      object += (i ? "," : "") + std::string("\"") + keys[pick(keys.size())] + "\":" + value(round);
    }
    object += "}";
    std::string arguments;
    switch (pick(8)) {
      case 0: arguments = object; break;                          // not wrapped in the array
      case 1: arguments = "[\"\", " + object + "]"; break;        // element 1 not a string
      case 2: arguments = "[\"\"]"; break;                         // too short
      case 3: arguments = round % 5000 == 0 ? deep : "[[[[1]]]]"; break;
      case 4: {                                                   // a valid call with a flipped byte
        arguments = Args(object);
        arguments[pick(arguments.size())] ^= static_cast<char>(1 + pick(255));
        break;
      }
      default: arguments = Args(object);
    }
    const char* text = pick(50) == 0 ? nullptr : arguments.c_str();
    host_.scripts.clear();
    DispatchPageCall(host_, services_, pick(100) ? "" : nullptr, name.c_str(), text);
    // Whatever came in, a reply calls the page's callback with nothing or one whole JSON value
    // (a hostile callback name may hold "(" itself).
    for (const std::wstring& script : host_.scripts) {
      bool called = false;
      for (size_t open = script.find(L'('); !called && open != std::wstring::npos && script.back() == L')';
           open = script.find(L'(', open + 1)) {
        const std::string argument = WideToUtf8(script.substr(open + 1, script.size() - open - 2));
        called = argument.empty() || IsOneJsonValue(argument);
      }
      EXPECT_TRUE(called) << script.substr(0, 200);
    }
    replies += host_.scripts.size();
  }
  EXPECT_GT(replies, 100u);  // the generator reaches the commands, not only their refusals
  // Still answering.
  EXPECT_EQ(Call("IsInClient", R"({"callbackName":"alive"})"), Calls{L"script alive({\"data\": 1})"});
}

}  // namespace
}  // namespace velmora
