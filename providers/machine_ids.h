// The suite's two machine identifiers, as BaseCore.dll's identifier objects give them. Each is
// kept for the process once a read gave a non-empty text; until then every call asks BaseCore
// again (a failed or empty answer is not kept). Any thread; nothing here throws.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

#include "platform/core_libraries.h"

namespace velmora {

// The machine id ("mid") and the second machine id ("m2"); empty while BaseCore.dll does not bind
// or its object does not answer.
std::wstring MachineId();
std::wstring SecondMachineId();

// One read of the identifier object `iid` made by `factory`: its text query into a 260-character
// buffer; the object is released after the query. Empty when the factory is null, makes no object
// or the query fails.
std::wstring ReadMachineIdText(BaseCoreCreateInstanceFn factory, const GUID& iid);

// A text kept from the first non-empty read. Any thread.
class CMachineIdCache {
 public:
  // The kept text, or what `read()` answers now (kept when not empty).
  template <typename Read>
  std::wstring Get(Read read) {
    std::lock_guard<std::mutex> hold(lock_);
    if (text_.empty()) text_ = read();
    return text_;
  }

 private:
  std::mutex lock_;
  std::wstring text_;
};

}  // namespace velmora
