#include "actions/Components.h"

#include <algorithm>
#include <exception>
#include <string>

#include "platform/Text.h"

namespace qsi::actions {

void registerCOMComponent(platform::ComRegistrar& com, const std::filesystem::path& dll,
                          bool doRegister) {
  if (doRegister)
    com.registerComponent(dll);
  else
    com.unregisterComponent(dll);
}

namespace {

// The package's components, found from the last package down, so that the
// last of two packages of one name wins; nullptr when there is none.
std::unique_ptr<platform::CatalogCollection> componentsOf(platform::MtsCatalog& mts,
                                                          std::string_view packageName) {
  const auto packages = mts.getCollection("Packages");
  packages->populate();
  long index = packages->count() - 1;
  while (index >= 0 && packages->item(index)->value("Name") != packageName) --index;
  if (index < 0) return nullptr;
  const std::string id = packages->item(index)->value("ID");
  return packages->getCollection("ComponentsInPackage", id);
}

}  // namespace

void registerMTSComponent(platform::MtsCatalog& mts, const std::filesystem::path& dll,
                          std::string_view packageName, bool install) {
  const auto components = componentsOf(mts, packageName);
  if (!components) return;
  const auto util = components->getUtilInterface();
  const std::string dllText = dll.string();
  if (install) {
    util->installComponent(dllText, "", "");
    components->saveChanges();
    return;
  }
  components->populate();
  const std::string wanted = platform::toLower(dllText);
  for (long i = 0; i < components->count();) {
    if (platform::toLower(components->item(i)->value("DLL")) == wanted)
      components->remove(i);  // the next component has moved down to i
    else
      ++i;
  }
  components->saveChanges();
  components->saveChanges();
}

std::optional<std::vector<std::string>> packageComponents(platform::MtsCatalog& mts,
                                                          std::string_view packageName) {
  const auto components = componentsOf(mts, packageName);
  if (!components) return std::nullopt;
  components->populate();
  std::vector<std::string> dlls;
  for (long i = 0; i < components->count(); ++i) dlls.push_back(components->item(i)->value("DLL"));
  return dlls;
}

void restorePackageComponents(
    platform::MtsCatalog& mts, std::string_view packageName, const std::filesystem::path& dll,
    const std::vector<std::string>& before, const std::vector<std::string>& taken,
    const std::function<void(const std::vector<std::string>&)>& beforeRemoving) {
  const auto components = componentsOf(mts, packageName);
  if (!components) return;
  const std::string wanted = platform::toLower(dll.string());
  const auto isOfDll = [&](const std::string& path) { return platform::toLower(path) == wanted; };
  const auto listed = [](const std::vector<std::string>& list, const std::string& path) {
    return std::find(list.begin(), list.end(), path) != list.end();
  };
  components->populate();
  std::vector<std::string> now;
  for (long i = 0; i < components->count(); ++i) now.push_back(components->item(i)->value("DLL"));
  // The list as it was: the DLL's components as `before` has them, every
  // other one that is there now in its old place, those added since after.
  std::vector<std::string> wantedList;
  for (const std::string& path : before)
    if ((isOfDll(path) || listed(now, path) || listed(taken, path)) && !listed(wantedList, path))
      wantedList.push_back(path);
  for (const std::string& path : taken)
    if (!isOfDll(path) && !listed(wantedList, path)) wantedList.push_back(path);
  // An entry without its DLL, which a killed save leaves, is no component.
  for (const std::string& path : now)
    if (!path.empty() && !isOfDll(path) && !listed(wantedList, path)) wantedList.push_back(path);
  if (now == wantedList) return;  // put back already
  std::size_t same = 0;
  while (same < now.size() && same < wantedList.size() && now[same] == wantedList[same]) ++same;
  if (beforeRemoving) beforeRemoving(wantedList);
  while (components->count() > static_cast<long>(same)) components->remove(static_cast<long>(same));
  components->saveChanges();
  // One that cannot be installed again costs no other its place.
  const auto util = components->getUtilInterface();
  std::exception_ptr failure;
  for (std::size_t i = same; i < wantedList.size(); ++i) {
    try {
      util->installComponent(wantedList[i], "", "");
    } catch (const std::exception&) {
      if (!failure) failure = std::current_exception();
    }
  }
  components->saveChanges();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace qsi::actions
