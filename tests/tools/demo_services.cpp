// The cloud configuration service and the weather service for demonstrations: loopback servers
// that answer with a signed recommended tools list and a weather report, and two lines in the
// given NetCore.hosts that send the program's service hosts to them. Serves until the given
// number of seconds has passed (default 600) or the process is ended.
//   demo_services <NetCore.hosts> [seconds]
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/text.h"
#include "tests/support/cloud_list_signer.h"
#include "tests/support/http_test_server.h"

namespace {

constexpr char kToolList[] =
    R"([{"sec_time":5,"list":[{"suffix":"pdf,docx,xlsx,pptx"},{"suffix":"txt,md"}],)"
    R"("tools":[{"id":"calc","name":"Calculator"},{"id":"capture","name":"Screen capture"},)"
    R"({"id":"notes","name":"Sticky notes"}]}])";
constexpr char kWeather[] =
    R"({"city":"Demo City","temp":21,"text":"Partly cloudy","low":14,"high":23,"wind":"NE 3","aqi":42})";

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace velmora;
  if (argc < 2) {
    std::fprintf(stderr, "usage: demo_services <NetCore.hosts> [seconds]\n");
    return 2;
  }
  const DWORD seconds = argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 600;
  test::HttpTestServer server;
  if (!server.port()) return 1;
  server.Route("/main/cdn_client/v1/relations/e",
               test::Reply(200, test::WrapSignedDocument(test::ToolListDocument(kToolList))));
  server.Route("/deskhelper/weather", test::Reply(200, kWeather));
  {
    // "scheme://host" entries win over the bare host entries a map may already hold.
    std::ofstream map(argv[1], std::ios::binary | std::ios::app);
    map << "https://cloud.vuq.com " << server.Origin() << "\nhttp://weather.vuq.com " << server.Origin() << "\n";
    if (!map) return 1;
  }
  std::printf("serving the cloud list and the weather at %s\n", server.Origin().c_str());
  std::fflush(stdout);
  Sleep(seconds * 1000);
  return 0;
}
