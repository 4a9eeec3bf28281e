#include <gtest/gtest.h>

#include "actions/Catalog.h"
#include "actions/Components.h"
#include "platform/ComRegistrar.h"
#include "platform/Failure.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/Faults.h"
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

// Through IDispatch to the test server, which keeps the catalog in the site's
// registry file. Wine has no transaction server: its catalog cannot be created
// (the program identifier is unknown), nor can a missing COM object. A call
// the object refuses fails with the object's text.
TEST(ComponentsWin32Test, WorksThroughTheCatalogObjectsAndFailsWithoutThem) {
  registerTestServer();
  test::TestSite site;
  const test::ScopedEnv store{"QSI_STUB_REGISTRY", site.registryFile.string()};
  const fs::path dll = site.write("inst/Components/QOCommon/x.dll", "MZ");
  const std::string other = (site.instMainDir / "other.dll").string();
  test::writeCatalog(site, {other, platform::toUpper(dll.string())});
  platform::Win32MtsCatalog catalog{kTestCatalog}, machine;
  registerMTSComponent(catalog, dll, kMtsPackageName, false);
  EXPECT_EQ(test::storedDlls(site, "{C}"), Strings{other});
  registerMTSComponent(catalog, dll, kMtsPackageName, true);
  EXPECT_EQ(test::storedDlls(site, "{C}"), (Strings{other, dll.string()}));

  const auto failureOf = [&](platform::MtsCatalog& mts, const fs::path& file) {
    try {
      registerMTSComponent(mts, file, kMtsPackageName, true);
    } catch (const platform::Failure& failure) {
      return failure.source() + " " + std::to_string(failure.number()) + " " +
             failure.description();
    }
    return std::string("installed");
  };
  const std::string refused = failureOf(catalog, site.root / "missing.dll");
  EXPECT_TRUE(refused.starts_with(std::string(kTestCatalog) + " ")) << refused;
  EXPECT_NE(refused.find("InstallComponent: The component file"), std::string::npos) << refused;
  const std::string notThere = failureOf(machine, dll);
  EXPECT_TRUE(notThere.starts_with("MTSAdmin.Catalog.1 " +
                                   std::to_string(static_cast<long>(0x800401F3)) + " "))
      << notThere;
  platform::Win32ComRegistrar missing("QSolutionInstaller.NoSuchObject"), registrar(kTestCatalog);
  EXPECT_THROW(missing.registerComponent(dll), platform::ServiceUnavailable);
  EXPECT_EQ(test::thrownText([&] { registrar.registerComponent(site.root / "gone.dll"); }),
            "RegisterComponent: The component " + (site.root / "gone.dll").string() +
                " cannot be registered: No such file or directory");
}

}  // namespace
}  // namespace qsi::actions
