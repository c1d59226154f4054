// The owner of one shell browser reference: hidden and released exactly once, through reset()
// or the destructor. When the shell reports the browser gone, Forget() drops the pointer
// without a call. Move-only. Main thread.
#pragma once

#include <utility>

#include "view/shell_interfaces.h"

namespace velmora {

class ShellBrowserRef {
 public:
  ShellBrowserRef() = default;
  explicit ShellBrowserRef(shell::ShellBrowser* browser) : browser_(browser) {}
  ~ShellBrowserRef() { reset(); }
  ShellBrowserRef(const ShellBrowserRef&) = delete;
  ShellBrowserRef& operator=(const ShellBrowserRef&) = delete;
  ShellBrowserRef(ShellBrowserRef&& other) noexcept : browser_(std::exchange(other.browser_, nullptr)) {}
  ShellBrowserRef& operator=(ShellBrowserRef&& other) noexcept {
    if (this != &other) reset(std::exchange(other.browser_, nullptr));
    return *this;
  }

  shell::ShellBrowser* get() const { return browser_; }
  shell::ShellBrowser* operator->() const { return browser_; }
  explicit operator bool() const { return browser_ != nullptr; }

  // Hides and releases the browser held (if any) and takes `browser`.
  void reset(shell::ShellBrowser* browser = nullptr) {
    if (browser_) {
      browser_->Hide();
      browser_->Release();
    }
    browser_ = browser;
  }
  // Drops the browser without calling it: the shell has let it go already.
  void Forget() { browser_ = nullptr; }

 private:
  shell::ShellBrowser* browser_ = nullptr;
};

}  // namespace velmora
