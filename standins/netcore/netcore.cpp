// Stand-in for the suite's network library: InitLibs fills the caller's block with an easy
// interface (create, set option, perform, release, header list append and free) built on WinHTTP.
//
// A host map file "NetCore.hosts" beside this library sends host names to loopback test servers.
// Each line is "<from> <to>": <from> is a host name, or a scheme and host ("https://api.vuq.com"),
// <to> is "http://127.0.0.1:<port>" or "https://127.0.0.1:<port>" (loopback targets only, so a
// map entry may downgrade HTTPS to plain HTTP for a test server). "#" starts a comment. Hosts not
// in the map are reached as they are named.
#include <windows.h>
#include <winhttp.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/net_core.h"
#include "standins/common/standin_log.h"

namespace nc = velmora::netcore;

struct velmora::netcore::HeaderList {
  std::string line;
  HeaderList* next = nullptr;
};

namespace {

constexpr int kMaxRedirects = 30;
constexpr int kSslConnectError = 35;
constexpr DWORD kReadChunk = 1024 * 1024;

HMODULE g_module = nullptr;

struct Request {
  std::string url;
  long timeout_ms = 0;  // 0: no limit
  void* write_data = nullptr;
  nc::WriteCallbackFn write = nullptr;
  bool follow = false;
  const nc::HeaderList* headers = nullptr;
};

struct Internet {  // one WinHTTP handle
  HINTERNET handle = nullptr;
  explicit Internet(HINTERNET h) : handle(h) {}
  ~Internet() {
    if (handle) ::WinHttpCloseHandle(handle);
  }
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
};

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A URL taken apart.
struct Target {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // path and query, at least "/"
};

bool Crack(const std::wstring& url, Target* out) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  out->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  out->host.assign(parts.lpszHostName, parts.dwHostNameLength);
  out->port = parts.nPort;
  out->path.assign(parts.lpszUrlPath ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) out->path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (out->path.empty() || out->path[0] != L'/') out->path.insert(0, L"/");
  return !out->host.empty();
}

bool IsLoopback(const std::wstring& host) {
  return host == L"localhost" || host == L"[::1]" || host.rfind(L"127.", 0) == 0;
}

// Where the map sends `target`'s host: the mapped loopback target with the original path, or
// `target` itself.
Target MapHost(const Target& target) {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return target;
  std::wstring map_path(path, length);
  map_path.replace(map_path.find_last_of(L'\\') + 1, std::wstring::npos, L"NetCore.hosts");
  FILE* file = _wfopen(map_path.c_str(), L"rb");
  if (!file) return target;
  const std::string host = Lower(standin::Narrow(target.host.c_str()));
  const std::string with_scheme = (target.secure ? "https://" : "http://") + host;
  Target mapped = target;
  bool found_plain = false;
  char line[1024];
  while (std::fgets(line, sizeof(line), file)) {
    if (char* comment = std::strchr(line, '#')) *comment = '\0';
    char from[512] = {}, to[512] = {};
    if (std::sscanf(line, "%511s %511s", from, to) != 2) continue;
    const std::string key = Lower(from);
    const bool exact = key == with_scheme;
    if (!exact && (key != host || found_plain)) continue;
    Target destination;
    if (!Crack(Widen(to), &destination) || !IsLoopback(destination.host)) continue;
    destination.path = target.path;
    mapped = destination;
    if (exact) break;  // "scheme://host" wins over a bare host entry
    found_plain = true;
  }
  std::fclose(file);
  return mapped;
}

// The result for a failed WinHTTP call. A call that fails once the transfer's time is (nearly)
// up failed because of it, whatever error the socket layer chose to report.
int ResultOfError(DWORD error, bool sending, ULONGLONG deadline) {
  if (deadline != 0 && ::GetTickCount64() + 100 >= deadline) return nc::kTimedOut;
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT: return nc::kTimedOut;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return nc::kCouldNotResolveHost;
    case ERROR_WINHTTP_CANNOT_CONNECT: return nc::kCouldNotConnect;
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return nc::kBadServerReply;
    case ERROR_WINHTTP_SECURE_FAILURE: return kSslConnectError;
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: return nc::kBadUrl;
    case ERROR_NOT_ENOUGH_MEMORY: return nc::kOutOfMemory;
    default: return sending ? nc::kSendError : nc::kReceiveError;
  }
}

// Milliseconds left before `deadline` (a GetTickCount64 value; 0 = none), at least 1; 0 when
// the time is up.
DWORD Remaining(ULONGLONG deadline) {
  if (deadline == 0) return INFINITE;
  const ULONGLONG now = ::GetTickCount64();
  return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

bool ArmTimeouts(HINTERNET request, ULONGLONG deadline) {
  const DWORD left = Remaining(deadline);
  if (left == 0) return false;
  if (deadline == 0) return true;
  const int ms = static_cast<int>(left);
  ::WinHttpSetTimeouts(request, ms, ms, ms, ms);
  DWORD value = left;
  ::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &value, sizeof(value));
  return true;
}

