// bench_phases [FILES...]: each phase of the installer against the floor of
// its own work (the same work done plainly, on the same data, in the same
// run), on synthetic sites of 1,000, 10,000 and 100,000 files unless other
// sizes are given. Each measurement runs in a fresh process (this program
// started again), so that the peak memory it reports is its own; the table
// gives the median of the repetitions.
#include <fcntl.h>
#include <spawn.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "actions/ActionServices.h"
#include "actions/FileInstallation.h"
#include "actions/InstallationPlan.h"
#include "actions/Undo.h"
#include "bench/PackageGenerator.h"
#include "checksum/Checksum.h"
#include "control/Customization.h"
#include "control/FileSelection.h"
#include "control/Main.h"
#include "journal/Journal.h"
#include "journal/Journaling.h"
#include "metabase/MetabaseStatements.h"
#include "metabase/MetabaseUpdate.h"
#include "metabase/SAPassword.h"
#include "platform/Descriptor.h"
#include "platform/OdbcConnection.h"
#include "platform/Paths.h"
#include "platform/RegFileRegistry.h"
#include "site/SiteInformation.h"
#include "solution/SolutionReader.h"
#include "ui/console/ConsoleView.h"

namespace qsi::bench {
namespace {

namespace fs = std::filesystem;

void expect(bool condition, const std::string& what) {
  if (!condition) throw std::runtime_error(what);
}

// Runs `work` and returns its wall time. The process's peak memory is first
// brought down to what it holds now, so that its ru_maxrss is that of the
// work and of what it works on, not of the preparation.
template <typename Work>
double timed(Work&& work) {
  std::ofstream peak("/proc/self/clear_refs");
  peak << "5" << std::flush;
  expect(static_cast<bool>(peak), "cannot reset the peak memory through /proc/self/clear_refs");
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// --- The program's phases ---

// The installer as the console front-end runs it, its progress going to a
// file as when standard error is not a terminal.
struct Installer {
  explicit Installer(const SiteLayout& site)
      : registry(site.registryFile),
        progress(site.progressFile, std::ios::trunc),
        view({in, out, progress, false, false}),
        actions(registry),
        main({registry, profiles, clock, site.installer, actions.services()}, view) {}

  // A run's environment as the main window gives it to the steps.
  [[nodiscard]] platform::Environment environment(const SiteLayout& site) {
    platform::RunStamp stamp = platform::makeRunStamp(std::chrono::system_clock::now());
    stamp.runFolder = stamp.installDateAndTimeFormat;
    return {registry, profiles, main,    site.installer,
            stamp,    nullptr,  nullptr, site.instMainDir / "QOLog"};
  }

  platform::RegFileRegistry registry;
  platform::ProfileReader profiles;
  const platform::SystemClock clock;
  std::ofstream progress;
  std::istringstream in;
  std::ostringstream out;
  ui::console::ConsoleView view;
  actions::NativeActionServices actions;
  control::Main main;
};

double startUpProgram(const SiteLayout& site, std::size_t files) {
  Installer installer(site);
  std::optional<control::ProgramEnd> end;
  const double seconds = timed([&] { end = installer.main.Form_Load(); });
  if (end) throw std::runtime_error("start-up ended the program: " + installer.out.str());
  expect(installer.main.solutionInfo().files.size() == files, "start-up missed files");
  return seconds;
}

// A run's start as the main window makes it: the package read, its logs open.
struct PackageRead {
  explicit PackageRead(const SiteLayout& site)
      : installer(site),
        env(installer.environment(site)),
        solutionLog(env),
        siteLog(env),
        info(solution::readSolutionInfo(env, folders, solutionLog)) {}

  Installer installer;
  const platform::Environment env;
  log::CLog solutionLog;
  log::CLog siteLog;
  solution::SolutionFolders folders;
  solution::SolutionInfo info;
};

double retrieveProgram(const SiteLayout& site, std::size_t files) {
  PackageRead run(site);
  auto& [installer, env, solutionLog, siteLog, folders, info] = run;
  const double seconds = timed([&] { control::readCurrentSiteChecksums(env, info, siteLog); });
  std::size_t recorded = 0;
  std::size_t changed = 0;
  for (const solution::FileEntry& entry : info.files) {
    // The Metabase's "0" for a library reads as none, as the package's "0" does.
    recorded +=
        entry.metabaseChecksum == checksum::knownChecksum(entry.solutionChecksum.value_or("")) ? 1
                                                                                               : 0;
    changed += entry.currentChecksum != entry.metabaseChecksum ? 1 : 0;
  }
  expect(recorded == files && changed == customizedCount(files),
         "retrieve did not find every row and every changed file");
  return seconds;
}

double installationProgram(const SiteLayout& site, std::size_t files) {
  // What the Retrieve button leaves for Start: the files selected and planned.
  PackageRead run(site);
  auto& [installer, env, solutionLog, siteLog, folders, info] = run;
  const site::SiteInfo siteInfo = site::readSiteInfo(env, siteLog);
  control::readCurrentSiteChecksums(env, info, siteLog);
  control::buildCustomizationsLog(env, info);
  control::determineWhatToInstall(env, info, siteInfo);
  actions::InstallationPlan plan;
  plan.files = actions::planFiles(info.files, info.modules, siteInfo.modules, siteInfo.instMainDir);
  const actions::ActionServices services = installer.actions.services();
  const fs::path instMainDir(siteInfo.instMainDir);

  // As the Start button runs it, without the services and registry values.
  actions::InstallationResult result;
  const double seconds = timed([&] {
    qsi::journal::Journal journal(actions::journalFolder(instMainDir, env.stamp.runFolder));
    journal.begin(env.stamp);
    qsi::journal::JournalingRegistry registry(env.registry, journal);
    qsi::journal::JournalingDatabases databases(platform::databasesOf(env), journal);
    const platform::Environment recording{registry,  env.profiles, env.ui,  env.installerFolder,
                                          env.stamp, &databases,   nullptr, env.logRoot};
    result = actions::installFiles(env, services, instMainDir, info, folders, plan, journal);
    metabase::updateMetabase(recording, actions::installedOnly(info, result), metabase::kWebServer,
                             "", result.failedModules);
    journal.write(qsi::journal::End{});
  });
  const auto installed = std::count(result.installed.begin(), result.installed.end(), true);
  expect(!result.hasFailures() && static_cast<std::size_t>(installed) == files &&
             result.savedFiles == customizedCount(files),
         "the installation did not install every file and save every changed one");
  return seconds;
}

// --- Undo: `files` pages in one folder, each replaced by a run ---

// A run that replaces every page of one folder of the site, and its journal.
struct FlatRun {
  FlatRun(const SiteLayout& site, std::size_t files)
      : installer(site),
        env(installer.environment(site)),
        instMainDir(site.instMainDir),
        folders(solution::SolutionFolders::at(site.installer / "Flat")) {
    fs::create_directories(instMainDir / "QO11/Flat");
    fs::create_directories(folders.solutionRoot / "Web/Flat");
    for (std::size_t i = 0; i < files; ++i) {
      const std::string name = "page" + std::to_string(i) + ".asp";
      const fs::path old = instMainDir / "QO11/Flat" / name;
      std::ofstream(old) << "old page " << i;
      std::ofstream(folders.solutionRoot / "Web/Flat" / name) << "new page " << i;
      solution::FileEntry& entry = info.files.emplace_back();
      entry.path = "QO11\\Flat\\" + name;
      entry.module = "Q-Alder";
      entry.install = true;
      entry.currentChecksum = checksum::checksumOfBytes(checksum::fingerprintOf(old));
      entry.packagePath = "Web\\Flat\\" + name;
      actions::PlannedFile& planned = plan.files.emplace_back();
      planned.entry = i;
      planned.path = entry.path;
      planned.module = entry.module;
      planned.packagePath = entry.packagePath;
      planned.action = actions::FileAction::Replace;
    }
  }

  // The installation's own file phase.
  void install() {
    qsi::journal::Journal journal(actions::journalFolder(instMainDir, env.stamp.runFolder));
    journal.begin(env.stamp);
    const auto result = actions::installFiles(env, installer.actions.services(), instMainDir, info,
                                              folders, plan, journal);
    journal.write(qsi::journal::End{});
    expect(!result.hasFailures(), "the installation of the folder failed");
  }

  Installer installer;
  const platform::Environment env;
  const fs::path instMainDir;
  const solution::SolutionFolders folders;
  solution::SolutionInfo info;
  actions::InstallationPlan plan;
};

double undoProgram(const SiteLayout& site, std::size_t files) {
  FlatRun run(site, files);
  run.install();
  ::sync();
  actions::UndoResult result;
  const double seconds = timed([&] {
    const auto& services = run.installer.actions.services();
    result = actions::undoRun(
        run.env, services, run.instMainDir,
        actions::planUndo(run.env, services, run.instMainDir, run.env.stamp.runFolder));
  });
  expect(result.complete() && result.restored == files, "the undo did not put back every page");
  return seconds;
}

// The floor of an undo: the installation's own file phase on the same folder.
double undoFloor(const SiteLayout& site, std::size_t files) {
  FlatRun run(site, files);
  return timed([&] { run.install(); });
}

// --- The floors: the same work done plainly ---

constexpr std::size_t kBufferSize = std::size_t{64} << 10;

[[noreturn]] void failOn(const fs::path& file, const char* what) {
  throw std::system_error(errno, std::generic_category(), std::string(what) + " " + file.string());
}

std::size_t readPlainly(const fs::path& file, std::vector<char>& buffer) {
  const platform::Descriptor in(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) failOn(file, "cannot open");
  std::size_t total = 0;
  for (;;) {
    const auto got = ::read(in.get(), buffer.data(), buffer.size());
    if (got < 0) failOn(file, "cannot read");
    if (got == 0) return total;
    total += static_cast<std::size_t>(got);
  }
}

void copyPlainly(const fs::path& from, const fs::path& to, std::vector<char>& buffer) {
  const platform::Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) failOn(from, "cannot open");
  const platform::Descriptor out(
      ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (out.get() < 0) failOn(to, "cannot open");
  for (;;) {
    const auto got = ::read(in.get(), buffer.data(), buffer.size());
    if (got < 0) failOn(from, "cannot read");
    if (got == 0) return;
    if (::write(out.get(), buffer.data(), static_cast<std::size_t>(got)) != got)
      failOn(to, "cannot write");
  }
}

// One connection to the Metabase, used plainly: every statement sent as
// text on one statement handle.
class PlainConnection {
 public:
  PlainConnection() : environment_(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
    SQLSetEnvAttr(environment_.get(), SQL_ATTR_ODBC_VERSION,
                  reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(SQL_OV_ODBC3)), 0);
    connection_ = platform::OdbcHandle(SQL_HANDLE_DBC, environment_.get());
    std::string name(metabase::kMetabaseDataSource);
    std::string user = "TarnwickMetabase";
    std::string password;
    check(SQLConnect(connection_.get(), text(name), SQL_NTS, text(user), SQL_NTS, text(password),
                     SQL_NTS),
          SQL_HANDLE_DBC, connection_.get());
    connected_ = true;
    statement_ = platform::OdbcHandle(SQL_HANDLE_STMT, connection_.get());
  }
  ~PlainConnection() {
    statement_ = platform::OdbcHandle();
    if (connected_) SQLDisconnect(connection_.get());
  }
  PlainConnection(const PlainConnection&) = delete;
  PlainConnection& operator=(const PlainConnection&) = delete;

  void execute(std::string statement) {
    send(statement);
    SQLFreeStmt(statement_.get(), SQL_CLOSE);
  }
  // Whether the lookup finds a row; reads its CHECKSUM (the sixth column).
  bool lookup(std::string statement) {
    send(statement);
    const SQLRETURN fetched = SQLFetch(statement_.get());
    const bool found = SQL_SUCCEEDED(fetched);
    if (found) {
      SQLLEN length = 0;
      check(SQLGetData(statement_.get(), 6, SQL_C_CHAR, checksum_.data(),
                       static_cast<SQLLEN>(checksum_.size()), &length),
            SQL_HANDLE_STMT, statement_.get());
    } else if (fetched != SQL_NO_DATA) {
      check(fetched, SQL_HANDLE_STMT, statement_.get());
    }
    SQLCloseCursor(statement_.get());
    return found;
  }

 private:
  static SQLCHAR* text(std::string& value) { return reinterpret_cast<SQLCHAR*>(value.data()); }

  void send(std::string& statement) {
    const SQLRETURN rc =
        SQLExecDirect(statement_.get(), text(statement), static_cast<SQLINTEGER>(statement.size()));
    if (rc != SQL_NO_DATA) check(rc, SQL_HANDLE_STMT, statement_.get());
  }

  static void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) {
    if (SQL_SUCCEEDED(rc)) return;
    std::array<SQLCHAR, 6> state{};
    std::array<SQLCHAR, 512> message{};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state.data(), &native, message.data(),
                  static_cast<SQLSMALLINT>(message.size()), &length);
    throw std::runtime_error("ODBC: " + std::string(reinterpret_cast<char*>(message.data())));
  }

