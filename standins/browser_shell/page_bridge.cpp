#include "standins/browser_shell/page_bridge.h"

#include <bcrypt.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>

#include "standins/common/standin_log.h"

namespace standin {
namespace {

constexpr size_t kMaxHeadBytes = 16 * 1024;
constexpr size_t kMaxBodyBytes = 1024 * 1024;
constexpr ULONGLONG kRequestDeadlineMs = 10000;  // for the head and body of one request
constexpr DWORD kSendTimeoutMs = 10000;
constexpr int kMaxConnections = 32;
constexpr size_t kMaxQueuedBytes = 16 * 1024 * 1024;  // a page that stopped reading loses its session
constexpr auto kPoll = std::chrono::milliseconds(200);
constexpr auto kHandOver = std::chrono::milliseconds(1500);  // for a reloading page's old stream to end
constexpr ULONGLONG kKeepAliveMs = 15000;

// Runs in the page before its own scripts: window.velmoraShell.call(name, argumentsText) sends a
// call (the arguments text exactly as given; null or undefined for none), in order, one at a
// time; the event stream runs the program's scripts and reflects the window onto the page.
constexpr char kInjectedScript[] = R"JS(
(() => {
  'use strict';
  const base = location.pathname.slice(0, location.pathname.indexOf('/', 1) + 1);
  const root = document.documentElement;
  const queue = [];
  let session = null, sending = false, ended = false, source = null;
  function note(text) {
    let box = document.getElementById('velmora-shell-note');
    if (!box) {
      box = document.createElement('div');
      box.id = 'velmora-shell-note';
      box.style.cssText = 'position:fixed;left:0;right:0;top:0;z-index:2147483647;padding:8px;' +
        'font:13px sans-serif;background:#222;color:#fff';
      document.body.appendChild(box);
    }
    box.textContent = text;
  }
  async function pump() {
    if (sending) return;
    sending = true;
    try {
      while (session && queue.length) {
        const response = await fetch(base + '__shell/call', {method: 'POST', body: queue[0], cache: 'no-store',
          headers: {'Content-Type': 'text/plain;charset=utf-8', 'X-Shell-Session': session}});
        if (response.status === 409) { session = null; break; }  // sent again with the next session
        if (!response.ok) console.warn('the side bar refused a call:', response.status);
        queue.shift();
      }
    } catch (error) {
      console.warn('a call did not reach the side bar:', error);
      queue.shift();
    } finally {
      sending = false;
    }
  }
  function run(text) {
    try { (0, eval)(text); } catch (error) { console.error('a script from the side bar failed:', error, text); }
  }
  function bounds(text) {
    root.dataset.shellBounds = text;
    const [, , width, height] = text.split(' ').map(Number);
    if (width > 0 && height > 0) Object.assign(root.style, {width: width + 'px', height: height + 'px', overflow: 'hidden'});
  }
  function connect() {
    source = new EventSource(base + '__shell/events');
    source.addEventListener('session', (e) => { session = e.data; root.dataset.shellSession = 'open'; pump(); });
    source.addEventListener('script', (e) => run(JSON.parse(e.data)));
    source.addEventListener('bounds', (e) => bounds(e.data));
    source.addEventListener('show', () => { root.dataset.shellShown = '1'; root.style.visibility = ''; });
    source.addEventListener('hide', () => { root.dataset.shellShown = '0'; root.style.visibility = 'hidden'; });
    source.addEventListener('reload', () => location.reload());
    source.addEventListener('close', () => {
      ended = true;
      source.close();
      root.dataset.shellSession = 'closed';
      root.style.visibility = '';
      note('The side bar has closed this page.');
    });
    source.onerror = () => {
      session = null;
      if (ended) return;
      const refused = source.readyState === EventSource.CLOSED;
      root.dataset.shellSession = refused ? 'refused' : 'reconnecting';
      if (refused) note('The side bar refused this page: another page holds its session, or it has ended.');
    };
  }
  window.velmoraShell = Object.freeze({
    call(name, argumentsText) {
      queue.push(argumentsText == null ? String(name) : String(name) + '\n' + String(argumentsText));
      pump();
    },
  });
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', connect);
  else connect();
})();
)JS";

struct Request {
  std::string method;
  std::string target;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::string Header(const char* name) const {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
  }
  bool HasHeader(const char* name) const { return headers.count(name) != 0; }
};

// A refusal: the status sent back (0: nothing is sent) and the reason written to the log.
struct Refusal {
  int status = 0;
  const char* reason = "";
};

const char* StatusText(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    default: return "Service Unavailable";
  }
}

