#include "control/Unattended.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <ostream>
#include <stdexcept>

#include "checksum/Checksum.h"
#include "log/CLog.h"
#include "platform/FileIO.h"
#include "platform/Interrupt.h"
#include "platform/Paths.h"
#include "platform/Secret.h"
#include "platform/Text.h"
#include "site/RegistryAccess.h"
#include "site/RootKey.h"

namespace qsi::control {

namespace fs = std::filesystem;
using platform::Json;

namespace {

// A question the answers file leaves open and that has no default.
class UnansweredQuestion : public std::runtime_error {
 public:
  UnansweredQuestion(std::string key, std::string text)
      : std::runtime_error("No answer for the question \"" + text + "\" (answers key \"" + key +
                           "\")"),
        key_(std::move(key)),
        text_(std::move(text)) {}
  [[nodiscard]] const std::string& key() const { return key_; }
  [[nodiscard]] const std::string& text() const { return text_; }

 private:
  std::string key_;
  std::string text_;
};

std::string partName(Part part) {
  return part == Part::web ? "web" : part == Part::db ? "db" : "all";
}

bool readChoice(const Json& value, std::string_view key, std::string_view yes,
                std::string_view no) {
  if (value.kind() == Json::Kind::String && (value.string() == yes || value.string() == no))
    return value.string() == yes;
  throw std::runtime_error("the answer to \"" + std::string(key) + "\" must be \"" +
                           std::string(yes) + "\" or \"" + std::string(no) + "\"");
}

// The boxes a run shows, told on a stream; each question answered as the
// answers say. It never reads the console.
class UnattendedView final : public View {
 public:
  UnattendedView(std::ostream& out, const Answers& answers, std::string password)
      : out_(out), answers_(answers), password_(std::move(password)) {}
  ~UnattendedView() override { platform::wipe(password_); }
  UnattendedView(const UnattendedView&) = delete;
  UnattendedView& operator=(const UnattendedView&) = delete;

  void refresh(Element, const MainWindowState&) override {}

  platform::Answer messageBox(const platform::MessageBox& box) override {
    const std::string text = platform::escapeControls(platform::replaceAll(box.text, "\r\n", "\n"),
                                                      platform::LineEnds::Kept);
    out_ << text << '\n';
    last_ = platform::replaceAll(box.text, "\r\n", " ");
    if (box.buttons == platform::Buttons::OK) return platform::Answer::OK;
    const std::string key(box.question);
    if (key == kLoginRetryQuestion) {  // the logins were all tried
      loginRefused_ = true;
      return platform::Answer::Cancel;
    }
    std::optional<bool> yes;
    if (key == kUnfinishedRunQuestion) yes = answers_.undoUnfinishedRun;
    if (key == kOnFailureQuestion) yes = answers_.undoOnFailure.value_or(true);
    if (!yes) throw unanswered(key.empty() ? "(none)" : key, last_);
    out_ << "Answered: " << (*yes ? "Yes" : "No") << '\n';
    return *yes ? platform::Answer::Yes : platform::Answer::No;
  }

  void showLogin(frmLogin& login) override {
    if (password_.empty())
      throw unanswered(std::string(kPasswordQuestion),
                       std::string(frmLogin::caption) + ": " + std::string(frmLogin::lblLabels));
    // A refused password is tried again as often as the answers allow (a
    // database server that is starting), then the dialog is cancelled.
    if (retriesLeft_ < 0) {
      login.cmdCancel_Click();
      return;
    }
    --retriesLeft_;
    login.txtPassword = password_;
    login.cmdOK_Click();
    platform::wipe(login.txtPassword);
  }

  void showReport(const frmReport&) override {}

  // The password is proven and kept by the login dialog alone.
  void forgetPassword() { platform::wipe(password_); }
  void retries(int count) { retriesLeft_ = count; }

  [[nodiscard]] const std::optional<UnansweredQuestion>& question() const { return question_; }
  [[nodiscard]] bool loginRefused() const { return loginRefused_; }
  [[nodiscard]] const std::string& lastBox() const { return last_; }

 private:
  UnansweredQuestion unanswered(const std::string& key, const std::string& text) {
    question_.emplace(key, text);
    return *question_;
  }

