#include "platform/Secret.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/Paths.h"
#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
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

std::string readLine(int fd, const std::string& source) {
  std::string line;
  char c = 0;
  while (true) {
#ifdef _WIN32
    const int got = ::_read(fd, &c, 1);
#else
    const auto got = ::read(fd, &c, 1);
#endif
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const std::string why = std::generic_category().message(errno);
      wipe(line);
      throw SecretRefused("the password cannot be read from " + source + ": " + why);
    }
    if (got == 0 || c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) throw SecretRefused("the password from " + source + " is empty");
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