bool SendAll(SOCKET socket, std::string_view data) {
  while (!data.empty()) {
    const int sent = ::send(socket, data.data(), static_cast<int>(std::min<size_t>(data.size(), 1 << 20)), 0);
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

void Respond(SOCKET socket, int status, std::string_view type, std::string_view body) {
  char head[512];
  std::snprintf(head, sizeof(head),
                "HTTP/1.1 %d %s\r\nContent-Type: %.*s\r\nContent-Length: %zu\r\nCache-Control: no-store\r\n"
                "X-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\nX-Frame-Options: DENY\r\n"
                "Connection: close\r\n\r\n",
                status, StatusText(status), static_cast<int>(type.size()), type.data(), body.size());
  if (SendAll(socket, head)) SendAll(socket, body);
}

// Readable within `ms`, or at once with a zero wait.
bool Readable(SOCKET socket, DWORD ms) {
  fd_set read;
  FD_ZERO(&read);
  FD_SET(socket, &read);
  timeval wait{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
  return ::select(0, &read, nullptr, nullptr, &wait) == 1;
}

// The peer closed or reset the connection (a peek of 0 bytes, or an error).
bool PeerGone(SOCKET socket) {
  if (!Readable(socket, 0)) return false;
  char byte;
  return ::recv(socket, &byte, 1, MSG_PEEK) <= 0;
}

// Closing with unread bytes would reset the connection and could lose the response: say we are
// done, then read what is left for a moment.
void CloseGracefully(SOCKET socket) {
  ::shutdown(socket, SD_SEND);
  char sink[4096];
  const ULONGLONG until = ::GetTickCount64() + 500;
  for (size_t drained = 0; drained < 256 * 1024 && ::GetTickCount64() < until;) {
    if (!Readable(socket, 100)) continue;
    const int got = ::recv(socket, sink, sizeof(sink), 0);
    if (got <= 0) break;
    drained += static_cast<size_t>(got);
  }
  ::closesocket(socket);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c <= ' ' || c >= 127 || std::string_view("()<>@,;:\\\"/[]?={}").find(c) != std::string_view::npos) return false;
  }
  return true;
}

// Reads one request within the deadline: nullopt when it was read whole; otherwise the refusal
// to answer with, status 0 when the peer went away or was too slow (nothing is answered).
std::optional<Refusal> ReadRequest(SOCKET socket, Request& request) {
  const ULONGLONG deadline = ::GetTickCount64() + kRequestDeadlineMs;
  std::string data;
  char buffer[4096];
  auto receive = [&]() -> bool {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline || !Readable(socket, static_cast<DWORD>(deadline - now))) return false;
    const int got = ::recv(socket, buffer, sizeof(buffer), 0);
    if (got <= 0) return false;
    data.append(buffer, static_cast<size_t>(got));
    return true;
  };
  size_t head_end;
  while ((head_end = data.find("\r\n\r\n")) == std::string::npos) {
    if (data.size() > kMaxHeadBytes) return Refusal{431, "head too large"};
    if (!receive()) return Refusal{0, "timeout or closed"};
  }
  if (head_end > kMaxHeadBytes) return Refusal{431, "head too large"};

  const std::string head = data.substr(0, head_end);
  size_t line_end = head.find("\r\n");
  const std::string line = head.substr(0, line_end);
  const size_t first = line.find(' '), second = line.find(' ', first + 1);
  if (first == std::string::npos || second == std::string::npos || line.find(' ', second + 1) != std::string::npos)
    return Refusal{400, "request line"};
  request.method = line.substr(0, first);
  request.target = line.substr(first + 1, second - first - 1);
  const std::string version = line.substr(second + 1);
  if (!IsToken(request.method) || (version != "HTTP/1.1" && version != "HTTP/1.0")) return Refusal{400, "request line"};
  if (request.target.empty() || request.target[0] != '/') return Refusal{400, "request target"};
  for (const char c : request.target) {
    if (c <= ' ' || c >= 127) return Refusal{400, "request target"};
  }
  while (line_end != std::string::npos) {
    const size_t start = line_end + 2;
    line_end = head.find("\r\n", start);
    const std::string field = head.substr(start, line_end == std::string::npos ? std::string::npos : line_end - start);
    const size_t colon = field.find(':');
    if (colon == std::string::npos || !IsToken(field.substr(0, colon))) return Refusal{400, "header"};
    const std::string name = Lower(field.substr(0, colon));
    std::string value = field.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t") + 1);
    for (const char c : value) {
      const auto byte = static_cast<unsigned char>(c);  // bytes from 0x80 up are allowed
      if ((byte < 0x20 && c != '\t') || byte == 0x7f) return Refusal{400, "header"};
    }
    if (!request.headers.emplace(name, value).second &&
        (name == "host" || name == "origin" || name == "content-length" || name == "x-shell-session")) {
      return Refusal{400, "repeated header"};
    }
  }
  if (!request.HasHeader("host")) return Refusal{400, "no host"};
  if (request.HasHeader("transfer-encoding")) return Refusal{501, "transfer-encoding"};

  size_t length = 0;
  if (request.HasHeader("content-length")) {
    const std::string text = request.Header("content-length");
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
      return Refusal{400, "content-length"};
    length = std::stoul(text);
  } else if (request.method == "POST") {
    return Refusal{411, "no content-length"};
  }
  if (length > kMaxBodyBytes) return Refusal{413, "body too large"};
  data.erase(0, head_end + 4);
  while (data.size() < length) {
    if (!receive()) return Refusal{0, "timeout or closed"};
  }
  request.body = data.substr(0, length);
  return std::nullopt;
}

