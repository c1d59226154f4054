// The process's command-line table: switches with their values and the raw argument string
// that relaunches pass on.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class CCommandLine {
 public:
  // The process-wide table, parsed from the process's own arguments on first use.
  // Main thread; the first call must happen before any worker thread asks for it.
  static CCommandLine& Instance();

  // Parses `args` (the whole argument vector, program path included). `program_name` is the
  // program's own file name; an argument that contains it after its first character is the
  // program path and is skipped. Returns the number of switches entered. Replaces any earlier
  // parse.
  int Parse(const std::vector<std::wstring>& args, std::wstring_view program_name);

  bool HasSwitch(std::wstring_view name) const;
  // The value at `index` of the switch (the empty string when the switch or the value is absent).
  std::wstring GetSwitchValue(std::wstring_view name, size_t index = 0) const;
  size_t GetSwitchValueCount(std::wstring_view name) const;
  size_t SwitchCount() const { return switches_.size(); }

  // Every kept argument followed by one space, in order ("/inst /from=x ").
  const std::wstring& RawArguments() const { return raw_arguments_; }

 private:
  std::wstring raw_arguments_;
  std::map<std::wstring, std::vector<std::wstring>> switches_;
};

// Lower-cases with the system's case table (CharLowerBuffW), as names typed by users may use
// any letters.
std::wstring LowerCaseText(std::wstring_view text);

// The arguments of the running process (CommandLineToArgvW of GetCommandLineW).
std::vector<std::wstring> ProcessArguments();

// The last component of the program's module path.
std::wstring ProgramFileName();

}  // namespace velmora
