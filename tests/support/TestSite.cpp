#include "support/TestSite.h"

#include <algorithm>
#include <fstream>
#include <random>

#include "log/CLog.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

namespace qsi::test {

namespace fs = std::filesystem;

void RecordingUi::setProgress(platform::ProgressBox box, std::string text, bool) {
  progressHistory.push_back(text);
  (box == platform::ProgressBox::Text ? progressText : progressDetail) = std::move(text);
}

void RecordingUi::append(platform::InfoBox box, std::string_view text) {
  (box == platform::InfoBox::Solution ? solution : current).append(text);
}

platform::Answer RecordingUi::messageBox(const platform::MessageBox& box) {
  boxes.push_back(box);
  return box.buttons == platform::Buttons::RetryCancel ? platform::Answer::Cancel
                                                       : platform::Answer::OK;
}

namespace {
fs::path makeRoot() {
  std::random_device random;
  const fs::path root = fs::temp_directory_path() /
                        ("qsi-test-" + std::to_string(random()) + std::to_string(random()));
  fs::create_directories(root / "installer");
  fs::create_directories(root / "inst");
  return root;
}
}  // namespace

TestSite::TestSite()
    : root(makeRoot()),
      installer(root / "installer"),
      instMainDir(root / "inst"),
      registryFile(root / "registry.reg"),
      registry(registryFile),
      env{registry, profiles, ui, installer, platform::makeRunStamp(FixedClock{}.now())} {
  writeRegistry();
}

TestSite::~TestSite() {
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

fs::path TestSite::write(const std::string& relative, std::string_view content) const {
  const fs::path file = (root / relative).make_preferred();
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return file;
}

void TestSite::writeRegistry(std::string_view extraLines) const {
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]\r\n"
      "\"InstallDir\"=\"" +
      regText(instMainDir.string()) +
      "/bin\"\r\n"
      "\"InstMainDir\"=\"" +
      regText(instMainDir.string()) +
      "\"\r\n"
      "\"IISVirtId\"=\"1\"\r\n"
      "\"MemScriptCode\"=\"QO\"\r\n\r\n";
  text.append(extraLines);
  write(fs::relative(registryFile, root).string(), text);
}

std::string TestSite::logText(std::string_view section) const {
  return readText(log::CLog::logFilePath(env, section));
}

std::string TestSite::snapshot() const {
  std::string out = readText(registryFile);
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(instMainDir); it != fs::end(it); ++it) {
    const std::string name = fs::relative(it->path(), instMainDir).generic_string();
    if (it.depth() == 0 && (name == "QOLog" || name == "QOCustomized" || name == "QOJournal")) {
      it.disable_recursion_pending();
      continue;
    }
    lines.push_back(name + (it->is_regular_file() ? " = " + readText(it->path()) : "/"));
  }
  std::sort(lines.begin(), lines.end());
  for (const std::string& line : lines) out += "\n" + line;
  return out;
}

std::string regText(std::string_view text) {
  return platform::replaceAll(platform::replaceAll(text, "\\", "\\\\"), "\"", "\\\"");
}

std::string readText(const fs::path& file) {
  return platform::readFileBytes(file);
}

}  // namespace qsi::test