std::optional<std::string> PercentDecoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
      return std::nullopt;
    out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
    i += 2;
  }
  return out;
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && Lower(std::string(text.substr(text.size() - tail.size()))) == tail;
}

const char* ContentType(std::string_view path) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html; charset=utf-8"}, {".htm", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"}, {".mjs", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},   {".json", "application/json"},
      {".png", "image/png"},                 {".svg", "image/svg+xml"},
      {".ico", "image/x-icon"},              {".jpg", "image/jpeg"},
      {".gif", "image/gif"},                 {".woff2", "font/woff2"},
      {".txt", "text/plain; charset=utf-8"}};
  for (const auto& [tail, type] : kTypes) {
    if (EndsWith(path, tail)) return type;
  }
  return "application/octet-stream";
}

// The page's HTML with the bridge script first in its head (or first of all without a head).
std::string WithBridgeScript(std::string html) {
  const std::string lower = Lower(html);
  size_t at = 0;
  for (size_t head = lower.find("<head"); head != std::string::npos; head = lower.find("<head", head + 1)) {
    const char next = head + 5 < lower.size() ? lower[head + 5] : '\0';
    if (next == '>' || next == ' ' || next == '\t' || next == '\r' || next == '\n') {
      const size_t close = lower.find('>', head);
      if (close != std::string::npos) at = close + 1;
      break;
    }
  }
  return html.insert(at, std::string("<script>") + kInjectedScript + "</script>");
}

// A JSON string literal of UTF-8 text: one line, exact for every character.
std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string ServerEvent(std::string_view name, std::string_view data) {
  return "event: " + std::string(name) + "\ndata: " + std::string(data) + "\n\n";
}

std::optional<std::string> RandomHex(size_t bytes) {
  unsigned char random[32];
  if (bytes > sizeof(random) ||
      !BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, random, static_cast<ULONG>(bytes), BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    return std::nullopt;
  std::string hex;
  for (size_t i = 0; i < bytes; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof(pair), "%02x", random[i]);
    hex += pair;
  }
  return hex;
}

// Compares without stopping at the first difference, so timing tells nothing of the token.
bool SameSecret(std::string_view a, std::string_view b) {
  unsigned char difference = a.size() == b.size() ? 0 : 1;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

bool IsIconName(std::string_view name) {
  if (name.size() != 36 || name.substr(32) != ".png") return false;
  for (size_t i = 0; i < 32; ++i) {
    if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'f'))) return false;
  }
  return true;
}

struct Session {
  unsigned number = 0;
  std::string id;
  std::deque<std::string> out;
  size_t queued = 0;
  bool ended = false;
};

}  // namespace

struct PageBridge::Impl {
  Options options;
  SOCKET listener = INVALID_SOCKET;
  uint16_t port = 0;
  std::string token;
  std::string host;    // "127.0.0.1:<port>"
  std::string origin;  // "http://127.0.0.1:<port>"
  std::atomic<int> connections{0};

  mutable std::mutex lock;
  std::condition_variable changed;
  std::shared_ptr<Session> session;
  unsigned sessions_opened = 0;
  std::string bounds;  // the window as the program last set it, for the next session
  bool visible = false;
  bool closed = false;

  void AcceptLoop();
  void Serve(SOCKET socket);
  std::optional<Refusal> Route(SOCKET socket, const Request& request);
  std::optional<Refusal> ServeEvents(SOCKET socket);
  std::optional<Refusal> TakeCall(SOCKET socket, const Request& request);
  void Push(const std::string& event);  // with the lock held
};

