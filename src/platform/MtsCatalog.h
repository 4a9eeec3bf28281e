#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Registry.h"

// The transaction server's administration catalog, one operation for each of
// the catalog's own: GetCollection, Populate, Count, Item, Value,
// GetUtilInterface, InstallComponent, Remove, SaveChanges. Every failing call
// throws Failure, as a failing catalog call does.
namespace qsi::platform {

// A failing call of the catalog stand-in.
inline constexpr long kCatalogFailure = 1040;

// A package or a component of a collection.
class CatalogObject {
 public:
  virtual ~CatalogObject() = default;
  // Value: a property ("Name", "ID" of a package; "DLL" of a component).
  [[nodiscard]] virtual std::string value(std::string_view property) const = 0;
};

// The utility interface of a package's components (GetUtilInterface).
class ComponentUtil {
 public:
  virtual ~ComponentUtil() = default;
  // InstallComponent: adds the components of `dll` to the package; takes
  // effect with the collection's SaveChanges.
  virtual void installComponent(std::string_view dll, std::string_view typeLibrary,
                                std::string_view proxyStubDll) = 0;
};

class CatalogCollection {
 public:
  virtual ~CatalogCollection() = default;
  // Populate: reads the items as stored; unsaved changes are dropped.
  virtual void populate() = 0;
  // Count: the items read by populate, less those removed since.
  [[nodiscard]] virtual long count() const = 0;
  // Item: the item at a 0-based index below count().
  [[nodiscard]] virtual std::unique_ptr<CatalogObject> item(long index) const = 0;
  // GetCollection: a related collection of the item whose key is given
  // ("ComponentsInPackage" with a package's ID).
  [[nodiscard]] virtual std::unique_ptr<CatalogCollection> getCollection(std::string_view name,
                                                                         std::string_view key) = 0;
  [[nodiscard]] virtual std::unique_ptr<ComponentUtil> getUtilInterface() = 0;
  // Remove: takes the item at the index out; later items move down by one.
  virtual void remove(long index) = 0;
  // SaveChanges: stores the pending changes; returns how many there were.
  virtual long saveChanges() = 0;
};

// The catalog's root: created afresh for each use.
class MtsCatalog {
 public:
  virtual ~MtsCatalog() = default;
  // GetCollection on the root ("Packages").
  [[nodiscard]] virtual std::unique_ptr<CatalogCollection> getCollection(std::string_view name) = 0;
};

// The catalog kept in the registry store:
//   kPackagesKey\<ID>                      value "Name"
//   kPackagesKey\<ID>\Components\<index>   value "DLL" (index 0, 1, ... in order)
// Packages are listed in the store's key order. The stand-in keeps one
// component per DLL; installing a DLL that is missing (its path found
// whatever its letter case, as Windows finds it) or already in the package
// fails, as the catalog does.
class RegistryMtsCatalog final : public MtsCatalog {
 public:
  static constexpr std::string_view kPackagesKey =
      "SOFTWARE\\Microsoft\\Transaction Server\\Packages";

  explicit RegistryMtsCatalog(Registry& registry) : registry_(registry) {}
  [[nodiscard]] std::unique_ptr<CatalogCollection> getCollection(std::string_view name) override;

 private:
  Registry& registry_;
};

#ifdef _WIN32
// The transaction server's own catalog, created afresh by its program
// identifier at each getCollection("Packages") and reached through late
// binding (IDispatch): each operation above is one call of the same name. A
// failing call, or a catalog that cannot be created, throws Failure with the
// call's HRESULT as its number and the program identifier as its source.
class Win32MtsCatalog final : public MtsCatalog {
 public:
  static constexpr std::string_view kProgId = "MTSAdmin.Catalog.1";
  explicit Win32MtsCatalog(std::string progId = std::string(kProgId))
      : progId_(std::move(progId)) {}
  [[nodiscard]] std::unique_ptr<CatalogCollection> getCollection(std::string_view name) override;

 private:
  std::string progId_;
};
#endif

}  // namespace qsi::platform
