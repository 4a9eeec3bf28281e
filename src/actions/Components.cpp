#include "actions/Components.h"

#include <exception>
#include <string>

#include "platform/Text.h"

namespace qsi::actions {

void registerCOMComponent(platform::ComRegistrar& com, const std::filesystem::path& dll,
                          bool doRegister) {
  try {
    if (doRegister)
      com.registerComponent(dll);
    else
      com.unregisterComponent(dll);
  } catch (const std::exception&) {
    // Passed over: the installation run goes on whatever the outcome.
  }
}

void registerMTSComponent(platform::MtsCatalog& mts, const std::filesystem::path& dll,
                          std::string_view packageName, bool install) {
  const auto packages = mts.getCollection("Packages");
  packages->populate();
  long index = packages->count() - 1;
  while (index >= 0 && packages->item(index)->value("Name") != packageName) --index;
  if (index < 0) return;

  const std::string id = packages->item(index)->value("ID");
  const auto components = packages->getCollection("ComponentsInPackage", id);
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

}  // namespace qsi::actions
