#pragma once

#include <cstddef>
#include <filesystem>

namespace qsi::bench {

// Writes a synthetic solution package with `fileCount` content files to
// `installerFolder`/Solution: a descriptor, five module definition files with
// component lists, web files spread over the modules' web folders (about a
// hundred per folder), one file in ten a component (half of them libraries),
// two SQL scripts with their Sequence.txt, and a FileVersion.txt that lists
// every content file with its checksum.
void generatePackage(const std::filesystem::path& installerFolder, std::size_t fileCount);

// Writes a registry file whose suite root key names `instMainDir`, with the
// web server's host name BENCH01.
void writeRegistryFile(const std::filesystem::path& file, const std::filesystem::path& instMainDir);

// A new folder below the system's temporary folder, removed with everything
// in it when the object goes.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const char* prefix);
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace qsi::bench
