#include "platform/MtsCatalog.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

namespace qsi::platform {

namespace {

[[noreturn]] void catalogFailure(std::string description) {
  throw Failure(kCatalogFailure, "MTSAdmin.Catalog", std::move(description));
}

using Properties = std::vector<std::pair<std::string, std::string>>;

class StoredObject final : public CatalogObject {
 public:
  explicit StoredObject(Properties properties) : properties_(std::move(properties)) {}
  [[nodiscard]] std::string value(std::string_view property) const override {
    for (const auto& [name, text] : properties_)
      if (iequals(name, property)) return text;
    catalogFailure("The catalog object has no property \"" + std::string(property) + "\".");
  }

 private:
  Properties properties_;
};

std::size_t checkedIndex(long index, std::size_t size) {
  if (index < 0 || static_cast<std::size_t>(index) >= size)
    catalogFailure("Index " + std::to_string(index) + " is out of range.");
  return static_cast<std::size_t>(index);
}

std::string packageKey(std::string_view id) {
  return std::string(RegistryMtsCatalog::kPackagesKey) + "\\" + std::string(id);
}

// The file a path names whatever its letter case, as the transaction
// server's own system finds it: each part missing as written is sought
// among its folder's entries.
std::filesystem::path onDisk(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec) || !path.has_relative_path()) return path;
  const std::filesystem::path folder = onDisk(path.parent_path());
  const std::string name = path.filename().string();
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    if (iequals(entry.path().filename().string(), name)) return entry.path();
  return folder / path.filename();
}

struct StoredComponent {
  std::string key;  // the index key's name
  std::string dll;
};

std::optional<unsigned long> indexOf(std::string_view key) {
  unsigned long value = 0;
  const auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), value);
  if (ec != std::errc() || end != key.data() + key.size()) return std::nullopt;
  return value;
}

// The stored components of a package in index order (the store lists keys
// by name, which puts "10" before "2").
std::vector<StoredComponent> readComponents(const Registry& registry, const std::string& key) {
  std::vector<StoredComponent> components;
  const auto names = registry.subKeys(key);
  if (!names) return components;
  for (const std::string& name : *names)
    components.push_back({name, registry.readValue(key + "\\" + name, "DLL").value_or("")});
  std::stable_sort(components.begin(), components.end(), [](const auto& a, const auto& b) {
    const auto x = indexOf(a.key);
    const auto y = indexOf(b.key);
    return x && (!y || *x < *y);
  });
  return components;
}

// Changes of a package's components that SaveChanges has not stored yet,
// shared by the collection and its utility interface.
struct PendingChanges {
  std::vector<std::string> removedKeys;
  std::vector<std::string> installedDlls;
};

class RegistryComponentUtil final : public ComponentUtil {
 public:
  RegistryComponentUtil(Registry& registry, std::string packageId,
                        std::shared_ptr<PendingChanges> pending)
      : registry_(registry), packageId_(std::move(packageId)), pending_(std::move(pending)) {}

  void installComponent(std::string_view dll, std::string_view, std::string_view) override {
    if (!registry_.subKeys(packageKey(packageId_)))
      catalogFailure("The package " + packageId_ + " does not exist.");
    // Installing reads the DLL's type library: the file must be there.
    if (const std::error_code ec = regularFileProblem(onDisk(std::filesystem::path(dll))))
      catalogFailure(withReason("The component file " + std::string(dll) + " cannot be read",
                                systemReason(ec)));
    const auto same = [&](std::string_view other) { return iequals(other, dll); };
    const auto stored = readComponents(registry_, packageKey(packageId_) + "\\Components");
    if (std::any_of(stored.begin(), stored.end(), [&](const auto& c) { return same(c.dll); }) ||
        std::any_of(pending_->installedDlls.begin(), pending_->installedDlls.end(), same))
      catalogFailure("The component " + std::string(dll) + " is already installed.");
    pending_->installedDlls.emplace_back(dll);
  }

 private:
  Registry& registry_;
  std::string packageId_;
  std::shared_ptr<PendingChanges> pending_;
};

class ComponentsCollection final : public CatalogCollection {
 public:
  ComponentsCollection(Registry& registry, std::string packageId)
      : registry_(registry),
        packageId_(std::move(packageId)),
        key_(packageKey(packageId_) + "\\Components") {}

