// Starting a program that must inherit exactly one handle of ours (the AI assistant reads its
// hand-off section through it). Main thread or workers; no state.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// How the child was given the handle.
enum class InheritMode {
  kHandleList,  // only `handle` was inheritable for this start (PROC_THREAD_ATTRIBUTE_HANDLE_LIST)
  kAllInheritable,  // the system refused the handle list: every inheritable handle went along
};

// Whether a start with a handle list failed because the system refused the list or the attribute
// itself (ERROR_INVALID_PARAMETER, ERROR_NOT_SUPPORTED: systems before handle lists existed). Only
// then is the start tried again with every inheritable handle; any other failure is the start's
// own and ends the launch. Pure.
bool IsHandleListRefusal(DWORD error);

// Starts `path` with the command line "\"path\" parameters" (no application name, normal
// priority, window shown), after the launcher's trust rule (LaunchableFile), and lets the child
// inherit `handle`. `handle` is inheritable only while the process is created: its inherit flag
// is cleared again before this returns, so no later start takes it along. The process and thread
// handles are closed at once. False when refused or when the process could not be created; the
// mode used is stored in `*mode` (may be null) only on success.
[[nodiscard]] bool LaunchCommandInheriting(const std::wstring& path, const std::wstring& parameters, HANDLE handle,
                                           InheritMode* mode = nullptr);

}  // namespace velmora
