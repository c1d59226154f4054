#include "app/velmora_services.h"

#include "config/app_config.h"

namespace velmora {

CVelmoraServices::CVelmoraServices(CAppConfigMgr& settings) : PageServices(settings) {}

CVelmoraServices::~CVelmoraServices() = default;

void CVelmoraServices::StartWorkers(const CWindowSlot& side_bar) {
  PageServices::StartWorkers(side_bar);
  common_used_.Start(settings().GetRecentExclusions());
}

std::optional<std::string> CVelmoraServices::CommonlyUsedJson() { return common_used_.GetReply(); }

}  // namespace velmora