  std::ostream& out_;
  const Answers& answers_;
  std::string password_;
  int retriesLeft_ = 0;
  bool loginRefused_ = false;
  std::string last_;
  std::optional<UnansweredQuestion> question_;
};

std::string readPassword(const PasswordSource& source) {
  switch (source.kind) {
    case PasswordSource::Kind::none:
      return {};
    case PasswordSource::Kind::standardInput:
      return platform::readSecretLine(0, "standard input");
    case PasswordSource::Kind::descriptor:
      return platform::readSecretLine(source.descriptor,
                                      "descriptor " + std::to_string(source.descriptor));
    case PasswordSource::Kind::file:
      return platform::readSecretFile(source.file);
  }
  return {};
}

// RFC 3339 in local time with its offset.
std::string timeText(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  std::string out(text);
  if (out.size() >= 5) out.insert(out.size() - 2, ":");
  return out;
}

Json baseResult(const UnattendedRequest& request, const ResultStart& start) {
  const auto finished = std::chrono::system_clock::now();
  const std::chrono::duration<double> took = finished - start.started;
  Json result = Json::object();
  result.set("schema", 1)
      .set("installer",
           Json::object().set("version", request.version).set("program", request.program))
      .set("run", Json())
      .set("mode", start.mode)
      .set("part", partName(start.part))
      .set("site", Json::object()
                       .set("inst_main_dir", Json())
                       .set("machine", Json())
                       .set("registry", Json::orNull(request.registryFile)))
      .set("package", Json())
      .set("times", Json::object()
                        .set("started", timeText(start.started))
                        .set("finished", timeText(finished))
                        .set("duration_seconds", took.count() < 0 ? 0.0 : took.count()))
      .set("exit_status", 0)
      .set("outcome", "")
      .set("changed", false)
      .set("stop_reason", Json())
      .set("plan", Json())
      .set("files", Json::array())
      .set("components", Json::array())
      .set("scripts", Json::array())
      .set("counts", Json::object())
      .set("logs", Json())
      .set("undo", Json())
      .set("lock_holder", Json())
      .set("question", Json())
      .set("errors", Json::array());
  return result;
}

Json error(std::int64_t number, std::string_view source, const std::string& step,
           std::string_view description, const std::string& cause, const std::string& logFile) {
  const auto orNull = [](const std::string& text) { return text.empty() ? Json() : Json(text); };
  return Json::object()
      .set("number", number)
      .set("source", source)
      .set("step", orNull(step))
      .set("description", description.empty() ? std::string_view("(none)") : description)
      .set("cause", orNull(cause))
      .set("log_file", orNull(logFile));
}

void setOutcome(Json& result, std::string_view outcome, int status, bool changed,
                std::string_view stopReason = {}) {
  result.set("outcome", outcome).set("exit_status", status).set("changed", changed);
  result.set("stop_reason", stopReason.empty() ? Json() : Json(stopReason));
}

Json counts(std::size_t installed, std::size_t failed, std::size_t notInstalled,
            std::size_t registered, std::size_t registrationsFailed, std::size_t ran,
            std::size_t scriptsFailed, std::size_t notRun) {
  return Json::object()
      .set("files_installed", installed)
      .set("files_failed", failed)
      .set("files_not_installed", notInstalled)
      .set("components_registered", registered)
      .set("components_failed", registrationsFailed)
      .set("scripts_ran", ran)
      .set("scripts_failed", scriptsFailed)
      .set("scripts_not_run", notRun);
}

const char* fileAction(actions::FileAction action) {
  switch (action) {
    case actions::FileAction::New:
      return "new";
    case actions::FileAction::Replace:
      return "replace";
    case actions::FileAction::SaveAndReplace:
      return "save_then_replace";
    case actions::FileAction::NotInstalled:
      break;
  }
  return "not_installed";
}

Json values(const std::vector<actions::PlannedValue>& planned) {
  Json list = Json::array();
  for (const actions::PlannedValue& value : planned)
    list.push(Json::object()
                  .set("where", value.where)
                  .set("before", Json::orNull(value.before))
                  .set("after", value.after));
  return list;
}

const char* componentKind(const actions::PlannedFile& file) {
  return file.isMTSComponent ? "mts" : "com";
}

Json planJson(const actions::InstallationPlan& plan, const std::string& textFile) {
  std::size_t counted[4] = {};
  Json modules = Json::array();
  std::size_t toInstall = 0;
  for (const actions::PlannedModule& module : plan.modules) {
    toInstall += module.install ? 1 : 0;
    modules.push(Json::object()
                     .set("name", module.name)
                     .set("installed_version",
                          module.installedVersion.empty() ? Json() : Json(module.installedVersion))
                     .set("package_version", module.newVersion)
                     .set("action", module.install ? "install" : "skip"));
  }
  Json files = Json::array();
  Json components = Json::array();
  for (const actions::PlannedFile& file : plan.files) {
    ++counted[static_cast<int>(file.action)];
    files.push(Json::object()
                   .set("path", file.path)
                   .set("module", file.module)
                   .set("package_path", file.packagePath)
                   .set("action", fileAction(file.action))
                   .set("reason", reasonOf(file).empty() ? Json() : Json(reasonOf(file)))
                   .set("again", file.again));
    if (file.action != actions::FileAction::NotInstalled &&
        (file.isCOMComponent || file.isMTSComponent))
      components.push(Json::object().set("path", file.path).set("kind", componentKind(file)));
  }
  Json scripts = Json::array();
  std::size_t toRun = 0;
  for (const actions::PlannedScript& script : plan.scripts) {
    toRun += script.skipped.empty() ? 1 : 0;
    scripts.push(Json::object()
                     .set("name", script.name)
                     .set("database", script.database.empty() ? Json() : Json(script.database))
                     .set("action", script.skipped.empty() ? "run" : "skip")
                     .set("reason", script.skipped.empty() ? Json() : Json(script.skipped)));
  }
  Json classes = Json::array();
  for (const std::string& path : plan.javaClasses) classes.push(path);
  using actions::FileAction;
  const auto count = [&](FileAction action) { return counted[static_cast<int>(action)]; };
  const std::size_t componentCount = components.items().size();
  return Json::object()
      .set("product", plan.product)
      .set("text_file", textFile.empty() ? Json() : Json(textFile))
      .set("summary", Json::object()
                          .set("modules_to_install", toInstall)
                          .set("modules_skipped", plan.modules.size() - toInstall)
                          .set("files_new", count(FileAction::New))
                          .set("files_replaced", count(FileAction::Replace))
                          .set("files_saved_then_replaced", count(FileAction::SaveAndReplace))
                          .set("files_not_installed", count(FileAction::NotInstalled))
                          .set("components", componentCount)
                          .set("java_classes", plan.javaClasses.size())
                          .set("scripts_to_run", toRun)
                          .set("scripts_skipped", plan.scripts.size() - toRun)
                          .set("registry_values", plan.registryValues.size())
                          .set("metabase_rows", plan.metabaseRows.size()))
      .set("modules", std::move(modules))
      .set("files", std::move(files))
      .set("components", std::move(components))
      .set("stops_services", plan.stopsServices)
      .set("java_classes", std::move(classes))
      .set("scripts", std::move(scripts))
      .set("registry_values", values(plan.registryValues))
      .set("metabase_rows", values(plan.metabaseRows));
}

// What the run did with each planned file, component and script.
void setRunItems(Json& result, const actions::InstallationPlan& plan, const RunOutcome& run) {
  const bool reachedEnd = !run.failure;
  Json files = Json::array();
  Json components = Json::array();
  std::size_t installed = 0, failed = 0, notInstalled = 0, registered = 0, notRegistered = 0;
  for (const actions::PlannedFile& file : plan.files) {
    const bool skipped = file.action == actions::FileAction::NotInstalled;
    const bool inPlace = file.entry < run.files.installed.size() && run.files.installed[file.entry];
    const char* outcome = skipped ? "not_installed" : inPlace ? "installed" : "failed";
    std::string reason = skipped   ? file.notInstalledWhy
                         : inPlace ? ""
                                   : "not put in place; the log \"" +
                                         std::string(actions::kCopyLog) + "\" tells why";
    (skipped ? notInstalled : inPlace ? installed : failed) += 1;
    files.push(Json::object()
                   .set("path", file.path)
                   .set("module", file.module)
                   .set("outcome", outcome)
                   .set("reason", reason.empty() ? Json() : Json(reason))
                   .set("saved_copy", Json()));
    if (skipped || !(file.isCOMComponent || file.isMTSComponent)) continue;
    const bool ok = inPlace && !run.files.failedModules.contains(file.module);
    (ok ? registered : notRegistered) += 1;
    components.push(
        Json::object()
            .set("path", file.path)
            .set("kind", componentKind(file))
            .set("outcome", ok        ? "registered"
                            : inPlace ? "failed"
                                      : "not_registered")
            .set("reason",
                 ok ? Json()
                    : Json("the log \"" + std::string(actions::kComponentLog) + "\" tells why")));
  }
  Json scripts = Json::array();
  std::size_t ran = 0, scriptsFailed = 0, notRun = 0;
  const bool partRan = reachedEnd && plan.databasePassedOver.empty();
  for (const actions::PlannedScript& script : plan.scripts) {
    const std::string log = "SQL Script - " + script.name;
    const bool failedScript = std::ranges::find(run.failedScripts, log) != run.failedScripts.end();
    const bool didRun = partRan && script.skipped.empty();
    const char* outcome = !didRun ? "not_run" : failedScript || script.missing ? "failed" : "ran";
    (!didRun ? notRun : failedScript || script.missing ? scriptsFailed : ran) += 1;
    const std::string reason =
        !didRun ? (script.skipped.empty() ? "the run ended before it" : script.skipped)
        : failedScript || script.missing ? "its log tells why"
                                         : "";
    scripts.push(Json::object()
                     .set("name", script.name)
                     .set("database", script.database.empty() ? Json() : Json(script.database))
                     .set("outcome", outcome)
                     .set("reason", reason.empty() ? Json() : Json(reason))
                     .set("log_file", didRun ? Json(log) : Json()));
  }
  const std::size_t failedRegistrations = std::max(notRegistered, run.files.failedRegistrations);
  result.set("files", std::move(files))
      .set("components", std::move(components))
      .set("scripts", std::move(scripts))
      .set("counts", counts(installed, failed, notInstalled, registered, failedRegistrations, ran,
                            scriptsFailed, notRun));
}

Json logsOf(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return Json();
  Json files = Json::array();
  std::vector<fs::path> found;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file(ec)) found.push_back(entry.path());
  std::ranges::sort(found);
  for (const fs::path& file : found)
    files.push(Json::object().set("step", file.stem().string()).set("file", file.string()));
  return Json::object().set("folder", folder.string()).set("files", std::move(files));
}

// "process 4711, started ...": the pid, when the holder wrote one.
Json holderPid(const std::string& heldBy) {
  constexpr std::string_view kProcess = "process ";
  if (!heldBy.starts_with(kProcess)) return Json();
  std::int64_t pid = 0;
  std::size_t i = kProcess.size();
  for (; i < heldBy.size() && heldBy[i] >= '0' && heldBy[i] <= '9' && pid < (1LL << 40); ++i)
    pid = pid * 10 + (heldBy[i] - '0');
  return pid > 0 ? Json(pid) : Json();
}

void setSite(Json& result, const platform::Registry& registry) {
  try {
    const std::string instMainDir = site::getInstMainDir(registry);
    const std::string machine = site::getHostname(registry);
    Json site = *result.find("site");
    site.set("inst_main_dir", instMainDir.empty() ? Json() : Json(instMainDir));
    site.set("machine", machine.empty() ? Json() : Json(machine));
    result.set("site", std::move(site));
  } catch (const std::exception&) {  // a site the registry does not name stays null
  }
}

void setPackage(Json& result, const Main& main) {
  const solution::SolutionInfo& info = main.solutionInfo();
  if (info.productName.empty()) return;
  std::error_code ec;
  const fs::path versions = main.folders().fileVersions;
  Json checksum;
  if (fs::is_regular_file(versions, ec)) {
    try {
      checksum = checksum::getFileChecksum(versions);
    } catch (const std::exception&) {
    }
  }
  const bool known = info.solutionType == "Solution" || info.solutionType == "ServicePack";
  result.set("package",
             Json::object()
                 .set("folder", main.folders().solutionRoot.string())
                 .set("product", info.productName)
                 .set("version", info.version.empty() ? Json() : Json(info.version.text()))
                 .set("type", known ? Json(info.solutionType) : Json())
                 .set("file_version_checksum", std::move(checksum)));
}

}  // namespace

