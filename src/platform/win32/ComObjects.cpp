#include <utility>

#include "platform/ComRegistrar.h"
#include "platform/Failure.h"
#include "platform/MtsCatalog.h"
#include "platform/win32/Dispatch.h"

namespace qsi::platform {

namespace {

class DispatchObject final : public CatalogObject {
 public:
  explicit DispatchObject(Dispatch object) : object_(std::move(object)) {}
  [[nodiscard]] std::string value(std::string_view property) const override {
    return object_.text("Value", {property});
  }

 private:
  Dispatch object_;
};

class DispatchComponentUtil final : public ComponentUtil {
 public:
  explicit DispatchComponentUtil(Dispatch util) : util_(std::move(util)) {}
  void installComponent(std::string_view dll, std::string_view typeLibrary,
                        std::string_view proxyStubDll) override {
    util_.call("InstallComponent", {dll, typeLibrary, proxyStubDll});
  }

 private:
  Dispatch util_;
};

class DispatchCollection final : public CatalogCollection {
 public:
  explicit DispatchCollection(Dispatch collection) : collection_(std::move(collection)) {}

  void populate() override { collection_.call("Populate"); }
  [[nodiscard]] long count() const override { return collection_.number("Count"); }
  [[nodiscard]] std::unique_ptr<CatalogObject> item(long index) const override {
    return std::make_unique<DispatchObject>(collection_.object("Item", {index}));
  }
  [[nodiscard]] std::unique_ptr<CatalogCollection> getCollection(std::string_view name,
                                                                 std::string_view key) override {
    return std::make_unique<DispatchCollection>(collection_.object("GetCollection", {name, key}));
  }
  [[nodiscard]] std::unique_ptr<ComponentUtil> getUtilInterface() override {
    return std::make_unique<DispatchComponentUtil>(collection_.object("GetUtilInterface"));
  }
  void remove(long index) override { collection_.call("Remove", {index}); }
  long saveChanges() override { return collection_.number("SaveChanges"); }

 private:
  Dispatch collection_;
};

}  // namespace

// A failing call throws Failure with the HRESULT and the object's text.
void Win32ComRegistrar::registerComponent(const std::filesystem::path& dll) {
  const std::string path = dll.string();
  Dispatch::create(progId_).call("RegisterComponent", {path});
}

void Win32ComRegistrar::unregisterComponent(const std::filesystem::path& dll) {
  const std::string path = dll.string();
  Dispatch::create(progId_).call("UnregisterComponent", {path});
}

std::unique_ptr<CatalogCollection> Win32MtsCatalog::getCollection(std::string_view name) {
  return std::make_unique<DispatchCollection>(
      Dispatch::create(progId_).object("GetCollection", {name}));
}

}  // namespace qsi::platform