std::wstring QueryText(HINTERNET request, DWORD what) {
  DWORD bytes = 0;
  ::WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes, WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return {};
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  if (!::WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  text.resize(bytes / sizeof(wchar_t));
  return text;
}

// The location a redirect names, made absolute against `base`.
std::wstring ResolveLocation(const Target& base, const std::wstring& location) {
  const std::wstring scheme = base.secure ? L"https:" : L"http:";
  if (location.find(L"://") != std::wstring::npos) return location;
  if (location.rfind(L"//", 0) == 0) return scheme + location;
  const std::wstring origin = scheme + L"//" + base.host + L":" + std::to_wstring(base.port);
  if (!location.empty() && location[0] == L'/') return origin + location;
  const std::wstring folder = base.path.substr(0, base.path.find_last_of(L'/', base.path.find(L'?')) + 1);
  return origin + folder + location;
}

struct Outcome {
  int result = nc::kOk;
  std::wstring redirect;  // set when the response is a redirect to follow
};

Outcome Transfer(const Request& request, const Target& original, ULONGLONG deadline) {
  const Target target = MapHost(original);
  const bool mapped = target.host != original.host || target.port != original.port;
  // Loopback servers are never reached through a proxy.
  Internet session(::WinHttpOpen(nullptr, IsLoopback(target.host) ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.handle) return {nc::kOutOfMemory, {}};
  Internet connection(::WinHttpConnect(session.handle, target.host.c_str(), target.port, 0));
  if (!connection.handle) return {ResultOfError(::GetLastError(), true, deadline), {}};
  Internet http(::WinHttpOpenRequest(connection.handle, L"GET", target.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                     WINHTTP_DEFAULT_ACCEPT_TYPES, target.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!http.handle) return {ResultOfError(::GetLastError(), true, deadline), {}};
  // Redirects are followed here, so that every hop goes through the host map.
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  ::WinHttpSetOption(http.handle, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
  if (mapped) {
    const std::wstring host_line = L"Host: " + original.host +
                                   (original.port == (original.secure ? 443 : 80) ? L"" : L":" + std::to_wstring(original.port));
    ::WinHttpAddRequestHeaders(http.handle, host_line.c_str(), static_cast<DWORD>(-1L),
                               WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
  }
  for (const nc::HeaderList* item = request.headers; item; item = item->next) {
    const std::wstring line = Widen(item->line);
    ::WinHttpAddRequestHeaders(http.handle, line.c_str(), static_cast<DWORD>(-1L), WINHTTP_ADDREQ_FLAG_ADD);
  }

  if (!ArmTimeouts(http.handle, deadline)) return {nc::kTimedOut, {}};
  if (!::WinHttpSendRequest(http.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
    return {ResultOfError(::GetLastError(), true, deadline), {}};
  }
  if (!ArmTimeouts(http.handle, deadline)) return {nc::kTimedOut, {}};
  if (!::WinHttpReceiveResponse(http.handle, nullptr)) return {ResultOfError(::GetLastError(), false, deadline), {}};

  DWORD status = 0, size = sizeof(status);
  ::WinHttpQueryHeaders(http.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                        &status, &size, WINHTTP_NO_HEADER_INDEX);
  if (request.follow && status >= 300 && status < 400 && status != 304) {
    const std::wstring location = QueryText(http.handle, WINHTTP_QUERY_LOCATION);
    if (!location.empty()) return {nc::kOk, ResolveLocation(original, location)};
  }

  // A Content-Length must be a plain decimal number; the body must then reach it.
  const std::wstring length_text = QueryText(http.handle, WINHTTP_QUERY_CONTENT_LENGTH);
  unsigned long long expected = 0;
  const bool has_length = !length_text.empty();
  if (has_length) {
    if (length_text.size() > 18 || length_text.find_first_not_of(L"0123456789") != std::wstring::npos) {
      return {nc::kBadServerReply, {}};
    }
    expected = std::wcstoull(length_text.c_str(), nullptr, 10);
  }

  std::unique_ptr<char[]> chunk(new (std::nothrow) char[kReadChunk]);
  if (!chunk) return {nc::kOutOfMemory, {}};
  unsigned long long received = 0;
  for (;;) {
    if (!ArmTimeouts(http.handle, deadline)) return {nc::kTimedOut, {}};
    DWORD read = 0;
    if (!::WinHttpReadData(http.handle, chunk.get(), kReadChunk, &read)) {
      return {ResultOfError(::GetLastError(), false, deadline), {}};
    }
    if (read == 0) break;
    received += read;
    if (request.write && request.write(chunk.get(), 1, read, request.write_data) != read) {
      return {nc::kWriteError, {}};
    }
  }
  if (has_length && received != expected) return {nc::kPartialBody, {}};
  return {nc::kOk, {}};
}

// --- the easy interface ---------------------------------------------------------------------------

void VELMORA_NETCORE_CALL ReleaseHandle(nc::RequestHandle handle) { delete static_cast<Request*>(handle); }

nc::RequestHandle VELMORA_NETCORE_CALL CreateHandle() { return new (std::nothrow) Request; }

int VELMORA_NETCORE_CALL SetOption(nc::RequestHandle handle, int option, ...) {
  auto* request = static_cast<Request*>(handle);
  if (!request) return nc::kBadArgument;
  va_list args;
  va_start(args, option);
  int result = nc::kOk;
  switch (option) {
    case nc::kOptionUrl: {
      const char* url = va_arg(args, const char*);
      request->url = url ? url : "";
      break;
    }
    case nc::kOptionTimeoutMs: request->timeout_ms = va_arg(args, long); break;
    case nc::kOptionWriteData: request->write_data = va_arg(args, void*); break;
    case nc::kOptionWriteFunction: request->write = va_arg(args, nc::WriteCallbackFn); break;
    case nc::kOptionFollowLocation: request->follow = va_arg(args, long) != 0; break;
    case nc::kOptionHeaders: request->headers = va_arg(args, const nc::HeaderList*); break;
    default: result = 48;  // an option this library does not know
  }
  va_end(args);
  return result;
}

int VELMORA_NETCORE_CALL Perform(nc::RequestHandle handle) {
  auto* request = static_cast<Request*>(handle);
  if (!request) return nc::kBadArgument;
  if (request->url.empty()) return nc::kBadUrl;
  // A bare host name asks whether the host answers at all: a request for its root.
  std::string url = request->url;
  if (url.find("://") == std::string::npos) url = "http://" + url + "/";
  const ULONGLONG deadline = request->timeout_ms > 0 ? ::GetTickCount64() + static_cast<ULONGLONG>(request->timeout_ms) : 0;

  Outcome outcome;
  std::wstring next = Widen(url);
  for (int hop = 0;; ++hop) {
    Target target;
    if (!Crack(next, &target)) {
      outcome.result = next.find(L"://") != std::wstring::npos && next.rfind(L"http", 0) != 0 ? nc::kUnsupportedProtocol
                                                                                              : nc::kBadUrl;
      break;
    }
    if (hop > kMaxRedirects) {
      outcome.result = nc::kTooManyRedirects;
      break;
    }
    outcome = Transfer(*request, target, deadline);
    if (outcome.result != nc::kOk || outcome.redirect.empty()) break;
    next = outcome.redirect;
  }
  standin::Log("netcore", "perform url=%s timeout=%ld result=%d", request->url.c_str(), request->timeout_ms,
               outcome.result);
  return outcome.result;
}

nc::HeaderList* VELMORA_NETCORE_CALL AppendHeader(nc::HeaderList* list, const char* line) {
  if (!line) return nullptr;
  auto* item = new (std::nothrow) nc::HeaderList;
  if (!item) return nullptr;
  item->line = line;
  if (!list) return item;
  nc::HeaderList* last = list;
  while (last->next) last = last->next;
  last->next = item;
  return list;
}

void VELMORA_NETCORE_CALL FreeHeaders(nc::HeaderList* list) {
  while (list) delete std::exchange(list, list->next);
}

}  // namespace

extern "C" __declspec(dllexport) int VELMORA_NETCORE_CALL InitLibs(nc::InitBlock* block) {
  if (!block || block->size != nc::kInitBlockSize) return 1;
  standin::Log("netcore", "InitLibs");
  std::memset(block->entries, 0, sizeof(block->entries));
  block->entries[nc::kReleaseHandle] = reinterpret_cast<void*>(&ReleaseHandle);
  block->entries[nc::kCreateHandle] = reinterpret_cast<void*>(&CreateHandle);
  block->entries[nc::kPerform] = reinterpret_cast<void*>(&Perform);
  block->entries[nc::kSetOption] = reinterpret_cast<void*>(&SetOption);
  block->entries[nc::kAppendHeader] = reinterpret_cast<void*>(&AppendHeader);
  block->entries[nc::kFreeHeaders] = reinterpret_cast<void*>(&FreeHeaders);
  return 0;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = module;
    standin::LogLoaded(module);
  }
  return TRUE;
}