Answers readAnswers(const fs::path& file) {
  const Json document = Json::parse(platform::readFileBytes(file));
  if (document.kind() != Json::Kind::Object)
    throw std::runtime_error("the answers file holds no JSON object");
  Answers answers;
  for (std::size_t i = 0; i < document.keys().size(); ++i) {
    const std::string& key = document.keys()[i];
    const Json& value = document.items()[i];
    if (key == kUnfinishedRunQuestion) {
      answers.undoUnfinishedRun = readChoice(value, key, "undo", "keep");
    } else if (key == kOnFailureQuestion) {
      answers.undoOnFailure = readChoice(value, key, "undo", "keep");
    } else if (key == kCustomizationsQuestion) {
      answers.continueWithCustomizations = readChoice(value, key, "continue", "stop");
    } else if (key == kLoginRetryQuestion) {
      if (!value.isIntegral() || value.integer() < 0 || value.integer() > 100)
        throw std::runtime_error("the answer to \"" + key + "\" must be a count from 0 to 100");
      answers.loginRetries = static_cast<int>(value.integer());
    } else {
      throw std::runtime_error("unknown key \"" + platform::escapeControls(key) +
                               "\" in the answers file");
    }
  }
  return answers;
}

Json refusalResult(const UnattendedRequest& request, const ResultStart& start,
                   std::string_view stopReason, std::string_view description) {
  Json result = baseResult(request, start);
  setOutcome(result, "refused", platform::EndProgram::kStopped, false, stopReason);
  result.set("counts", counts(0, 0, 0, 0, 0, 0, 0, 0));
  result.set("errors", Json::array().push(error(platform::EndProgram::kStopped,
                                                "qsolutioninstaller", "", description, "", "")));
  return result;
}

