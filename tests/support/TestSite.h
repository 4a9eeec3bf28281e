#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/Environment.h"
#include "platform/ProfileReader.h"
#include "platform/RegFileRegistry.h"
#include "support/ScriptedView.h"

namespace qsi::test {

// A fixed moment, so that a run's folder names are known.
class FixedClock final : public platform::Clock {
 public:
  std::chrono::system_clock::time_point when{
      std::chrono::sys_days{std::chrono::year{2026} / 12 / 6} + std::chrono::hours{10} +
      std::chrono::minutes{31}};
  [[nodiscard]] std::chrono::system_clock::time_point now() const override { return when; }
};

class RecordingUi final : public platform::UserInterface {
 public:
  std::string progressText, progressDetail, solution, current;
  std::vector<platform::MessageBox> boxes;
  void setProgress(platform::ProgressBox box, std::string_view text, bool) override {
    (box == platform::ProgressBox::Text ? progressText : progressDetail) = text;
  }
  void append(platform::InfoBox box, std::string_view text) override {
    (box == platform::InfoBox::Solution ? solution : current).append(text);
  }
  void setProgressCount(std::size_t, std::size_t) override {}
  platform::Answer messageBox(const platform::MessageBox& box) override {
    boxes.push_back(box);
    return box.buttons == platform::Buttons::RetryCancel ? platform::Answer::Cancel
                                                         : platform::Answer::OK;
  }
};

// A temporary site with a registry file naming it.
class TestSite {
 public:
  TestSite();
  ~TestSite();
  TestSite(const TestSite&) = delete;
  TestSite& operator=(const TestSite&) = delete;

  std::filesystem::path root;
  std::filesystem::path installer;  // the installer's folder; the package is installer/Solution
  std::filesystem::path instMainDir;
  std::filesystem::path registryFile;
  platform::RegFileRegistry registry;
  platform::ProfileReader profiles;
  RecordingUi ui;
  platform::Environment env;

  // A file below root; `relative` uses "/".
  std::filesystem::path write(const std::string& relative, std::string_view content) const;
  void writeRegistry(std::string_view extraLines = {}) const;
  std::filesystem::path writePackage(const std::string& relative, std::string_view content) const {
    return write("installer/Solution/" + relative, content);
  }
  [[nodiscard]] std::string logText(std::string_view section) const;
  // The registry and the installation folder but the installer's own records.
  [[nodiscard]] std::string snapshot(const std::filesystem::path& store) const;
  [[nodiscard]] std::string snapshot() const { return snapshot(registryFile); }
};

[[nodiscard]] std::string readText(const std::filesystem::path& file);

// Every file (with its bytes) and folder below `folder` but `leaveOut`.
[[nodiscard]] std::string treeText(const std::filesystem::path& folder,
                                   const std::vector<std::string>& leaveOut = {});

// UTF-16 text with its byte-order mark, as Windows tools save it.
[[nodiscard]] std::string utf16Bytes(std::u16string_view text, bool bigEndian = false);

// A text as a registry file quotes it.
[[nodiscard]] std::string regText(std::string_view text);

}  // namespace qsi::test
