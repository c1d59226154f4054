#include "bridge/page_services.h"

namespace velmora {

PageServices& GetPageServices() {
  static PageServices services;
  return services;
}

}  // namespace velmora
