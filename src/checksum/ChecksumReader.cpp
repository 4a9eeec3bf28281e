#include "checksum/ChecksumReader.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "checksum/Checksum.h"

namespace qsi::checksum {

ChecksumReader::ChecksumReader(std::size_t count, PathOf pathOf, unsigned threads,
                               std::size_t window)
    : count_(count), pathOf_(std::move(pathOf)), slots_(std::max<std::size_t>(window, 1)) {
  const std::size_t wanted = std::min<std::size_t>(std::max(threads, 1u), count_);
  threads_.reserve(wanted);
  for (std::size_t i = 0; i < wanted; ++i) threads_.emplace_back([this] { read(); });
}

// A plain flag under the mutex rather than stop tokens: the waits stay those
// of std::condition_variable, whose wake-ups cannot be lost.
ChecksumReader::~ChecksumReader() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  claimable_.notify_all();
  // jthread joins; each finishes the file it reads, then sees the flag.
  threads_.clear();
}

unsigned ChecksumReader::defaultThreads() {
  return std::max(std::thread::hardware_concurrency(), 1u);
}

void ChecksumReader::read() {
  std::unique_lock lock(mutex_);
  while (true) {
    // A file is claimed only when its slot has been taken.
    claimable_.wait(lock, [this] {
      return stopping_ || claimed_ >= count_ || claimed_ < taken_ + slots_.size();
    });
    if (stopping_ || claimed_ >= count_) return;
    const std::size_t index = claimed_++;
    lock.unlock();
    Slot done;
    done.ready = true;
    try {
      done.checksum = getFileChecksum(pathOf_(index));
    } catch (...) {
      done.error = std::current_exception();
    }
    lock.lock();
    slots_[index % slots_.size()] = std::move(done);
    if (index == taken_ && takerWaits_) readyOne_.notify_one();
  }
}

std::string ChecksumReader::next() {
  std::unique_lock lock(mutex_);
  if (taken_ >= count_) throw std::out_of_range("ChecksumReader::next: no file left");
  Slot& slot = slots_[taken_ % slots_.size()];
  takerWaits_ = true;
  readyOne_.wait(lock, [&slot] { return slot.ready; });
  takerWaits_ = false;
  Slot result = std::exchange(slot, Slot{});
  ++taken_;
  const bool more = claimed_ < count_;
  lock.unlock();
  // Each slot taken lets one more file be claimed; a reader not waiting sees
  // that itself when it comes back.
  if (more) claimable_.notify_one();
  if (result.error) std::rethrow_exception(result.error);
  return std::move(result.checksum);
}

}  // namespace qsi::checksum
