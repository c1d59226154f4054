#include "view/shell_resource_request.h"

#include <cstring>

ShellResourceRequestDetails::ShellResourceRequestDetails() { std::memset(static_cast<void*>(this), 0, sizeof(*this)); }

ShellResourceRequestDetails::~ShellResourceRequestDetails() = default;

ShellResourceRequestDetails& ShellResourceRequestDetails::operator=(const ShellResourceRequestDetails& other) {
  if (this != &other) std::memcpy(static_cast<void*>(this), &other, sizeof(*this));
  return *this;
}
