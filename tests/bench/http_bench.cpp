// Time to fetch a 4 MiB body (the largest the client takes) from a loopback server through
// CHttpClient::Get and NetCore.dll, against the same fetch made directly with WinHTTP, in one run.
// Prints both medians, their ratio and the receive-buffer reallocations per fetch.
//   http_bench [rounds] [path of NetCore.dll]
// Not a test: it asserts nothing.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "platform/http_client.h"
#include "platform/module_path.h"
#include "platform/module_signature.h"
#include "platform/trust.h"
#include "tests/bench/bench_clock.h"
#include "tests/support/http_test_server.h"
#include "tests/support/signature_trust.h"

namespace {

constexpr size_t kBodySize = velmora::kMaxResponseBytes - 4;

using velmora::bench::Median;
using velmora::bench::NowMs;

// The plain way: one session, request, and the body read into a growing string.
size_t FetchDirect(uint16_t port) {
  std::string body;
  HINTERNET session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  HINTERNET connection = session ? WinHttpConnect(session, L"127.0.0.1", port, 0) : nullptr;
  HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", L"/big", nullptr, WINHTTP_NO_REFERER,
                                                      WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                 : nullptr;
  if (request && WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
      WinHttpReceiveResponse(request, nullptr)) {
    std::vector<char> chunk(256 * 1024);
    DWORD read = 0;
    while (WinHttpReadData(request, chunk.data(), static_cast<DWORD>(chunk.size()), &read) && read > 0) {
      body.append(chunk.data(), read);
    }
  }
  for (HINTERNET handle : {request, connection, session}) {
    if (handle) WinHttpCloseHandle(handle);
  }
  return body.size();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 15;
  const std::wstring library =
      argc > 2 ? argv[2] : velmora::ParentFolder(velmora::ParentFolder(velmora::GetModulePath(nullptr))) + L"\\suite\\NetCore.dll";
  velmora::SetTrustVerifiers(&velmora::VerifyModuleSignature, &velmora::test::TrustClassBySignature);

  velmora::test::HttpTestServer server;
  server.Route("/big", velmora::test::Reply(200, velmora::test::PatternBody(kBodySize)));
  velmora::CHttpClient client(library);
  if (!server.port() || client.Init() != 1) {
    std::fwprintf(stderr, L"cannot start: server port %u, NetCore.dll %ls\n", server.port(), library.c_str());
    return 1;
  }
  const std::wstring url = server.OriginW() + L"/big";
  auto fetch_client = [&] {
    velmora::HttpBuffer body;
    uint32_t length = 0;
    return client.Get(url, &body, &length) ? length : 0u;
  };

  // Warm-up, then alternate so that drift hits both sides alike.
  if (fetch_client() != kBodySize || FetchDirect(server.port()) != kBodySize) {
    std::fwprintf(stderr, L"a warm-up fetch did not bring the whole body\n");
    return 1;
  }
  std::vector<double> through_client, direct;
  const uint32_t growths_before = velmora::ReceiveBufferGrowthCount();
  for (int i = 0; i < rounds; ++i) {
    double start = NowMs();
    if (fetch_client() != kBodySize) return 1;
    through_client.push_back(NowMs() - start);
    start = NowMs();
    if (FetchDirect(server.port()) != kBodySize) return 1;
    direct.push_back(NowMs() - start);
  }
  const double growths = static_cast<double>(velmora::ReceiveBufferGrowthCount() - growths_before) / rounds;
  const double c = Median(through_client), d = Median(direct);
  std::printf("body %zu bytes, %d rounds\n", kBodySize, rounds);
  std::printf("CHttpClient::Get  median %.1f ms\n", c);
  std::printf("direct WinHTTP    median %.1f ms\n", d);
  std::printf("ratio %.2fx, receive buffer reallocations per fetch %.1f\n", c / d, growths);
  return 0;
}
