#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qsi::checksum {

// The checksums of a list of files, read on a few threads ahead of the one
// who takes them, and handed out in list order. At most `window` files are
// read ahead, so memory stays flat however long the list.
class ChecksumReader {
 public:
  using PathOf = std::function<std::filesystem::path(std::size_t)>;

  // `pathOf(i)` names the i-th of `count` files; it is called from the
  // reading threads and must not change what it reads while they run.
  ChecksumReader(std::size_t count, PathOf pathOf, unsigned threads = defaultThreads(),
                 std::size_t window = 256);
  ~ChecksumReader();
  ChecksumReader(const ChecksumReader&) = delete;
  ChecksumReader& operator=(const ChecksumReader&) = delete;

  // The checksum of the next file in list order, as getFileChecksum gives
  // it; throws what getFileChecksum threw for that file.
  [[nodiscard]] std::string next();

  // One thread per core, at least one.
  [[nodiscard]] static unsigned defaultThreads();

 private:
  struct Slot {
    bool ready = false;
    std::string checksum;
    std::exception_ptr error;
  };

  void read();

  const std::size_t count_;
  const PathOf pathOf_;
  std::mutex mutex_;
  std::condition_variable claimable_;
  std::condition_variable readyOne_;
  std::vector<Slot> slots_;  // file i in slots_[i % window]
  std::size_t claimed_ = 0;
  std::size_t taken_ = 0;
  bool takerWaits_ = false;
  bool stopping_ = false;
  std::vector<std::jthread> threads_;  // last: joined before the rest goes
};

}  // namespace qsi::checksum
