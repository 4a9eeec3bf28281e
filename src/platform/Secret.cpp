#include "platform/Secret.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "platform/Paths.h"
#include "platform/TimeLimits.h"
#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qsi::platform {

void wipe(std::string& text) noexcept {
  volatile char* bytes = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
  text.clear();
}

namespace {

#ifndef _WIN32
// Waits until `fd` can be read or the deadline passes; false when it passed.
bool readable(int fd, std::chrono::steady_clock::time_point deadline) {
  while (true) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd one{fd, POLLIN, 0};
    const int ready = ::poll(&one, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;  // the read tells why
  }
}
#endif

std::string readLine(int fd, const std::string& source) {
  const TimeLimit limit = timeLimit(kPasswordTimeLimit);
  const auto deadline = std::chrono::steady_clock::now() + limit.seconds;
#ifdef _WIN32
  (void)deadline;  // a read from a pipe or console cannot be given one there
#endif
  std::string line;
  line.reserve(kMaxSecretLength + 2);  // never moved: no copy is left unwiped
  const auto refuse = [&](const std::string& why) {
    wipe(line);
    throw SecretRefused(why);
  };
  char c = 0;
  bool tooLong = false;
  while (true) {
#ifdef _WIN32
    const int got = ::_read(fd, &c, 1);
#else
    if (!readable(fd, deadline))
      refuse("no password arrived within " + std::to_string(limit.seconds.count()) + " s on " +
             source + " (" + limit.setting + ")");
    const auto got = ::read(fd, &c, 1);
#endif
    if (got < 0 && errno == EINTR) continue;
    if (got < 0)
      refuse("the password cannot be read from " + source + ": " +
             std::generic_category().message(errno));
    if (got == 0 || c == '\n') break;
    // One more byte for a line end of "\r\n"; the rest is left unread.
    tooLong = line.size() > kMaxSecretLength;
    if (tooLong) break;
    line += c;
  }
  c = 0;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (tooLong || line.size() > kMaxSecretLength)
    refuse("the password from " + source + " is longer than " + std::to_string(kMaxSecretLength) +
           " bytes");
  if (line.empty()) refuse("the password from " + source + " is empty");
  return line;
}

}  // namespace

std::string readSecretLine(int fd, const std::string& source) {
  return readLine(fd, source);
}

std::string readSecretFile(const std::filesystem::path& path) {
  const std::string named = "the password file " + displayPath(path);
#ifdef _WIN32
  throw SecretRefused(named +
                      " is refused: its access list cannot be checked on Windows; "
                      "use --password-stdin");
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP) throw SecretRefused(named + " is a symbolic link");
    throw SecretRefused(named + " cannot be opened: " + std::generic_category().message(errno));
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } const closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0)
    throw SecretRefused(named + " cannot be read: " + std::generic_category().message(errno));
  if (!S_ISREG(info.st_mode)) throw SecretRefused(named + " is no regular file");
  if (info.st_uid != ::geteuid() && info.st_uid != 0)
    throw SecretRefused(named + " is owned by user " + std::to_string(info.st_uid) +
                        ", neither by the user running the installer nor by root");
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    throw SecretRefused(named + " has mode " + mode +
                        ": others than its owner may use it (chmod 600 it)");
  }
  return readLine(fd, named);
#endif
}

}  // namespace qsi::platform
