#include "report/progress_bar.h"

#include <unistd.h>

namespace {

constexpr int kWidth = 40;
constexpr const char* kHashes = "########################################";

}  // namespace

ProgressBar::ProgressBar(std::FILE* stream)
    : stream_(stream), enabled_(isatty(fileno(stream)) == 1) {}

ProgressBar::~ProgressBar() {
  if (drawn_) {
    std::fprintf(stream_, "\r%*s\r", kWidth + 8, "");
  }
}

void ProgressBar::Update(std::int64_t done, std::int64_t total) {
  if (!enabled_ || total <= 0) {
    return;
  }
  const auto percent = static_cast<int>(100 * done / total);
  if (percent == lastPercent_) {
    return;
  }
  lastPercent_ = percent;
  const int filled = percent * kWidth / 100;
  std::fprintf(stream_, "\r[%.*s%*s] %3d%%", filled, kHashes, kWidth - filled, "", percent);
  std::fflush(stream_);
  drawn_ = true;
}
