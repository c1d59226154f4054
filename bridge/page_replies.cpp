#include "bridge/page_replies.h"

#include <json/writer.h>

namespace velmora {

std::string CompactJson(const Json::Value& value) { return Json::FastWriter().write(value); }

std::string CompactJsonLine(const Json::Value& value) {
  std::string text = CompactJson(value);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

namespace {

Json::Value Envelope(int code, const Json::Value& data) {
  Json::Value envelope(Json::objectValue);
  envelope["code"] = code;
  envelope["data"] = data;
  envelope["msg"] = "";
  return envelope;
}

}  // namespace

std::string EnvelopeJson(int code, const Json::Value& data) { return CompactJson(Envelope(code, data)); }

std::string SettingsJson(bool auto_hide, bool on, bool scene_recommend) {
  Json::Value settings(Json::objectValue);
  settings["autoHide"] = auto_hide;
  settings["on"] = on;
  settings["sceneRecommend"] = scene_recommend;
  return CompactJson(settings);
}

std::string CodeZeroDataJson(bool value) {
  Json::Value reply(Json::objectValue);
  reply["code"] = 0;
  reply["data"] = value;
  return CompactJson(reply);
}

std::string InstalledJson(bool installed) { return EnvelopeJson(installed ? 0 : 1, Json::Value()); }

std::string UserInfoJson(bool signed_in, const std::string& nick_name, const std::string& qid, const std::string& avatar) {
  Json::Value data(Json::objectValue);
  data["logined"] = signed_in ? 1 : 0;
  if (signed_in) {
    data["nickName"] = nick_name;
    data["qid"] = qid;
    data["avatar"] = avatar;
  }
  return EnvelopeJson(0, data);
}

std::string SceneEventScript(const std::string& ext, const std::string& process) {
  Json::Value data(Json::objectValue);
  data["ext"] = ext;
  data["process"] = process;
  return "_sceneTriggerCallback_listener(" + CompactJsonLine(Envelope(0, data)) + ")";
}

std::string WeatherEventScript(const Json::Value& weather) {
  return "_updateWeatherCallback_listener(" + CompactJsonLine(Envelope(0, weather)) + ")";
}

}  // namespace velmora
