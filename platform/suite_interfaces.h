// Interfaces of the suite's objects that cross a component boundary. One slot per operation in
// the suite's order, __stdcall, no virtual destructor (objects are released through Release).
// They must keep external linkage: GCC treats a class in an anonymous namespace as fully known
// and may turn a call through an interface it never sees implemented into "unreachable".
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace velmora {

// HostKit.dll's service objects, made by its export CreateObject: started at start-up and
// stopped at exit.
struct IHostKitService : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Start() = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
};

// {FF6F9F16-F442-4C89-9042-528847DC768D}
constexpr GUID kHostKitServiceA = {0xFF6F9F16, 0xF442, 0x4C89, {0x90, 0x42, 0x52, 0x88, 0x47, 0xDC, 0x76, 0x8D}};
// {76EF03C2-3177-4DBE-A7DB-19F8B1EC8301}
constexpr GUID kHostKitServiceB = {0x76EF03C2, 0x3177, 0x4DBE, {0xA7, 0xDB, 0x19, 0xF8, 0xB1, 0xEC, 0x83, 0x01}};

// HostKit.dll's message-center settings, made through its object factory (table entry 0) with
// this id as both object and interface id. A setting is named by a key triple.
struct MsgCenterSettingKey {
  DWORD group;
  DWORD id;
  DWORD flags;
};

struct IMsgCenterSettings2 : public IUnknown {
  // Reads one setting of `scope` (1: the current user) into `value`.
  virtual HRESULT STDMETHODCALLTYPE QuerySetting(DWORD scope, const MsgCenterSettingKey* key, DWORD* value) = 0;
};

// {AEF59C5A-6695-4F74-96A8-3F02A233F028}
constexpr GUID kMsgCenterSettingsObject = {
    0xAEF59C5A, 0x6695, 0x4F74, {0x96, 0xA8, 0x3F, 0x02, 0xA2, 0x33, 0xF0, 0x28}};

// The side bar's own setting: whether the suite's message center wants the side bar kept low.
constexpr MsgCenterSettingKey kSideBarQuietSetting = {21, 0x20002, 0};

// BaseCore.dll's machine-identifier objects: a text query into the caller's buffer.
struct IMachineId : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryText(wchar_t* buffer, DWORD chars) = 0;
};

// {5A3479B1-5FDD-438F-9DC5-991F34C3EEB1}
constexpr GUID kMachineIdObject = {0x5A3479B1, 0x5FDD, 0x438F, {0x9D, 0xC5, 0x99, 0x1F, 0x34, 0xC3, 0xEE, 0xB1}};
// {88D6FFD4-88B6-4943-AF29-C5CA67BAFCD1}
constexpr GUID kSecondMachineIdObject = {
    0x88D6FFD4, 0x88B6, 0x4943, {0xAF, 0x29, 0xC5, 0xCA, 0x67, 0xBA, 0xFC, 0xD1}};

}  // namespace velmora
