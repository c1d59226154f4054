// Hostile page calls for the stand-in shell's "fuzz" step: every page command name in case and
// whitespace variants and unknown names, arguments with every key and every JSON type, null,
// huge arrays and strings, invalid UTF-8, deep nesting, malformed text and missing names. The
// same seed gives the same calls.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace standin {

struct FuzzCall {
  std::optional<std::string> name;       // none: a call without a name
  std::optional<std::string> arguments;  // none: a call without arguments text
  int command = -1;                       // the kFuzzCommands entry the name was made from
};

class PageFuzz {
 public:
  explicit PageFuzz(uint32_t seed) : random_(seed) {}
  FuzzCall Next();

 private:
  size_t Below(size_t bound) { return std::uniform_int_distribution<size_t>(0, bound - 1)(random_); }
  bool OneIn(size_t n) { return Below(n) == 0; }
  std::string Name(int* command);
  std::string Arguments();
  std::string Object(int depth);
  std::string Value(int depth);
  std::string Text();

  std::mt19937 random_;
};

// The page commands the fuzz calls, without those that end the side bar ("Close", "closeModal").
extern const char* const kFuzzCommands[];
extern const size_t kFuzzCommandCount;

}  // namespace standin
