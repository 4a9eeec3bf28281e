#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/WindowsApi.h"

// The tests' hands on Windows: find the windows of a process by their title
// and press their buttons, as a user would, from outside the window's thread.
namespace qsi::test {

using namespace std::chrono_literals;

// A visible top-level window of the process with this exact title, waited
// for up to `timeout`; nullptr when none came.
[[nodiscard]] HWND waitForWindow(DWORD processId, std::string_view title,
                                 std::chrono::milliseconds timeout = 30s);
// True when the window is gone (or hidden) within `timeout`.
bool waitUntilGone(HWND window, std::chrono::milliseconds timeout = 30s);

struct Control {
  HWND handle = nullptr;
  std::string className;
  std::string text;
  DWORD style = 0;
  int id = 0;
};
// The child controls of a window, in their order.
[[nodiscard]] std::vector<Control> controlsOf(HWND window);
// The text of a window of another thread.
[[nodiscard]] std::string textOf(HWND window);

// Presses the button with this caption ("&" marks aside) by posting its
// WM_COMMAND to the window; false when the window has no such button.
bool pressButton(HWND window, std::string_view caption);

}  // namespace qsi::test
