// ILoginCallBack: how the login stack's sign-in and sign-out reach the side bar window, which
// implements it. Called on any thread of the login stack, under CLoginHelperEx's lock.
#pragma once

namespace velmora {

class ILoginCallBack {
 public:
  // `product` is not used; `account` is the account text, `status` 0 or more for a good sign-in.
  virtual void OnSignedIn(const wchar_t* product, const wchar_t* account, int status) = 0;
  virtual void OnSignedOut() = 0;

 protected:
  ~ILoginCallBack() = default;
};

}  // namespace velmora
