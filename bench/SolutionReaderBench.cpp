// Start-up with packages of 1,000 to 100,000 content files: readSolutionInfo
// as the installer runs it (Main::Form_Load with the console front-end, its
// progress written to a file), against a plain walk over the same folders.
#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <sstream>

#include "actions/ActionServices.h"
#include "bench/PackageGenerator.h"
#include "bench/PackageSizes.h"
#include "control/Main.h"
#include "platform/Clock.h"
#include "platform/Failure.h"
#include "platform/ProfileReader.h"
#include "platform/RegFileRegistry.h"
#include "ui/console/ConsoleView.h"

namespace qsi::bench {
namespace {

namespace fs = std::filesystem;

// One generated site per package size, made when first needed.
class Sites {
 public:
  explicit Sites(const fs::path& root) : root_(root) {}

  struct Site {
    fs::path installer;
    fs::path registryFile;
    fs::path progressFile;
  };

  const Site& get(std::size_t files) {
    auto [it, isNew] = sites_.try_emplace(files);
    if (isNew) {
      const fs::path folder = root_ / ("n" + std::to_string(files));
      it->second = {folder / "installer", folder / "registry.reg", folder / "progress.txt"};
      fs::create_directories(folder / "inst");
      generatePackage(it->second.installer, files);
      writeRegistryFile(it->second.registryFile, folder / "inst");
    }
    return it->second;
  }

 private:
  fs::path root_;
  std::map<std::size_t, Site> sites_;
};

void readSolutionInfoAtStartUp(benchmark::State& state, Sites& sites) {
  const auto files = static_cast<std::size_t>(state.range(0));
  const Sites::Site& site = sites.get(files);
  for (auto _ : state) {
    platform::RegFileRegistry registry(site.registryFile);
    platform::ProfileReader profiles;
    const platform::SystemClock clock;
    std::ofstream progress(site.progressFile, std::ios::trunc);
    std::istringstream in;
    std::ostringstream out;
    ui::console::ConsoleView view({in, out, progress, false, false});
    actions::NativeActionServices actions(registry);
    control::Main main({registry, profiles, clock, site.installer, actions.services()}, view);
    try {
      main.Form_Load();
    } catch (const platform::EndProgram&) {
      state.SkipWithError(("start-up ended the program: " + out.str()).c_str());
      return;
    }
    if (main.solutionInfo().files.size() != files) {
      state.SkipWithError("the package was not read whole");
      return;
    }
  }
  reportPerFile(state, files);
}

// The floor: listing the same folders and reading FileVersion.txt once.
void plainWalk(benchmark::State& state, Sites& sites) {
  const auto files = static_cast<std::size_t>(state.range(0));
  const Sites::Site& site = sites.get(files);
  for (auto _ : state) {
    std::size_t count = 0;
    for (const auto& item : fs::recursive_directory_iterator(site.installer / "Solution"))
      count += item.is_regular_file() ? 1 : 0;
    std::ifstream fileVersion(site.installer / "Solution" / "configuration files" /
                              "FileVersion.txt");
    std::string text((std::istreambuf_iterator<char>(fileVersion)),
                     std::istreambuf_iterator<char>());
    benchmark::DoNotOptimize(count + text.size());
  }
  reportPerFile(state, files);
}

}  // namespace
}  // namespace qsi::bench

int main(int argc, char** argv) {
  using namespace qsi::bench;
  return runOnPackageSizes<Sites>(
      argc, argv, {{"readSolutionInfo", readSolutionInfoAtStartUp}, {"plainWalk", plainWalk}});
}
