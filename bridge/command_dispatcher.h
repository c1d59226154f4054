// The page's commands: a call from the page (command name and JSON arguments) is matched against
// the command table without regard to ASCII case and carried out on the page host and the
// services. Main thread only; never throws.
#pragma once

namespace velmora {

class PageHost;
class PageServices;

// Carries out the page call `name` with `arguments` (UTF-8 JSON, may be null). Nothing happens
// when `first` or `name` is null or the name is not a command.
void DispatchPageCall(PageHost& host, PageServices& services, const char* first, const char* name,
                      const char* arguments);

}  // namespace velmora
