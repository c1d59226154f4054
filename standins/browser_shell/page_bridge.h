// The stand-in shell's bridge mode: the side bar's page runs in a real browser. A small HTTP
// server on 127.0.0.1 serves the page's files (with a script injected into its HTML), takes the
// page's calls as POST requests and posts each to the shell's UI thread, which hands it to the
// program through OnPageCall; the scripts the program runs in the page, and the window's show,
// hide, bounds and close, go back to the page in order as Server-Sent Events.
//
// Only the side bar's own page may drive it: every request must carry the run's random token as
// its first path segment, name 127.0.0.1:<port> as its Host, and come from the page's own origin
// (Origin, Sec-Fetch-Site); one page session (event stream) at a time, and a call must name it.
// Bodies and request heads are capped, slow requests time out, and files come only from the page
// files and the data folder's Icon folder.
//
// Connections are served concurrently on threads of their own; the UI thread never touches a
// socket. The object lives until the process ends (its threads may still be running then).
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "standins/browser_shell/page_files.h"

namespace standin {

// One page call, posted to the UI window; the receiver owns and deletes it.
struct BridgeCall {
  std::string name;
  std::optional<std::string> arguments;  // nullopt: the page passed no arguments text
};

class PageBridge {
 public:
  struct Options {
    uint16_t port = 0;  // 0: any free port
    PageFiles files;
    std::wstring icon_folder;
    HWND ui_window = nullptr;  // receives call_message with a BridgeCall* in lParam
    UINT call_message = 0;
  };

  // Listens and starts accepting; nullptr when the server could not start. Any thread.
  static PageBridge* Start(Options options);

  // The page's address: "http://127.0.0.1:<port>/<token>/index.html".
  std::string address() const;
  // "http://127.0.0.1:<port>", without the token.
  std::string origin() const;
  // True while a page session's event stream is open.
  bool page_connected() const;

  // UI thread: queue a script (UTF-8) or a window change for the page; never waits for the
  // network. A script while no page is connected is dropped, as a browser without a page
  // would drop it; the window's state is kept and sent to the next session.
  void RunScript(const std::string& script);
  void SetBounds(int x, int y, int width, int height);
  void SetVisible(bool visible);
  void Close();   // the program released the browser
  void Reload();  // the program navigated anew: the page loads itself again

  PageBridge(const PageBridge&) = delete;
  PageBridge& operator=(const PageBridge&) = delete;

 private:
  struct Impl;
  explicit PageBridge(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace standin
