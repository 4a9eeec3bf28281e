#include "platform/win32/WindowsApi.h"

#include <cstdio>

namespace qsi::platform {

std::string win32ErrorText(unsigned long error) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length != 0 ? std::string(buffer, length) : std::string();
  LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  if (text.empty()) {
    // A code the system has no text for: an HRESULT reads in hexadecimal.
    char code[32];
    std::snprintf(code, sizeof code, error > 0xFFFF ? "Error 0x%08lX" : "Error %lu", error);
    text = code;
  }
  return text;
}

}  // namespace qsi::platform
