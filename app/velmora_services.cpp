#include "app/velmora_services.h"

namespace velmora {

CVelmoraServices::CVelmoraServices(CAppConfigMgr& settings) : PageServices(settings) {}

CVelmoraServices::~CVelmoraServices() = default;

}  // namespace velmora
