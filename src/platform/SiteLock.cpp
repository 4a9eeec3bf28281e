#include "platform/SiteLock.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include "platform/win32/WindowsApi.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/Descriptor.h"
#endif

namespace qsi::platform {

namespace fs = std::filesystem;

std::string SiteLock::describeThisProcess(std::string_view startTime) {
#ifdef _WIN32
  const auto pid = static_cast<unsigned long>(GetCurrentProcessId());
#else
  const auto pid = static_cast<unsigned long>(::getpid());
#endif
  return "process " + std::to_string(pid) + ", started " + std::string(startTime);
}

#ifdef _WIN32

namespace {
std::string readAll(HANDLE file) {
  std::string text(4096, '\0');
  DWORD got = 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr)) got = 0;
  text.resize(got);
  return text;
}
}  // namespace

std::optional<SiteLock> SiteLock::take(const fs::path& file, std::string_view holder,
                                       std::string& heldBy) {
  const std::string name = file.string();
  // Others may read who holds the site, never write: a second installer's
  // open for writing fails with a sharing violation.
  HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION)
      throw std::system_error(static_cast<int>(error), std::system_category(),
                              "cannot open the site's lock file " + name);
    const Handle reader(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    heldBy = reader.valid() ? readAll(reader.get()) : std::string("another installer");
    return std::nullopt;
  }
  SiteLock lock(handle);
  SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
  SetEndOfFile(handle);
  DWORD written = 0;
  WriteFile(handle, holder.data(), static_cast<DWORD>(holder.size()), &written, nullptr);
  FlushFileBuffers(handle);
  return lock;
}

SiteLock::SiteLock(SiteLock&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

SiteLock& SiteLock::operator=(SiteLock&& other) noexcept {
  std::swap(handle_, other.handle_);
  return *this;
}

SiteLock::~SiteLock() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
}

#else

std::optional<SiteLock> SiteLock::take(const fs::path& file, std::string_view holder,
                                       std::string& heldBy) {
  Descriptor fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.get() < 0)
    throw std::system_error(errno, std::generic_category(),
                            "cannot open the site's lock file " + file.string());
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK)
      throw std::system_error(errno, std::generic_category(),
                              "cannot lock the site's lock file " + file.string());
    std::string text(4096, '\0');
    const auto got = ::pread(fd.get(), text.data(), text.size(), 0);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    heldBy = text.empty() ? std::string("another installer") : text;
    return std::nullopt;
  }
  SiteLock lock(fd.release());
  if (::ftruncate(lock.fd_, 0) == 0) {
    const auto written = ::pwrite(lock.fd_, holder.data(), holder.size(), 0);
    (void)written;  // who holds the site is told as far as it can be
  }
  return lock;
}

SiteLock::SiteLock(SiteLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

SiteLock& SiteLock::operator=(SiteLock&& other) noexcept {
  std::swap(fd_, other.fd_);
  return *this;
}

SiteLock::~SiteLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

#endif

}  // namespace qsi::platform
