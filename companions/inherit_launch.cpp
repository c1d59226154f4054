#include "companions/inherit_launch.h"

#include <optional>
#include <vector>

#include "platform/trust.h"

namespace velmora {
namespace {

// Owns an attribute list naming the one handle to inherit.
class HandleListAttribute {
 public:
  explicit HandleListAttribute(HANDLE* handle) {
    SIZE_T size = 0;
    // The first call only measures: it fails with ERROR_INSUFFICIENT_BUFFER and sets `size`.
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return;
    buffer_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    if (!::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handle, sizeof(*handle), nullptr,
                                     nullptr)) {
      ::DeleteProcThreadAttributeList(list);
      return;
    }
    list_ = list;
  }
  ~HandleListAttribute() {
    if (list_) ::DeleteProcThreadAttributeList(list_);
  }
  HandleListAttribute(const HandleListAttribute&) = delete;
  HandleListAttribute& operator=(const HandleListAttribute&) = delete;

  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  std::vector<BYTE> buffer_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

bool Create(std::wstring command_line, LPPROC_THREAD_ATTRIBUTE_LIST attributes) {
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = attributes ? sizeof(STARTUPINFOEXW) : sizeof(STARTUPINFOW);
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = SW_SHOW;
  startup.lpAttributeList = attributes;
  const DWORD flags = NORMAL_PRIORITY_CLASS | (attributes ? EXTENDED_STARTUPINFO_PRESENT : 0);
  PROCESS_INFORMATION info{};
  // CreateProcessW may write into the command line: it gets a copy of its own. Its error stays
  // the thread's last error for the caller.
  if (!::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, /*bInheritHandles=*/TRUE, flags, nullptr,
                        nullptr, &startup.StartupInfo, &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

}  // namespace

bool IsHandleListRefusal(DWORD error) { return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED; }

bool LaunchCommandInheriting(const std::wstring& path, const std::wstring& parameters, HANDLE handle,
                             InheritMode* mode) {
  if (!handle || handle == INVALID_HANDLE_VALUE) return false;
  // Held from its check until the start has returned: what starts is what was checked.
  const std::optional<CheckedFile> file = HoldTrustedFile(path, /*to_start=*/true);
  if (!file) return false;
  const std::wstring command_line = L"\"" + file->path + L"\" " + parameters;
  // A handle list may only name inheritable handles; the flag is taken back below.
  if (!::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return false;
  bool started = false;
  InheritMode used = InheritMode::kHandleList;
  {
    HANDLE listed = handle;
    const HandleListAttribute attribute(&listed);
    // A system without handle lists cannot make the attribute, or refuses it (or the list) rather
    // than starting anything; then the child inherits every inheritable handle, as before handle
    // lists existed. A start that failed for any other reason is not tried that way.
    bool refused = !attribute.get();
    if (!refused) {
      started = Create(command_line, attribute.get());
      refused = !started && IsHandleListRefusal(::GetLastError());
    }
    if (refused) {
      used = InheritMode::kAllInheritable;
      started = Create(command_line, nullptr);
    }
  }
  ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
  if (started && mode) *mode = used;
  return started;
}

}  // namespace velmora
