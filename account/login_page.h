// What the account code needs of the side bar window's page: whether a browser is attached, a
// script run in it, and a cookie set in it. The side bar window implements it.
#pragma once

#include <string>

namespace velmora {

class ILoginPage {
 public:
  virtual bool HasBrowser() const = 0;
  // Runs `script` (UTF-8) in the page; nothing when no browser is attached.
  virtual void RunScript(const std::string& script) = 0;
  // Sets cookie `name` = `value` (UTF-8) for the address `target`, with cookie domain `domain`.
  virtual void SetCookie(const std::wstring& target, const std::wstring& name, const std::string& value,
                         const std::wstring& domain) = 0;

 protected:
  ~ILoginPage() = default;
};

}  // namespace velmora
