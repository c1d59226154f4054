#include "tests/support/http_test_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>

namespace velmora::test {
namespace {

constexpr size_t kMaxRequestHead = 64 * 1024;

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

struct WinsockStartup {
  WinsockStartup() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};

}  // namespace

HttpRoute Reply(int status, std::string body, std::vector<std::string> headers) {
  HttpRoute route;
  route.status = status;
  route.body = std::move(body);
  route.headers = std::move(headers);
  return route;
}

HttpRoute RawReply(std::string bytes) {
  HttpRoute route;
  route.raw = std::move(bytes);
  return route;
}

std::string PatternBody(size_t size, unsigned seed) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + (i * 7 + i / 251 + seed) % 26);
  return body;
}

HttpTestServer::HttpTestServer() {
  static WinsockStartup winsock;
  stop_event_ = CreateEventW(nullptr, /*manual_reset=*/TRUE, /*initial_state=*/FALSE, nullptr);
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener_ == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof(address);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(listener_, 64) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    closesocket(listener_);
    listener_ = INVALID_SOCKET;
    return;
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
  Stop();
  if (stop_event_) CloseHandle(stop_event_);
}

std::string HttpTestServer::Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::wstring HttpTestServer::OriginW() const { return L"http://127.0.0.1:" + std::to_wstring(port_); }

void HttpTestServer::Route(const std::string& path, HttpRoute route) {
  std::lock_guard<std::mutex> hold(lock_);
  routes_[path] = std::move(route);
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> hold(lock_);
  return requests_;
}

size_t HttpTestServer::RequestCount() const {
  std::lock_guard<std::mutex> hold(lock_);
  return requests_.size();
}

void HttpTestServer::Stop() {
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (stopped_) return;
    stopped_ = true;
    SetEvent(stop_event_);
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    for (SOCKET client : clients_) shutdown(client, SD_BOTH);
  }
  if (acceptor_.joinable()) acceptor_.join();
  {
    std::lock_guard<std::mutex> hold(lock_);
    workers.swap(workers_);
  }
  for (std::thread& worker : workers) worker.join();
}

bool HttpTestServer::Wait(DWORD ms) const { return WaitForSingleObject(stop_event_, ms) == WAIT_TIMEOUT; }

void HttpTestServer::AcceptLoop() {
  for (;;) {
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;  // the listener was closed
    std::lock_guard<std::mutex> hold(lock_);
    if (stopped_) {
      closesocket(client);
      return;
    }
    clients_.push_back(client);
    workers_.emplace_back([this, client] { Serve(client); });
  }
}

bool HttpTestServer::SendAll(SOCKET client, const char* data, size_t size) const {
  while (size > 0) {
    const int sent = send(client, data, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

void HttpTestServer::Serve(SOCKET client) {
  std::string head;
  char piece[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxRequestHead) {
    const int got = recv(client, piece, sizeof(piece), 0);
    if (got <= 0) break;
    head.append(piece, static_cast<size_t>(got));
  }
  const size_t end = head.find("\r\n\r\n");
  if (end != std::string::npos) {
    RecordedRequest request;
    size_t at = 0;
    for (size_t next; (next = head.find("\r\n", at)) != std::string::npos && at < end; at = next + 2) {
      (request.line.empty() ? request.line : request.headers.emplace_back()) = head.substr(at, next - at);
    }
    const size_t path_start = request.line.find(' ') + 1;
    const std::string path = request.line.substr(path_start, request.line.find(' ', path_start) - path_start);
    HttpRoute route;
    {
      std::lock_guard<std::mutex> hold(lock_);
      requests_.push_back(request);
      auto found = routes_.find(path);
      // A route without a query answers that path with any query.
      if (found == routes_.end()) found = routes_.find(path.substr(0, path.find('?')));
      if (found != routes_.end()) {
        route = found->second;
      } else {
        route.status = 404;
        route.body = "not found";
      }
    }
    bool answering = true;
    auto leave = [&] {
      if (answering) --in_flight_;
      answering = false;
    };
    const int now = ++in_flight_;
    for (int seen = max_in_flight_.load(); now > seen && !max_in_flight_.compare_exchange_weak(seen, now);) {
    }
    if (Wait(route.delay_ms)) {
      if (!route.raw.empty()) {
        SendAll(client, route.raw.data(), route.raw.size());
      } else {
        char status[64];
        std::snprintf(status, sizeof(status), "HTTP/1.1 %d %s\r\n", route.status, Reason(route.status));
        std::string response = status;
        response += route.chunked ? "Transfer-Encoding: chunked\r\n"
                                  : "Content-Length: " + std::to_string(route.body.size()) + "\r\n";
        for (const std::string& line : route.headers) response += line + "\r\n";
        response += "Connection: close\r\n\r\n";
        std::string body = route.body;
        if (route.chunked) {
          char size_line[32];
          std::snprintf(size_line, sizeof(size_line), "%zx\r\n", body.size());
          body = body.empty() ? "0\r\n\r\n" : size_line + body + "\r\n0\r\n\r\n";
        }
        bool ok = SendAll(client, response.data(), response.size());
        if (route.stall_after_headers) {
          Wait(INFINITE);
          ok = false;
        }
        const size_t limit = std::min(route.cut_after, body.size());
        const size_t step = route.drip_bytes ? route.drip_bytes : std::max<size_t>(limit, 1);
        for (size_t sent = 0; ok && sent < limit;) {
          if (route.drip_interval_ms && !Wait(route.drip_interval_ms)) break;
          size_t size = std::min(step, limit - sent);
          if (sent + size == limit) {
            // The request stops counting as answered before its last byte leaves: the client
            // cannot have its whole response, and send its next request, before that.
            ok = SendAll(client, body.data() + sent, size - 1);
            sent += size - 1;
            leave();
            size = 1;
          }
          ok = ok && SendAll(client, body.data() + sent, size);
          sent += size;
        }
      }
    }
    leave();
  }
  // Close at once without waiting for the client to read the rest: a cut body must look cut.
  shutdown(client, SD_SEND);
  {
    std::lock_guard<std::mutex> hold(lock_);
    clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
  }
  closesocket(client);
}

}  // namespace velmora::test
