#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/command_loop.h"

// Whole dialogues with the console: what the user types in, every byte the
// console prints back. The texts are written out here, independently of the
// program's own strings.
namespace {

const std::string kBanner =
    "//////////////////////////////////////////////////////////////////\n"
    "//  WARNING! This program will send a wide range of sine waves  //\n"
    "//  that are 6 dB below fullscale to your sound system.         //\n"
    "//  It is strongly recommended that you turn your amplifier to  //\n"
    "//  a very low setting initially to protect both your ears and  //\n"
    "//  your speakers.                                              //\n"
    "//////////////////////////////////////////////////////////////////\n";

const std::string kMenu =
    "Enter 'h' for help\n      'q' to adjust the Q\n      'b' to adjust the bands\n"
    "      'f' to adjust the starting frequency\n      't' to adjust the sweep time\n"
    "      'p' for quick presets\n      'c' to change soundcard device\n"
    "      'd' to display current band ranges\n      'r' ro run\n      'x' to exit\n";

// The settings display followed by the menu, each value as it must appear.
std::string Screen(const std::string& q, const std::string& bands, const std::string& seconds,
                   const std::string& startHz, const std::string& endHz,
                   const std::string& device = "default") {
  return "\nQ: " + q + " --- Bands: " + bands + " --- Length: " + seconds +
         " sec\nStart: " + startHz + " Hz --- End: " + endHz + " Hz\nSoundcard:  " + device +
         "\n\n" + kMenu;
}

const std::string kDefaults = Screen("4", "31", "10.0", "18.0", "16175.0");
const std::string kAskQ = "Enter Q (larger = narrower bandwidth)\n";
const std::string kAskBands = "Enter number of bands\n";
const std::string kAskStart = "Enter starting frequency\n";
const std::string kAskLength = "Enter sweep length\n";
const std::string kAskDevice = "Enter soundcard device name\n";
const std::string kContinue = "Enter 'c' to continue\n";

const std::string kPresets =
    "Enter:\n1.  Full Range and Narrow (18 Hz - 16 kHz, Q 4, 31 bands\n"
    "2.  Full Range and Wide (18 Hz - 16 kHz, Q 1.3, 12 bands\n"
    "3.  Detailed Bass (18 Hz - 355 Hz, Q 6, 20 bands\n"
    "4.  Rough Bass (18 Hz - 454 Hz, Q 2, 8 bands\n5.  Midrange (300 - 5.5 kHz, Q 5, 16 bands\n";

const std::string kHelp =
    "Tonvale 1.00 (1h) by Odrel Vashtey\n"
    "A program for testing the frequency response of a room.\n\n"
    "This program requires a two channel interface.\n"
    "1. Attach your test microphone to channel 1.\n"
    "2. Attach output channel 2 to input channel 2.\n"
    "   (Channel 2 will be used to sync input and output signals.)\n"
    "3. Attach a splitter or mixer to channel 1's output to feed amp/speakers.\n"
    "\nIn summary:\nMic >> Input 1\nOutput 2 >> Input 2\nOutput 1 >> mixer >> amp >> speakers\n\n"
    "Turn off soundcard monitor mixes to prevent feedback.\n"
    "\nAdd or remove bands to adjust the overall frequency range.\n"
    "Adjust Q to set bandwidth relative to frequency.\n"
    "After adjusting Q you will probably need to re-adjust number of bands.\n";

const std::string kDefaultBands =
    "band\tlow\thigh\n"
    "1\t18\t22\n2\t22\t27\n3\t27\t33\n4\t33\t41\n5\t41\t51\n6\t51\t63\n7\t63\t78\n"
    "8\t78\t97\n9\t97\t121\n10\t121\t151\n11\t151\t188\n12\t188\t235\n13\t235\t293\n"
    "14\t293\t366\n15\t366\t457\n16\t457\t571\n17\t571\t713\n18\t713\t891\n19\t891\t1113\n"
    "20\t1113\t1391\n21\t1391\t1738\n22\t1738\t2172\n23\t2172\t2715\n24\t2715\t3393\n"
    "25\t3393\t4241\n26\t4241\t5301\n27\t5301\t6626\n28\t6626\t8282\n29\t8282\t10352\n"
    "30\t10352\t12940\n31\t12940\t16175\n";

const std::string kRefuseQ = "Refused: Q must be a finite number other than 0.\n";
const std::string kRefuseManyBands = "Refused: the number of bands must be at most 1024.\n";
const std::string kRefuseFewBands = "Refused: the number of bands must be at least -2147483648.\n";
const std::string kRefuseStart = "Refused: the starting frequency must be a finite number.\n";
const std::string kRefusePlan =
    "Refused: the band edges would leave the range -2147483648 to 2147483647 Hz; use fewer "
    "bands, a larger Q or a start nearer 0.\n";
const std::string kRefuseLength = "Refused: the sweep length must be from 0 to 5591 seconds.\n";
const std::string kRefuseDeviceLong = "Refused: the device name must be at most 15 characters.\n";
const std::string kRefuseDeviceNul = "Refused: the device name must not contain a NUL byte.\n";

const std::string kLong16 = "0123456789abcdef";
const std::string kLong31 = "0123456789012345678901234567890";
const std::string kLong40 = "0123456789012345678901234567890123456789";

std::string Times(int n, const std::string& text) {
  std::string all;
  for (int i = 0; i < n; ++i) {
    all += text;
  }
  return all;
}

// A stream whose writes land in memory; the text is read back once closed.
class MemoryOutput {
 public:
  MemoryOutput() : file_(open_memstream(&data_, &size_)) {}
  MemoryOutput(const MemoryOutput&) = delete;
  MemoryOutput& operator=(const MemoryOutput&) = delete;
  ~MemoryOutput() { std::free(data_); }  // open_memstream leaves the buffer to us
  [[nodiscard]] std::FILE* File() const { return file_; }
  std::string Text() {
    static_cast<void>(std::fclose(file_));
    return {data_, size_};
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

struct Transcript {
  std::string name;
  std::string input;
  std::string expected;  // everything after the banner
};

void ExpectTranscripts(const std::vector<Transcript>& transcripts) {
  for (const Transcript& t : transcripts) {
    SCOPED_TRACE(t.name);
    std::string input = t.input;  // fmemopen reads from a writable buffer
    std::FILE* in = fmemopen(input.data(), input.size(), "r");
    ASSERT_NE(in, nullptr);
    MemoryOutput out;
    MemoryOutput err;
    // A loop that never ends must fail this test, not hang the suite.
    alarm(10);
    EXPECT_FALSE(RunConsole({in, out.File(), err.File()}).has_value());
    alarm(0);
    static_cast<void>(std::fclose(in));
    EXPECT_EQ(out.Text(), kBanner + t.expected);
    EXPECT_EQ(err.Text(), "");
  }
}

TEST(ConsoleTranscript, Commands) {
  ExpectTranscripts({
      {"OnlyTheExactLowercaseXExits", "X\nexit\nxx\n x \n", Times(4, kDefaults)},
      {"CarriageReturnEndsAWord", "x\r\n", kDefaults},
      {"QOnTheSameLineShownRounded", "q 1.3\nx\n",
       kDefaults + kAskQ + Screen("1", "31", "10.0", "18.0", "820417644.0")},
      {"QAnswerOnTheNextLine", "q\n\n  2.5\nx\n",
       kDefaults + kAskQ + Screen("2", "31", "10.0", "18.0", "594566.0")},
      {"NegativeQIsKept", "q -4 x", kDefaults + kAskQ + Screen("-4", "31", "10.0", "18.0", "0.0")},
      {"BandsInOctalAndHex", "b 010\nb 0x10\nx\n",
       kDefaults + kAskBands + Screen("4", "8", "10.0", "18.0", "97.0") + kAskBands +
           Screen("4", "16", "10.0", "18.0", "571.0")},
      {"NumberThenWordLeavesTheWord", "b 12abc\nx\n",
       kDefaults + kAskBands + Times(2, Screen("4", "12", "10.0", "18.0", "235.0"))},
      {"NotANumberIsReadAsTheNextCommand", "b abc\nf abc\nx\n",
       kDefaults + kAskBands + Times(2, kDefaults) + kAskStart + Times(2, kDefaults)},
      {"XAtANumberPromptExits", "b x\n", kDefaults + kAskBands + kDefaults},
      {"HexFloatStart", "f 0x1.3p4 x",
       kDefaults + kAskStart + Screen("4", "31", "10.0", "19.0", "16937.0")},
      {"FractionalStartListedRounded", "f 18.7\nb 0\nd\nc\nb 2 d c x",
       kDefaults + kAskStart + Screen("4", "31", "10.0", "18.7", "16175.0") + kAskBands +
           Screen("4", "0", "10.0", "18.7", "18.0") + "band\tlow\thigh\n" + kContinue +
           Screen("4", "0", "10.0", "18.7", "18.0") + kAskBands +
           Screen("4", "2", "10.0", "18.7", "27.0") + "band\tlow\thigh\n1\t19\t22\n2\t22\t27\n" +
           kContinue + Screen("4", "2", "10.0", "18.7", "27.0")},
      {"DefaultBandListing", "d\nc\nx\n", kDefaults + kDefaultBands + kContinue + kDefaults},
      {"HelpWaitsForExactlyC", "h\nx\nC\ncat\nc\nx\n",
       kDefaults + kHelp + Times(4, kContinue) + kDefaults},
      {"DeviceNamesUpToFifteenCharacters", "c c c plughw:CARD=a,0\nx\n",
       kDefaults + kAskDevice + Screen("4", "31", "10.0", "18.0", "16175.0", "c") + kAskDevice +
           Screen("4", "31", "10.0", "18.0", "16175.0", "plughw:CARD=a,0")},
      // Read silently until 1 to 5; words are dropped; no wrap past 32 bits.
      {"PresetChoice", "p\n7\n0\n3\np abc -1 0x4 p 4294967297 5 x",
       kDefaults + kPresets + Screen("6", "20", "10.0", "18.0", "355.0") + kPresets +
           Screen("2", "8", "10.0", "18.0", "454.0") + kPresets +
           Screen("5", "16", "10.0", "300.0", "5524.0")},
      {"PresetKeepsLengthAndDevice", "t 2.5 c hw:1 p 2 x",
       kDefaults + kAskLength + Screen("4", "31", "2.5", "18.0", "16175.0") + kAskDevice +
           Screen("4", "31", "2.5", "18.0", "16175.0", "hw:1") + kPresets +
           Screen("1", "12", "2.5", "18.0", "16075.0", "hw:1")},
      {"PresetOneRestoresTheDefaults", "q 2 f 20 b 3 p 1 x",
       kDefaults + kAskQ + Screen("2", "31", "10.0", "18.0", "5089380.0") + kAskStart +
           Screen("2", "31", "10.0", "20.0", "5657635.0") + kAskBands +
           Screen("2", "3", "10.0", "20.0", "67.0") + kPresets + kDefaults},
  });
}

TEST(ConsoleTranscript, Refusals) {
  ExpectTranscripts({
      {"BandsAbove1024", "q 20 b 1024 b 1025 x",
       kDefaults + kAskQ + Screen("20", "31", "10.0", "18.0", "18.0") + kAskBands +
           Screen("20", "1024", "10.0", "18.0", "18.0") + kAskBands + kRefuseManyBands +
           Screen("20", "1024", "10.0", "18.0", "18.0")},
      {"BandsBeyondThirtyTwoBits", "b 99999999999 b -99999999999 x",
       kDefaults + kAskBands + kRefuseManyBands + kDefaults + kAskBands + kRefuseFewBands +
           kDefaults},
      {"NegativeBandCountIsKept", "b -5 x",
       kDefaults + kAskBands + Screen("4", "-5", "10.0", "18.0", "18.0")},
      {"FewestBands", "b -2147483648 b -2147483649 x",
       kDefaults + kAskBands + Screen("4", "-2147483648", "10.0", "18.0", "18.0") + kAskBands +
           kRefuseFewBands + Screen("4", "-2147483648", "10.0", "18.0", "18.0")},
      {"BandsWhoseEdgesOverflow", "b 84 b 83 x",
       kDefaults + kAskBands + kRefusePlan + kDefaults + kAskBands +
           Screen("4", "83", "10.0", "18.0", "1770582297.0")},
      {"QNotFiniteOrZero", "q inf q -INFINITY q nan q 0 q -0.0 q 0x0p0 x",
       kDefaults + Times(6, kAskQ + kRefuseQ + kDefaults)},
      {"QWhoseEdgesOverflow", "q 1e-300 b 33 q 1.3 x",
       kDefaults + kAskQ + kRefusePlan + kDefaults + kAskBands +
           Screen("4", "33", "10.0", "18.0", "25272.0") + kAskQ + kRefusePlan +
           Screen("4", "33", "10.0", "18.0", "25272.0")},
      {"StartNotFinite", "f inf f -NaN x",
       kDefaults + Times(2, kAskStart + kRefuseStart + kDefaults)},
      {"StartWhoseEdgesOverflow", "f 1e7 b 0 f 3e9 x",
       kDefaults + kAskStart + kRefusePlan + kDefaults + kAskBands +
           Screen("4", "0", "10.0", "18.0", "18.0") + kAskStart + kRefusePlan +
           Screen("4", "0", "10.0", "18.0", "18.0")},
      // A negative Q brings the edges back into range: the start alone is refused.
      {"StartOverflowsUnderANegativeQ", "q -4 f 3e9 x",
       kDefaults + kAskQ + Screen("-4", "31", "10.0", "18.0", "0.0") + kAskStart + kRefusePlan +
           Screen("-4", "31", "10.0", "18.0", "0.0")},
      {"SweepLengthOutOfRange", "t -1 t 5591.5 t inf t nan x",
       kDefaults + Times(4, kAskLength + kRefuseLength + kDefaults)},
      {"SweepLengthLimits", "t 5591 t 0 x",
       kDefaults + kAskLength + Screen("4", "31", "5591.0", "18.0", "16175.0") + kAskLength +
           Screen("4", "31", "0.0", "18.0", "16175.0")},
      {"DeviceNameTooLong", "c " + kLong16 + " c " + kLong40 + " x",
       kDefaults + Times(2, kAskDevice + kRefuseDeviceLong + kDefaults)},
      {"DeviceNameWithNulByte", std::string("c a\0b x", 7),
       kDefaults + kAskDevice + kRefuseDeviceNul + kDefaults},
      {"OverlongCommandWordIsUnknown", "x" + kLong40 + " x", kDefaults + kDefaults},
      // 31 characters fill the word buffer; a 32nd is consumed with the word,
      // never left over as a word of its own.
      {"CommandWordsAtTheBufferSize", kLong31 + " " + kLong31 + "x x", Times(3, kDefaults)},
      {"CommandWordWithNulByteIsUnknown", std::string("x\0 x", 4), kDefaults + kDefaults},
  });
}

// End of input at every kind of read ends the program as "x" does.
TEST(ConsoleTranscript, EndOfInput) {
  ExpectTranscripts({
      {"AtTheMenu", "", kDefaults},
      {"AtTheMenuAfterBlankLines", "\n\n \t\n", kDefaults},
      {"AtQ", "q", kDefaults + kAskQ},
      {"AtBands", "b\n", kDefaults + kAskBands},
      {"AtStart", "f \n", kDefaults + kAskStart},
      {"AtLength", "t", kDefaults + kAskLength},
      {"AtDevice", "c\n  ", kDefaults + kAskDevice},
      {"AtPresetChoice", "p 9 abc", kDefaults + kPresets},
      {"InTheHelpWait", "h y", kDefaults + kHelp + kContinue + kContinue},
      {"InTheBandListingWait", "b 1 d",
       kDefaults + kAskBands + Screen("4", "1", "10.0", "18.0", "22.0") +
           "band\tlow\thigh\n1\t18\t22\n" + kContinue},
  });
}

}  // namespace