void writeResult(const fs::path& file, const Json& result, std::ostream& err) {
  try {
    // Private from its first byte, made anew beside the file and renamed over
    // it: no link in the result's folder is followed.
    platform::writeFileAtomically(file, result.dump(1) + "\n",
                                  fs::perms::owner_read | fs::perms::owner_write);
  } catch (const std::exception& e) {
    err << "qsolutioninstaller: the result cannot be written: " << e.what() << '\n';
  }
}

int runUnattended(Services services, const UnattendedRequest& request, std::ostream& out) {
  const ResultStart start{std::chrono::system_clock::now(),
                          request.settings.planOnly ? "plan" : "install", request.settings.part};
  const auto finish = [&](const Json& result) {
    if (request.resultFile) writeResult(*request.resultFile, result, out);
    return static_cast<int>(result.find("exit_status")->integer());
  };
  Answers answers;
  std::string password;
  try {
    if (request.answersFile) answers = readAnswers(*request.answersFile);
  } catch (const std::exception& e) {
    out << "The answers file is refused: " << e.what() << '\n';
    Json refused = refusalResult(request, start, "answers",
                                 "The answers file is refused: " + std::string(e.what()));
    setSite(refused, services.registry);
    return finish(refused);
  }
  if (request.undoOnFailure) answers.undoOnFailure = request.undoOnFailure;
  try {
    password = readPassword(request.password);
  } catch (const platform::SecretRefused& e) {
    out << "The password is refused: " << e.what() << '\n';
    Json refused = refusalResult(request, start, "password", e.what());
    setSite(refused, services.registry);
    return finish(refused);
  }

  platform::Registry& registry = services.registry;
  UnattendedView view(out, answers, std::move(password));
  platform::wipe(password);
  view.retries(answers.loginRetries);
  Main main(std::move(services), view);
  main.configure(request.settings);
  bool cancelled = false;
  std::optional<ProgramEnd> ended = main.Form_Load();
  if (!ended) {
    ended = main.press(Button::cmdRetrieveInfo);
    view.forgetPassword();
    if (!ended && main.solutionInfo().hasCustomizedFiles && !answers.continueWithCustomizations) {
      out << "The customized files found stop the run (answers key \"customizations\").\n";
      cancelled = true;
    }
    if (ended || request.settings.planOnly || !main.planChangesSite() || cancelled)
      main.endPlanOnly();
    else
      ended = main.press(Button::cmdStart);
  }
  const bool upToDate = ended && ended->ending == Ending::upToDate;
  if (upToDate) ended.reset();
  const RunOutcome* installation = ended && ended->run ? &*ended->run : nullptr;
  const bool changedSite = installation != nullptr && installation->changedSite;
  view.forgetPassword();
  platform::wipe(main.login().SAPassword);
  platform::wipe(main.login().txtPassword);

  Json result = baseResult(request, start);
  setSite(result, registry);
  setPackage(result, main);
  const std::string& run = main.environment().stamp.runFolder;
  if (!run.empty()) result.set("run", run);
  const std::string instMainDir = main.siteInfo().instMainDir.empty()
                                      ? site::getInstMainDir(registry)
                                      : main.siteInfo().instMainDir;
  const fs::path logFolder = run.empty() ? fs::path() : fs::path(instMainDir) / "QOLog" / run;
  if (!run.empty()) result.set("logs", logsOf(logFolder));
  if (main.hasPlan()) {
    const fs::path text = logFolder / "Installation Plan.txt";
    std::error_code ec;
    result.set("plan", planJson(main.plan(), fs::is_regular_file(text, ec) ? text.string() : ""));
  }
  result.set("counts", counts(0, 0, 0, 0, 0, 0, 0, 0));
  if (installation != nullptr) setRunItems(result, main.plan(), *installation);

  const bool interrupted =
      !main.errors().empty() && main.errors().back().number == platform::kInterrupted;
  const std::string failureReason = view.question() ? "unanswered_question"
                                    : interrupted   ? "interrupted"
                                                    : "failure";
  Json errors = Json::array();
  for (const ReportedError& e : main.errors())
    errors.push(error(e.number, e.source, e.step, e.description, e.cause, e.logFile));
  if (upToDate) {
    setOutcome(result, "nothing_to_do", 0, false);
  } else if (!ended) {
    if (cancelled)
      setOutcome(result, "refused", platform::EndProgram::kStopped, false, "cancelled");
    else if (request.settings.planOnly && main.planChangesSite())
      setOutcome(result, "planned", 0, true);
    else
      setOutcome(result, "nothing_to_do", 0, false);
  } else if (ended->ending == Ending::completed) {
    setOutcome(result, "completed", 0, true);
  } else if (ended->ending == Ending::completedWithFailures) {
    setOutcome(result, "completed_with_failures", 3, true);
  } else if (ended->ending == Ending::failed) {
    setOutcome(result, "failed", 1, changedSite, failureReason);
  } else {
    const std::string_view why = !main.lockHolder().empty() ? "lock_held"
                                 : view.loginRefused()      ? "login"
                                                            : "check";
    setOutcome(result, "refused", platform::EndProgram::kStopped, false, why);
    if (why == "lock_held")
      result.set("lock_holder", Json::object()
                                    .set("pid", holderPid(main.lockHolder()))
                                    .set("description", main.lockHolder()));
  }
  if (view.question() && ended && ended->ending == Ending::failed)
    result.set(
        "question",
        Json::object().set("key", view.question()->key()).set("text", view.question()->text()));
  const std::string outcome = result.find("outcome")->string();
  if ((outcome == "failed" || outcome == "refused") && errors.items().empty())
    errors.push(error(result.find("exit_status")->integer(), "qsolutioninstaller", "",
                      view.lastBox(), "", ""));
  result.set("errors", std::move(errors));
  if (!request.settings.planOnly && changedSite) {
    Json command =
        Json::array().push(request.program).push("--undo").push(run).push("--unattended");
    result.set("undo", Json::object()
                           .set("handle", run)
                           .set("command", std::move(command))
                           .set("undone", installation->undone));
    if (result.find("logs")->kind() == Json::Kind::Null)
      result.set("logs",
                 Json::object().set("folder", logFolder.string()).set("files", Json::array()));
  }
  out << "Outcome: " << outcome << '\n';
  return finish(result);
}

