#include "support/TestSite.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <set>

#include "log/CLog.h"
#include "platform/FileIO.h"
#include "platform/Text.h"

namespace qsi::test {

namespace fs = std::filesystem;

namespace {
fs::path makeRoot() {
  std::random_device random;
  const fs::path root = fs::temp_directory_path() /
                        ("qsi-test-" + std::to_string(random()) + std::to_string(random()));
  for (const char* folder : {"installer", "inst"}) fs::create_directories(root / folder);
  return root;
}

std::string joined(const std::set<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}
}  // namespace

TestSite::TestSite()
    : root(makeRoot()),
      installer(root / "installer"),
      instMainDir(root / "inst"),
      registryFile(root / "registry.reg"),
      registry(registryFile),
      env{registry,
          profiles,
          ui,
          installer,
          platform::makeRunStamp(FixedClock{}.now()),
          nullptr,
          nullptr,
          instMainDir / "QOLog"} {
  writeRegistry();
}

TestSite::~TestSite() {
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

fs::path TestSite::write(const std::string& relative, std::string_view content) const {
  const fs::path file = (root / relative).make_preferred();
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
  return file;
}

void TestSite::writeRegistry(std::string_view extraLines) const {
  const std::string inst = regText(instMainDir.string());
  write(fs::relative(registryFile, root).string(),
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\"
        "Corvane Q-Orchard]\r\n\"InstallDir\"=\"" +
            inst + "/bin\"\r\n\"InstMainDir\"=\"" + inst +
            "\"\r\n\"IISVirtId\"=\"1\"\r\n\"MemScriptCode\"=\"QO\"\r\n\r\n" +
            std::string(extraLines));
}

std::string TestSite::logText(std::string_view section) const {
  return readText(log::CLog::logFilePath(env, section));
}

std::string TestSite::snapshot(const std::filesystem::path& store) const {
  // By name: a key made again may stand elsewhere; a parent is there unnamed.
  std::set<std::string> lines;
  for (const auto& key : platform::RegFileRegistry::parse(readText(store), store).keys) {
    const std::string path = platform::toLower(key.path);
    for (auto at = path.find('\\');; at = path.find('\\', at + 1)) {
      lines.insert("[" + path.substr(0, at) + "]");
      if (at == std::string::npos) break;
    }
    for (const auto& value : key.values)
      lines.insert("[" + path + "] " + platform::toLower(value.name) + "=" + value.data);
  }
  return joined(lines) + treeText(instMainDir, {"QOLog", "QOCustomized", "QOJournal"});
}

std::string treeText(const fs::path& folder, const std::vector<std::string>& leaveOut) {
  std::set<std::string> lines;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::end(it); ++it) {
    const std::string name = fs::relative(it->path(), folder).generic_string();
    if (it.depth() == 0 && std::find(leaveOut.begin(), leaveOut.end(), name) != leaveOut.end()) {
      it.disable_recursion_pending();
      continue;
    }
    lines.insert(name + (it->is_regular_file() ? " = " + readText(it->path()) : "/"));
  }
  return joined(lines);
}

std::string utf16Bytes(std::u16string_view text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes.append(bigEndian ? std::string{high, low} : std::string{low, high});
  }
  return bytes;
}

std::string regText(std::string_view text) {
  return platform::replaceAll(platform::replaceAll(text, "\\", "\\\\"), "\"", "\\\"");
}

std::string readText(const fs::path& file) {
  return platform::readFileBytes(file);
}

}  // namespace qsi::test
