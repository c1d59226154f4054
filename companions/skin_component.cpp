#include "companions/skin_component.h"

#include <cwctype>
#include <utility>

#include "platform/system_functions.h"
#include "platform/trust.h"

namespace velmora {
namespace {

bool FileExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The theme description goes to the engine when it lies in a themes folder, or when it can be
// opened for its attributes (a file we may not read still counts: the engine runs with more rights).
bool IsThemeDescriptionUsable(const std::wstring& path) {
  std::wstring upper = path;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  if (upper.find(L"\\THEMES\\") != std::wstring::npos) return true;
  ScopedFileHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  return file || ::GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace

SkinPaths SkinPathsFor(const std::wstring& suite_folder) {
  SkinPaths paths;
  paths.themes_folder = suite_folder + L"\\Config\\newui\\themes\\default\\";
  paths.skin_folder = paths.themes_folder + L"Velmora\\";
  paths.layout = paths.skin_folder + L"Xml\\WndPromotion.xml";
  paths.theme = paths.skin_folder + L"Velmora_theme.ui";
  paths.theme_description = paths.themes_folder + L"theme_Velmora.xml";
  paths.shared_resources = suite_folder + L"\\Config\\newui\\themes\\default\\Common\\XML\\CommonResource.xml";
  return paths;
}

CSkinComponent::CSkinComponent(std::wstring suite_folder)
    : suite_folder_(std::move(suite_folder)), paths_(SkinPathsFor(suite_folder_)) {}

CSkinComponent::~CSkinComponent() { Reset(); }

void CSkinComponent::Reset() {
  site_.reset();
  customization_.reset();
  compatible_.reset();
  proxy_.reset();
  site_library_.reset();
  proxy_library_.reset();
}

bool CSkinComponent::Start() {
  if (!started_) {
    started_ = StartOnce();
    if (!*started_) Reset();
  }
  return *started_;
}

bool CSkinComponent::StartOnce() {
  proxy_library_ = LoadTrustedLibrary(suite_folder_ + L"\\Utils\\SkinProxy.dll");
  if (!proxy_library_) return false;
  const HMODULE proxy_module = proxy_library_.get();
  auto get_proxy = GetProcAddressAs<GetSiteUIProxyFn>(proxy_module, "GetSiteUIProxy");
  auto get_compatible = GetProcAddressAs<GetMiniUICompatibleFn>(proxy_module, "GetMiniUICompatible");
  if (!get_proxy || !get_compatible) return false;
  proxy_.reset(get_proxy());
  compatible_.reset(get_compatible());
  if (!proxy_ || !compatible_) return false;
  // The skin manager stays the library's own; asking for it sets the engine up.
  if (auto get_manager = GetProcAddressAs<GetChangeSkinManagerFn>(proxy_module, "GetChangeSkinManager")) get_manager();
  if (auto get_customization = GetProcAddressAs<GetVuqCustomizineFn>(proxy_module, "GetVuqCustomizine")) {
    customization_.reset(get_customization());
    if (customization_) customization_->SetCustomMode(0);
  }

  // The engine's folder: a text of up to 1024 characters, terminated within the buffer.
  wchar_t engine_folder[1025] = {};
  if (FAILED(proxy_->GetEngineFolder(engine_folder, 1025)) || engine_folder[1024] != L'\0' ||
      engine_folder[0] == L'\0') {
    return false;
  }
  std::wstring folder = engine_folder;
  // The engine finds its own files relative to the current directory.
  if (!::SetCurrentDirectoryW(folder.c_str())) return false;
  if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';

  site_library_ = LoadTrustedLibrary(folder + L"SkinSite.dll");
  auto get_class_object = GetProcAddressAs<DllGetClassObjectFn>(site_library_.get(), "DllGetClassObject");
  if (!get_class_object) return false;
  ComRef<IClassFactory> factory;
  if (FAILED(get_class_object(kSkinSiteClass, IID_IClassFactory, factory.receive_void())) || !factory) return false;
  if (FAILED(factory->CreateInstance(nullptr, kSkinSiteId, site_.receive_void())) || !site_) return false;

  if (FileExists(paths_.theme) && FAILED(site_->ApplyTheme(paths_.theme.c_str()))) return false;
  if (IsThemeDescriptionUsable(paths_.theme_description)) {
    ComRef<ISkinTheme> theme;
    if (FAILED(site_->GetTheme(theme.receive())) || !theme ||
        FAILED(theme->LoadDescription(paths_.theme_description.c_str()))) {
      return false;
    }
  }
  if (!paths_.shared_resources.empty()) {
    ComRef<ISkinResource> resource;
    if (FAILED(site_->CreateResource(resource.receive())) || !resource ||
        FAILED(resource->Load(paths_.shared_resources.c_str())) || FAILED(site_->RegisterResource(resource.get()))) {
      return false;
    }
  }
  return true;
}

std::optional<int> CSkinComponent::Scale(int pixels) const {
  auto scale = GetProcAddressAs<SkinScaleFn>(site_library_.get(), "scale");
  if (!scale) return std::nullopt;
  return scale(pixels);
}

void CSkinComponent::SetDpiFlag(int flag) const {
  if (auto set_dpi_flag = GetProcAddressAs<SetDpiFlagFn>(site_library_.get(), "set_dpi_flag")) set_dpi_flag(flag);
}

}  // namespace velmora
