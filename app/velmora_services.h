// CVelmoraServices: the program's one services object. The providers and companions built into
// the program are its members; each PageServices operation whose provider is here forwards to
// it, the rest keep PageServices' answer for a missing component. Made once at start, before the
// browser shell runs, and passed down; main thread unless an operation says otherwise.
#pragma once

#include "bridge/page_services.h"

namespace velmora {

class CAppConfigMgr;

class CVelmoraServices final : public PageServices {
 public:
  explicit CVelmoraServices(CAppConfigMgr& settings);
  ~CVelmoraServices() override;
};

}  // namespace velmora
