// A small HTTP/1.1 server on 127.0.0.1 for the network tests: canned responses per path, slow,
// stalled, cut or malformed ones on request, and a record of every request it was sent. It
// answers one request per connection and stops (closing every connection) when destroyed.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmora::test {

struct HttpRoute {
  int status = 200;
  std::string body;
  std::vector<std::string> headers;  // extra header lines, sent in order
  bool chunked = false;              // body in chunked framing instead of a Content-Length
  std::string raw;                   // when set, sent exactly as it stands instead of a response
  DWORD delay_ms = 0;                // wait before answering
  bool stall_after_headers = false;  // send the head and then nothing until the server stops
  size_t cut_after = SIZE_MAX;       // close the connection after this many body bytes
  size_t drip_bytes = 0;             // send the body in pieces of this size...
  DWORD drip_interval_ms = 0;        // ...with this pause before each
};

struct RecordedRequest {
  std::string line;                  // "GET /path HTTP/1.1"
  std::vector<std::string> headers;  // header lines in the order received
};

// A plain response.
HttpRoute Reply(int status, std::string body, std::vector<std::string> headers = {});
// Exactly these bytes, whatever they are.
HttpRoute RawReply(std::string bytes);

// `size` bytes of a pattern that shows where a byte came from.
std::string PatternBody(size_t size, unsigned seed = 0);

class HttpTestServer {
 public:
  HttpTestServer();  // listens at once; port() is 0 when it could not
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  uint16_t port() const { return port_; }
  std::string Origin() const;  // "http://127.0.0.1:<port>"
  std::wstring OriginW() const;

  // Answers requests for `path` (with its query, exactly; a path without a query also answers
  // that path with any query) with `route`; other paths get 404.
  void Route(const std::string& path, HttpRoute route);

  std::vector<RecordedRequest> Requests() const;
  size_t RequestCount() const;
  // The most requests that were being answered at the same moment.
  int MaxInFlight() const { return max_in_flight_.load(); }

  void Stop();

 private:
  void AcceptLoop();
  void Serve(SOCKET client);
  bool Wait(DWORD ms) const;  // false when the server is stopping
  bool SendAll(SOCKET client, const char* data, size_t size) const;

  SOCKET listener_ = INVALID_SOCKET;
  uint16_t port_ = 0;
  HANDLE stop_event_ = nullptr;
  std::thread acceptor_;
  mutable std::mutex lock_;
  std::map<std::string, HttpRoute> routes_;
  std::vector<RecordedRequest> requests_;
  std::vector<SOCKET> clients_;
  std::vector<std::thread> workers_;
  std::atomic<int> in_flight_{0};
  std::atomic<int> max_in_flight_{0};
  bool stopped_ = false;
};

}  // namespace velmora::test