  platform::OdbcHandle environment_;
  platform::OdbcHandle connection_;
  platform::OdbcHandle statement_;
  bool connected_ = false;
  std::array<SQLCHAR, 32> checksum_{};
};

double startUpFloor(const SiteLayout& site, std::size_t files) {
  std::vector<char> buffer(kBufferSize);
  std::size_t found = 0;
  std::size_t bytes = 0;
  const double seconds = timed([&] {
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(site.package()))
      found += item.is_regular_file() ? 1 : 0;
    for (const fs::directory_entry& item :
         fs::directory_iterator(site.package() / "configuration files"))
      bytes += readPlainly(item.path(), buffer);
  });
  expect(found > files && bytes > 0, "the walk missed files");
  return seconds;
}

double retrieveFloor(const SiteLayout& site, std::size_t files) {
  const std::vector<SiteFile> list = siteFiles(files);
  const std::string host(kHostname);
  const std::string server(metabase::kWebServer);
  std::vector<char> buffer(kBufferSize);
  std::size_t found = 0;
  const double seconds = timed([&] {
    PlainConnection metabase;
    for (const SiteFile& file : list) {
      readPlainly(platform::joinDataPath(site.instMainDir, file.path), buffer);
      found += metabase.lookup(metabase::selectObjectStatement(host, server, file.path)) ? 1 : 0;
    }
  });
  expect(found == files, "a lookup found no row");
  return seconds;
}

