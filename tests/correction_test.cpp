#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cookbook_biquad.h"
#include "correction/correction_design.h"
#include "correction/correction_exports.h"
#include "process_runner.h"

namespace {

// A room on the 1/48-octave grid from 18 Hz to 15953 Hz: a tilt through
// 0 dB at 20 Hz plus the given cookbook peaking filters as its modes.
struct Room {
  std::vector<FilterSpec> modes;
  double tiltDbPerOctave = 0.0;

  [[nodiscard]] double BaselineDb(double hz) const {
    return tiltDbPerOctave * std::log2(hz / 20.0);
  }
  [[nodiscard]] FineResponse Response() const {
    FineResponse response;
    for (int k = 0; k <= 470; ++k) {
      const double hz = 18.0 * std::exp2(k / 48.0);
      response.push_back(
          {hz, BaselineDb(hz) + 20.0 * std::log10(std::abs(CookbookResponse(modes, hz))), 10.0});
    }
    return response;
  }
};

// The designed filters' summed |H| in dB, from the test's own cookbook code.
double CookbookSumDb(const std::vector<PeakingFilter>& filters, double hz) {
  std::vector<FilterSpec> specs;
  for (const PeakingFilter& f : filters) specs.push_back({"peaking", f.hz, f.q, f.gainDb});
  return 20.0 * std::log10(std::abs(CookbookResponse(specs, hz)));
}

struct Found {
  double hz;
  double gainDb;
};

struct DesignCase {
  const char* name;
  Room room;
  CorrectionRequest request;
  std::vector<Found> expected;  // each within 5 % and 1.5 dB of one filter
  bool flattens = true;         // every peak in the range is brought to the baseline
};

TEST(Correction, DesignCancelsKnownModes) {
  const auto with = [](double tilt, int maxFilters, double boost) {
    CorrectionRequest r;
    r.tiltDbPerOctave = tilt;
    r.maxFilters = maxFilters;
    r.boostLimitDb = boost;
    return r;
  };
  const std::vector<FilterSpec> twoModes{{"peaking", 60, 5, 8}, {"peaking", 140, 4, 6}};
  const std::vector<DesignCase> cases{
      {"two modes", {twoModes, 0.0}, with(0.0, 10, 0.0), {{60, -8}, {140, -6}}},
      {"two modes on a falling target",
       {twoModes, -1.0},
       with(-1.0, 10, 0.0),
       {{60, -8}, {140, -6}}},
      {"one filter for two modes", {twoModes, 0.0}, with(0.0, 1, 0.0), {{60, -8}}, false},
      {"a dip left alone when cutting only",
       {{{"peaking", 90, 4, 7}, {"peaking", 250, 3, -6}}, 0.0},
       with(0.0, 10, 0.0),
       {{90, -7}}},
      {"a dip filled up to the boost limit",
       {{{"peaking", 90, 4, 7}, {"peaking", 250, 3, -6}}, 0.0},
       with(0.0, 10, 3.0),
       {{90, -7}, {250, 3}}},
  };
  for (const DesignCase& c : cases) {
    SCOPED_TRACE(c.name);
    const FineResponse response = c.room.Response();
    const CorrectionDesign design = DesignCorrection(response, c.request);
    ASSERT_EQ(design.error, "");
    EXPECT_EQ(design.filters.size(), c.expected.size());
    for (const Found& want : c.expected) {
      EXPECT_TRUE(std::any_of(design.filters.begin(), design.filters.end(),
                              [&](auto& f) {
                                return std::abs(f.hz / want.hz - 1.0) < 0.05 &&
                                       std::abs(f.gainDb - want.gainDb) < 1.5;
                              }))
          << "no filter near " << want.hz << " Hz, " << want.gainDb << " dB";
    }
    double mostGain = 0.0;
    for (const PeakingFilter& f : design.filters) {
      EXPECT_LE(f.gainDb, c.request.boostLimitDb);
      EXPECT_GE(f.gainDb, -15.0);
      EXPECT_TRUE(f.q >= 0.5 && f.q <= 10.0) << f.q;
    }
    ASSERT_EQ(design.corrected.size(), response.size());
    for (std::size_t i = 0; i < response.size(); ++i) {
      const double hz = response[i].hz;
      const double filtersDb = CookbookSumDb(design.filters, hz);
      mostGain = std::max(mostGain, filtersDb);
      EXPECT_NEAR(design.corrected[i].db, response[i].db + filtersDb, 1e-6) << hz;
      const double baseline = c.room.BaselineDb(hz);
      if (c.flattens && hz >= 20.0 && hz <= 500.0 && response[i].db > baseline) {
        EXPECT_NEAR(design.corrected[i].db, baseline, 1.5) << hz;
      }
    }
    EXPECT_NEAR(design.preGainDb, -mostGain, 0.05);
    EXPECT_LE(design.preGainDb, 0.0);
  }
}

struct RefusalCase {
  const char* name;
  bool measured;
  CorrectionRequest request;
  const char* message;
};

TEST(Correction, ImpossibleRequestsAreRefusedWithAMessage) {
  const auto range = [](double low, double high, int n = 10, double boost = 0.0) {
    CorrectionRequest r;
    r.lowHz = low;
    r.highHz = high;
    r.maxFilters = n;
    r.boostLimitDb = boost;
    return r;
  };
  const char* outside = "the response covers 18-15953 Hz; choose a range inside it";
  const std::vector<RefusalCase> cases{
      {"no measurement", false, range(20, 500),
       "there is no measurement to correct: run a sweep first"},
      {"no filters", true, range(20, 500, 0), "at least one filter is needed: ask for 1 or more"},
      {"below the response", true, range(17.9, 500), outside},
      {"above the response", true, range(20, 15954), outside},
      {"too much boost", true, range(20, 500, 10, 3.5),
       "the boost limit must lie between 0 and 3 dB; 0 only cuts"},
      {"upside down", true, range(500, 20),
       "the range's low end must lie below its high end; choose, for example, 20-500 Hz"},
      {"two points", true, range(100, 101.5),
       "the range holds fewer than 3 measured points; choose a wider range"},
  };
  const FineResponse response = Room{{{"peaking", 60, 5, 8}}, 0.0}.Response();
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CorrectionDesign design =
        DesignCorrection(c.measured ? response : FineResponse{}, c.request);
    EXPECT_EQ(design.error, c.message);
    EXPECT_TRUE(design.filters.empty());
    EXPECT_TRUE(design.corrected.empty());
    EXPECT_EQ(CamillaDspYaml(design) + EqualizerApoText(design) + SimroomCorrection(design), "");
  }
}

