// HTTP requests through the suite's network library NetCore.dll, one at a time per process, with
// the response body collected in memory (at most 4 MiB including four terminating zero bytes).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/net_core.h"
#include "platform/scoped_handle.h"

namespace velmora {

// A response body as Request hands it over: the bytes, then four zero bytes. Released with free().
struct HttpBufferFree {
  void operator()(char* data) const { std::free(data); }
};
using HttpBuffer = std::unique_ptr<char[], HttpBufferFree>;

// Where the body callback collects a response. Starts with 4096 bytes of capacity.
struct ReceiveBuffer {
  char* data = nullptr;
  uint32_t capacity = 0;
  uint32_t length = 0;
};

// The most a response may occupy, its four terminating zero bytes included.
constexpr uint32_t kMaxResponseBytes = 4u * 1024 * 1024;
constexpr uint32_t kReceiveBufferStart = 4096;
constexpr uint32_t kReceiveBufferStep = 16 * 1024;

// The body callback: appends size * count bytes to `buffer` (a ReceiveBuffer), growing it to the
// next multiple of 16 KiB strictly above the need. Answers the bytes taken, or (size_t)-1 when
// the body would pass kMaxResponseBytes or memory runs out; the buffer is then unchanged.
size_t VELMORA_NETCORE_CALL AppendToReceiveBuffer(const char* data, size_t size, size_t count, void* buffer);

// How often AppendToReceiveBuffer has moved a buffer to a bigger block in this process.
// Diagnostics for the benchmark; any thread.
uint32_t ReceiveBufferGrowthCount();

class CHttpClient {
 public:
  // The process-wide client, made on first use; it loads the suite folder's NetCore.dll.
  static CHttpClient& Instance();

  // A client of the library at `library_path` (tests and tools; the program uses Instance()).
  explicit CHttpClient(std::wstring library_path);
  ~CHttpClient();
  CHttpClient(const CHttpClient&) = delete;
  CHttpClient& operator=(const CHttpClient&) = delete;

  // Loads the library through the trusted loader and takes its entry table. 1 when the library
  // is ready (at once when it already was), 0 otherwise; a library that is refused, lacks
  // InitLibs or fails it is unloaded again. Not to be run concurrently with itself.
  [[nodiscard]] int Init();

  // GET `url` with the headers "Pragma: no-cache" and "Cache-Control: no-cache".
  [[nodiscard]] bool Get(const std::wstring& url, HttpBuffer* body, uint32_t* length);

  // Performs a GET of `url` with `headers` (sent in order, then our User-Agent line), following
  // redirects, cut after 10 s. Any thread; requests are serialised, a second caller waits.
  // True when the transfer completed, whatever the HTTP status: `*body` then holds the body and
  // four zero bytes, `*length` the body's size. False when the library is not ready, the
  // transfer failed or the body was too big; the out-parameters are then untouched and the
  // thread's last error holds the library's result (2 when no request could be made).
  [[nodiscard]] bool Request(const std::wstring& url, const std::vector<std::string>& headers,
                             HttpBuffer* body, uint32_t* length);

 private:
  template <typename Fn>
  Fn Entry(netcore::Entry entry) const {
    return reinterpret_cast<Fn>(entries_[entry]);
  }

  const std::wstring library_path_;
  ScopedLibrary library_;
  void* entries_[netcore::kEntryCount] = {};
  std::string user_agent_;
  std::mutex request_lock_;
};

}  // namespace velmora
