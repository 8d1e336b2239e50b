#pragma once

#include <unistd.h>

#include <utility>

// Owns one open file descriptor and closes it when it goes away.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool valid() const { return fd_ >= 0; }
  // Gives up ownership, e.g. to a library that closes the descriptor itself.
  int release() { return std::exchange(fd_, -1); }
  // Closes now and returns close's result, so that a late write error
  // (reported only by close on some file systems) is not lost.
  int Close() {
    const int result = valid() ? close(fd_) : 0;
    fd_ = -1;
    return result;
  }

 private:
  void Reset() {
    if (valid()) {
      (void)close(fd_);
    }
    fd_ = -1;
  }

  int fd_ = -1;
};
