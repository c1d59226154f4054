// The plain record the browser shell builds for each resource request it asks the program
// about. The program never fills one; the executable exports the record's constructor,
// destructor and assignment for the shell, under the names the shell imports.
#pragma once

#include <cstddef>
#include <cstdint>

struct ShellResourceRequestDetails {
  ShellResourceRequestDetails();   // all zero
  ~ShellResourceRequestDetails();  // nothing to release
  ShellResourceRequestDetails& operator=(const ShellResourceRequestDetails& other);  // all bytes

  char url[8192];
  bool flag1;
  int32_t value1;
  int32_t value2;
  int32_t value3;
  bool flag2;
  int32_t value4;
  int32_t value5;
  char text2[2048];
  int32_t value6;
  char text3[2048];
};

static_assert(sizeof(ShellResourceRequestDetails) == 12320, "the shell's record size");
static_assert(offsetof(ShellResourceRequestDetails, flag1) == 8192 && offsetof(ShellResourceRequestDetails, value1) == 8196 &&
                  offsetof(ShellResourceRequestDetails, value3) == 8204 && offsetof(ShellResourceRequestDetails, flag2) == 8208 &&
                  offsetof(ShellResourceRequestDetails, value4) == 8212 && offsetof(ShellResourceRequestDetails, value5) == 8216 &&
                  offsetof(ShellResourceRequestDetails, text2) == 8220 && offsetof(ShellResourceRequestDetails, value6) == 10268 &&
                  offsetof(ShellResourceRequestDetails, text3) == 10272,
              "the shell's record layout");
