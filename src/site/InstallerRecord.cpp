#include "site/InstallerRecord.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <system_error>

#include "platform/Failure.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "site/RegistryAccess.h"
#include "version/Version.h"

namespace qsi::site {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDbServer = "DbServer";
constexpr std::string_view kRecordFailure = "Error while updating the installer's record!";

std::string modulesKey(std::string_view section) {
  return std::string(kInstallerKey) + "\\Installed\\" + std::string(section);
}

std::string scriptsKey(std::string_view checksum) {
  return std::string(kInstallerKey) + "\\Scripts\\" + std::string(checksum);
}

// A version the installer can decide by: one that compares with itself.
bool comparable(std::string_view version) {
  return !version.empty() && !platform::hasControlCharacter(version) &&
         version::compareVersions(version, version) == version::kEqual;
}

// A name a key of its own can hold.
bool keyName(std::string_view name) {
  return !name.empty() && !platform::hasControlCharacter(name) && !platform::contains(name, "\\");
}

bool suiteHasVersion(const platform::Registry& registry, std::string_view config,
                     std::string_view module) {
  return !readRegistryValue(registry, moduleKey(config, module), "AppVersion", "").empty();
}

// FNV-1a over framed pieces, so that no two lists of pieces give one stream.
class Checksum {
 public:
  void add(std::string_view bytes) {
    const std::uint64_t size = bytes.size();
    for (int shift = 0; shift < 64; shift += 8) addByte(static_cast<unsigned char>(size >> shift));
    for (const char c : bytes) addByte(static_cast<unsigned char>(c));
  }
  // A file of the Sql folder by its content, or as missing.
  void addFile(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(file, ec))) return add("missing");
    try {
      const std::string content = platform::readFileBytes(file);
      add("file");
      add(content);
    } catch (const std::system_error&) {
      add("unreadable");
    }
  }
  [[nodiscard]] std::string text() const {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(hash_));
    return hex;
  }

 private:
  void addByte(unsigned char byte) {
    hash_ ^= byte;
    hash_ *= 1099511628211ULL;
  }
  std::uint64_t hash_ = 14695981039346656037ULL;
};

// A value of a key just made; a key gone again (another program) fails.
void set(platform::Registry& registry, const std::string& key, std::string_view name,
         std::string_view text) {
  if (!registry.writeValue(key, name, text))
    throw platform::Failure(platform::kRegistryStoreFailure, "recordInstallation",
                            "The registry key HKEY_LOCAL_MACHINE\\" + key + " is not there.");
}

template <typename Write>
void recording(Write&& write) {
  try {
    write();
  } catch (const std::exception& failure) {
    platform::raiseReplacing(failure, platform::kReadFailure, "recordInstallation",
                             std::string(kRecordFailure));
  }
}

}  // namespace

bool isInstallerKey(std::string_view key) {
  return platform::isKeyOrBelow(key, kInstallerKey);
}

std::vector<RecordedModule> readRecordedModules(const platform::Registry& registry,
                                                std::string_view section,
                                                std::vector<std::string>& passedOver) {
  std::vector<RecordedModule> modules;
  const auto names = registry.subKeys(modulesKey(section));
  if (!names) return modules;
  for (const std::string& name : *names) {
    const std::string shown = "The installer's record of the module \"" +
                              platform::escapeControls(name) + "\" is passed over: ";
    if (!keyName(name)) {
      passedOver.push_back(shown + "its name holds a control character.");
      continue;
    }
    const std::string key = modulesKey(section) + "\\" + name;
    const auto version = registry.readValue(key, "Version");
    if (!version) {
      passedOver.push_back(shown + "it holds no version.");
    } else if (!comparable(*version)) {
      passedOver.push_back(shown + "its version \"" + platform::escapeControls(*version) +
                           "\" cannot be compared.");
    } else {
      modules.push_back({name, *version, registry.readValue(key, "Run").value_or("")});
    }
  }
  return modules;
}

std::vector<RecordedModule> addRecordedModules(const platform::Environment& env,
                                               std::vector<solution::ModuleInfo>& modules,
                                               log::CLog& log) {
  std::vector<std::string> passedOver;
  std::vector<RecordedModule> taken;
  for (RecordedModule& recorded : readRecordedModules(env.registry, "WebServer", passedOver)) {
    // The suite's own key, where it tells a version, is what the site holds.
    if (suiteHasVersion(env.registry, kWebServerConfig, recorded.name)) continue;
    bool filled = false;
    for (solution::ModuleInfo& module : modules)
      if (module.name == recorded.name && module.version.empty()) {
        module.version = version::Version(recorded.version);
        filled = true;
      }
    if (!filled) {
      solution::ModuleInfo& added = modules.emplace_back();
      added.name = recorded.name;
      added.version = version::Version(recorded.version);
    }
    taken.push_back(std::move(recorded));
  }
  if (taken.empty() && passedOver.empty()) return taken;
  log.writeSection("Modules the installer recorded, the suite's keys holding no version for them");
  for (const RecordedModule& module : taken) {
    log.writeLine(module.name + "\t\t" + module.version + "\t(the run of " + module.run + ")");
    env.ui.append(platform::InfoBox::Current, module.name + " : " + module.version +
                                                  " (recorded by the installer)" +
                                                  std::string(platform::kCrLf));
  }
  for (const std::string& line : passedOver) log.writeLine(line);
  return taken;
}

void recordInstalledModules(platform::Registry& registry, std::string_view section,
                            const std::vector<solution::ModuleInfo>& installed,
                            std::string_view run) {
  const std::string_view config = section == kDbServer ? kDbServerConfig : kWebServerConfig;
  recording([&] {
    for (const solution::ModuleInfo& module : installed) {
      if (!keyName(module.name) || !comparable(module.version.text()) ||
          suiteHasVersion(registry, config, module.name))
        continue;
      const std::string key = modulesKey(section) + "\\" + module.name;
      // A recorded version is never lowered, nor written again.
      const auto recorded = registry.readValue(key, "Version");
      if (recorded && comparable(*recorded) &&
          version::compareVersions(module.version.text(), *recorded) != version::kSecondSmaller)
        continue;
      (void)registry.createKey(key);
      set(registry, key, "Run", run);
      set(registry, key, "Version", module.version.text());
    }
  });
}

std::string scriptsChecksum(const fs::path& sqlFolder, const std::vector<std::string>& names) {
  Checksum checksum;
  checksum.addFile(sqlFolder / "Sequence.txt");
  for (const std::string& name : names) {
    checksum.add(name);
    // Only a plain name is looked up: the run never reads a script elsewhere.
    if (platform::nameProblem(name))
      checksum.add("no plain name");
    else
      checksum.addFile(sqlFolder / name);
  }
  return checksum.text();
}

std::optional<std::string> scriptsCompletedBy(const platform::Registry& registry,
                                              std::string_view checksum) {
  auto run = registry.readValue(scriptsKey(checksum), "Run");
  if (!run || platform::trim(*run).empty()) return std::nullopt;
  return run;
}

void recordCompletedScripts(platform::Registry& registry, std::string_view checksum,
                            std::string_view package, std::string_view run) {
  recording([&] {
    const std::string key = scriptsKey(checksum);
    (void)registry.createKey(key);
    set(registry, key, "Package", package);
    set(registry, key, "Run", run);
  });
}

}  // namespace qsi::site
