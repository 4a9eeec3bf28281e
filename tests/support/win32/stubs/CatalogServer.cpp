// A COM server for the tests, reached through IDispatch as the installer
// reaches the MTS catalog: QSolutionInstaller.TestCatalog is the catalog
// kept in the registry file that QSI_STUB_REGISTRY names (RegistryMtsCatalog).
// Every call is noted as "Name(argument, ...)" in the file that
// QSI_STUB_CALLS names. A failing call gives DISP_E_EXCEPTION with the
// failure's description.
#include "platform/win32/Dispatch.h"

// COM interfaces have no virtual destructor: objects go by Release.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Failure.h"
#include "platform/MtsCatalog.h"
#include "platform/RegFileRegistry.h"

namespace {

using namespace qsi::platform;

// {5B1E2C10-8E34-4C55-9A61-0D1C2E3F4A01}
constexpr CLSID kCatalogClass = {
    0x5b1e2c10, 0x8e34, 0x4c55, {0x9a, 0x61, 0x0d, 0x1c, 0x2e, 0x3f, 0x4a, 0x01}};

std::string variable(const char* name) {
  char buffer[1024];
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string textOf(const VARIANT& value) {
  VARIANT copy;
  VariantInit(&copy);
  std::string text;
  if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&value), 0, VT_BSTR)))
    text = fromWide({copy.bstrVal, SysStringLen(copy.bstrVal)});
  VariantClear(&copy);
  return text;
}

long numberOf(const VARIANT& value) {
  VARIANT copy;
  VariantInit(&copy);
  if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&value), 0, VT_I4)))
    throw Failure(DISP_E_TYPEMISMATCH, "stub", "not a number");
  return copy.lVal;
}

void note(const std::string& call) {
  const std::string file = variable("QSI_STUB_CALLS");
  if (file.empty()) return;
  if (std::FILE* out = std::fopen(file.c_str(), "ab")) {
    std::fprintf(out, "%s\n", call.c_str());
    std::fclose(out);
  }
}

// A COM object of one interface, kept alive by its own reference while COM holds it.
template <typename Interface, const IID& kInterface>
class Counted : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    *out = id == IID_IUnknown || id == kInterface ? static_cast<Interface*>(this) : nullptr;
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) self_.reset();  // the last statement that touches this object
    return left;
  }

 protected:
  template <typename T>
  static T* keep(std::shared_ptr<T> object) {
    object->self_ = object;
    return object.get();
  }

 private:
  ULONG references_ = 1;
  std::shared_ptr<Counted> self_;
};

using Arguments = std::vector<const VARIANT*>;
using Method = std::function<void(const Arguments&, VARIANT*)>;

// An object whose methods and properties are looked up by name.
class Object final : public Counted<IDispatch, IID_IDispatch> {
 public:
  static IDispatch* make(std::vector<std::pair<std::string, Method>> methods) {
    auto object = std::make_shared<Object>();
    object->methods_ = std::move(methods);
    return keep(std::move(object));
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      const std::string name = fromWide(names[i]);
      for (std::size_t m = 0; m < methods_.size(); ++m)
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), -1,
                           methods_[m].first.c_str(), -1) == CSTR_EQUAL)
          ids[i] = static_cast<DISPID>(m + 1);
      if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override {
    if (id < 1 || static_cast<std::size_t>(id) > methods_.size()) return DISP_E_MEMBERNOTFOUND;
    const auto& [name, method] = methods_[static_cast<std::size_t>(id - 1)];
    Arguments arguments;
    std::string call = name + "(";
    for (UINT i = parameters->cArgs; i-- > 0;) {
      arguments.push_back(&parameters->rgvarg[i]);
      call += (arguments.size() > 1 ? ", " : "") + textOf(parameters->rgvarg[i]);
    }
    note(call + ")");
    VARIANT ignored;
    VariantInit(&ignored);
    try {
      method(arguments, result != nullptr ? result : &ignored);
      VariantClear(&ignored);
      return S_OK;
    } catch (const std::exception& failure) {
      if (exception != nullptr) {
        *exception = {};
        exception->scode = E_FAIL;
        exception->bstrDescription = SysAllocString(toWide(failure.what()).c_str());
      }
      return DISP_E_EXCEPTION;
    }
  }

 private:
  std::vector<std::pair<std::string, Method>> methods_;
};

void setObject(VARIANT* result, IDispatch* object) {
  result->vt = VT_DISPATCH;
  result->pdispVal = object;
}
void setNumber(VARIANT* result, long number) {
  result->vt = VT_I4;
  result->lVal = number;
}
void setText(VARIANT* result, const std::string& text) {
  result->vt = VT_BSTR;
  result->bstrVal = SysAllocString(toWide(text).c_str());
}

IDispatch* collectionObject(std::shared_ptr<Registry> store,
                            std::shared_ptr<CatalogCollection> collection) {
  return Object::make({
      {"Populate", [=](const Arguments&, VARIANT*) { collection->populate(); }},
      {"Count", [=](const Arguments&, VARIANT* r) { setNumber(r, collection->count()); }},
      {"Item",
       [=](const Arguments& a, VARIANT* r) {
         std::shared_ptr<CatalogObject> item = collection->item(numberOf(*a.at(0)));
         setObject(r, Object::make({{"Value", [=](const Arguments& v, VARIANT* r2) {
                                       setText(r2, item->value(textOf(*v.at(0))));
                                     }}}));
       }},
      {"GetCollection",
       [=](const Arguments& a, VARIANT* r) {
         setObject(r, collectionObject(
                          store, collection->getCollection(textOf(*a.at(0)), textOf(*a.at(1)))));
       }},
      {"GetUtilInterface",
       [=](const Arguments&, VARIANT* r) {
         std::shared_ptr<ComponentUtil> util = collection->getUtilInterface();
         setObject(r, Object::make({{"InstallComponent", [=](const Arguments& v, VARIANT*) {
                                       util->installComponent(textOf(*v.at(0)), textOf(*v.at(1)),
                                                              textOf(*v.at(2)));
                                     }}}));
       }},
      {"Remove", [=](const Arguments& a, VARIANT*) { collection->remove(numberOf(*a.at(0))); }},
      {"SaveChanges",
       [=](const Arguments&, VARIANT* r) { setNumber(r, collection->saveChanges()); }},
  });
}

IDispatch* catalogObject() {
  auto store = std::make_shared<RegFileRegistry>(variable("QSI_STUB_REGISTRY"));
  auto catalog = std::make_shared<RegistryMtsCatalog>(*store);
  return Object::make({{"GetCollection", [=](const Arguments& a, VARIANT* r) {
                          setObject(
                              r, collectionObject(store, catalog->getCollection(textOf(*a.at(0)))));
                        }}});
}

class Factory final : public Counted<IClassFactory, IID_IClassFactory> {
 public:
  static IClassFactory* make() { return keep(std::make_shared<Factory>()); }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    IDispatch* object = catalogObject();
    const HRESULT result = object->QueryInterface(id, out);
    object->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID which, REFIID id, void** out) {
  *out = nullptr;
  if (which != kCatalogClass) return CLASS_E_CLASSNOTAVAILABLE;
  IClassFactory* factory = Factory::make();
  const HRESULT result = factory->QueryInterface(id, out);
  factory->Release();
  return result;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return S_FALSE;  // the tests' process keeps it to its end
}
