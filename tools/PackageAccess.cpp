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
#include "platform/Registry.h"
#include "platform/Text.h"
#include "site/RootKey.h"
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

// A registry that knows only the suite's InstMainDir, so that the readers'
// logs land in a folder of the tool's own.
class LogFolderRegistry final : public platform::Registry {
 public:
  explicit LogFolderRegistry(std::string folder) : folder_(std::move(folder)) {}

  [[nodiscard]] std::optional<std::string> readValue(std::string_view key,
                                                     std::string_view name) const override {
    if (platform::iequals(key, site::kRootKey) && platform::iequals(name, "InstMainDir"))
      return folder_;
    return std::nullopt;
  }
  bool writeValue(std::string_view, std::string_view, std::string_view) override { return false; }
  bool deleteValue(std::string_view, std::string_view) override { return false; }
  [[nodiscard]] std::optional<std::vector<std::string>> subKeys(std::string_view) const override {
    return std::nullopt;
  }
  [[nodiscard]] std::optional<std::vector<std::string>> valueNames(
      std::string_view) const override {
    return std::nullopt;
  }
  bool createKey(std::string_view) override { return false; }
  bool deleteKey(std::string_view) override { return false; }

 private:
  std::string folder_;
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

}  // namespace

Package readPackage(const fs::path& root) {
  const fs::path absoluteRoot = fs::absolute(root).lexically_normal();
  if (!fs::is_directory(absoluteRoot)) throw ToolError(root, "no such package folder");
  const TemporaryFolder logs;
  LogFolderRegistry registry(logs.path().string());
  platform::ProfileReader profiles;
  QuietUi ui;
  const platform::Environment env{registry, profiles, ui, absoluteRoot.parent_path(),
                                  platform::makeRunStamp(std::chrono::system_clock::now())};
  Package package{solution::SolutionFolders::at(absoluteRoot), {}};
  if (!fs::is_directory(package.folders.configurationFolder))
    throw ToolError(package.folders.configurationFolder,
                    "no such folder (it holds Solution.info and the module definition files)");
  {
    log::CLog log(env);
    try {
      package.info = solution::readSolutionInfoAt(env, package.folders, log);
    } catch (const platform::Failure& failure) {
      std::string reason = failure.description();
      if (!failure.cause().empty()) reason += " (" + failure.cause() + ")";
      throw ToolError(absoluteRoot, reason);
    }
  }
  if (!ui.messages.empty())
    throw ToolError(package.folders.configurationFolder / "Solution.info", ui.messages.front());
  return package;
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
