#include "standins/browser_shell/page_fuzz.h"

#include <cctype>
#include <string_view>

namespace standin {

const char* const kFuzzCommands[] = {
    "Show", "ShowFull", "getSystemInfo", "getUserInfo", "SetTopMost", "CancelTopMost", "MoveStart", "MoveEnd",
    "runDownloader", "runCmd", "runExternalCmd", "runSafeCmd", "OpenLogin", "ShowLogin", "IsInClient", "OpenUrl",
    "FeedBack", "Decrypt", "Encrypt", "ShowDevTools", "getWeather", "settingsCenter", "getCommonlyUsedData",
    "getRecommendedTools", "getLocalTop", "setWeatherCity", "IsStickyNoteExist", "runTools", "startReport",
    "isInstalledWithKey", "callUploadToKelu", "isKeluExist", "isWordProcessingExist", "startupWordProcessing",
    "createShortcut", "getSettings", "setSettings", "hasShortcut", "isAutoStart", "navigateOnline",
};
const size_t kFuzzCommandCount = sizeof(kFuzzCommands) / sizeof(kFuzzCommands[0]);

namespace {

// Keys the commands read, and a few they do not.
const char* const kKeys[] = {
    "callbackName", "width", "height", "x", "y", "url", "cmd", "param", "params", "path", "file", "name", "key",
    "value", "plaintext", "signdata", "skey", "q", "city", "cityCode", "type", "tool", "toolName", "id", "data",
    "files", "text", "source", "settings", "autoHide", "recommend", "autoStart", "keyword", "", "\xff\xfe",
};
// Texts that mean something to some command, and hostile ones.
const char* const kTexts[] = {
    "", " ", "cb", "Calculator", "Notes", "Capture", "Search", "WordProcess", "http://127.0.0.1:9/", "https://",
    "file:///C:/Windows/win.ini", "javascript:alert(1)", "\\\\server\\share\\x.exe", "\\\\?\\C:\\x.exe",
    "\\\\.\\PhysicalDrive0", "C:\\Suite/../Evil/x.exe", "..\\..\\x.exe", "%APPDATA%\\x.exe", "--gpu-launcher=x",
    "\" --x=\"", "NUL", "CON", "a'b\"c\\d", "</script><script>", "\\u0000", "\xc3\x28", "\xed\xa0\x80", "\xf4\x90\x80\x80",
    "\xe2\x82", "1e309", "-1", "4294967296", "0x7fffffff",
};

}  // namespace

std::string PageFuzz::Text() {
  if (OneIn(400)) return std::string(Below(70000), "aZ\"\\\x80/"[Below(6)]);  // huge
  std::string text = kTexts[Below(sizeof(kTexts) / sizeof(kTexts[0]))];
  if (OneIn(4)) text.push_back(static_cast<char>(Below(256)));  // any byte, control and high ones too
  return text;
}

std::string PageFuzz::Value(int depth) {
  switch (Below(depth > 0 ? 11 : 9)) {
    case 0: return "null";
    case 1: return OneIn(2) ? "true" : "false";
    case 2: return std::to_string(static_cast<int>(Below(4000)) - 100);
    case 3: return OneIn(2) ? "1e309" : "-9223372036854775809";
    case 4: return "0.5";
    case 5:
    case 6: return "\"" + Text() + "\"";
    case 7: {  // a huge array now and then
      std::string array = "[";
      for (size_t i = 0, n = OneIn(100) ? 50000 : Below(4); i < n; ++i) array += i ? ",1" : "1";
      return array + "]";
    }
    case 8: {  // deep nesting
      const size_t levels = OneIn(50) ? 20000 : Below(64);
      return std::string(levels, '[') + std::string(levels, ']');
    }
    case 9: return Object(depth - 1);
    default: {
      std::string array = "[";
      for (size_t i = 0, n = Below(6); i < n; ++i) array += (i ? "," : "") + Value(depth - 1);
      return array + "]";
    }
  }
}

std::string PageFuzz::Object(int depth) {
  // Half of them name a callback, so that the answers' way back is exercised too.
  std::string object = OneIn(2) ? "{\"callbackName\":" + Value(0) : "{";
  for (size_t i = 0, n = Below(7); i < n; ++i) {
    object += (object.size() > 1 ? "," : "") + std::string("\"") + kKeys[Below(sizeof(kKeys) / sizeof(kKeys[0]))] +
              "\":" + Value(depth);
  }
  return object + "}";
}

// JSON text inside a JSON string, as the contract's second element carries it.
static std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string PageFuzz::Arguments() {
  switch (Below(10)) {
    case 0: return "";
    case 1: return Value(2);                                   // not the contract's array
    case 2: return "[\"\"," + Object(2) + "]";                  // an object, not its text
    case 3: {                                                   // cut short
      std::string text = "[\"\"," + Quoted(Object(2)) + "]";
      return text.substr(0, Below(text.size() + 1));
    }
    case 4: return "[" + Value(1) + "," + Quoted(Value(2)) + "," + Value(1) + "]";
    default: return "[\"\"," + Quoted(Object(3)) + "]";         // the contract's form
  }
}

std::string PageFuzz::Name(int* command) {
  if (OneIn(12)) return OneIn(2) ? "" : Text();
  *command = static_cast<int>(Below(kFuzzCommandCount));
  // Each "createShortcut" writes a shell link to the desktop (about 0.1 s under Wine): it comes
  // up a tenth as often as the others, so that a million calls fit in a stress run.
  if (std::string_view(kFuzzCommands[*command]) == "createShortcut" && !OneIn(10)) *command = 0;
  std::string name = kFuzzCommands[*command];
  switch (Below(6)) {
    case 0:
      for (char& c : name) c = static_cast<char>(OneIn(2) ? std::toupper(static_cast<unsigned char>(c)) : std::tolower(static_cast<unsigned char>(c)));
      break;
    case 1: name = (OneIn(2) ? " " : "\t") + name + (OneIn(2) ? " " : "\r\n"); break;
    case 2: name.resize(Below(name.size() + 1)); break;
    case 3: name += std::string(1, static_cast<char>(Below(256))); break;
    default: break;  // as the page spells it
  }
  return name;
}

FuzzCall PageFuzz::Next() {
  FuzzCall call;
  if (!OneIn(50)) call.name = Name(&call.command);
  if (!OneIn(20)) call.arguments = Arguments();
  return call;
}

}  // namespace standin
