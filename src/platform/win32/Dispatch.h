#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "platform/win32/WindowsApi.h"

// Late binding: COM objects created by program identifier and called by
// name through IDispatch, the way a script calls them.
struct IDispatch;

namespace qsi::platform {

// COM for the calling thread, from the first object created until the last
// one is released.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  long result_;
};

// An argument of a call: a text (sent as BSTR) or a whole number (VT_I4).
using DispatchArgument = std::variant<std::string_view, long>;

// One object reached through IDispatch, released when the last copy goes.
// Every failing call throws Failure: number the HRESULT, source the program
// identifier of the object the chain started from, description the call's
// name and the object's or the system's message.
class Dispatch {
 public:
  // CoCreateInstance on the program identifier.
  [[nodiscard]] static Dispatch create(std::string_view progId);

  // Calls a method or reads a property (DISPATCH_METHOD | DISPATCH_PROPERTYGET).
  void call(std::string_view name, std::initializer_list<DispatchArgument> arguments = {}) const;
  [[nodiscard]] Dispatch object(std::string_view name,
                                std::initializer_list<DispatchArgument> arguments = {}) const;
  [[nodiscard]] std::string text(std::string_view name,
                                 std::initializer_list<DispatchArgument> arguments = {}) const;
  [[nodiscard]] long number(std::string_view name,
                            std::initializer_list<DispatchArgument> arguments = {}) const;

 private:
  class Result;
  Dispatch(std::shared_ptr<ComApartment> apartment, std::shared_ptr<IDispatch> object,
           std::string source);
  void invoke(std::string_view name, std::initializer_list<DispatchArgument> arguments,
              Result& result) const;
  [[noreturn]] void fail(long result, std::string_view name, std::string description = {}) const;

  std::shared_ptr<ComApartment> apartment_;  // outlives the object
  std::shared_ptr<IDispatch> object_;
  std::string source_;
};

// Texts between the installer's ANSI code page and COM's UTF-16.
[[nodiscard]] std::wstring toWide(std::string_view text);
[[nodiscard]] std::string fromWide(std::wstring_view text);

}  // namespace qsi::platform
