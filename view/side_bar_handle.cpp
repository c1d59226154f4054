#include "view/side_bar_handle.h"

namespace velmora {

CWindowSlot& SideBarWindowSlot() {
  static CWindowSlot slot;
  return slot;
}

}  // namespace velmora
