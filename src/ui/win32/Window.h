#pragma once

#include <string>
#include <string_view>

#include "platform/win32/WindowsApi.h"

namespace qsi::ui::win32 {

// A top-level window of ours: its messages reach onMessage. Destroyed with
// the object, if it is still there.
class Window {
 public:
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  [[nodiscard]] HWND handle() const { return hwnd_; }

 protected:
  Window() = default;
  // Registers the class on first use and creates the window.
  void create(const char* className, DWORD exStyle, DWORD style, std::string_view title, int width,
              int height, HWND owner);
  virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
};

// The Tahoma font of the installer's windows, deleted with the object.
class Font {
 public:
  Font();
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  [[nodiscard]] HFONT get() const { return font_; }

 private:
  HFONT font_;
};

// A child control with its font.
HWND createControl(HWND parent, const char* className, std::string_view text, DWORD style, int id,
                   const Font& font, DWORD exStyle = 0);
void place(HWND control, int x, int y, int width, int height);

// A window's text, and setting it; line breaks become CR LF, which the
// multi-line edit control needs.
[[nodiscard]] std::string windowText(HWND window);
void setWindowText(HWND window, std::string_view text);

}  // namespace qsi::ui::win32
