#include <gtest/gtest.h>

#include "actions/Catalog.h"
#include "actions/Components.h"
#include "platform/Failure.h"
#include "platform/Text.h"
#include "support/Faults.h"
#include "support/TestSite.h"

namespace qsi::actions {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

TEST(ComponentsTest, InstallsIntoTheLastPackageOfThatNameAndRemovesEveryEntryOfTheDll) {
  test::TestSite site;
  platform::RegistryMtsCatalog catalog{site.registry};
  const fs::path dll = site.write("inst/Components/QOCommon/x.dll", "MZ");
  const auto dllsOf = [&](std::string_view id) { return test::storedDlls(site, id); };
  test::writeCatalog(site, {});
  registerMTSComponent(catalog, dll, "q-orchard", true);  // letter case counts: no package
  EXPECT_TRUE(dllsOf("{C}").empty());
  registerMTSComponent(catalog, dll, kMtsPackageName, true);
  EXPECT_EQ(dllsOf("{C}"), Strings{dll.string()});
  EXPECT_TRUE(dllsOf("{A}").empty());
  // The catalog refuses a DLL twice or a missing one; the failure reaches the caller.
  EXPECT_THROW(registerMTSComponent(catalog, dll, kMtsPackageName, true), platform::Failure);
  EXPECT_THROW(registerMTSComponent(catalog, "/no/such.dll", kMtsPackageName, true),
               platform::Failure);

  // One entry per component; past ten the store's name order ("10" before "2") is not the
  // catalog's.
  Strings dlls = {"/INST/X.DLL", "/inst/x.dll", "/inst/y.dll", "/Inst/X.dll"};
  for (int i = 0; i < 8; ++i) dlls.push_back("/inst/c" + std::to_string(i) + ".dll");
  test::writeCatalog(site, dlls);
  registerMTSComponent(catalog, "/inst/X.dll", "q-orchard", false);
  EXPECT_EQ(dllsOf("{C}"), dlls);
  registerMTSComponent(catalog, "/inst/X.dll", kMtsPackageName, false);
  dlls.erase(dlls.begin() + 3);
  dlls.erase(dlls.begin(), dlls.begin() + 2);
  EXPECT_EQ(dllsOf("{C}"), dlls);
}

// Undone, a run gives the package back its components of the run's DLL,
// in their own letter case, and takes nothing from another module's.
TEST(ComponentsTest, PutsBackTheComponentsOfTheDllAndLeavesEveryOther) {
  test::TestSite site;
  platform::RegistryMtsCatalog catalog{site.registry};
  const fs::path dll = site.write("inst/Components/QAlder/u.dll", "MZ");
  const std::string upper = (site.instMainDir / "Components" / "QALDER" / "U.DLL").string();
  const std::string other = site.write("inst/Components/QOCommon/o.dll", "MZ").string();
  test::writeCatalog(site, {upper, other});
  const auto before = packageComponents(catalog, kMtsPackageName);
  registerMTSComponent(catalog, dll, kMtsPackageName, false);
  const auto between = packageComponents(catalog, kMtsPackageName);
  registerMTSComponent(catalog, dll, kMtsPackageName, true);
  EXPECT_EQ(test::storedDlls(site, "{C}"), (Strings{other, dll.string()}));
  restorePackageComponents(catalog, kMtsPackageName, dll, *between);
  restorePackageComponents(catalog, kMtsPackageName, dll, *before);
  EXPECT_EQ(test::storedDlls(site, "{C}"), (Strings{upper, other}));
  test::writeCatalog(site, {other, upper, upper});  // twice: once is put back, in its place
  restorePackageComponents(catalog, kMtsPackageName, dll, *before);
  EXPECT_EQ(test::storedDlls(site, "{C}"), (Strings{upper, other}));
  // Cut short once the components after the first difference are taken out
  // (here the other one cannot be read just then), the list it noted first
  // puts every one back in its place.
  const std::string third = site.write("inst/Components/QOCommon/t.dll", "MZ").string();
  test::writeCatalog(site, {upper, other, third});
  const auto three = packageComponents(catalog, kMtsPackageName);
  registerMTSComponent(catalog, dll, kMtsPackageName, false);
  registerMTSComponent(catalog, dll, kMtsPackageName, true);
  Strings noted;
  fs::rename(other, other + ".away");
  EXPECT_ANY_THROW(restorePackageComponents(catalog, kMtsPackageName, dll, *three, {},
                                            [&](const Strings& list) { noted = list; }));
  fs::rename(other + ".away", other);
  EXPECT_EQ(test::storedDlls(site, "{C}"), (Strings{upper, third}));
  restorePackageComponents(catalog, kMtsPackageName, dll, *three, noted);
  EXPECT_EQ(test::storedDlls(site, "{C}"), (Strings{upper, other, third}));
}

// A registration killed between its key and its value leaves a key that
// unregistering (as undo does) must take away.
TEST(ComponentsTest, UnregisteringTakesAKeyWithoutItsValue) {
  test::TestSite site;
  platform::RegistryComRegistrar com{site.registry};
  const fs::path dll = site.write("inst/Components/QAlder/u.dll", "MZ");
  const std::string key = std::string(platform::RegistryComRegistrar::kComRegistrationsKey) + "\\" +
                          platform::replaceAll(dll.string(), "\\", "/");
  ASSERT_TRUE(site.registry.createKey(key));
  registerCOMComponent(com, dll, false);
  EXPECT_FALSE(site.registry.subKeys(key));
  // A file that is not there cannot be registered: the registrar says why.
  const fs::path gone = site.instMainDir / "gone.dll";
  EXPECT_EQ(test::thrownText([&] { registerCOMComponent(com, gone, true); }),
            "The component " + gone.string() + " cannot be registered: No such file or directory");
}

}  // namespace
}  // namespace qsi::actions
