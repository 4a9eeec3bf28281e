#include <gtest/gtest.h>

#include "actions/ActionServices.h"
#include "actions/Components.h"
#include "actions/FileInstallation.h"
#include "actions/Recording.h"
#include "platform/ComRegistrar.h"
#include "platform/Failure.h"
#include "platform/MtsCatalog.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/TestSite.h"

// File entries name only the fields that a case needs.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qsi::actions {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

constexpr const char* kTestCatalog = "QSolutionInstaller.TestCatalog";

// The test COM server (tests/support/win32/stubs) in the machine's registry.
void registerTestServer() {
  platform::Win32Registry machine;
  const std::string dll = fs::path(QSI_STUB_CATALOG_DLL).make_preferred().string();
  const std::string clsid = "{5B1E2C10-8E34-4C55-9A61-0D1C2E3F4A01}";
  const std::string name = std::string("SOFTWARE\\Classes\\") + kTestCatalog + "\\CLSID";
  const std::string server = "SOFTWARE\\Classes\\CLSID\\" + clsid + "\\InprocServer32";
  ASSERT_TRUE(machine.createKey(name) && machine.writeValue(name, "", clsid));
  ASSERT_TRUE(machine.createKey(server) && machine.writeValue(server, "", dll) &&
              machine.writeValue(server, "ThreadingModel", "Apartment"));
}

// The component objects reached through IDispatch. The test server keeps
// the catalog and the registrations in the site's registry file, where the
// calls' effects are read, and notes the calls in their order.
class ComponentsWin32Test : public ::testing::Test {
 protected:
  test::TestSite site;
  fs::path callsFile = site.root / "calls.txt";
  test::ScopedEnv store{"QSI_STUB_REGISTRY", site.registryFile.string()};
  test::ScopedEnv journal{"QSI_STUB_CALLS", callsFile.string()};
  fs::path dll = site.write("inst/Components/QOCommon/x.dll", "MZ");
  platform::Win32MtsCatalog catalog{kTestCatalog};

  void SetUp() override { registerTestServer(); }

  // Packages {A} and {C} are "Q-Orchard", {B} is not; `dlls` are {C}'s.
  void writeCatalog(const Strings& dlls) const {
    const std::string packages =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Transaction Server\\Packages\\";
    std::string lines = packages + "{A}]\r\n\"Name\"=\"Q-Orchard\"\r\n" + packages +
                        "{B}]\r\n\"Name\"=\"Other\"\r\n" + packages +
                        "{C}]\r\n\"Name\"=\"Q-Orchard\"\r\n";
    for (std::size_t i = 0; i < dlls.size(); ++i)
      lines += packages + "{C}\\Components\\" + std::to_string(i) + "]\r\n\"DLL\"=\"" +
               test::regText(dlls[i]) + "\"\r\n";
    site.writeRegistry(lines);
  }
  [[nodiscard]] Strings dllsOfC() {
    platform::RegistryMtsCatalog stored(site.registry);
    const auto components =
        stored.getCollection("Packages")->getCollection("ComponentsInPackage", "{C}");
    components->populate();
    Strings dlls;
    for (long i = 0; i < components->count(); ++i)
      dlls.push_back(components->item(i)->value("DLL"));
    return dlls;
  }
  // The calls noted since the last look.
  [[nodiscard]] Strings calls() {
    Strings lines = platform::split(fs::exists(callsFile) ? test::readText(callsFile) : "", '\n');
    lines.pop_back();
    fs::remove(callsFile);
    return lines;
  }
};

TEST_F(ComponentsWin32Test, RemovalAndInstallationMakeTheCatalogsCallsInTheirOrder) {
  const std::string other = (site.instMainDir / "other.dll").string();
  writeCatalog({other, platform::toUpper(dll.string())});
  const Strings findPackage = {"GetCollection(Packages)",
                               "Populate()",
                               "Count()",
                               "Item(2)",
                               "Value(Name)",
                               "Item(2)",
                               "Value(ID)",
                               "GetCollection(ComponentsInPackage, {C})",
                               "GetUtilInterface()"};

  registerMTSComponent(catalog, dll, kMtsPackageName, false);
  Strings expected = findPackage;
  expected.insert(expected.end(),
                  {"Populate()", "Count()", "Item(0)", "Value(DLL)", "Count()", "Item(1)",
                   "Value(DLL)", "Remove(1)", "Count()", "SaveChanges()", "SaveChanges()"});
  EXPECT_EQ(calls(), expected);
  EXPECT_EQ(dllsOfC(), Strings{other});

  registerMTSComponent(catalog, dll, kMtsPackageName, true);
  expected = findPackage;
  expected.insert(expected.end(), {"InstallComponent(" + dll.string() + ", , )", "SaveChanges()"});
  EXPECT_EQ(calls(), expected);
  EXPECT_EQ(dllsOfC(), (Strings{other, dll.string()}));

  // The catalog's own refusal reaches the caller with its description.
  try {
    registerMTSComponent(catalog, site.root / "missing.dll", kMtsPackageName, true);
    ADD_FAILURE() << "a missing DLL was installed";
  } catch (const platform::Failure& failure) {
    EXPECT_EQ(failure.source(), kTestCatalog);
    EXPECT_NE(failure.description().find("InstallComponent: The component file"), std::string::npos)
        << failure.description();
  }
}

// Wine has no transaction server: its catalog cannot be created (the program
// identifier is unknown, 0x800401F3). The installation passes over it with
// the Start and End lines of each component step, and installs the file.
TEST_F(ComponentsWin32Test, WithoutTheTransactionServerTheRunPassesOverTheCatalog) {
  platform::Win32MtsCatalog machine;
  try {
    registerMTSComponent(machine, dll, kMtsPackageName, true);
    ADD_FAILURE() << "the catalog was created";
  } catch (const platform::Failure& failure) {
    EXPECT_EQ(failure.number(), static_cast<long>(0x800401F3));
    EXPECT_EQ(failure.source(), "MTSAdmin.Catalog.1");
  }

  site.writePackage("Components/QOCommon/x.dll", "new component");
  solution::SolutionInfo info;
  info.files = {{.path = "Components\\QOCommon\\x.dll", .install = true, .isMTSComponent = true}};
  NativeActionServices native(site.registry);
  const InstallationPlan plan{.files = planFiles(info, {}, site.instMainDir)};
  Journal runJournal(site.instMainDir / "QOJournal" / site.env.stamp.runFolder);
  installFiles(site.env, native.services(), site.instMainDir, info,
               solution::SolutionFolders::beside(site.installer), plan, runJournal);
  EXPECT_EQ(test::readText(dll), "new component");
  // So is an administration object for COM that cannot be created.
  platform::Win32ComRegistrar missing("QSolutionInstaller.NoSuchObject");
  EXPECT_THROW(missing.registerComponent(dll), platform::Failure);
  EXPECT_NO_THROW(registerCOMComponent(missing, dll, true));
  const std::string shown = dll.string();
  const std::string log = site.logText(kComponentLog);
  EXPECT_TRUE(log.ends_with("  Start UnRegister MTS Component -> " + shown +
                            "\r\n  End UnRegister MTS Component -> " + shown +
                            "\r\n\r\n  Start Register MTS Component -> " + shown +
                            "\r\n  End Register MTS Component -> " + shown + "\r\n\r\n"))
      << log;
}

}  // namespace
}  // namespace qsi::actions

#pragma GCC diagnostic pop