Json undoResult(const UnattendedRequest& request, const ResultStart& start, int exitStatus,
                const std::string& told, const std::optional<std::string>& run,
                const std::string& lockHolder, const std::vector<std::string>& conflicts,
                bool refused) {
  Json result = baseResult(request, start);
  result.set("counts", counts(0, 0, 0, 0, 0, 0, 0, 0));
  if (run) result.set("run", *run);
  const std::string flat = platform::replaceAll(told, "\n", " ");
  const std::string description(platform::trim(flat));
  const auto failed = [&](std::string_view outcome, int status, std::string_view why) {
    setOutcome(result, outcome, status, outcome == "failed", why);
    Json errors = Json::array().push(error(status, "Undo", "", description, "", ""));
    for (const std::string& conflict : conflicts)
      errors.push(
          error(status, "Undo", "Undo", conflict, "changed after the run, left as it is", ""));
    result.set("errors", std::move(errors));
  };
  if (exitStatus == platform::EndProgram::kInstalled) {
    setOutcome(result, "undone", 0, true);
  } else if (!lockHolder.empty()) {
    failed("refused", platform::EndProgram::kStopped, "lock_held");
    result.set("lock_holder",
               Json::object().set("pid", holderPid(lockHolder)).set("description", lockHolder));
  } else if (exitStatus == platform::EndProgram::kStopped && !run && !refused) {
    setOutcome(result, "nothing_to_do", 0, false);
  } else if (exitStatus == platform::EndProgram::kStopped) {
    failed("refused", platform::EndProgram::kStopped, "check");
  } else {
    failed("failed", platform::EndProgram::kFailed, "failure");
  }
  return result;
}

}  // namespace qsi::control
