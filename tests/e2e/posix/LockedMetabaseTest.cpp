#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "e2e/EndToEnd.h"

namespace qsi::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A Metabase on the server whose Q-Alder MODULE row another session holds
// locked for the whole test. The run ends on its way out for failures.
class LockedMetabase : public EndToEnd {
 protected:
  void addMetabase() override {
    requirePostgres();
    sources.addPostgres("QOMetabase");
  }
  void SetUp() override {
    EndToEnd::SetUp();
    if (IsSkipped()) return;
    writePackage("ServicePack");
    holder = sources.connect("QOMetabase");
    holder.execute("BEGIN; UPDATE MODULE SET VERSION = VERSION WHERE MODULE = 'Q-Alder'");
  }
  void install(const std::string& shown, const std::function<void(unsigned long)>& during = {}) {
    const ProcessResult result = run("1\n" + saPassword() + "\n\n\n\n2\n\n\n", during);
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_NE(result.out.find(shown), std::string::npos) << result.out;
    EXPECT_TRUE(calls().ends_with(
        "stop.exe qosvc11.exe\nnet start IISADMIN\nnet start LDAPSVC\nnet start W3SVC\n"))
        << calls();
    EXPECT_EQ(appVersion("WebServer"), "2.1.0.0");
  }
  platform::OdbcConnection holder;
};

TEST_F(LockedMetabase, TheRunWaitsNoLongerThanTheQueryTimeLimit) {
  const ScopedEnv limit("QSI_QUERY_TIMEOUT", "5");
  const auto started = Clock::now();
  install(
      "Error 1040 in OdbcConnection::execute:\nThe statement did not end within its time "
      "limit of 5 s (QSI_QUERY_TIMEOUT).\nERROR: canceling statement due to statement timeout");
  EXPECT_LT(Clock::now() - started, 25s);  // the run takes a second besides
}

TEST_F(LockedMetabase, SigtermWhileTheRunWaitsEndsItWithinFiveSeconds) {
  Clock::time_point signalled;
  install("Error 1050 in QSolutionInstaller:\nThe installer was told to end (signal 15).",
          [&](unsigned long pid) {
            for (int i = 0; i < 3000 && sources.rows("QOMetabase",
                                                     "SELECT COUNT(*) FROM pg_stat_activity WHERE "
                                                     "datname = current_database() AND "
                                                     "wait_event_type = 'Lock'")[0][0] == "0";
                 ++i)
              std::this_thread::sleep_for(10ms);
            signalled = Clock::now();
            ::kill(static_cast<pid_t>(pid), SIGTERM);
          });
  EXPECT_LT(Clock::now() - signalled, 5s);
  EXPECT_NE(readText(runLogs() / "Start Services.txt")
                .find("  The run ended with a failure; the services are started again: The "
                      "installer was told to end (signal 15).\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace qsi::test
