#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/module_path.h"
#include "platform/module_signature.h"
#include "platform/net_probe.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "tests/support/file_tree.h"
#include "tests/support/http_test_server.h"
#include "tests/support/signature_trust.h"

namespace velmora {
namespace {

using test::HttpRoute;
using test::HttpTestServer;
using test::PatternBody;
using test::RawReply;
using test::Reply;

using test::BuiltSuiteFile;

size_t CountLines(const std::wstring& path, const std::string& needle) {
  std::ifstream file(path.c_str());
  size_t count = 0;
  for (std::string line; std::getline(file, line);) count += line.find(needle) != std::string::npos;
  return count;
}

// A suite folder of this test program's own, holding the signed NetCore stand-in and its host
// map, and a log of what the stand-in was asked.
class HttpClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = temp_.emplace(L"VelmoraHttp").path();
    library_ = folder_ + L"\\NetCore.dll";
    CopyFileW(BuiltSuiteFile(L"NetCore.dll").c_str(), library_.c_str(), FALSE);
    log_ = folder_ + L"\\standins.log";
    SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", log_.c_str());
    SetTrustVerifiers(&VerifyModuleSignature, &velmora::test::TrustClassBySignature);
  }
  static void TearDownTestSuite() {
    SetTrustVerifiers(nullptr, nullptr);
    SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", nullptr);
    temp_.reset();  // the loaded library itself stays behind
  }
  void SetUp() override { WriteHostMap({}); }

  static void WriteHostMap(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::ofstream map((folder_ + L"\\NetCore.hosts").c_str(), std::ios::binary | std::ios::trunc);
    map << "# written by the test\n";
    for (const auto& [from, to] : entries) map << from << " " << to << "\n";
  }

  static CHttpClient& Client() {
    static CHttpClient client(library_);
    EXPECT_EQ(client.Init(), 1);
    return client;
  }

  static inline std::optional<test::TempFolder> temp_;
  static inline std::wstring folder_, library_, log_;
};

TEST(ReceiveBufferTest, GrowsToTheNextStepStrictlyAboveTheNeedAndStopsAtTheCap) {
  ReceiveBuffer buffer;
  buffer.data = static_cast<char*>(std::malloc(kReceiveBufferStart));
  buffer.capacity = kReceiveBufferStart;
  const std::string piece = PatternBody(kMaxResponseBytes);

  // 4092 bytes and the four zero bytes fill the starting 4096 exactly.
  EXPECT_EQ(AppendToReceiveBuffer(piece.data(), 1, 4092, &buffer), 4092u);
  EXPECT_EQ(buffer.capacity, 4096u);
  // One more byte needs 4097: the next multiple of 16 KiB.
  EXPECT_EQ(AppendToReceiveBuffer(piece.data() + 4092, 1, 1, &buffer), 1u);
  EXPECT_EQ(buffer.capacity, 16384u);
  // A need that equals the capacity still fits...
  EXPECT_EQ(AppendToReceiveBuffer(piece.data() + 4093, 1, 12287, &buffer), 12287u);
  EXPECT_EQ(buffer.capacity, 16384u);
  // ...one byte more moves on; a need of exactly 49152 gets 65536 ("strictly above").
  EXPECT_EQ(AppendToReceiveBuffer(piece.data() + 16380, 1, 1, &buffer), 1u);
  EXPECT_EQ(buffer.capacity, 32768u);
  EXPECT_EQ(AppendToReceiveBuffer(piece.data() + 16381, 1, 49152 - 4 - 16381, &buffer), 49152u - 4 - 16381);
  EXPECT_EQ(buffer.capacity, 65536u);
  // size x count counts, not the count alone.
  EXPECT_EQ(AppendToReceiveBuffer(piece.data() + 49148, 4, 5, &buffer), 20u);
  EXPECT_EQ(buffer.length, 49168u);
  EXPECT_EQ(std::memcmp(buffer.data, piece.data(), buffer.length), 0);

  // Up to the cap with the terminator counted; one byte beyond is refused and changes nothing.
  const uint32_t room = kMaxResponseBytes - 4 - buffer.length;
  const uint32_t growths = ReceiveBufferGrowthCount();
  EXPECT_EQ(AppendToReceiveBuffer(piece.data(), 1, room + 1, &buffer), static_cast<size_t>(-1));
  EXPECT_EQ(buffer.length, 49168u);
  EXPECT_EQ(buffer.capacity, 65536u);
  EXPECT_EQ(ReceiveBufferGrowthCount(), growths);
  EXPECT_EQ(AppendToReceiveBuffer(piece.data(), 1, room, &buffer), room);
  EXPECT_EQ(buffer.length, kMaxResponseBytes - 4);
  EXPECT_EQ(AppendToReceiveBuffer(piece.data(), 1, 1, &buffer), static_cast<size_t>(-1));
  // A product that overflows is refused, not wrapped.
  EXPECT_EQ(AppendToReceiveBuffer(piece.data(), SIZE_MAX / 2 + 1, 2, &buffer), static_cast<size_t>(-1));
  std::free(buffer.data);
}

