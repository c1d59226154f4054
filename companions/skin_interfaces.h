// The skin engine's objects as the promotion window uses them: SkinProxy.dll's proxy, its
// compatibility and customisation objects, and SkinSite.dll's site with its controls and their
// events. One slot per operation in the engine's order, __stdcall, no virtual destructor (objects
// go through Release). Shared with the stand-in skin, which implements the other side.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <unknwn.h>

namespace velmora {

// SkinProxy.dll's proxy (export GetSiteUIProxy).
struct ISiteUIProxy : public IUnknown {
  // The skin engine's folder, terminated, into `buffer` of `chars` characters (at most 1024 are
  // needed); S_OK when it fitted.
  virtual HRESULT STDMETHODCALLTYPE GetEngineFolder(wchar_t* buffer, UINT chars) = 0;
};

// SkinProxy.dll's compatibility object (export GetMiniUICompatible): held while the skin lives.
struct IMiniUICompatible : public IUnknown {};

// SkinProxy.dll's customisation object (export GetVuqCustomizine).
struct IVuqCustomizine : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetCustomMode(LONG mode) = 0;
};

// The skin site's theme object, which takes the theme description file.
struct ISkinTheme : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE LoadDescription(const wchar_t* path) = 0;
};

// A resource object of SkinSite.dll: shared resources loaded from a file.
struct ISkinResource : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Load(const wchar_t* path) = 0;
};

// The skin site object, made by SkinSite.dll's class factory.
struct ISkinSite : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE ApplyTheme(const wchar_t* theme_file) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTheme(ISkinTheme** theme) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateResource(ISkinResource** resource) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterResource(ISkinResource* resource) = 0;
  // Builds the layout file's controls inside `window` (sizing it as the layout says).
  virtual HRESULT STDMETHODCALLTYPE LoadLayout(HWND window, const wchar_t* layout_file) = 0;
  // The control `id` of the layout loaded into `window`; its events come through
  // IConnectionPointContainer with kSiteEventsId.
  virtual HRESULT STDMETHODCALLTYPE FindControl(HWND window, LONG id, IUnknown** control) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetRenderMode(LONG mode) = 0;
};

// {58E1F4B8-8BD3-4AA0-BBE8-5E46AC01A0CE}: the skin site's class in SkinSite.dll.
constexpr GUID kSkinSiteClass = {0x58E1F4B8, 0x8BD3, 0x4AA0, {0xBB, 0xE8, 0x5E, 0x46, 0xAC, 0x01, 0xA0, 0xCE}};
// {3EF72492-42FE-427D-9639-5FDA57070B0F}: ISkinSite.
constexpr GUID kSkinSiteId = {0x3EF72492, 0x42FE, 0x427D, {0x96, 0x39, 0x5F, 0xDA, 0x57, 0x07, 0x0B, 0x0F}};
// {ED5A6252-F449-45E9-825E-C27E98A26359}: the content area's skin interface.
constexpr GUID kSkinContentId = {0xED5A6252, 0xF449, 0x45E9, {0x82, 0x5E, 0xC2, 0x7E, 0x98, 0xA2, 0x63, 0x59}};
// {6C1B4E2A-3D5F-4A8B-9E71-0F2C8D4B5A63}: the controls' event interface (a dispatch interface).
constexpr GUID kSiteEventsId = {0x6C1B4E2A, 0x3D5F, 0x4A8B, {0x9E, 0x71, 0x0F, 0x2C, 0x8D, 0x4B, 0x5A, 0x63}};
// The event interface's click, called with no arguments.
constexpr DISPID kSiteClickDispId = 1;

// The skin's controls in the promotion layout.
constexpr LONG kPromotionContentControl = 1030;
constexpr LONG kPromotionCloseControl = 1034;
constexpr LONG kPromotionSwitchOnControl = 1035;

// Exports of SkinProxy.dll and SkinSite.dll.
using GetSiteUIProxyFn = ISiteUIProxy*(WINAPI*)();
using GetMiniUICompatibleFn = IMiniUICompatible*(WINAPI*)();
using GetChangeSkinManagerFn = void*(WINAPI*)();
using GetVuqCustomizineFn = IVuqCustomizine*(WINAPI*)();
using SkinScaleFn = int(WINAPI*)(int pixels);
using SetDpiFlagFn = void(WINAPI*)(int flag);
using DllGetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

}  // namespace velmora