  void populate() override {
    items_ = readComponents(registry_, key_);
    *pending_ = {};
  }
  [[nodiscard]] long count() const override { return static_cast<long>(items_.size()); }
  [[nodiscard]] std::unique_ptr<CatalogObject> item(long index) const override {
    return std::make_unique<StoredObject>(
        Properties{{"DLL", items_[checkedIndex(index, items_.size())].dll}});
  }
  [[nodiscard]] std::unique_ptr<CatalogCollection> getCollection(std::string_view name,
                                                                 std::string_view) override {
    catalogFailure("A component has no collection \"" + std::string(name) + "\".");
  }
  [[nodiscard]] std::unique_ptr<ComponentUtil> getUtilInterface() override {
    return std::make_unique<RegistryComponentUtil>(registry_, packageId_, pending_);
  }
  void remove(long index) override {
    const auto at = checkedIndex(index, items_.size());
    pending_->removedKeys.push_back(items_[at].key);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  long saveChanges() override;

 private:
  void store(const std::string& name, const std::string& dll) {
    const std::string key = key_ + "\\" + name;
    if (!registry_.createKey(key) || !registry_.writeValue(key, "DLL", dll))
      catalogFailure("The catalog cannot be saved: the registry store refused " + key + ".");
  }

  Registry& registry_;
  std::string packageId_;
  std::string key_;
  std::vector<StoredComponent> items_;
  std::shared_ptr<PendingChanges> pending_ = std::make_shared<PendingChanges>();
};

long ComponentsCollection::saveChanges() {
  const auto changes = pending_->removedKeys.size() + pending_->installedDlls.size();
  if (changes == 0) return 0;
  const auto stored = readComponents(registry_, key_);
  std::vector<std::string> dlls;
  for (const auto& component : stored)
    if (std::find(pending_->removedKeys.begin(), pending_->removedKeys.end(), component.key) ==
        pending_->removedKeys.end())
      dlls.push_back(component.dll);
  dlls.insert(dlls.end(), pending_->installedDlls.begin(), pending_->installedDlls.end());
  // Written in index order: each component moves down to a key whose own
  // component was removed or has already moved, so a save cut short leaves a
  // component twice, never lost.
  for (std::size_t i = 0; i < dlls.size(); ++i) {
    const std::string name = std::to_string(i);
    const auto it =
        std::find_if(stored.begin(), stored.end(), [&](const auto& c) { return c.key == name; });
    if (it == stored.end() || it->dll != dlls[i]) store(name, dlls[i]);
  }
  for (const auto& component : stored) {
    const auto index = indexOf(component.key);
    if ((!index || *index >= dlls.size() || component.key != std::to_string(*index)) &&
        !registry_.deleteKey(key_ + "\\" + component.key))
      catalogFailure("The catalog cannot be saved: the registry store refused to delete " +
                     component.key + ".");
  }
  *pending_ = {};
  return static_cast<long>(changes);
}

class PackagesCollection final : public CatalogCollection {
 public:
  explicit PackagesCollection(Registry& registry) : registry_(registry) {}

  void populate() override {
    items_.clear();
    const auto ids = registry_.subKeys(RegistryMtsCatalog::kPackagesKey);
    if (!ids) return;
    for (const std::string& id : *ids)
      items_.push_back(
          {{"Name", registry_.readValue(packageKey(id), "Name").value_or("")}, {"ID", id}});
  }
  [[nodiscard]] long count() const override { return static_cast<long>(items_.size()); }
  [[nodiscard]] std::unique_ptr<CatalogObject> item(long index) const override {
    return std::make_unique<StoredObject>(items_[checkedIndex(index, items_.size())]);
  }
  [[nodiscard]] std::unique_ptr<CatalogCollection> getCollection(std::string_view name,
                                                                 std::string_view key) override {
    if (name != "ComponentsInPackage")
      catalogFailure("A package has no collection \"" + std::string(name) + "\".");
    return std::make_unique<ComponentsCollection>(registry_, std::string(key));
  }
  [[nodiscard]] std::unique_ptr<ComponentUtil> getUtilInterface() override {
    catalogFailure("Packages are not installed through this catalog.");
  }
  void remove(long) override { catalogFailure("Packages are not removed through this catalog."); }
  long saveChanges() override { return 0; }

 private:
  Registry& registry_;
  std::vector<Properties> items_;
};

}  // namespace

std::unique_ptr<CatalogCollection> RegistryMtsCatalog::getCollection(std::string_view name) {
  if (name != "Packages")
    catalogFailure("The catalog has no collection \"" + std::string(name) + "\".");
  return std::make_unique<PackagesCollection>(registry_);
}

}  // namespace qsi::platform
