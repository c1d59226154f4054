#include "platform/http_client.h"

#include <atomic>
#include <cstring>
#include <new>
#include <utility>

#include "platform/suite_folder.h"
#include "platform/system_functions.h"
#include "platform/text.h"
#include "platform/trust.h"

namespace velmora {
namespace {

constexpr char kUserAgentLine[] = "User-Agent: Trevalis/11.0(Windows)";
constexpr long kRequestTimeoutMs = 10000;
constexpr size_t kTakeNothing = static_cast<size_t>(-1);

std::atomic<uint32_t> g_growths{0};

}  // namespace

size_t VELMORA_NETCORE_CALL AppendToReceiveBuffer(const char* data, size_t size, size_t count, void* user) {
  auto* buffer = static_cast<ReceiveBuffer*>(user);
  if (!buffer || (size != 0 && count > SIZE_MAX / size)) return kTakeNothing;
  const uint64_t n = static_cast<uint64_t>(size) * count;
  if (n > kMaxResponseBytes) return kTakeNothing;
  const uint64_t need = buffer->length + n + 4;
  if (need > kMaxResponseBytes) return kTakeNothing;
  if (buffer->capacity < need) {
    const uint32_t capacity = static_cast<uint32_t>((need + kReceiveBufferStep) / kReceiveBufferStep * kReceiveBufferStep);
    // realloc moves the collected bytes only when the block cannot grow where it is; on failure
    // the old block is untouched.
    char* bigger = static_cast<char*>(std::realloc(buffer->data, capacity));
    if (!bigger) return kTakeNothing;
    buffer->data = bigger;
    buffer->capacity = capacity;
    g_growths.fetch_add(1, std::memory_order_relaxed);
  }
  if (n) std::memcpy(buffer->data + buffer->length, data, static_cast<size_t>(n));
  buffer->length += static_cast<uint32_t>(n);
  return static_cast<size_t>(n);
}

uint32_t ReceiveBufferGrowthCount() { return g_growths.load(std::memory_order_relaxed); }

CHttpClient& CHttpClient::Instance() {
  // Function-local statics are made once, under the runtime's own lock.
  static CHttpClient client(L"");
  return client;
}

CHttpClient::CHttpClient(std::wstring library_path) : library_path_(std::move(library_path)) {}

// The library stays loaded for the life of the process: its threads may still be winding down.
CHttpClient::~CHttpClient() { (void)library_.release(); }

int CHttpClient::Init() {
  if (library_) return 1;
  std::wstring path = library_path_;
  if (path.empty()) {
    const std::wstring suite = GetSuiteFolder();
    if (suite.empty()) return 0;
    path = suite + L"\\NetCore.dll";
  }
  ScopedLibrary library(LoadTrustedLibrary(path));
  if (!library) return 0;
  const auto init_libs = GetProcAddressAs<netcore::InitLibsFn>(library.get(), netcore::kInitLibsExport);
  if (!init_libs) return 0;
  netcore::InitBlock block{};
  block.size = netcore::kInitBlockSize;
  if (init_libs(&block) != 0) return 0;
  for (int entry = 0; entry < netcore::kEntryCount; ++entry) {
    if (entry != netcore::kSkippedEntry) entries_[entry] = block.entries[entry];
  }
  user_agent_ = kUserAgentLine;
  library_ = std::move(library);
  return 1;
}

bool CHttpClient::Get(const std::wstring& url, HttpBuffer* body, uint32_t* length) {
  return Request(url, {"Pragma: no-cache", "Cache-Control: no-cache"}, body, length);
}

bool CHttpClient::Request(const std::wstring& url, const std::vector<std::string>& headers, HttpBuffer* body,
                          uint32_t* length) {
  if (!library_ || url.empty() || !body || !length) return false;
  const auto create = Entry<netcore::CreateHandleFn>(netcore::kCreateHandle);
  const auto set_option = Entry<netcore::SetOptionFn>(netcore::kSetOption);
  const auto perform = Entry<netcore::PerformFn>(netcore::kPerform);
  const auto release = Entry<netcore::ReleaseHandleFn>(netcore::kReleaseHandle);
  const auto append_header = Entry<netcore::AppendHeaderFn>(netcore::kAppendHeader);
  const auto free_headers = Entry<netcore::FreeHeadersFn>(netcore::kFreeHeaders);
  if (!create || !set_option || !perform) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }

  std::lock_guard<std::mutex> hold(request_lock_);
  netcore::RequestHandle handle = create();
  if (!handle) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  ReceiveBuffer buffer;
  buffer.data = static_cast<char*>(std::malloc(kReceiveBufferStart));
  if (!buffer.data) {
    if (release) release(handle);
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  buffer.capacity = kReceiveBufferStart;

  const std::string utf8_url = WideToUtf8(url);
  set_option(handle, netcore::kOptionUrl, utf8_url.c_str());
  set_option(handle, netcore::kOptionTimeoutMs, kRequestTimeoutMs);
  set_option(handle, netcore::kOptionWriteData, &buffer);
  set_option(handle, netcore::kOptionWriteFunction, &AppendToReceiveBuffer);
  set_option(handle, netcore::kOptionFollowLocation, 1L);

  netcore::HeaderList* list = nullptr;
  if (append_header) {
    for (const std::string& line : headers) list = append_header(list, line.c_str());
    list = append_header(list, user_agent_.c_str());
  }
  set_option(handle, netcore::kOptionHeaders, list);

  const int result = perform(handle);
  if (list && free_headers) free_headers(list);
  if (release) release(handle);
  ::SetLastError(static_cast<DWORD>(result));
  if (result != netcore::kOk) {
    std::free(buffer.data);
    return false;
  }
  // The append routine always leaves room for the four zero bytes.
  std::memset(buffer.data + buffer.length, 0, 4);
  body->reset(buffer.data);
  *length = buffer.length;
  return true;
}

}  // namespace velmora
