// QSolutionInstaller.TestCatalog: the catalog (and RegisterComponent) kept in the registry
// file that QSI_STUB_REGISTRY names, reached through IDispatch as the MTS catalog is.
#include "platform/win32/Dispatch.h"

// COM interfaces have no virtual destructor: objects go by Release.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ComRegistrar.h"
#include "platform/MtsCatalog.h"
#include "platform/RegFileRegistry.h"

namespace {

using namespace qsi::platform;

// {5B1E2C10-8E34-4C55-9A61-0D1C2E3F4A01}
constexpr CLSID kCatalogClass = {
    0x5b1e2c10, 0x8e34, 0x4c55, {0x9a, 0x61, 0x0d, 0x1c, 0x2e, 0x3f, 0x4a, 0x01}};

// The arguments in their order; the installer sends texts as BSTR and numbers as VT_I4.
struct Arguments {
  std::vector<const VARIANT*> values;
  [[nodiscard]] std::string text(std::size_t i) const {
    return fromWide({values.at(i)->bstrVal, SysStringLen(values.at(i)->bstrVal)});
  }
  [[nodiscard]] long number(std::size_t i) const { return values.at(i)->lVal; }
};
using Method = std::function<void(const Arguments&, VARIANT*)>;

class Object final : public IDispatch {
 public:
  explicit Object(std::vector<std::pair<std::string, Method>> methods)
      : methods_(std::move(methods)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    *out = id == IID_IUnknown || id == IID_IDispatch ? this : nullptr;
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    std::fill_n(ids, count, DISPID_UNKNOWN);  // the names of arguments are not known
    for (std::size_t m = 0; m < methods_.size(); ++m)
      if (fromWide(names[0]) == methods_[m].first) ids[0] = static_cast<DISPID>(m + 1);
    return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override {
    if (id < 1 || static_cast<std::size_t>(id) > methods_.size()) return DISP_E_MEMBERNOTFOUND;
    Arguments arguments;
    for (UINT i = parameters->cArgs; i-- > 0;) arguments.values.push_back(&parameters->rgvarg[i]);
    try {  // the installer always asks for the result
      methods_[static_cast<std::size_t>(id - 1)].second(arguments, result);
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
  ULONG references_ = 1;
  std::vector<std::pair<std::string, Method>> methods_;
};

void setObject(VARIANT* result, std::vector<std::pair<std::string, Method>> methods) {
  result->vt = VT_DISPATCH;
  result->pdispVal = new Object(std::move(methods));
}
void setNumber(VARIANT* result, long number) {
  result->vt = VT_I4;
  result->lVal = number;
}

// `store` is kept alive by every object that reaches the catalog kept in it.
void setCollection(VARIANT* result, std::shared_ptr<Registry> store,
                   std::shared_ptr<CatalogCollection> collection) {
  setObject(result,
            {
                {"Populate", [=](const Arguments&, VARIANT*) { collection->populate(); }},
                {"Count", [=](const Arguments&, VARIANT* r) { setNumber(r, collection->count()); }},
                {"Item",
                 [=](const Arguments& a, VARIANT* r) {
                   std::shared_ptr<CatalogObject> item = collection->item(a.number(0));
                   setObject(r, {{"Value", [=](const Arguments& v, VARIANT* value) {
                                    value->vt = VT_BSTR;
                                    value->bstrVal =
                                        SysAllocString(toWide(item->value(v.text(0))).c_str());
                                  }}});
                 }},
                {"GetCollection",
                 [=](const Arguments& a, VARIANT* r) {
                   setCollection(r, store, collection->getCollection(a.text(0), a.text(1)));
                 }},
                {"GetUtilInterface",
                 [=](const Arguments&, VARIANT* r) {
                   std::shared_ptr<ComponentUtil> util = collection->getUtilInterface();
                   setObject(r, {{"InstallComponent", [=](const Arguments& v, VARIANT*) {
                                    util->installComponent(v.text(0), v.text(1), v.text(2));
                                  }}});
                 }},
                {"Remove", [=](const Arguments& a, VARIANT*) { collection->remove(a.number(0)); }},
                {"SaveChanges",
                 [=](const Arguments&, VARIANT* r) { setNumber(r, collection->saveChanges()); }},
            });
}

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    *out = id == IID_IUnknown || id == IID_IClassFactory ? this : nullptr;
    return *out == nullptr ? E_NOINTERFACE : S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    char path[1024];
    const DWORD length = GetEnvironmentVariableA("QSI_STUB_REGISTRY", path, sizeof path);
    auto store =
        std::make_shared<RegFileRegistry>(std::string(path, length < sizeof path ? length : 0));
    auto catalog = std::make_shared<RegistryMtsCatalog>(*store);
    VARIANT object;
    setObject(&object, {{"GetCollection",
                         [=](const Arguments& a, VARIANT* r) {
                           setCollection(r, store, catalog->getCollection(a.text(0)));
                         }},
                        {"RegisterComponent", [=](const Arguments& a, VARIANT*) {
                           RegistryComRegistrar(*store).registerComponent(a.text(0));
                         }}});
    const HRESULT result = object.pdispVal->QueryInterface(id, out);
    object.pdispVal->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID which, REFIID id, void** out) {
  static Factory factory;  // the tests' process keeps the server to its end
  *out = nullptr;
  return which == kCatalogClass ? factory.QueryInterface(id, out) : CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return S_FALSE;
}
