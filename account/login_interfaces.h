// Binary interfaces of the suite's login stack: SignOn.dll's login module and login object,
// SignOnMgr.dll's manager, AcctClient.dll's client and its listener, ShareStore.dll's store, and
// the callback the login object reports to. Shared by the program and the stand-ins.
//
// One slot per operation, no virtual destructor (each object is given back
// through its own release slot). COM-style objects (IUnknown, BSTR and VARIANT) are __stdcall;
// the plain objects of SignOnMgr.dll, AcctClient.dll and ShareStore.dll use the default member
// convention (__thiscall on i686). Kept out of any anonymous namespace: GCC treats a class there
// as fully known and may turn a call through an interface it never sees implemented into
// "unreachable". The seven listener slots keep the stack's order (sign-in, sign-out, five
// others); the order of the other objects' slots is the stand-ins' and ours, kept in this one place.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <unknwn.h>

namespace velmora {

// The product key the side bar uses with every part of the login stack.
inline constexpr wchar_t kLoginProductKey[] = L"safe";

// The login stack keeps the event named this followed by the product key open while an account is
// signed in.
inline constexpr wchar_t kSignedInEventPrefix[] = L"{51799B20-2102-4b13-BA0F-681BA45B8FCA}_exp_login_";

// ---- SignOn.dll ---------------------------------------------------------------------------------

// What the login object reports with event codes 1 to 3: the account's five texts. Any may be null.
struct LoginAccountReport {
  const wchar_t* account;
  const wchar_t* qid;
  const wchar_t* nick_name;
  const wchar_t* email;
  const wchar_t* head_image;
};

// The side bar's answer to the login object's events. `argument` is a LoginAccountReport* for
// codes 1 to 3 and a number otherwise; `text` is the event's text (may be null). Called on any
// thread of the login stack.
struct IAccountCallbackW {
  virtual LRESULT STDMETHODCALLTYPE OnAccountEvent(UINT code, WPARAM argument, const wchar_t* text) = 0;
};

// An account found by the login module. Kind 1 hands out its cookie text itself; other kinds
// through IVuqAccountEx. The caller frees a returned BSTR with SysFreeString.
struct IVuqAccount : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetKind(DWORD* kind) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCookieText(BSTR* text) = 0;
};

// {E0804AEF-EBEA-411E-87F3-D0BC6C08DDAD}
inline constexpr GUID kVuqAccountExId = {0xE0804AEF, 0xEBEA, 0x411E, {0x87, 0xF3, 0xD0, 0xBC, 0x6C, 0x08, 0xDD, 0xAD}};

struct IVuqAccountEx : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCookieText(BSTR* text) = 0;
};

// The module LoginGetModuleW hands out.
struct IVuqLoginModule : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Initialize() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProperty(DWORD id, const VARIANT* value) = 0;
  // The account signed in with `email` of `account_type`; the caller releases it.
  virtual HRESULT STDMETHODCALLTYPE LookupAccount(BSTR email, DWORD account_type, IVuqAccount** account) = 0;
};

// {C682D70A-B40B-47D7-88FE-D986F4339166}: the login interface, queried from the module.
inline constexpr GUID kVuqLoginId = {0xC682D70A, 0xB40B, 0x47D7, {0x88, 0xFE, 0xD9, 0x86, 0xF4, 0x33, 0x91, 0x66}};

struct IVuqLogin : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Initialize() = 0;
  virtual HRESULT STDMETHODCALLTYPE AttachModule(IVuqLoginModule* module) = 0;
  // The object keeps `callback` (not reference counted) until it is released.
  virtual HRESULT STDMETHODCALLTYPE SetCallback(IAccountCallbackW* callback, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCaller(BSTR name, BSTR key) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProperty(DWORD id, const VARIANT* value) = 0;
};

using LoginGetModuleWFn = HRESULT(WINAPI*)(IVuqLoginModule** module);

// ---- SignOnMgr.dll ------------------------------------------------------------------------------

struct IVuqLoginMgr {
  // Non-zero when the manager is ready for `product`.
  virtual BOOL Initialize(const wchar_t* product) = 0;
  virtual BOOL ShowLoginDialog(const wchar_t* product, HWND owner, DWORD mode, DWORD reserved) = 0;
  // Gives the manager back; it is gone afterwards.
  virtual void Release(const wchar_t* product) = 0;
};

using CreateVuqLoginMgrFn = IVuqLoginMgr*(WINAPI*)(DWORD reserved, DWORD flags);

// ---- AcctClient.dll -----------------------------------------------------------------------------

namespace safeid {

// Told about sign-ins and sign-outs on any thread of the login stack. Seven slots.
struct IVuqExpClientListener {
  virtual void OnLogin(const wchar_t* product, const wchar_t* account, int status, void* reserved) = 0;
  virtual void OnLogout(const wchar_t* product, const wchar_t* account, int reason) = 0;
  virtual void OnAccountChanged(const wchar_t* product, const wchar_t* account) = 0;
  virtual void OnTokenRefreshed(const wchar_t* product, const wchar_t* account) = 0;
  virtual void OnProfileChanged(const wchar_t* product, const wchar_t* account) = 0;
  virtual void OnServiceStateChanged(const wchar_t* product, int state) = 0;
  virtual void OnMessage(const wchar_t* product, const wchar_t* text) = 0;
};

}  // namespace safeid

struct IVuqExpClient {
  // Non-zero when started.
  virtual BOOL Start(DWORD mode) = 0;
  // The client keeps `listener` (not owned) until it is released.
  virtual BOOL RegisterListener(safeid::IVuqExpClientListener* listener) = 0;
  // Gives the client back; no listener call is in flight or made once this returns.
  virtual void Release() = 0;
};

using CreateExpClientFn = IVuqExpClient*(WINAPI*)(const wchar_t* product, DWORD flags);

// ---- ShareStore.dll -----------------------------------------------------------------------------

struct IShareData {
  // Non-zero when the store `name` is open.
  virtual BOOL Open(const wchar_t* name, DWORD flags) = 0;
  // Copies at most `chars` characters of the text under `key` into `buffer`; the copy is
  // terminated only when it fits. Non-zero when the key holds a text.
  virtual BOOL GetText(const wchar_t* key, wchar_t* buffer, DWORD chars) = 0;
  // Non-zero when the key holds a number.
  virtual BOOL GetNumber(const wchar_t* key, DWORD* value) = 0;
  virtual void Release() = 0;
};

using CreateShareDataFn = IShareData*(WINAPI*)(DWORD reserved, DWORD flags);

// ---- VerProbe.dll -------------------------------------------------------------------------------

using IsBetaVersionFn = BOOL(WINAPI*)();

}  // namespace velmora