void PageBridge::Impl::AcceptLoop() {
  for (;;) {
    const SOCKET client = ::accept(listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) {
      ::Sleep(50);
      continue;
    }
    if (connections.load() >= kMaxConnections) {
      Log("shell", "bridge refused a connection: %d open", kMaxConnections);
      ::closesocket(client);
      continue;
    }
    ++connections;
    try {
      std::thread([this, client] {
        try {
          Serve(client);
        } catch (...) {
          ::closesocket(client);
        }
        --connections;
      }).detach();
    } catch (...) {
      --connections;
      ::closesocket(client);
    }
  }
}

void PageBridge::Impl::Serve(SOCKET socket) {
  const DWORD send_timeout = kSendTimeoutMs;
  ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&send_timeout), sizeof(send_timeout));
  Request request;
  std::optional<Refusal> refusal = ReadRequest(socket, request);
  if (!refusal) refusal = Route(socket, request);
  if (refusal && refusal->status != 0) {
    // Not the target: a refused request may carry the token (a foreign origin's, say).
    Log("shell", "bridge refused %d %s: %s", refusal->status, refusal->reason, request.method.c_str());
    Respond(socket, refusal->status, "text/plain; charset=utf-8", std::string(refusal->reason) + "\n");
  }
  CloseGracefully(socket);
}

std::optional<Refusal> PageBridge::Impl::Route(SOCKET socket, const Request& request) {
  // The Host names this server by its address, so a name that resolves here (DNS rebinding) gets nothing.
  if (request.Header("host") != host) return Refusal{403, "host"};
  const std::string prefix = "/" + token + "/";
  if (!SameSecret(request.target.substr(0, prefix.size()), prefix)) return Refusal{403, "token"};
  // Another page or site: browsers send its Origin with every POST and cross-origin request, and
  // Sec-Fetch-Site with every request.
  if (request.HasHeader("origin") && request.Header("origin") != origin) return Refusal{403, "origin"};
  const std::string site = request.Header("sec-fetch-site");
  if (!site.empty() && site != "same-origin" && site != "none") return Refusal{403, "site"};

  std::string path = request.target.substr(prefix.size());
  path = path.substr(0, path.find('?'));
  if (path == "__shell/call") return TakeCall(socket, request);
  if (request.method != "GET") return Refusal{405, "method"};
  if (path == "__shell/events") return ServeEvents(socket);

  const std::optional<std::string> decoded = PercentDecoded(path.empty() ? "index.html" : path);
  if (!decoded) return Refusal{400, "path"};
  constexpr std::string_view kIcons = "__shell/icon/";
  std::optional<std::string> content;
  if (decoded->compare(0, kIcons.size(), kIcons) == 0) {
    const std::string name = decoded->substr(kIcons.size());
    if (!IsIconName(name)) return Refusal{IsSafeRelativePath(name) ? 404 : 400, IsSafeRelativePath(name) ? "no such icon" : "path"};
    content = ReadWholeFile(options.icon_folder + L"\\" + std::wstring(name.begin(), name.end()));
  } else {
    if (!IsSafeRelativePath(*decoded)) return Refusal{400, "path"};
    content = options.files.Read(*decoded);
  }
  if (!content) return Refusal{404, "no such file"};
  const char* type = ContentType(*decoded);
  Respond(socket, 200, type, std::string_view(type).rfind("text/html", 0) == 0 ? WithBridgeScript(*content) : *content);
  return std::nullopt;
}

std::optional<Refusal> PageBridge::Impl::TakeCall(SOCKET socket, const Request& request) {
  if (request.method != "POST") return Refusal{405, "method"};
  if (request.Header("origin") != origin) return Refusal{403, "origin"};
  {
    std::lock_guard<std::mutex> hold(lock);
    if (!session || session->ended || !SameSecret(request.Header("x-shell-session"), session->id))
      return Refusal{409, "no such session"};
  }
  if (request.body.find('\0') != std::string::npos) return Refusal{400, "NUL in call"};
  const size_t cut = request.body.find('\n');
  auto call = std::make_unique<BridgeCall>();
  call->name = request.body.substr(0, cut);
  if (cut != std::string::npos) call->arguments = request.body.substr(cut + 1);
  if (call->name.empty()) return Refusal{400, "no command name"};
  if (!::PostMessageW(options.ui_window, options.call_message, 0, reinterpret_cast<LPARAM>(call.get())))
    return Refusal{503, "side bar gone"};
  call.release();  // the UI thread owns it now
  Respond(socket, 204, "text/plain", "");
  return std::nullopt;
}

void PageBridge::Impl::Push(const std::string& event) {
  if (!session || session->ended) return;
  session->queued += event.size();
  session->out.push_back(event);
  if (session->queued > kMaxQueuedBytes) session->ended = true;  // the page stopped reading
  changed.notify_all();
}