// The statements the Metabase update sends for the generated package.
void recordPlainly(const std::vector<SiteFile>& files, const std::string& date) {
  const std::string host(kHostname);
  const std::string server(metabase::kWebServer);
  const std::string version(kVersion);
  const std::size_t revision = version.rfind('.');
  PlainConnection metabase;
  for (const SiteFile& file : files) {
    const metabase::ObjectValues values{host, server,       file.module,  file.path,
                                        date, file.version, file.checksum};
    if (metabase.lookup(metabase::selectObjectStatement(host, server, file.path)))
      metabase.execute(metabase::updateObjectStatement(values));
    else
      metabase.execute(metabase::insertObjectStatement(values));
  }
  for (const SiteModule& module : kModules) {
    const std::string_view threeParts = module.version.substr(0, module.version.rfind('.'));
    metabase.execute(metabase::updateModuleStatement(host, server, module.name, threeParts, date));
  }
  metabase.execute(metabase::updateServerStatement(host, server, version, date));
  metabase.execute(metabase::insertHistoryStatement(host, server,
                                                    std::string(kProduct) + " - " +
                                                        std::string(kSolutionType) + " " +
                                                        version.substr(revision + 1),
                                                    date));
}

double installationFloor(const SiteLayout& site, std::size_t files) {
  const std::vector<SiteFile> list = siteFiles(files);
  const platform::RunStamp stamp = platform::makeRunStamp(std::chrono::system_clock::now());
  const fs::path savedFolder = site.instMainDir / "QOCustomized" / stamp.installDateAndTimeFormat;
  std::vector<char> buffer(kBufferSize);
  std::size_t saved = 0;
  const double seconds = timed([&] {
    for (const SiteFile& file : list) {
      const fs::path installed = platform::joinDataPath(site.instMainDir, file.path);
      if (file.customized) {
        const fs::path copy = platform::joinDataPath(savedFolder, file.path);
        fs::create_directories(copy.parent_path());
        copyPlainly(installed, copy, buffer);
        ++saved;
      }
      copyPlainly(platform::joinDataPath(site.package(), file.packagePath), installed, buffer);
    }
    ::sync();
    recordPlainly(list, stamp.installDateText);
  });
  expect(saved == customizedCount(files), "the floor saved the wrong files");
  return seconds;
}

