#include "platform/win32/Dispatch.h"

#include <objbase.h>
#include <oleauto.h>

#include <deque>
#include <utility>
#include <vector>

#include "platform/Failure.h"

namespace qsi::platform {

std::wstring toWide(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  std::wstring wide(
      static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0)),
      L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

std::string fromWide(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  std::string narrow(static_cast<std::size_t>(WideCharToMultiByte(CP_ACP, 0, text.data(), size,
                                                                  nullptr, 0, nullptr, nullptr)),
                     '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), size, narrow.data(), static_cast<int>(narrow.size()),
                      nullptr, nullptr);
  return narrow;
}

ComApartment::ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}

ComApartment::~ComApartment() {
  // Only a successful initialization (S_OK or S_FALSE) is balanced.
  if (SUCCEEDED(result_)) CoUninitialize();
}

// A VARIANT, cleared when the object goes.
class Dispatch::Result {
 public:
  Result() { VariantInit(&value); }
  ~Result() { VariantClear(&value); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  VARIANT value;
};

namespace {

// A BSTR, freed when the object goes.
class Bstr {
 public:
  explicit Bstr(std::string_view text) {
    const std::wstring wide = toWide(text);
    value_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  }
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  [[nodiscard]] BSTR get() const { return value_; }

 private:
  BSTR value_;
};

std::shared_ptr<IDispatch> adopt(IDispatch* object) {
  return {object, [](IDispatch* p) {
            if (p != nullptr) p->Release();
          }};
}

std::string describe(HRESULT result) {
  return win32ErrorText(static_cast<unsigned long>(result));
}

}  // namespace

Dispatch::Dispatch(std::shared_ptr<ComApartment> apartment, std::shared_ptr<IDispatch> object,
                   std::string source)
    : apartment_(std::move(apartment)), object_(std::move(object)), source_(std::move(source)) {}

void Dispatch::fail(long result, std::string_view name, std::string description) const {
  if (description.empty()) description = describe(result);
  throw Failure(result, source_, std::string(name) + ": " + description);
}

Dispatch Dispatch::create(std::string_view progId) {
  auto apartment = std::make_shared<ComApartment>();
  CLSID clsid{};
  // An object that cannot be made is a service this machine does not have.
  const auto unavailable = [&](HRESULT result) {
    throw ServiceUnavailable(result, std::string(progId), "CreateObject: " + describe(result));
  };
  HRESULT result = CLSIDFromProgID(toWide(progId).c_str(), &clsid);
  if (FAILED(result)) unavailable(result);
  IDispatch* object = nullptr;
  result = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                            reinterpret_cast<void**>(&object));
  if (FAILED(result)) unavailable(result);
  return Dispatch(std::move(apartment), adopt(object), std::string(progId));
}

void Dispatch::invoke(std::string_view name, std::initializer_list<DispatchArgument> arguments,
                      Result& result) const {
  std::wstring wideName = toWide(name);
  LPOLESTR names[] = {wideName.data()};
  DISPID id = 0;
  HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) fail(hr, name);

  // IDispatch takes the arguments last first.
  std::deque<Bstr> texts;
  std::vector<VARIANT> values(arguments.size());
  std::size_t slot = arguments.size();
  for (const DispatchArgument& argument : arguments) {
    VARIANT& value = values[--slot];
    VariantInit(&value);
    if (const auto* text = std::get_if<std::string_view>(&argument)) {
      value.vt = VT_BSTR;
      value.bstrVal = texts.emplace_back(*text).get();
    } else {
      value.vt = VT_I4;
      value.lVal = std::get<long>(argument);
    }
  }
  DISPPARAMS parameters{values.data(), nullptr, static_cast<UINT>(values.size()), 0};
  EXCEPINFO exception{};
  hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                       &parameters, &result.value, &exception, nullptr);
  if (hr == DISP_E_EXCEPTION) {
    if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
    const std::string description =
        exception.bstrDescription != nullptr ? fromWide(exception.bstrDescription) : "";
    const HRESULT code = FAILED(exception.scode) ? exception.scode : hr;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    fail(code, name, description);
  }
  if (FAILED(hr)) fail(hr, name);
}

void Dispatch::call(std::string_view name,
                    std::initializer_list<DispatchArgument> arguments) const {
  Result result;
  invoke(name, arguments, result);
}

Dispatch Dispatch::object(std::string_view name,
                          std::initializer_list<DispatchArgument> arguments) const {
  Result result;
  invoke(name, arguments, result);
  if (result.value.vt != VT_DISPATCH || result.value.pdispVal == nullptr)
    fail(DISP_E_TYPEMISMATCH, name, "the call gave no object");
  IDispatch* object = result.value.pdispVal;
  object->AddRef();  // the Result releases its own reference
  return Dispatch(apartment_, adopt(object), source_);
}

std::string Dispatch::text(std::string_view name,
                           std::initializer_list<DispatchArgument> arguments) const {
  Result result;
  invoke(name, arguments, result);
  if (result.value.vt == VT_EMPTY || result.value.vt == VT_NULL) return {};
  const HRESULT hr = VariantChangeType(&result.value, &result.value, 0, VT_BSTR);
  if (FAILED(hr)) fail(hr, name);
  return fromWide({result.value.bstrVal, SysStringLen(result.value.bstrVal)});
}

long Dispatch::number(std::string_view name,
                      std::initializer_list<DispatchArgument> arguments) const {
  Result result;
  invoke(name, arguments, result);
  const HRESULT hr = VariantChangeType(&result.value, &result.value, 0, VT_I4);
  if (FAILED(hr)) fail(hr, name);
  return result.value.lVal;
}

}  // namespace qsi::platform
