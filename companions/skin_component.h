// The skin engine that draws the promotion window: SkinProxy.dll's objects and the skin site of
// SkinSite.dll, both loaded through the trusted loader, started once and kept until the owner
// goes. Main thread only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/com_ref.h"
#include "companions/skin_interfaces.h"
#include "platform/scoped_handle.h"

namespace velmora {

// Where the skin's files lie under `suite_folder`. Pure.
struct SkinPaths {
  std::wstring themes_folder;      // ...\Config\newui\themes\default\ (trailing "\")
  std::wstring skin_folder;        // the themes folder and "Velmora\"
  std::wstring layout;             // the skin folder's "Xml\WndPromotion.xml"
  std::wstring theme;              // the skin folder's "Velmora_theme.ui"
  std::wstring theme_description;  // the themes folder's "theme_Velmora.xml"
  std::wstring shared_resources;   // "...\themes\default\Common\XML\CommonResource.xml"
};
SkinPaths SkinPathsFor(const std::wstring& suite_folder);

class CSkinComponent {
 public:
  explicit CSkinComponent(std::wstring suite_folder);
  // Objects first, then the libraries.
  ~CSkinComponent();
  CSkinComponent(const CSkinComponent&) = delete;
  CSkinComponent& operator=(const CSkinComponent&) = delete;

  // Loads SkinProxy.dll, makes its objects, enters the engine's folder (the process's current
  // directory), makes the skin site and hands it the theme and the shared resources. Runs once;
  // later calls answer the first result. Any failure releases what was made and answers false.
  bool Start();

  // The skin site; null unless Start succeeded. Owned here.
  ISkinSite* Site() const { return site_.get(); }
  const SkinPaths& Paths() const { return paths_; }

  // SkinSite.dll's "scale" of `pixels` to the current DPI; nullopt when the library is not
  // loaded or has no such export.
  std::optional<int> Scale(int pixels) const;
  // SkinSite.dll's "set_dpi_flag" with `flag`, when the library is loaded and has it.
  void SetDpiFlag(int flag) const;

 private:
  bool StartOnce();
  void Reset();

  std::wstring suite_folder_;
  SkinPaths paths_;
  std::optional<bool> started_;
  ScopedLibrary proxy_library_;
  ScopedLibrary site_library_;
  ComRef<ISiteUIProxy> proxy_;
  ComRef<IMiniUICompatible> compatible_;
  ComRef<IVuqCustomizine> customization_;
  ComRef<ISkinSite> site_;
};

}  // namespace velmora
