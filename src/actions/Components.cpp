#include "actions/Components.h"

#include <exception>
#include <string>

#include "platform/Failure.h"
#include "platform/Text.h"

namespace qsi::actions {

Registration registerCOMComponent(platform::ComRegistrar& com, const std::filesystem::path& dll,
                                  bool doRegister) {
  try {
    const bool done = doRegister ? com.registerComponent(dll) : com.unregisterComponent(dll);
    return done ? Registration::Done : Registration::Failed;
  } catch (const platform::ServiceUnavailable&) {
    return Registration::ServiceUnavailable;
  } catch (const std::exception&) {
    return Registration::Failed;
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
