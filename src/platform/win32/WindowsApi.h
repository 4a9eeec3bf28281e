#pragma once

// <windows.h> for the Win32 backends and front-end, without the macros that
// would rename our own names (MessageBox is a type of the platform layer;
// min and max are the standard library's).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#undef MessageBox

#include <string>

namespace qsi::platform {

// The system's text for an error code or HRESULT (FormatMessage), without its
// trailing line break; "Error 0x800401F3" when the system has none.
[[nodiscard]] std::string win32ErrorText(unsigned long error);

// A kernel handle, closed when the object goes.
class Handle {
 public:
  explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  [[nodiscard]] HANDLE get() const { return handle_; }
  [[nodiscard]] bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

}  // namespace qsi::platform
