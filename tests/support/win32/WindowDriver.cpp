#include "support/win32/WindowDriver.h"

#include <thread>

#include "platform/Text.h"

namespace qsi::test {

namespace {

struct Search {
  DWORD processId;
  std::string_view title;
  HWND found = nullptr;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search.processId || !IsWindowVisible(window) || textOf(window) != search.title)
    return TRUE;
  search.found = window;
  return FALSE;
}

BOOL CALLBACK addControl(HWND window, LPARAM data) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  reinterpret_cast<std::vector<Control>*>(data)->push_back(
      {window, name, textOf(window), static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)),
       GetDlgCtrlID(window)});
  return TRUE;
}

template <typename Condition>
bool waitFor(Condition&& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

}  // namespace

std::string textOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
    return {};
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(copied);
  return text;
}

HWND waitForWindow(DWORD processId, std::string_view title, std::chrono::milliseconds timeout) {
  Search search{processId, title};
  waitFor(
      [&] {
        EnumWindows(&matchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeout);
  return search.found;
}

bool waitUntilGone(HWND window, std::chrono::milliseconds timeout) {
  return waitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeout);
}

std::vector<Control> controlsOf(HWND window) {
  std::vector<Control> controls;
  EnumChildWindows(window, &addControl, reinterpret_cast<LPARAM>(&controls));
  return controls;
}

bool pressButton(HWND window, std::string_view caption) {
  for (const Control& control : controlsOf(window)) {
    if (!platform::iequals(control.className, "Button") ||
        platform::replaceAll(control.text, "&", "") != caption)
      continue;
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(control.id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control.handle)) != 0;
  }
  return false;
}

}  // namespace qsi::test
