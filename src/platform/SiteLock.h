#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qsi::platform {

// One installer per site: an exclusive lock on a file below the site's
// installation folder, held while the object lives (flock on Linux, a handle
// that shares no writing on Windows). The lock goes with the process, even
// when it is killed; the file stays.
class SiteLock {
 public:
  // Takes the lock of `file` (made when missing) without waiting, and writes
  // `holder` into the file, telling who holds the site. When another process
  // holds it, returns nullopt and sets `heldBy` to what that process wrote.
  // Throws std::system_error when the file cannot be made or opened.
  [[nodiscard]] static std::optional<SiteLock> take(const std::filesystem::path& file,
                                                    std::string_view holder, std::string& heldBy);

  SiteLock(SiteLock&& other) noexcept;
  SiteLock& operator=(SiteLock&& other) noexcept;
  SiteLock(const SiteLock&) = delete;
  SiteLock& operator=(const SiteLock&) = delete;
  ~SiteLock();

  // This process, as the lock file tells it to a second installer.
  [[nodiscard]] static std::string describeThisProcess(std::string_view startTime);

 private:
#ifdef _WIN32
  explicit SiteLock(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;
#else
  explicit SiteLock(int fd) : fd_(fd) {}
  int fd_ = -1;
#endif
};

}  // namespace qsi::platform
