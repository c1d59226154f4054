// The event sink of one browser. The side bar gives every browser it asks the shell for a sink of
// its own, so that it knows which browser an event or page call comes from: only the current
// browser's page drives the side bar, and a browser the shell reports gone is the one forgotten.
// Main thread.
#pragma once

#include "view/shell_interfaces.h"

namespace velmora {

class CBrowserSink final : public shell::ShellWebBrowserEvent {
 public:
  // Where a sink's calls go, with the sink that received them.
  class Owner {
   public:
    virtual void OnSinkEvent(CBrowserSink& sink, int id, const wchar_t* payload, int* result) = 0;
    virtual int OnSinkPageCall(CBrowserSink& sink, const char* first, const char* name, const char* arguments) = 0;
    virtual void OnSinkBrowser(CBrowserSink& sink) = 0;

   protected:
    ~Owner() = default;
  };

  explicit CBrowserSink(Owner& owner) : owner_(owner) {}
  CBrowserSink(const CBrowserSink&) = delete;
  CBrowserSink& operator=(const CBrowserSink&) = delete;

  // The browser the shell made for this sink; null until the shell set it.
  shell::ShellBrowser* browser() const { return browser_; }

  // shell::ShellWebBrowserEvent
  void OnShellEvent(int id, const wchar_t* payload, int, int, int, int* result) override {
    owner_.OnSinkEvent(*this, id, payload, result);
  }
  int OnPageCall(const char* first, const char* name, const char* arguments, int, int, int) override {
    return owner_.OnSinkPageCall(*this, first, name, arguments);
  }
  // Kept on the first call only.
  void SetBrowser(shell::ShellBrowser* browser) override {
    if (browser_) return;
    browser_ = browser;
    owner_.OnSinkBrowser(*this);
  }

 private:
  Owner& owner_;
  shell::ShellBrowser* browser_ = nullptr;
};

}  // namespace velmora