// --- The runs ---

using Measure = double (*)(const SiteLayout&, std::size_t);
struct Phase {
  std::string_view name;
  Measure program;
  Measure floor;
};
// The floor of "undo" is the installation's file phase on one folder of as
// many pages, the pages each replaced: the undo is to take at most twice it.
constexpr std::array<Phase, 4> kPhases{{{"start-up", startUpProgram, startUpFloor},
                                        {"retrieve", retrieveProgram, retrieveFloor},
                                        {"installation", installationProgram, installationFloor},
                                        {"undo", undoProgram, undoFloor}}};

int nameWidth(const Phase& phase) {
  return static_cast<int>(phase.name.size());
}

std::size_t parseCount(std::string_view text) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0)
    throw std::invalid_argument("not a number of files: " + std::string(text));
  return value;
}

// A child: one measurement of a phase on a site put back as generated;
// prints its seconds.
int measure(std::string_view phaseName, std::string_view who, std::size_t files,
            const fs::path& folder) {
  const auto phase = std::find_if(kPhases.begin(), kPhases.end(),
                                  [&](const Phase& p) { return p.name == phaseName; });
  expect(phase != kPhases.end() && (who == "program" || who == "floor"), "no such measurement");
  const SiteLayout site(folder);
  resetSite(site, files);
  ::sync();  // what the reset wrote is not the phase's to flush
  useDataSourcesOf(site);
  const double seconds = (who == "program" ? phase->program : phase->floor)(site, files);
  std::printf("%.6f\n", seconds);
  return 0;
}

