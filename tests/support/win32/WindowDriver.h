#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/WindowsApi.h"

// The tests' hands on Windows, from outside the window's thread.
namespace qsi::test {

using namespace std::chrono_literals;

// A visible top-level window of the process with this title; nullptr when none came.
[[nodiscard]] HWND waitForWindow(DWORD processId, std::string_view title,
                                 std::chrono::milliseconds timeout = 30s);
bool waitUntilGone(HWND window, std::chrono::milliseconds timeout = 30s);

struct Control {
  HWND handle = nullptr;
  std::string className;
  std::string text;
  DWORD style = 0;
  int id = 0;
};
[[nodiscard]] std::vector<Control> controlsOf(HWND window);
[[nodiscard]] std::string textOf(HWND window);

// Posts the click of the button with this caption ("&" marks aside); false
// when the window has none.
bool pressButton(HWND window, std::string_view caption);

}  // namespace qsi::test
