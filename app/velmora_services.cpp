#include "app/velmora_services.h"

#include "platform/http_client.h"

namespace velmora {

CVelmoraServices::CVelmoraServices(CAppConfigMgr& settings)
    : PageServices(settings), cloud_list_(settings, CHttpClient::Instance()), weather_(CHttpClient::Instance()) {}

CVelmoraServices::~CVelmoraServices() = default;

void CVelmoraServices::StartWorkers(const CWindowSlot& side_bar) {
  cloud_list_.Start(side_bar);
  weather_.Start(side_bar);
}

void CVelmoraServices::StopWeatherWorker() { weather_.Stop(); }

std::optional<std::string> CVelmoraServices::RecommendedToolsText() {
  cloud_list_.WaitForWorker();
  return cloud_list_.GetListText();
}

void CVelmoraServices::RefreshCloudList() {
  if (cloud_list_.enabled()) cloud_list_.ForceRefresh();
}

std::optional<Json::Value> CVelmoraServices::CachedWeather() {
  Json::Value weather;
  if (!weather_.ReadCache(&weather)) return std::nullopt;
  return weather;
}

void CVelmoraServices::RefreshWeather() { weather_.RequestRefresh(); }

void CVelmoraServices::SetWeatherCity(const std::wstring& city) { weather_.SetCity(city); }

}  // namespace velmora
