#pragma once

#include <cstdint>
#include <cstdio>

// A bar on a stream that follows the recording; drawn only for a person
// watching a terminal, never into a log or a pipe. Wiped when it goes away,
// so the results start on a clean line.
class ProgressBar {
 public:
  explicit ProgressBar(std::FILE* stream);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  ProgressBar(ProgressBar&&) = delete;
  ProgressBar& operator=(ProgressBar&&) = delete;

  void Update(std::int64_t done, std::int64_t total);

 private:
  std::FILE* stream_;
  bool enabled_;
  bool drawn_ = false;
  int lastPercent_ = -1;
};
