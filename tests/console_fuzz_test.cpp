#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "console_texts.h"

// Random token streams thrown at the real executable: whatever a user or a
// broken pipe feeds it, the program must end with status 0, print nothing on
// standard error (where the sanitizers would report) and keep its settings
// display sane. The seed is fixed so that a failing stream can be replayed.

namespace {

constexpr std::uint32_t kSeed = 20240611;
constexpr int kStreams = 2000;

class StreamMaker {
 public:
  explicit StreamMaker(std::uint32_t seed) : rng_(seed) {}

  std::string Make() {
    std::string stream;
    const int tokens = Uniform(20, 250);
    for (int i = 0; i < tokens; ++i) {
      stream += Token();
      stream += Separator();
    }
    // No "r": a measurement would reach for a sound device.
    std::replace(stream.begin(), stream.end(), 'r', 's');
    return stream;
  }

 private:
  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

  // One of the words of a space-separated list.
  std::string Pick(std::string_view words) {
    std::vector<std::string_view> list;
    for (std::size_t at = 0; at <= words.size();) {
      const std::size_t end = std::min(words.find(' ', at), words.size());
      list.push_back(words.substr(at, end - at));
      at = end + 1;
    }
    return std::string(
        list[static_cast<std::size_t>(Uniform(0, static_cast<int>(list.size()) - 1))]);
  }

  std::string Separator() {
    static constexpr std::array<const char*, 8> kSeparators = {" ",    "\n", "\t",   "\r\n",
                                                               "\v\f", "  ", "\n\n", " \n "};
    return kSeparators[static_cast<std::size_t>(Uniform(0, 7))];
  }

  std::string Token() {
    const int kind = Uniform(0, 99);
    // "x" ends the stream early, so it comes seldom.
    if (kind < 35) return Uniform(0, 150) == 0 ? "x" : Pick("q b f t c d p h q b f p X exit");
    if (kind < 50) return Integer();
    if (kind < 62) return Real();
    if (kind < 80) {
      return Pick(
          "inf -inf INFINITY nan -nan nan(123) 0 -0 0.0 1.3 18.7 0x1.8p3 0x1p-1074 1e400 -1e-400 "
          ". - + 0x 1e 1e+ 12abc 4294967297 -2147483649 2147483648 99999999999999999999999 1024 "
          "1025 84 5591 5592 3e9 1e-300 0x7fffffff");
    }
    if (kind < 90) return Word(Uniform(1, 40));
    if (kind < 93) return Word(Uniform(100, 20000));
    if (kind < 96) return "\n\n\n";
    return Binary();
  }

  std::string Integer() {
    const int value = Uniform(-50, 1100);
    const int form = Uniform(0, 3);  // hexadecimal, octal, decimal twice as often
    std::ostringstream text;
    text << (form == 0   ? "0x"
             : form == 1 ? "0"
                         : "")
         << (form == 0   ? std::hex
             : form == 1 ? std::oct
                         : std::dec)
         << (form < 2 ? std::abs(value) : value);
    return text.str();
  }

  std::string Real() {
    std::ostringstream text;
    text << std::uniform_real_distribution<double>(-100.0, 100.0)(rng_) << 'e'
         << Uniform(-320, 320);
    return text.str();
  }

  std::string Word(int length) {
    static constexpr char kChars[] = "abcdefghijklmnopqstuvwxyzABCXYZ0123456789:,.-+_=()";
    std::string word;
    for (int i = 0; i < length; ++i) {
      word += kChars[Uniform(0, static_cast<int>(sizeof(kChars)) - 2)];
    }
    return word;
  }

  std::string Binary() {
    std::string bytes;
    const int length = Uniform(1, 64);
    for (int i = 0; i < length; ++i) {
      bytes += static_cast<char>(Uniform(0, 255));
    }
    return bytes;
  }

  std::mt19937 rng_;
};

// What a correct run's standard output must look like, beyond its exit.
std::string OutputFault(const std::string& out) {
  if (out.rfind(console_texts::kBanner, 0) != 0) {
    return "no banner";
  }
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("Soundcard:  ", 0) == 0 && line.size() > 12 + 15) {
      return "device name longer than 15 characters: " + line;
    }
    if (line.rfind("Q: ", 0) == 0) {
      const auto at = line.find("Bands: ");
      if (at == std::string::npos) {
        return "broken settings line: " + line;
      }
      if (std::stoll(line.substr(at + 7)) > 1024) {
        return "more than 1024 bands: " + line;
      }
    }
  }
  return "";
}

TEST(ConsoleFuzz, RandomInputAlwaysEndsCleanly) {
  StreamMaker maker(kSeed);
  int failures = 0;
  for (int i = 0; i < kStreams && failures < 5; ++i) {
    const std::string input = maker.Make();
    ASSERT_EQ(input.find('r'), std::string::npos);
    const ProcessResult r = console_texts::RunConsole(input);
    const std::string fault = OutputFault(r.out);
    const bool ok = !r.timedOut && r.exitStatus == 0 && r.err.empty() && fault.empty();
    if (!ok) {
      ++failures;
      ADD_FAILURE() << "stream " << i << " of seed " << kSeed << ": status " << r.exitStatus
                    << (r.timedOut ? " (timed out)" : "") << ", " << fault << "\nstderr:\n"
                    << r.err.substr(0, 4000);
    }
  }
}

}  // namespace
