#include "support/win32/WindowDriver.h"

#include <thread>

#include "platform/Text.h"

namespace qsi::test {

namespace {

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
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
  std::tuple<DWORD, std::string_view, HWND> search{processId, title, nullptr};
  waitFor(
      [&] {
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
              auto& [id, wanted, found] = *reinterpret_cast<decltype(search)*>(data);
              DWORD owner = 0;
              GetWindowThreadProcessId(window, &owner);
              if (owner == id && IsWindowVisible(window) && textOf(window) == wanted)
                found = window;
              return found == nullptr;
            },
            reinterpret_cast<LPARAM>(&search));
        return std::get<HWND>(search) != nullptr;
      },
      timeout);
  return std::get<HWND>(search);
}

bool waitUntilGone(HWND window, std::chrono::milliseconds timeout) {
  return waitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeout);
}

std::vector<Control> controlsOf(HWND window) {
  std::vector<Control> controls;
  EnumChildWindows(
      window,
      [](HWND child, LPARAM data) -> BOOL {
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        reinterpret_cast<std::vector<Control>*>(data)->push_back(
            {child, name, textOf(child), static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE)),
             GetDlgCtrlID(child)});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&controls));
  return controls;
}

bool pressButton(HWND window, std::string_view caption) {
  for (const Control& control : controlsOf(window))
    if (platform::iequals(control.className, "Button") &&
        platform::replaceAll(control.text, "&", "") == caption)
      return PostMessageA(window, WM_COMMAND, MAKEWPARAM(control.id, BN_CLICKED),
                          reinterpret_cast<LPARAM>(control.handle)) != 0;
  return false;
}

}  // namespace qsi::test
