// CVelmoraServices: the program's one services object. The providers and companions built into
// the program are its members; each PageServices operation whose provider is here forwards to
// it, the rest keep PageServices' answer for a missing component. Made once at start, before the
// browser shell runs, and passed down; main thread unless an operation says otherwise.
#pragma once

#include "bridge/page_services.h"
#include "providers/cloud_list.h"
#include "providers/weather.h"

namespace velmora {

class CAppConfigMgr;

class CVelmoraServices final : public PageServices {
 public:
  explicit CVelmoraServices(CAppConfigMgr& settings);
  ~CVelmoraServices() override;

  void StartWorkers(const CWindowSlot& side_bar) override;
  void StopWeatherWorker() override;

  // Cloud tool list.
  std::optional<std::string> RecommendedToolsText() override;
  void RefreshCloudList() override;

  // Weather.
  std::optional<Json::Value> CachedWeather() override;
  void RefreshWeather() override;
  void SetWeatherCity(const std::wstring& city) override;

 private:
  CCloudRequestMgr cloud_list_;
  CWeatherMgr weather_;
};

}  // namespace velmora