// Earlier runs that ended, each with a journal of `files` replaced files, as
// a site that has been installed on for a while holds them.
void writeEarlierRuns(const SiteLayout& site, int runs, std::size_t files) {
  const auto day = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};
  for (int r = 0; r < runs; ++r) {
    const platform::RunStamp stamp = platform::makeRunStamp(day + std::chrono::hours{24 * r});
    journal::Journal journal(actions::journalFolder(site.instMainDir, stamp.runFolder));
    journal.begin(stamp);
    for (std::size_t f = 0; f < files; ++f)
      journal.append(journal::Replace{
          (site.instMainDir / "QO11" / ("page" + std::to_string(f) + ".asp")).string(),
          journal.nextBackup().filename().string(),
          {},
          "Web/page.asp",
          "",
          ""});
    journal.write(journal::End{});
  }
}

// Start-up of the program on the site as prepared, earlier runs and all.
int measureHistory(std::size_t files, const fs::path& folder) {
  const SiteLayout site(folder);
  useDataSourcesOf(site);
  std::printf("%.6f\n", startUpProgram(site, files));
  return 0;
}

// A fresh site with `runs` earlier runs, written in a process of its own so
// that the measured one pays for none of it.
int prepareHistory(std::size_t files, int runs, const fs::path& folder) {
  const SiteLayout site(folder);
  resetSite(site, files);
  fs::remove_all(site.instMainDir / "QOJournal");
  fs::create_directories(site.instMainDir / "QOJournal");
  writeEarlierRuns(site, runs, 10000);
  ::sync();
  return 0;
}