TEST_F(HttpClientTest, RefusesAMissingUnsignedTamperedOrForeignLibraryWithoutLoadingIt) {
  const std::wstring bad = folder_ + L"\\bad";
  CreateDirectoryW(bad.c_str(), nullptr);
  std::string tampered = test::ReadAll(library_);
  tampered[tampered.size() / 3] ^= 0x20;
  const struct {
    const char* what;
    std::wstring copy_from;  // empty: no file at all
    bool tamper;
  } cases[] = {
      {"missing", L"", false},
      {"unsigned", BuiltSuiteFile(L"NetCore_unsigned.dll"), false},
      {"tampered", L"", true},
      {"signed, without InitLibs", BuiltSuiteFile(L"HostKit.dll"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring path = bad + L"\\NetCore.dll";
    DeleteFileW(path.c_str());
    if (!c.copy_from.empty()) {
      ASSERT_TRUE(CopyFileW(c.copy_from.c_str(), path.c_str(), FALSE));
    }
    if (c.tamper) test::WriteAll(path, tampered);

    CHttpClient client(path);
    EXPECT_EQ(client.Init(), 0);
    EXPECT_EQ(GetModuleHandleW(path.c_str()), nullptr);
    HttpBuffer body;
    uint32_t length = 7;
    EXPECT_FALSE(client.Get(L"http://127.0.0.1:1/", &body, &length));
    EXPECT_EQ(body, nullptr);
    EXPECT_EQ(length, 7u);
    CNetProbe probe(path, {"h1.test"});
    EXPECT_EQ(probe.IsReachable(), 0);
  }
}

TEST_F(HttpClientTest, InitLoadsOnceAndNeedsInitBeforeRequests) {
  CHttpClient client(library_);
  HttpBuffer body;
  uint32_t length = 0;
  EXPECT_FALSE(client.Get(L"http://127.0.0.1:1/", &body, &length));  // not initialised yet
  const size_t before = CountLines(log_, "InitLibs");
  EXPECT_EQ(client.Init(), 1);
  EXPECT_EQ(client.Init(), 1);
  EXPECT_EQ(CountLines(log_, "InitLibs"), before + 1);
}

TEST_F(HttpClientTest, SendsTheCallersHeadersInOrderAndTheUserAgentLast) {
  HttpTestServer server;
  server.Route("/h", Reply(200, "x"));
  HttpBuffer body;
  uint32_t length = 0;
  const size_t timed = CountLines(log_, " timeout=10000 ");
  ASSERT_TRUE(Client().Get(server.OriginW() + L"/h", &body, &length));
  EXPECT_EQ(CountLines(log_, " timeout=10000 "), timed + 1);  // each request gives up after 10 s
  ASSERT_TRUE(Client().Request(server.OriginW() + L"/h", {}, &body, &length));
  ASSERT_TRUE(Client().Request(server.OriginW() + L"/h", {"X-One: 1", "X-Two: 2"}, &body, &length));

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  // Only the lines we asked for, in order; the transport adds its own (Host, ...) around them.
  auto ours = [](const test::RecordedRequest& request) {
    std::vector<std::string> lines;
    for (const std::string& line : request.headers) {
      for (const char* name : {"Pragma:", "Cache-Control:", "User-Agent:", "X-One:", "X-Two:"}) {
        if (line.rfind(name, 0) == 0) lines.push_back(line);
      }
    }
    return lines;
  };
  EXPECT_EQ(requests[0].line, "GET /h HTTP/1.1");
  EXPECT_EQ(ours(requests[0]), (std::vector<std::string>{"Pragma: no-cache", "Cache-Control: no-cache",
                                                         "User-Agent: Trevalis/11.0(Windows)"}));
  EXPECT_EQ(ours(requests[1]), (std::vector<std::string>{"User-Agent: Trevalis/11.0(Windows)"}));
  EXPECT_EQ(ours(requests[2]),
            (std::vector<std::string>{"X-One: 1", "X-Two: 2", "User-Agent: Trevalis/11.0(Windows)"}));
}

TEST_F(HttpClientTest, KeepsBodiesUpToTheCapWithFourZeroBytesAfterThem) {
  HttpTestServer server;
  for (uint32_t size : {0u, 1u, 4092u, 4093u, 16380u, 16381u, 100000u, 4194300u}) {
    SCOPED_TRACE(size);
    const std::string expected = PatternBody(size, size);
    server.Route("/b", Reply(200, expected));
    HttpBuffer body;
    uint32_t length = 99;
    ASSERT_TRUE(Client().Get(server.OriginW() + L"/b", &body, &length));
    EXPECT_EQ(GetLastError(), 0u);
    ASSERT_EQ(length, size);
    EXPECT_EQ(std::string(body.get(), length), expected);
    EXPECT_EQ(std::memcmp(body.get() + length, "\0\0\0\0", 4), 0);
  }
  // One byte more than fits: the transfer is aborted and nothing is handed over.
  server.Route("/b", Reply(200, PatternBody(4194301)));
  HttpBuffer body;
  uint32_t length = 99;
  EXPECT_FALSE(Client().Get(server.OriginW() + L"/b", &body, &length));
  EXPECT_EQ(GetLastError(), 23u);
  EXPECT_EQ(body, nullptr);
  EXPECT_EQ(length, 99u);
}

TEST_F(HttpClientTest, AnyCompletedTransferCountsWhateverItsStatusAndRedirectsAreFollowed) {
  HttpTestServer server;
  server.Route("/missing", Reply(404, "no such page"));
  server.Route("/broken", Reply(500, ""));
  server.Route("/chunked", [] {
    HttpRoute route = Reply(200, PatternBody(70000));
    route.chunked = true;
    return route;
  }());
  server.Route("/from", Reply(302, "moved", {"Location: /to"}));
  server.Route("/to", Reply(200, "arrived"));
  // An absolute redirect to a mapped host name goes through the map, never out to the network.
  server.Route("/away", Reply(301, "", {"Location: https://cloud.vuq.com/to"}));
  WriteHostMap({{"https://cloud.vuq.com", server.Origin()}});

  const struct {
    const wchar_t* path;
    std::string body;
  } cases[] = {{L"/missing", "no such page"}, {L"/broken", ""}, {L"/chunked", PatternBody(70000)},
               {L"/from", "arrived"},         {L"/away", "arrived"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    HttpBuffer body;
    uint32_t length = 0;
    ASSERT_TRUE(Client().Get(server.OriginW() + c.path, &body, &length));
    EXPECT_EQ(std::string(body.get(), length), c.body);
  }
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 7u);
  EXPECT_EQ(requests[6].line, "GET /to HTTP/1.1");
  EXPECT_NE(std::find(requests[6].headers.begin(), requests[6].headers.end(), "Host: cloud.vuq.com"),
            requests[6].headers.end());
}

TEST_F(HttpClientTest, BrokenTransfersFailCleanlyWithTheLibrarysResult) {
  HttpTestServer server;
  server.Route("/cut", [] {
    HttpRoute route = Reply(200, PatternBody(50000));
    route.cut_after = 20000;
    return route;
  }());
  server.Route("/bad-length", RawReply("HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\nhello"));
  server.Route("/garbage", RawReply("this is not HTTP\r\n\r\n"));
  const struct {
    const wchar_t* path;
    DWORD result;  // 0: any failure
  } cases[] = {{L"/cut", 18}, {L"/bad-length", 0}, {L"/garbage", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    HttpBuffer body;
    uint32_t length = 5;
    EXPECT_FALSE(Client().Get(server.OriginW() + c.path, &body, &length));
    const DWORD result = GetLastError();
    if (c.result) {
      EXPECT_EQ(result, c.result);
    } else {
      EXPECT_NE(result, 0u);
    }
    EXPECT_EQ(body, nullptr);
    EXPECT_EQ(length, 5u);
  }

  // Broken chunked framing: WinHTTP decides how much it detects (Wine's ends the body at the bad
  // size line or at the close), but never more than the server sent reaches the caller.
  server.Route("/bad-chunk", RawReply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n"));
  server.Route("/short-chunk", RawReply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n100\r\nhello"));
  for (const wchar_t* path : {L"/bad-chunk", L"/short-chunk"}) {
    SCOPED_TRACE(path);
    HttpBuffer body;
    uint32_t length = 0;
    if (Client().Get(server.OriginW() + path, &body, &length)) {
      EXPECT_EQ(std::string("hello").substr(0, length), std::string(body.get(), length));
    }
  }

  // Nobody listening.
  const uint16_t closed_port = server.port();
  server.Stop();
  HttpBuffer body;
  uint32_t length = 0;
  EXPECT_FALSE(Client().Get(L"http://127.0.0.1:" + std::to_wstring(closed_port) + L"/", &body, &length));
  EXPECT_EQ(GetLastError(), 7u);
}

TEST_F(HttpClientTest, ConcurrentCallersGetTheirOwnBodiesOneRequestAtATime) {
  HttpTestServer server;
  constexpr int kPerThread = 50;
  for (int i = 0; i < 2 * kPerThread; ++i) {
    HttpRoute route = Reply(200, PatternBody(static_cast<size_t>(i) * 997 + 1, static_cast<unsigned>(i)));
    route.delay_ms = 2;
    server.Route("/n/" + std::to_string(i), route);
  }
  std::vector<int> wrong(2, 0);
  auto caller = [&](int index) {
    for (int i = index * kPerThread; i < (index + 1) * kPerThread; ++i) {
      HttpBuffer body;
      uint32_t length = 0;
      const bool ok = Client().Get(server.OriginW() + L"/n/" + std::to_wstring(i), &body, &length);
      wrong[index] += !ok || std::string(body.get(), length) != PatternBody(static_cast<size_t>(i) * 997 + 1,
                                                                             static_cast<unsigned>(i));
    }
  };
  std::thread first(caller, 0), second(caller, 1);
  first.join();
  second.join();
  EXPECT_EQ(wrong, (std::vector<int>{0, 0}));
  EXPECT_EQ(server.RequestCount(), 2u * kPerThread);
  EXPECT_EQ(server.MaxInFlight(), 1);
}

TEST_F(HttpClientTest, ProbeAnswersForTheFirstHostThatRespondsAndOnlyOnce) {
  HttpTestServer stalled, answering, never;
  HttpRoute stall = Reply(200, "x");
  stall.stall_after_headers = true;
  stalled.Route("/", stall);
  answering.Route("/", Reply(404, "any status will do"));
  never.Route("/", Reply(200, "x"));
  HttpTestServer closed;
  const uint16_t refused_port = closed.port();
  closed.Stop();
  WriteHostMap({{"h1.test", "http://127.0.0.1:" + std::to_string(refused_port)},
                {"h2.test", stalled.Origin()},
                {"h3.test", answering.Origin()},
                {"h4.test", never.Origin()}});

  CNetProbe probe(library_, {"h1.test", "h2.test", "h3.test", "h4.test"});
  EXPECT_EQ(probe.IsReachable(), 1);
  ASSERT_EQ(answering.RequestCount(), 1u);
  EXPECT_EQ(answering.Requests()[0].line, "GET / HTTP/1.1");
  EXPECT_EQ(stalled.RequestCount(), 1u);
  EXPECT_EQ(never.RequestCount(), 0u);
  EXPECT_EQ(probe.IsReachable(), 1);
  EXPECT_EQ(answering.RequestCount(), 1u);
}

TEST_F(HttpClientTest, ProbeThatFoundNothingAnswersNoAgainWithoutTheNetwork) {
  HttpTestServer closed;
  const std::string refused = "http://127.0.0.1:" + std::to_string(closed.port());
  closed.Stop();
  WriteHostMap({{"h1.test", refused}, {"h2.test", refused}});
  CNetProbe probe(library_, {"h1.test", "h2.test"});
  const size_t before = CountLines(log_, "perform url=h");
  const size_t timed = CountLines(log_, " timeout=1000 ");
  EXPECT_EQ(probe.IsReachable(), 0);
  EXPECT_EQ(CountLines(log_, "perform url=h"), before + 2);
  EXPECT_EQ(CountLines(log_, " timeout=1000 "), timed + 2);  // one second per probed host
  std::thread([&] { EXPECT_EQ(probe.IsReachable(), 0); }).join();
  EXPECT_EQ(CountLines(log_, "perform url=h"), before + 2);
}

}  // namespace
}  // namespace velmora
