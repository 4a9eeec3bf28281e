#pragma once

#include <string>
#include <vector>

#include "platform/MtsCatalog.h"
#include "support/TestSite.h"

namespace qsi::test {

// Catalog packages in key order {A}, {B}, {C}, as the registry stand-in keeps
// them: {A} and {C} are "Q-Orchard", {B} is not; `dlls` are {C}'s components.
inline void writeCatalog(const TestSite& site, const std::vector<std::string>& dlls) {
  const std::string packages =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Transaction Server\\Packages\\";
  std::string lines = packages + "{A}]\r\n\"Name\"=\"Q-Orchard\"\r\n" + packages +
                      "{B}]\r\n\"Name\"=\"Other\"\r\n" + packages +
                      "{C}]\r\n\"Name\"=\"Q-Orchard\"\r\n";
  for (std::size_t i = 0; i < dlls.size(); ++i)
    lines += packages + "{C}\\Components\\" + std::to_string(i) + "]\r\n\"DLL\"=\"" +
             regText(dlls[i]) + "\"\r\n";
  site.writeRegistry(lines);
}

// The DLLs of a package's components as the stand-in has them stored.
inline std::vector<std::string> storedDlls(TestSite& site, std::string_view package) {
  platform::RegistryMtsCatalog stored(site.registry);
  const auto components =
      stored.getCollection("Packages")->getCollection("ComponentsInPackage", package);
  components->populate();
  std::vector<std::string> dlls;
  for (long i = 0; i < components->count(); ++i) dlls.push_back(components->item(i)->value("DLL"));
  return dlls;
}

}  // namespace qsi::test
