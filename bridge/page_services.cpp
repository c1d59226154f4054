#include "bridge/page_services.h"

#include "platform/http_client.h"
#include "providers/seal_kit.h"

namespace velmora {

void PageServices::StartWorkers(const CWindowSlot&) {
  cloud_list_enabled_ = CHttpClient::Instance().Init() == 1 && BindSealKit();
}

}  // namespace velmora
