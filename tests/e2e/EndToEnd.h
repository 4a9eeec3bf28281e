#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/Paths.h"
#include "platform/Text.h"
#include "support/Process.h"
#include "support/SuiteSite.h"

namespace qsi::test {

// The built program on the suite's site, with service commands that note each call.
class EndToEnd : public SuiteSite {
 protected:
  EndToEnd();
  ~EndToEnd() override;

  [[nodiscard]] ProcessResult run(const std::string& input,
                                  const std::function<void(unsigned long)>& whileRunning = {},
                                  const std::vector<std::string>& args = {}) const;
#ifdef _WIN32
  [[nodiscard]] ProcessResult runWithWindows(const std::function<void(unsigned long)>& drive) const;
#endif
  [[nodiscard]] std::optional<std::string> registryValue(const std::string& key,
                                                         const std::string& name) const override;
  [[nodiscard]] bool hasRegistryKey(const std::string& key) const;
  [[nodiscard]] std::filesystem::path windowsFolder() const;
#ifdef _WIN32
  mutable std::string loadedRegistry_;  // the registry file as it was last loaded
#endif
  // Whether net and mtxstop are stand-ins that note their calls.
  static const bool kServiceCommandsNoted;

  // The calls noted so far, one line each ("stop.exe qosvc01.exe").
  [[nodiscard]] std::string calls() const {
    return std::filesystem::exists(site.root / "ran") ? readText(site.root / "ran") : "";
  }
  [[nodiscard]] std::filesystem::path runLogs() const {
    const auto logs = site.instMainDir / "QOLog";
    return std::filesystem::is_directory(logs) ? std::filesystem::directory_iterator(logs)->path()
                                               : logs;
  }
  // The run's folder of logs or saved files as the closing message names it.
  [[nodiscard]] std::string shownFolder(const std::string& kind) const {
    return platform::displayPath(site.instMainDir / kind / runLogs().filename(), true) + ".";
  }
  // What a run may change and an undo must put back, the Java folder too.
  [[nodiscard]] std::string everything() const {
    return site.snapshot() + treeText(windowsFolder());
  }

  [[nodiscard]] std::string metabase() const {
    std::string out;
    for (const std::string table : {"OBJECT", "MODULE", "SERVER", "PATCH", "INSTALLATIONHISTORY"})
      for (const auto& row : sources.rows("QOMetabase", "SELECT * FROM " + table))
        for (const std::string& field : row) out += field + (&field == &row.back() ? "\n" : "|");
    return out;
  }

  // The run's logs with the date, the folders and separators that differ
  // between platforms written alike; the machine's services' logs left out.
  [[nodiscard]] std::string portableLogs() const {
    const std::string date = sources.rows(
        "QOMetabase", "SELECT INSTALLATIONDATESP FROM SERVER WHERE SERVER = 'WebServer'")[0][0];
    const std::pair<std::string, std::string> folders[] = {
        {platform::displayPath(site.installer), "<INSTALLER>"},
        {platform::displayPath(site.instMainDir), "<INST>"}};
    std::string out;
    for (const std::filesystem::path& log :
         std::set<std::filesystem::path>(std::filesystem::directory_iterator(runLogs()), {})) {
      const std::string name = log.filename().string();
      if (name == "Stop Services.txt" || name == "Start Services.txt") continue;
      out += "=== " + name + "\n";
      const auto lines = platform::split(readText(log), '\n');
      for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = platform::replaceAll(lines[i], date, "<DATE>");
        for (const auto& [path, mark] : folders)
          if (const auto at = line.find(path); at != std::string::npos)
            line = line.substr(0, at) + mark +
                   platform::replaceAll(line.substr(at + path.size()), "\\", "/");
        if (i + 1 == lines.size())
          out += line.empty() ? "" : line + "<no line break at the end>\n";
        else if (line.ends_with('\r'))
          out += line.substr(0, line.size() - 1) + "\n";
        else
          out += line + "<LF without CR>\n";
      }
    }
    return out;
  }
};

}  // namespace qsi::test