std::optional<Refusal> PageBridge::Impl::ServeEvents(SOCKET socket) {
  std::shared_ptr<Session> mine = std::make_shared<Session>();
  std::string opening = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                        "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\nretry: 1000\n\n";
  {
    std::unique_lock<std::mutex> hold(lock);
    // A page that reloads opens its new stream while the old one is still closing.
    changed.wait_for(hold, kHandOver, [this] { return !session || session->ended; });
    if (session && !session->ended) return Refusal{409, "a page session is open"};
    const std::optional<std::string> id = RandomHex(16);
    if (!id) return Refusal{503, "no random"};
    mine->id = *id;
    mine->number = ++sessions_opened;
    session = mine;
    opening += ServerEvent("session", mine->id);
    if (!bounds.empty()) opening += ServerEvent("bounds", bounds);
    opening += ServerEvent(visible ? "show" : "hide", "");
    if (closed) opening += ServerEvent("close", "");
  }
  Log("shell", "bridge session %u opened", mine->number);
  bool open = SendAll(socket, opening);
  ULONGLONG last_sent = ::GetTickCount64();
  while (open) {
    std::deque<std::string> out;
    {
      std::unique_lock<std::mutex> hold(lock);
      changed.wait_for(hold, kPoll, [&] { return mine->ended || !mine->out.empty(); });
      out.swap(mine->out);
      mine->queued = 0;
      if (mine->ended && out.empty()) break;
    }
    for (const std::string& event : out) open = open && SendAll(socket, event);
    if (!out.empty()) last_sent = ::GetTickCount64();
    if (open && ::GetTickCount64() - last_sent >= kKeepAliveMs) {
      open = SendAll(socket, ": still here\n\n");
      last_sent = ::GetTickCount64();
    }
    if (open && PeerGone(socket)) open = false;
  }
  {
    std::lock_guard<std::mutex> hold(lock);
    mine->ended = true;
    if (session == mine) session.reset();
    changed.notify_all();
  }
  Log("shell", "bridge session %u closed", mine->number);
  return std::nullopt;
}

PageBridge::PageBridge(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PageBridge* PageBridge::Start(Options options) {
  WSADATA wsa;
  if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return nullptr;
  auto impl = std::make_unique<Impl>();
  const std::optional<std::string> token = RandomHex(16);  // 128 bits
  if (!token) return nullptr;
  impl->token = *token;
  impl->options = std::move(options);
  impl->listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (impl->listener == INVALID_SOCKET) return nullptr;
  const BOOL exclusive = TRUE;
  ::setsockopt(impl->listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof(exclusive));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(impl->options.port);
  int size = sizeof(address);
  if (::bind(impl->listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(impl->listener, SOMAXCONN) != 0 ||
      ::getsockname(impl->listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    ::closesocket(impl->listener);
    return nullptr;
  }
  impl->port = ntohs(address.sin_port);
  impl->host = "127.0.0.1:" + std::to_string(impl->port);
  impl->origin = "http://" + impl->host;
  Impl* running = impl.get();
  try {
    std::thread([running] { running->AcceptLoop(); }).detach();
  } catch (...) {
    ::closesocket(impl->listener);
    return nullptr;
  }
  // Never deleted: its threads may run until the process ends.
  return new PageBridge(std::move(impl));
}

std::string PageBridge::address() const { return impl_->origin + "/" + impl_->token + "/index.html"; }

std::string PageBridge::origin() const { return impl_->origin; }

bool PageBridge::page_connected() const {
  std::lock_guard<std::mutex> hold(impl_->lock);
  return impl_->session && !impl_->session->ended;
}

void PageBridge::RunScript(const std::string& script) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  impl_->Push(ServerEvent("script", JsonString(script)));
}

void PageBridge::SetBounds(int x, int y, int width, int height) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  impl_->bounds = std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(width) + " " + std::to_string(height);
  impl_->Push(ServerEvent("bounds", impl_->bounds));
}

void PageBridge::SetVisible(bool visible) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  impl_->visible = visible;
  impl_->Push(ServerEvent(visible ? "show" : "hide", ""));
}

void PageBridge::Close() {
  std::lock_guard<std::mutex> hold(impl_->lock);
  impl_->closed = true;
  impl_->Push(ServerEvent("close", ""));
}

void PageBridge::Reload() {
  std::lock_guard<std::mutex> hold(impl_->lock);
  impl_->closed = false;
  impl_->visible = false;
  impl_->bounds.clear();
  impl_->Push(ServerEvent("reload", ""));
}

}  // namespace standin
