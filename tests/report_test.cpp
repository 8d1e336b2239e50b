#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "files/run_files.h"
#include "measurement/saved_files.h"
#include "process_runner.h"
#include "report/frd_file.h"
#include "report/run_texts.h"

namespace {

namespace fs = std::filesystem;

RunRecord ExampleRun(std::size_t impulseLength) {
  RunRecord run;
  run.facts = {.dateTime = "2024-05-01 14:03:22",
               .deviceName = "hw:1",
               .qFactor = 4,
               .bandCount = 31,
               .startHz = 18,
               .endHz = 20000,
               .sweepSeconds = 10,
               .flightSamples = 172,
               .calibrationFile = "mic.cal"};
  for (int i = 0; i < 500; ++i) {
    const double hz = 18.0 * std::exp2(i / 48.0);
    run.response.push_back({hz, 3.0 * std::sin(hz / 700.0) - 2.0, std::fmod(hz, 360.0) - 180.0});
  }
  run.bands = {{18, 22, -20, true}, {22, 27, -12, true}, {27, 33, -3, false}, {33, 40, 0, false}};
  for (std::size_t i = 0; i < impulseLength; ++i) {
    run.impulse.push_back(std::pow(-0.9F, static_cast<float>(i)));
  }
  return run;
}

// Saves run into dir and gives its stem ("run-001"), or the failure's words.
std::string SaveOrSay(const fs::path& dir, const RunRecord& run) {
  const SavedRun saved = SaveRunFiles(dir, run);
  return saved.files.failure ? "failed: " + DescribeFileError(*saved.files.failure) : saved.stem;
}

struct NumberingCase {
  std::vector<std::string> existing;
  std::string stem;
};

TEST(RunFiles, NumberingContinuesAfterTheHighestRunAndLeavesEveryFileAlone) {
  const std::vector<NumberingCase> cases{
      {{}, "run-001"},
      {{"run-001.frd", "run-002-ir.wav"}, "run-003"},
      {{"run-009.svg", "notes.txt", "run-abc.frd", "run-12", "run-004.frd"}, "run-010"},
      {{"run-999.frd"}, "run-1000"},
  };
  for (const NumberingCase& c : cases) {
    SCOPED_TRACE(c.stem);
    TempDir dir;
    for (const std::string& name : c.existing) {
      std::ofstream(dir.path() / name) << name;
    }
    ASSERT_EQ(SaveOrSay(dir.path(), ExampleRun(3)), c.stem);
    for (const char* suffix : {".frd", "-ir.wav", ".svg"}) {
      EXPECT_TRUE(fs::is_regular_file(dir.path() / (c.stem + suffix))) << suffix;
    }
    for (const std::string& name : c.existing) {
      EXPECT_EQ(ReadWholeFile(dir.path() / name), name);
    }
  }
}

TEST(RunFiles, SaveFolderIsMadeWithItsParentsOrRefusedWithItsName) {
  struct Case {
    const char* folder;
    bool ok;
  };
  const std::vector<Case> cases{{"a/b/c", true}, {"file/y", false}, {"file", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    TempDir dir;
    std::ofstream(dir.path() / "file") << "not a folder";
    const FileResult made = EnsureWritableFolder(dir.path() / c.folder);
    EXPECT_EQ(made.has_value(), c.ok);
    EXPECT_EQ(fs::is_directory(dir.path() / c.folder), c.ok);
    if (!c.ok) {
      EXPECT_NE(DescribeFileError(made.error()).find(c.folder), std::string::npos);
    }
  }
}

TEST(RunFiles, ImpulseResponseReadsBackAsFloatWavOfAtLeastOneSecond) {
  const std::vector<std::pair<std::size_t, sf_count_t>> cases{{3, 48000}, {60000, 60000}};
  for (const auto& [length, frames] : cases) {
    SCOPED_TRACE(length);
    TempDir dir;
    const RunRecord run = ExampleRun(length);
    ASSERT_EQ(SaveOrSay(dir.path(), run), "run-001");
    SF_INFO info{};
    SNDFILE* file = sf_open((dir.path() / "run-001-ir.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.samplerate, 48000);
    ASSERT_EQ(info.frames, frames);
    std::vector<float> samples(static_cast<std::size_t>(frames));
    EXPECT_EQ(sf_readf_float(file, samples.data(), frames), frames);
    sf_close(file);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      ASSERT_EQ(samples[i], i < length ? run.impulse[i] : 0.0F) << i;
    }
  }
}

TEST(FrdFile, WrittenRunReadsBack) {
  TempDir dir;
  const RunRecord run = ExampleRun(3);
  ASSERT_EQ(SaveOrSay(dir.path(), run), "run-001");
  const FrdContents read = ReadFrdFile(dir.path() / "run-001.frd");
  ASSERT_TRUE(read.ok) << read.message;
  EXPECT_EQ(read.header.front(), "Tonvale 1.00");
  EXPECT_EQ(read.header.at(5), "microphone calibration applied: mic.cal");
  ASSERT_EQ(read.points.size(), run.response.size());
  for (std::size_t i = 0; i < read.points.size(); ++i) {
    EXPECT_NEAR(read.points[i].hz, run.response[i].hz, 5e-4);
    EXPECT_NEAR(read.points[i].db, run.response[i].db, 5e-3);
    EXPECT_NEAR(read.points[i].phaseDeg, run.response[i].phaseDeg, 5e-2);
  }
}

// The x (or y) attribute of every label of class kind, by its text.
std::map<std::string, double> Labels(const std::string& svg, const std::string& kind) {
  const std::regex label("<text class=\"" + kind +
                         "\" x=\"([-.0-9]+)\" y=\"([-.0-9]+)\"[^>]*>([^<]+)<");
  std::map<std::string, double> labels;
  for (std::sregex_iterator m(svg.begin(), svg.end(), label), end; m != end; ++m) {
    labels[(*m)[3]] = std::stod((*m)[kind == "hz" ? 1 : 2]);
  }
  return labels;
}

struct PlotCase {
  std::string svg;
  std::string frd;
  std::string curveId;
  int unreliableBands;
};

// Renders each saved plot as a person would see it, and reads its response
// curve back through the plot's own labelled grid lines.
TEST(ResponsePlot, SavedPlotsRenderAndTheirCurvesPassThroughTheirFrdPoints) {
  const fs::path renderer = FindProgram("rsvg-convert");
  if (renderer.empty()) {
    GTEST_SKIP() << "rsvg-convert is missing (package librsvg2-bin)";
  }
  TempDir dir;
  RunRecord run = ExampleRun(3);
  run.facts.deviceName = "<Mic & \"Co\"'s>";
  ASSERT_EQ(SaveOrSay(dir.path(), run), "run-001");
  SessionResponses session;
  session.Add("run-001", run.response);
  for (ResponsePoint& point : run.response) {
    point.db = 10.0 - 0.5 * std::log2(point.hz);
  }
  run.bands.clear();
  ASSERT_EQ(SaveOrSay(dir.path(), run), "run-002");
  session.Add("run-002", run.response);
  ASSERT_FALSE(SaveAverageFiles(dir.path(), session, {}, {run.facts, {}, 0.0}).failure);

  const std::vector<PlotCase> cases{{"run-001.svg", "run-001.frd", "curve-0", 2},
                                    {"run-002.svg", "run-002.frd", "curve-0", 0},
                                    {"average.svg", "average.frd", "curve-2", 0}};
  for (const PlotCase& c : cases) {
    SCOPED_TRACE(c.svg);
    const fs::path png = dir.path() / (c.svg + ".png");
    const ProcessResult rendered =
        RunProcess({renderer.string(), (dir.path() / c.svg).string(), "-o", png.string()}, {});
    ASSERT_EQ(rendered.exitStatus, 0) << rendered.err;
    const std::string image = ReadWholeFile(png);
    ASSERT_GT(image.size(), 24U);
    const auto be32 = [&](std::size_t at) {
      return static_cast<unsigned char>(image[at]) << 24 |
             static_cast<unsigned char>(image[at + 1]) << 16 |
             static_cast<unsigned char>(image[at + 2]) << 8 |
             static_cast<unsigned char>(image[at + 3]);
    };
    EXPECT_EQ(image.substr(1, 3), "PNG");
    EXPECT_EQ(be32(16), 1000);
    EXPECT_EQ(be32(20), 640);

    const std::string svg = ReadWholeFile(dir.path() / c.svg);
    std::map<std::string, double> hz = Labels(svg, "hz");
    for (const char* label : {"20", "50", "100", "200", "500", "1k", "2k", "5k", "10k", "20k"}) {
      EXPECT_EQ(hz.count(label), 1U) << label;
    }
    const std::map<std::string, double> db = Labels(svg, "db");
    ASSERT_GE(db.size(), 2U);
    const double db1 = std::stod(db.begin()->first);
    const double db2 = std::stod(db.rbegin()->first);
    const double y1 = db.begin()->second;
    const double y2 = db.rbegin()->second;

    std::smatch path;
    ASSERT_TRUE(std::regex_search(
        svg, path, std::regex("<path id=\"" + c.curveId + "\"[^>]* d=\"([^\"]+)\"")));
    std::istringstream d(path[1].str());
    const FrdContents frd = ReadFrdFile(dir.path() / c.frd);
    ASSERT_TRUE(frd.ok) << frd.message;
    std::size_t index = 0;
    for (std::string step; d >> step; ++index) {
      double x = 0.0;
      double y = 0.0;
      ASSERT_EQ(std::sscanf(step.c_str() + 1, "%lf,%lf", &x, &y), 2) << step;
      ASSERT_LT(index, frd.points.size());
      EXPECT_NEAR(100.0 * std::pow(10.0, (x - hz["100"]) / (hz["1k"] - hz["100"])),
                  frd.points[index].hz, 1e-3 * frd.points[index].hz);
      EXPECT_NEAR(db1 + (db2 - db1) * (y - y1) / (y2 - y1), frd.points[index].db, 0.01);
    }
    EXPECT_EQ(index, frd.points.size());

    const std::string bands = svg.substr(svg.find("<g class=\"bands\""));
    const std::string bandGroup = bands.substr(0, bands.find("</g>"));
    int dashed = 0;
    for (std::size_t at = 0; (at = bandGroup.find("stroke-dasharray", at)) != std::string::npos;
         ++at) {
      ++dashed;
    }
    EXPECT_EQ(dashed, c.unreliableBands);
    EXPECT_EQ(svg.find("Unreliable band") != std::string::npos, c.unreliableBands > 0);
  }
}

}  // namespace
