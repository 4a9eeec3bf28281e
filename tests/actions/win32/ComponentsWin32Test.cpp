#include <gtest/gtest.h>

#include "actions/Catalog.h"
#include "actions/Components.h"
#include "platform/ComRegistrar.h"
#include "platform/Failure.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/Process.h"
#include "support/TestSite.h"

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
// calls' effects are read.
class ComponentsWin32Test : public ::testing::Test {
 protected:
  test::TestSite site;
  test::ScopedEnv store{"QSI_STUB_REGISTRY", site.registryFile.string()};
  fs::path dll = site.write("inst/Components/QOCommon/x.dll", "MZ");
  platform::Win32MtsCatalog catalog{kTestCatalog};

  void SetUp() override { registerTestServer(); }
};

TEST_F(ComponentsWin32Test, RemovesAndInstallsThroughTheCatalogObjects) {
  const std::string other = (site.instMainDir / "other.dll").string();
  test::writeCatalog(site, {other, platform::toUpper(dll.string())});

  registerMTSComponent(catalog, dll, kMtsPackageName, false);
  EXPECT_EQ(test::storedDlls(site, "{C}"), Strings{other});
  registerMTSComponent(catalog, dll, kMtsPackageName, true);
  EXPECT_EQ(test::storedDlls(site, "{C}"), (Strings{other, dll.string()}));

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
// identifier is unknown), nor can an administration object for COM that is
// not there. The failure reaches the caller with its number.
TEST_F(ComponentsWin32Test, AnObjectThatCannotBeCreatedIsAFailure) {
  platform::Win32MtsCatalog machine;
  try {
    registerMTSComponent(machine, dll, kMtsPackageName, true);
    ADD_FAILURE() << "the catalog was created";
  } catch (const platform::Failure& failure) {
    EXPECT_EQ(failure.number(), static_cast<long>(0x800401F3));
    EXPECT_EQ(failure.source(), "MTSAdmin.Catalog.1");
  }
  platform::Win32ComRegistrar missing("QSolutionInstaller.NoSuchObject");
  EXPECT_THROW(missing.registerComponent(dll), platform::Failure);
  EXPECT_NO_THROW(registerCOMComponent(missing, dll, true));
}

}  // namespace
}  // namespace qsi::actions
