// An ILoginPage that records what the account code does to the page.
#pragma once

#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "account/login_page.h"

namespace velmora::test {

struct RecordedCookie {
  std::wstring target, name;
  std::string value;
  std::wstring domain;
  bool operator==(const RecordedCookie& other) const {
    return std::tie(target, name, value, domain) == std::tie(other.target, other.name, other.value, other.domain);
  }
};

class LoginPageRecorder final : public ILoginPage {
 public:
  bool has_browser = true;

  bool HasBrowser() const override { return has_browser; }
  void RunScript(const std::string& script) override {
    std::lock_guard<std::mutex> hold(lock_);
    scripts_.push_back(script);
  }
  void SetCookie(const std::wstring& target, const std::wstring& name, const std::string& value,
                 const std::wstring& domain) override {
    std::lock_guard<std::mutex> hold(lock_);
    cookies_.push_back({target, name, value, domain});
  }
  std::vector<std::string> scripts() {
    std::lock_guard<std::mutex> hold(lock_);
    return scripts_;
  }
  std::vector<RecordedCookie> cookies() {
    std::lock_guard<std::mutex> hold(lock_);
    return cookies_;
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    scripts_.clear();
    cookies_.clear();
  }

 private:
  std::mutex lock_;
  std::vector<std::string> scripts_;
  std::vector<RecordedCookie> cookies_;
};

}  // namespace velmora::test
