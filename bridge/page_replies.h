// The JSON texts native code sends to the page: the reply envelope, the command replies that
// are objects, and the event payloads. All built with the JSON library's compact writer (members
// sorted by name); whether the writer's trailing line feed stays is said per function. Pure.
#pragma once

#include <string>

#include <json/value.h>

namespace velmora {

// The compact writer's text, its trailing line feed included.
std::string CompactJson(const Json::Value& value);
// The same without the trailing line feed.
std::string CompactJsonLine(const Json::Value& value);

// {"code":code,"data":data,"msg":""}, with the line feed.
std::string EnvelopeJson(int code, const Json::Value& data);
// {"autoHide":..,"on":..,"sceneRecommend":..}, with the line feed.
std::string SettingsJson(bool auto_hide, bool on, bool scene_recommend);
// {"code":0,"data":value} (no "msg"), with the line feed: hasShortcut, isAutoStart.
std::string CodeZeroDataJson(bool value);
// {"code":installed ? 0 : 1,"data":null,"msg":""}, with the line feed: isInstalledWithKey.
std::string InstalledJson(bool installed);
// The user document: envelope with data {"avatar","logined":1,"nickName","qid"} when signed in,
// else data {"logined":0}; with the line feed.
std::string UserInfoJson(bool signed_in, const std::string& nick_name, const std::string& qid, const std::string& avatar);

// "_sceneTriggerCallback_listener(" + envelope {"ext","process"} without line feed + ")".
std::string SceneEventScript(const std::string& ext, const std::string& process);
// "_updateWeatherCallback_listener(" + envelope of `weather` without line feed + ")".
std::string WeatherEventScript(const Json::Value& weather);

}  // namespace velmora
