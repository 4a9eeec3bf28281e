#include "metabase/MetabaseUpdate.h"

#include <algorithm>
#include <exception>

#include "metabase/MetabaseStatements.h"
#include "metabase/SAPassword.h"
#include "site/RegistryAccess.h"

namespace qsi::metabase {

namespace {

// The version of the named module in the list; empty when it is not listed.
std::string moduleVersion(const std::vector<solution::ModuleInfo>& modules, std::string_view name) {
  const auto it = std::find_if(modules.begin(), modules.end(),
                               [&](const solution::ModuleInfo& m) { return m.name == name; });
  return it == modules.end() ? std::string() : it->version.text();
}

// The update run's connection, counting the statements the database
// refused: the statement procedures pass over them, the run must not.
class CountingConnection final : public platform::ConnectionWrapper {
 public:
  using ConnectionWrapper::ConnectionWrapper;
  void execute(std::string_view statement) override {
    counted([&] { inner_.execute(statement); });
  }
  [[nodiscard]] platform::OdbcResult query(std::string_view statement) override {
    platform::OdbcResult result;
    counted([&] { result = inner_.query(statement); });
    return result;
  }
  [[nodiscard]] std::size_t refused() const { return refused_; }

 private:
  template <typename Call>
  void counted(const Call& call) {
    try {
      call();
    } catch (...) {
      ++refused_;
      throw;
    }
  }
  std::size_t refused_ = 0;
};

}  // namespace

Recording updateMetabase(const platform::Environment& env,
                         const solution::SolutionInfo& solutionInfo,
                         std::string_view installSection, std::string_view saPassword,
                         const std::set<std::string>& keepVersions, bool completed) {
  const auto opened = openMetabaseConnection(env, saPassword);
  CountingConnection connection(*opened);
  const std::string hostname = site::getHostname(env.registry);
  log::CLog log(env);
  log.openLogFile("Metabase");
  log.writeSection("Update Metabase");
  updateObjects(env, connection, solutionInfo, log);
  Recording recording;
  if (installSection == kWebServer || installSection == kDbServer) {
    const std::string& type = solutionInfo.solutionType;
    recording.versionsRecorded = completed;
    if (type != "Solution" && completed) {
      const std::size_t before = connection.refused();
      updateServicePackTable(env, connection, solutionInfo, installSection, log, keepVersions);
      recording.versionsRecorded = connection.refused() == before;
    }
    if (type == "ServicePack" && completed)
      updateServerServicePack(connection, log, hostname, installSection,
                              solutionInfo.version.text(), env.stamp.installDateText);
    if (type == "Solution" && completed)
      savePatch(env, connection, log, solutionInfo, installSection);
    insertInstallationHistory(env, connection, log, solutionInfo, installSection);
  }
  connection.close();
  log.closeLogFile();
  recording.refusedStatements = connection.refused();
  return recording;
}

void updateObjects(const platform::Environment& env, platform::DatabaseConnection& connection,
                   const solution::SolutionInfo& solutionInfo, log::CLog& log) {
  try {
    const std::string hostname = site::getHostname(env.registry);
    log.writeSection("Begin Update Objects in the Metabase");
    // A long list of files shows how far the recording is.
    const auto total = static_cast<std::size_t>(std::count_if(
        solutionInfo.files.begin(), solutionInfo.files.end(), [](auto& f) { return f.install; }));
    std::size_t done = 0;
    env.ui.setProgress(platform::ProgressBox::Text, "Updating the Metabase");
    for (const solution::FileEntry& file : solutionInfo.files) {
      if (!file.install) continue;
      env.ui.setProgress(platform::ProgressBox::Detail, file.path);
      env.ui.setProgressCount(done++, total);
      saveObject(
          connection, log,
          {hostname, std::string(kWebServer), file.module, file.path, env.stamp.installDateText,
           moduleVersion(solutionInfo.modules, file.module), file.solutionChecksum.value_or("")});
    }
    env.ui.setProgressCount(0, 0);
    log.writeSection("End Update Objects in the Metabase");
  } catch (const std::exception& failure) {  // the files' rows are recorded as far as they can be
    platform::rethrowIfRunEnding(failure);
  }
}

void updateServicePackTable(const platform::Environment& env,
                            platform::DatabaseConnection& connection,
                            const solution::SolutionInfo& solutionInfo,
                            std::string_view installSection, log::CLog& log,
                            const std::set<std::string>& keepVersions) {
  try {
    const std::string hostname = site::getHostname(env.registry);
    for (const solution::ModuleInfo& module : solutionInfo.modules) {
      if (keepVersions.contains(module.name)) continue;
      updateModuleVersion(connection, log, hostname, installSection, module.name,
                          module.version.threeParts(), env.stamp.installDateText);
    }
  } catch (const std::exception& failure) {
    platform::raiseReplacing(failure, platform::kReadFailure, "updateServicePackTable",
                             "Error while updating the metabase!");
  }
}

}  // namespace qsi::metabase
