#include "report/acoustics_texts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "text/c_number.h"

namespace {

// The nominal frequency as a table names it: "63", "1250", "31.5".
std::string BandHz(double hz) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, hz);
  return {text, result.ptr};
}

std::string Field(const std::optional<double>& value, int decimals) {
  return value ? FixedCNumber(*value, decimals) : std::string();
}

constexpr int kSeconds = 3;
constexpr int kDecibels = 2;
constexpr int kRatio = 3;
constexpr int kMilliseconds = 1;

unsigned AllFlags(const BandAcoustics& band) {
  unsigned flags = 0;
  for (const AcousticValue* value :
       {&band.edt, &band.t20, &band.t30, &band.c50, &band.c80, &band.d50, &band.tsMs}) {
    flags |= value->flags;
  }
  return flags;
}

bool AnyUsable(const BandAcoustics& band) {
  const std::array values{&band.edt, &band.t20, &band.t30, &band.c50,
                          &band.c80, &band.d50, &band.tsMs};
  return std::ranges::any_of(values, [](const AcousticValue* value) { return value->Usable(); });
}

std::string HzName(double hz) {
  return hz >= 1000.0 ? BandHz(hz / 1000.0) + " kHz" : BandHz(hz) + " Hz";
}

}  // namespace

std::string FlagWords(unsigned flags) {
  std::string words;
  for (const auto& [flag, word] : {std::pair{kFlagRange, "range"}, std::pair{kFlagFit, "fit"},
                                   std::pair{kFlagFilter, "filter"}}) {
    if ((flags & flag) != 0U) {
      words += words.empty() ? word : std::string(" ") + word;
    }
  }
  return words;
}

std::string AcousticsCsv(std::span<const BandAcoustics> bands) {
  std::string csv = std::string(kAcousticsCsvHeader) + "\n";
  for (const BandAcoustics& band : bands) {
    csv += BandHz(band.nominalHz) + ',' + Field(band.edt.value, kSeconds) + ',' +
           Field(band.t20.value, kSeconds) + ',' + Field(band.t30.value, kSeconds) + ',' +
           Field(band.c50.value, kDecibels) + ',' + Field(band.c80.value, kDecibels) + ',' +
           Field(band.d50.value, kRatio) + ',' + Field(band.tsMs.value, kMilliseconds) + ',' +
           FixedCNumber(band.rangeDb, 1) + ',' + FlagWords(AllFlags(band)) + '\n';
  }
  return csv;
}

std::string AverageAcousticsCsv(std::span<const BandAverage> bands) {
  struct Column {
    const char* name;
    const char* unit;  // of the mean and the spread
    AveragedValue BandAverage::*member;
    int decimals;
  };
  static constexpr std::array<Column, 7> kColumns{{
      {"edt", "_s", &BandAverage::edt, kSeconds},
      {"t20", "_s", &BandAverage::t20, kSeconds},
      {"t30", "_s", &BandAverage::t30, kSeconds},
      {"c50", "_db", &BandAverage::c50, kDecibels},
      {"c80", "_db", &BandAverage::c80, kDecibels},
      {"d50", "", &BandAverage::d50, kRatio},
      {"ts", "_ms", &BandAverage::tsMs, kMilliseconds},
  }};
  std::string csv = "band_hz,runs";
  for (const Column& column : kColumns) {
    csv += std::string(",") + column.name + column.unit + ',' + column.name + "_sd" + column.unit +
           ',' + column.name + "_n";
  }
  csv += '\n';
  for (const BandAverage& band : bands) {
    csv += BandHz(band.nominalHz) + ',' + std::to_string(band.runs);
    for (const Column& column : kColumns) {
      const AveragedValue& value = band.*column.member;
      csv += ',' + Field(value.mean, column.decimals) + ',' + Field(value.sd, column.decimals) +
             ',' + std::to_string(value.count);
    }
    csv += '\n';
  }
  return csv;
}

std::string AcousticsSummaryLine(std::span<const BandAcoustics> bands) {
  if (bands.empty()) {
    return "Room acoustics: the sweep covered no whole band to analyse; sweep a wider range.\n";
  }
  const MidFrequencySummary mid = SummariseMidFrequencies(bands);
  if (!mid.bandsHz.empty()) {
    std::string parts;
    const auto add = [&parts](const std::string& part) {
      parts += parts.empty() ? part : ", " + part;
    };
    if (mid.reverberationS) {
      const char* name = mid.t20Bands == 0 ? "T30" : mid.t30Bands == 0 ? "T20" : "T30/T20";
      add(std::string(name) + ' ' + FixedCNumber(*mid.reverberationS, 2) + " s");
    }
    if (mid.edtS) {
      add("EDT " + FixedCNumber(*mid.edtS, 2) + " s");
    }
    if (mid.c80Db) {
      add("C80 " + FixedCNumber(*mid.c80Db, 1) + " dB");
    }
    const std::string where = mid.bandsHz.size() == 2 ? "mean of 500 Hz and 1 kHz"
                                                      : HzName(mid.bandsHz.front()) + " only";
    return "Room: " + parts + " (" + where + ").\n";
  }
  for (const BandAcoustics& band : bands) {
    if (AnyUsable(band)) {
      return "Room: no unflagged T30, EDT or C80 at 500 Hz or 1 kHz; the other bands are in the "
             "acoustics table.\n";
    }
  }
  return "Room acoustics: no band's decay stood far enough above the noise to measure; use a "
         "longer sweep, a quieter room or a louder level.\n";
}
