#include "app/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/module_path.h"

namespace velmora {
namespace {

bool IsBareValue(std::wstring_view arg) {
  return arg.size() < 2 || (arg[0] != L'-' && arg[0] != L'/');
}

}  // namespace

std::wstring LowerCaseText(std::wstring_view text) {
  std::wstring out(text);
  if (!out.empty()) ::CharLowerBuffW(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

std::vector<std::wstring> ProcessArguments() {
  std::vector<std::wstring> args;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!argv) return args;
  for (int i = 0; i < count; ++i) args.emplace_back(argv[i]);
  ::LocalFree(argv);
  return args;
}

std::wstring ProgramFileName() {
  const std::wstring path = GetModulePath(nullptr);
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

CCommandLine& CCommandLine::Instance() {
  static CCommandLine* table = [] {
    auto* parsed = new CCommandLine();  // lives until the process ends
    parsed->Parse(ProcessArguments(), ProgramFileName());
    return parsed;
  }();
  return *table;
}

int CCommandLine::Parse(const std::vector<std::wstring>& args, std::wstring_view program_name) {
  raw_arguments_.clear();
  switches_.clear();
  const std::wstring lower_program = LowerCaseText(program_name);
  // The program path is any argument naming our own file after its first character.
  auto is_program_path = [&](const std::wstring& arg) {
    return !lower_program.empty() && LowerCaseText(arg).find(lower_program, 1) != std::wstring::npos;
  };

  int entered = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (is_program_path(arg)) continue;
    raw_arguments_ += arg;
    raw_arguments_ += L' ';

    if (IsBareValue(arg)) {
      auto unnamed = switches_.find(std::wstring());
      if (unnamed != switches_.end()) unnamed->second.push_back(arg);
      continue;
    }

    std::wstring name = arg;
    std::vector<std::wstring> values;
    size_t split = arg.find(L'=', 1);
    if (split == std::wstring::npos) split = arg.find(L':', 1);
    if (split != std::wstring::npos) {
      name = arg.substr(0, split);
      values.push_back(arg.substr(split + 1));
    }
    // A bare word after a switch is that switch's next value; it still travels with the raw
    // arguments so that a relaunch passes it on.
    if (i + 1 < args.size() && IsBareValue(args[i + 1])) {
      values.push_back(args[++i]);
      raw_arguments_ += args[i];
      raw_arguments_ += L' ';
    }

    const size_t dashes = name.find_first_not_of(L'-');
    name.erase(0, dashes == std::wstring::npos ? name.size() : dashes);
    const size_t slashes = name.find_first_not_of(L'/');
    name.erase(0, slashes == std::wstring::npos ? name.size() : slashes);
    if (name.empty()) continue;
    if (values.empty()) values.emplace_back();

    auto& entry = switches_[LowerCaseText(name)];
    entry.insert(entry.end(), values.begin(), values.end());
    ++entered;
  }
  return entered;
}

bool CCommandLine::HasSwitch(std::wstring_view name) const {
  return switches_.find(LowerCaseText(name)) != switches_.end();
}

std::wstring CCommandLine::GetSwitchValue(std::wstring_view name, size_t index) const {
  auto it = switches_.find(LowerCaseText(name));
  if (it == switches_.end() || index >= it->second.size()) return {};
  return it->second[index];
}

size_t CCommandLine::GetSwitchValueCount(std::wstring_view name) const {
  auto it = switches_.find(LowerCaseText(name));
  return it == switches_.end() ? 0 : it->second.size();
}

}  // namespace velmora
