#include "tools/PackageAccess.h"

#include <chrono>
#include <optional>
#include <ostream>
#include <random>

#include "log/CLog.h"
#include "platform/Environment.h"
#include "platform/Failure.h"
#include "platform/Paths.h"
#include "platform/ProfileReader.h"
#include "platform/RegFileRegistry.h"
#include "platform/Text.h"
#include "solution/ModuleReader.h"
#include "solution/SolutionReader.h"

namespace qsi::tools {

namespace fs = std::filesystem;

namespace {

// Shows nothing; keeps what a message box would have told.
class QuietUi final : public platform::UserInterface {
 public:
  std::vector<std::string> messages;

  void setProgress(platform::ProgressBox, std::string_view, bool) override {}
  void append(platform::InfoBox, std::string_view) override {}
  void setProgressCount(std::size_t, std::size_t) override {}
  platform::Answer messageBox(const platform::MessageBox& box) override {
    messages.push_back(box.text);
    return box.buttons == platform::Buttons::RetryCancel ? platform::Answer::Cancel
                                                         : platform::Answer::OK;
  }
};

// A new folder below the system's temporary folder, removed with everything
// in it when the object goes.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::random_device random;
    for (int attempt = 0;; ++attempt) {
      path_ = fs::temp_directory_path() / ("qsolution-" + std::to_string(random()));
      if (fs::create_directory(path_)) return;
      if (attempt == 100) throw ToolError(path_, "cannot make a temporary folder");
    }
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// What the installer's readers need, for a package wherever it lies; never
// const, as the readers change its parts.
struct Reading {
  explicit Reading(const fs::path& absoluteRoot)
      : registry(logs.path() / "registry.reg"),
        env{registry,
            profiles,
            ui,
            absoluteRoot.parent_path(),
            platform::makeRunStamp(std::chrono::system_clock::now()),
            nullptr,
            nullptr,
            logs.path()},
        folders(solution::SolutionFolders::at(absoluteRoot)) {}
  const TemporaryFolder logs;
  platform::RegFileRegistry registry;  // none: the package is read, no site
  platform::ProfileReader profiles;
  QuietUi ui;
  const platform::Environment env;
  const solution::SolutionFolders folders;
};

fs::path absolutePackage(const fs::path& root) {
  const fs::path absoluteRoot = fs::absolute(root).lexically_normal();
  if (!fs::is_directory(absoluteRoot)) throw ToolError(root, "no such package folder");
  return absoluteRoot;
}

}  // namespace

Package readPackage(const fs::path& root) {
  const fs::path absoluteRoot = absolutePackage(root);
  Reading reading(absoluteRoot);
  Package package{reading.folders, {}};
  if (!fs::is_directory(package.folders.configurationFolder))
    throw ToolError(package.folders.configurationFolder,
                    "no such folder (it holds Solution.info and the module definition files)");
  {
    log::CLog log(reading.env);
    try {
      package.info = solution::readSolutionInfoAt(reading.env, package.folders, log);
    } catch (const platform::Failure& failure) {
      std::string reason = failure.description();
      if (!failure.cause().empty()) reason += " (" + failure.cause() + ")";
      throw ToolError(absoluteRoot, reason);
    }
  }
  if (!reading.ui.messages.empty())
    throw ToolError(package.folders.configurationFolder / "Solution.info",
                    reading.ui.messages.front());
  return package;
}

std::vector<solution::RefusedEntry> refusedModules(const fs::path& root) {
  Reading reading(absolutePackage(root));
  if (!fs::is_directory(reading.folders.configurationFolder)) return {};
  std::vector<solution::ModuleInfo> modules;
  log::CLog log(reading.env);
  log.openLogFile("Gathering Solution Information");
  for (const std::string& name : solution::readSolutionModuleNames(reading.env, reading.folders))
    modules.push_back(solution::readModuleInfo(reading.env, reading.folders, name, log));
  return solution::unversionedModules(modules);
}

bool parsePackageArgument(std::span<const std::string> args, PackageArgument& parsed,
                          std::ostream& err, const char* command) {
  parsed = {"Solution", false};
  std::size_t folders = 0;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
    } else if (arg.starts_with("-") || ++folders > 1) {
      err << "qsolution " << command << ": unexpected argument '" << arg << "'\n";
      return false;
    } else {
      parsed.root = arg;
    }
  }
  return true;
}

fs::path packageFile(const Package& package, const std::string& packagePath) {
  return platform::joinDataPath(package.folders.solutionRoot, packagePath);
}

bool isLibrary(const std::string& path) {
  return path.size() >= 3 &&
         platform::toLower(std::string_view(path).substr(path.size() - 3)) == "dll";
}

}  // namespace qsi::tools