CorrectionDesign TwoFilters() {
  CorrectionDesign design;
  design.filters = {{59.96, -8.0, 5.0}, {140.04, 2.5, 4.25}};
  design.preGainDb = -2.5;
  return design;
}

// Reads the YAML with a real YAML parser and lists what the pipeline step
// runs, in order, as "channel(s) | filter; filter; ...".
std::string ParsedPipeline(const std::string& yaml) {
  const TempDir dir;
  std::ofstream(dir.path() / "eq.yml") << yaml;
  const std::string script =
      "import sys, yaml\n"
      "c = yaml.safe_load(open(sys.argv[1]))\n"
      "assert set(c) == {\"filters\", \"pipeline\"} and len(c[\"pipeline\"]) == 1\n"
      "step = c[\"pipeline\"][0]\n"
      "assert step[\"type\"] == \"Filter\" and len(c[\"filters\"]) == len(step[\"names\"])\n"
      "out = []\n"
      "for name in step[\"names\"]:\n"
      "  f = c[\"filters\"][name]; p = f[\"parameters\"]\n"
      "  if f[\"type\"] == \"Gain\": out.append(\"Gain %g %s\" % (p[\"gain\"], p[\"inverted\"]))\n"
      "  else: out.append(\"%s %s %g %g %g\" % (f[\"type\"], p[\"type\"], p[\"freq\"], "
      "p[\"gain\"], p[\"q\"]))\n"
      "print(step.get(\"channels\", step.get(\"channel\")), \"|\", \"; \".join(out))\n";
  const ProcessResult r =
      RunProcess({"python3", "-c", script, (dir.path() / "eq.yml").string()}, {});
  return r.out + r.err;
}

TEST(CorrectionExports, CamillaDspYamlParsesToThePipeline) {
  if (std::system("python3 -c 'import yaml' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "python3 with the yaml module (python3-yaml) is not installed";
  }
  const char* filters = " | Gain -2.5 False; Biquad Peaking 60 -8 5; Biquad Peaking 140 2.5 4.25\n";
  EXPECT_EQ(ParsedPipeline(CamillaDspYaml(TwoFilters())), std::string("[0]") + filters);
}

TEST(CorrectionExports, EqualizerApoLinesAreStrict) {
  const std::regex preamp(R"(Preamp: (-?\d+\.\d\d) dB)");
  const std::regex filter(
      R"(Filter (\d+): ON PK Fc (\d+\.\d) Hz Gain (-?\d+\.\d\d) dB Q (\d+\.\d{3}))");
  std::istringstream lines(EqualizerApoText(TwoFilters()));
  std::vector<std::string> values;
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with('#')) {
      continue;
    }
    ASSERT_TRUE(std::regex_match(line, m, preamp) || std::regex_match(line, m, filter)) << line;
    for (std::size_t i = 1; i < m.size(); ++i) {
      values.push_back(m[i]);
    }
  }
  EXPECT_EQ(values, (std::vector<std::string>{"-2.50", "1", "60.0", "-8.00", "5.000", "2", "140.0",
                                              "2.50", "4.250"}));
}

TEST(CorrectionExports, SimroomBlockUsesTheRoomsFilterSyntax) {
  const std::string text = SimroomCorrection(TwoFilters());
  EXPECT_NE(text.find("\ncorrection {\n"
                      "    0 { type \"peaking\" freq 60.0 q 5.000 gain_db -8.00 }\n"
                      "    1 { type \"peaking\" freq 140.0 q 4.250 gain_db 2.50 }\n"
                      "}\n"),
            std::string::npos)
      << text;
}

}  // namespace