struct Result {
  double seconds = 0;
  double peakMiB = 0;
};

// Runs this program again with `arguments`: what it printed, as seconds, and
// its peak memory. Throws when it fails.
Result runChild(const fs::path& self, const std::vector<std::string>& arguments) {
  std::vector<std::string> words{self.string()};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe");
  const platform::Descriptor reading(ends[0]);
  platform::Descriptor writing(ends[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, writing.get(), STDOUT_FILENO);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::system_error(error, std::generic_category(), "cannot start a child");
  ::close(writing.release());
  std::string output;
  std::array<char, 256> chunk{};
  for (ssize_t got; (got = ::read(reading.get(), chunk.data(), chunk.size())) > 0;)
    output.append(chunk.data(), static_cast<std::size_t>(got));
  int status = 0;
  struct rusage usage = {};
  ::wait4(pid, &status, 0, &usage);
  std::string command;
  for (const std::string& word : arguments) command += " " + word;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("the measurement" + command + " failed");
  return {output.empty() ? 0 : std::stod(output), static_cast<double>(usage.ru_maxrss) / 1024};
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Row {
  double program = 0;  // seconds
  double floor = 0;
  double peakMiB = 0;
};

double microsecondsPerFile(double seconds, std::size_t files) {
  return seconds * 1e6 / static_cast<double>(files);
}

int runAll(const std::vector<std::size_t>& sizes) {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const TemporaryFolder root("qsi-bench-");
  std::printf(
      "Each phase of the installer against the floor of its own work (the same work done\n"
      "plainly), both measured in this run on the same data, each run in a fresh process.\n"
      "Times are medians of 5 runs (3 from 100,000 files); ratio = program/floor; us/file and\n"
      "peak (ru_maxrss while the phase ran) are the program's. Metabase: SQLite through its\n"
      "ODBC driver (WAL journal, synchronous NORMAL). Data below %s.\n\n",
      root.path().c_str());
  std::printf("%-13s %7s %12s %12s %8s %12s %10s\n", "phase", "files", "program ms", "floor ms",
              "ratio", "us/file", "peak MiB");
  std::fflush(stdout);
  std::vector<std::vector<Row>> rows(kPhases.size());
  for (const std::size_t files : sizes) {
    const fs::path folder = root.path() / ("n" + std::to_string(files));
    const auto started = std::chrono::steady_clock::now();
    runChild(self, {"--prepare", std::to_string(files), folder.string()});
    std::fprintf(stderr, "(%zu files: site written in %.0f s)\n", files,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    const int repetitions = files >= 100000 ? 3 : 5;
    for (std::size_t p = 0; p < kPhases.size(); ++p) {
      std::vector<double> program, floor, peak;
      // Taken in turns, so that a change in the machine's load falls on both.
      for (int r = 0; r < repetitions; ++r)
        for (const char* who : {"program", "floor"}) {
          const Result result = runChild(self, {"--measure", std::string(kPhases[p].name), who,
                                                std::to_string(files), folder.string()});
          (who == std::string_view("program") ? program : floor).push_back(result.seconds);
          if (who == std::string_view("program")) peak.push_back(result.peakMiB);
        }
      const Row& row = rows[p].emplace_back(Row{median(program), median(floor), median(peak)});
      std::printf("%-13.*s %7zu %12.1f %12.1f %8.2f %12.1f %10.1f\n", nameWidth(kPhases[p]),
                  kPhases[p].name.data(), files, row.program * 1e3, row.floor * 1e3,
                  row.program / row.floor, microsecondsPerFile(row.program, files), row.peakMiB);
      std::fflush(stdout);
    }
    fs::remove_all(folder);
  }
  if (sizes.size() < 2) return 0;
  const std::size_t from = sizes[sizes.size() - 2];
  const std::size_t to = sizes.back();
  std::printf("\nGrowth of the per-file cost from %zu to %zu files (1.00: linear)\n", from, to);
  std::printf("%-13s %12s %12s\n", "phase", "program", "floor");
  for (std::size_t p = 0; p < kPhases.size(); ++p) {
    const Row& small = rows[p][sizes.size() - 2];
    const Row& large = rows[p].back();
    std::printf("%-13.*s %12.2f %12.2f\n", nameWidth(kPhases[p]), kPhases[p].name.data(),
                microsecondsPerFile(large.program, to) / microsecondsPerFile(small.program, from),
                microsecondsPerFile(large.floor, to) / microsecondsPerFile(small.floor, from));
  }
  return 0;
}

// Start-up on a site of 1,000 files with no earlier runs against one with 10
// earlier runs of 10,000 files each: listing the runs reads their markers
// only, so both should cost alike.
int runHistory() {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const TemporaryFolder root("qsi-bench-");
  const std::size_t files = 1000;
  const fs::path folder = root.path() / "history";
  runChild(self, {"--prepare", std::to_string(files), folder.string()});
  std::printf("Start-up against earlier runs (10,000 files each), medians of 5 runs\n");
  std::printf("%-14s %12s %10s\n", "earlier runs", "start-up ms", "peak MiB");
  Row none;
  for (const int runs : {0, 10}) {
    std::vector<double> seconds, peak;
    for (int r = 0; r < 5; ++r) {
      runChild(self,
               {"--history-prepare", std::to_string(files), std::to_string(runs), folder.string()});
      const Result result =
          runChild(self, {"--history-measure", std::to_string(files), folder.string()});
      seconds.push_back(result.seconds);
      peak.push_back(result.peakMiB);
    }
    const Row row{median(seconds), 0, median(peak)};
    if (runs == 0) none = row;
    std::printf("%-14d %12.1f %10.1f\n", runs, row.program * 1e3, row.peakMiB);
    if (runs != 0)
      std::printf("ratio to none: time %.2f, peak %.2f\n", row.program / none.program,
                  row.peakMiB / none.peakMiB);
  }
  return 0;
}

int run(const std::vector<std::string_view>& args) {
  if (args.size() == 3 && args[0] == "--prepare") {
    generateSite(SiteLayout(args[2]), parseCount(args[1]));
    return 0;
  }
  if (args.size() == 5 && args[0] == "--measure")
    return measure(args[1], args[2], parseCount(args[3]), args[4]);
  if (args.size() == 4 && args[0] == "--history-prepare")
    return prepareHistory(parseCount(args[1]),
                          args[2] == "0" ? 0 : static_cast<int>(parseCount(args[2])), args[3]);
  if (args.size() == 3 && args[0] == "--history-measure")
    return measureHistory(parseCount(args[1]), args[2]);
  if (args.size() == 1 && args[0] == "--history") return runHistory();
  std::vector<std::size_t> sizes;
  for (const std::string_view arg : args) sizes.push_back(parseCount(arg));
  if (sizes.empty()) sizes = {1000, 10000, 100000};
  return runAll(sizes);
}

}  // namespace
}  // namespace qsi::bench

int main(int argc, char** argv) {
  try {
    return qsi::bench::run(std::vector<std::string_view>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_phases: %s\n", e.what());
    return 1;
  }
}
