#include "report/run_presentation.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>

#include "analysis/levels.h"
#include "analysis/time_of_flight.h"
#include "report/acoustics_texts.h"
#include "report/band_report.h"
#include "report/distortion_report.h"

namespace {

// Adds "n thing(s)" to a comma-separated list, when n is not 0.
void AppendCount(std::string& list, std::int64_t count, const char* one, const char* many) {
  if (count == 0) {
    return;
  }
  if (!list.empty()) {
    list += ", ";
  }
  list += std::to_string(count) + " " + (count == 1 ? one : many);
}

void PrintSync(const RunOutput& io, const SyncPeak& returned, std::int32_t syncOut) {
  std::fprintf(io.out, "Ch 2 (sync): Return Level = %.1f dB\n", RtodB(returned.peak / kFullScale));
  std::fprintf(io.out, "Sync Out = %i \t Sync In = %i samples\n", syncOut, returned.index);
  // A warning about the sync must come after the line it is about.
  std::fflush(io.out);
}

void PrintAnalyzing(const RunOutput& io) {
  std::fputs("Analyzing data...\n", io.out);
}

void PrintResults(const RunOutput& io, const std::string& report, const BandLevels& levels) {
  (void)std::fwrite(report.data(), 1, report.size(), io.out);
  for (std::size_t k = 0; k < levels.bands.size(); ++k) {
    if (levels.bands[k].count == 0) {
      std::fprintf(io.out, "Band %i is missing data\n", static_cast<int>(k + 1));
    }
  }
  std::fprintf(io.out, "Ch 1 (sweep): Return Level = %.1f dB\n",
               RtodB(levels.sweepPeak / kFullScale));
  // The table comes first on a terminal that shows both streams.
  std::fflush(io.out);
  (void)std::fputs(UnresolvedWarning(levels).c_str(), io.err);
  (void)std::fputs(AboveNyquistWarning(levels).c_str(), io.err);
}

void WarnSync(const RunOutput& io, const SyncResult& sync, double rate) {
  switch (sync.returned) {
    case SyncReturn::kClear:
      return;
    case SyncReturn::kMissing:
      std::fputs(
          "Warning: no sync pulse came back on input 2, so the results are not aligned with the "
          "sweep and cannot be trusted. Check the cable from output 2 to input 2 and repeat the "
          "measurement.\n",
          io.err);
      return;
    case SyncReturn::kLate:
      std::fprintf(
          io.err,
          "Warning: no sync pulse came back on input 2 within the %.0f ms the program waits for "
          "it; it came back %.0f ms after it was played. The round trip from output 2 to input 2 "
          "takes that long (the interface's or its driver's buffers, or processing on output 2, "
          "hold it up), so the results cannot be aligned with the sweep. Lower the interface's "
          "buffer size or latency setting, take output 2 straight to input 2, and repeat the "
          "measurement.\n",
          1000.0 * (SYNC_LEN - sync.syncOut) / rate, 1000.0 * sync.lag / rate);
      return;
    case SyncReturn::kSweepOnInput2:
      std::fputs(
          "Warning: input 2 carried the sweep instead of the sync pulse: the inputs look "
          "swapped, or the device has only one channel. Connect the microphone to input 1 and "
          "the cable from output 2 to input 2 of a two-channel interface, and repeat the "
          "measurement.\n",
          io.err);
      return;
  }
}

void WarnSlip(const RunOutput& io, const std::optional<std::int64_t>& slip) {
  if (!slip) {
    std::fputs(
        "Warning: the second sync pulse, played after the sweep, did not come back, so the "
        "recording may have slipped. Check the cable from output 2 to input 2 and repeat the "
        "measurement.\n",
        io.err);
  } else if (*slip != 0) {
    std::fprintf(io.err,
                 "Warning: the recording %s %lld %s between the sync pulses before and after the "
                 "sweep (the device dropped or repeated samples without reporting it, or its "
                 "clocks drift), so the bands are misaligned. Repeat the measurement; if it "
                 "happens again, try another interface or USB port.\n",
                 *slip < 0 ? "lost" : "gained", static_cast<long long>(std::llabs(*slip)),
                 std::llabs(*slip) == 1 ? "sample" : "samples");
  }
}

void ReportFlight(const RunOutput& io, const std::optional<std::int32_t>& timeOfFlight,
                  double rate) {
  if (!timeOfFlight) {
    std::fputs(
        "Note: the room's impulse response shows no direct sound standing clear of its noise "
        "(is the microphone connected and the loudspeaker on?), so no time of flight was taken "
        "out of the results.\n",
        io.err);
    return;
  }
  const FlightSummary flight = SummariseFlight(*timeOfFlight, rate);
  std::fprintf(io.err, "Microphone about %.1f m from the loudspeaker (%.1f ms, %d samples).\n",
               flight.metres, flight.milliseconds, static_cast<int>(flight.samples));
}

void WarnNoSweep(const RunOutput& io, double snrDb) {
  std::fprintf(io.err,
               "Warning: no sweep came back on input 1: the room's impulse response stands only "
               "%.0f dB above its noise, and one that holds the sweep stands %.0f dB or more "
               "above it. Check that the microphone is on input 1 and its cable plugged in, that "
               "its phantom power (48 V) is on if it needs it, that the input gain is up, and "
               "that output 1 reaches the amplifier and the loudspeaker is on; then repeat the "
               "measurement.\n",
               std::max(snrDb, 0.0), kMinResponseSnrDb);
}

// The sound came so late that the recording ended before the sweep's top
// came back.
void WarnSoundTooLate(const RunOutput& io, const RunResult& result, double recordedTopHz) {
  const double ms = 1000.0 / result.rate;
  std::fprintf(io.err,
               "Warning: the loudspeaker's sound arrived %.0f ms after the sweep was played "
               "(%.0f ms with the interface's round trip), and the recording runs on only %.0f "
               "ms after the sweep, so the answer to the sweep above %.0f Hz was not recorded: "
               "the fine response stops below it, and the bands above it are measured from "
               "fewer samples or none. A wireless or networked loudspeaker, or processing on "
               "the way to it, delays the sound; connect the loudspeaker directly and repeat "
               "the measurement.\n",
               ms * result.Microphone().timeOfFlight.value_or(0),
               ms * (result.Microphone().timeOfFlight.value_or(0) + result.sync.lag), ms * EDGE_PAD,
               recordedTopHz);
}

const char* FailureReason(AnalysisFailure failure) {
  switch (failure) {
    case AnalysisFailure::kTooLong:
      return "the sweep is too long for one transform. Use a shorter sweep";
    case AnalysisFailure::kNoMemory:
      return "there was not enough memory for it. Close other programs or use a shorter sweep";
  }
  return "";
}

// Which part of the analysis failed, and why.
void WarnAnalysisFailed(const RunOutput& io, const ChannelResult& microphone) {
  if (microphone.responseFailure) {
    std::fprintf(io.err,
                 "Warning: the room's impulse response and fine response could not be computed: "
                 "%s, and measure again. The band table above was filed without the time of "
                 "flight, which comes from them.\n",
                 FailureReason(*microphone.responseFailure));
  }
  if (microphone.levelsFailure) {
    std::fprintf(io.err, "Warning: the band levels could not be computed: %s, and measure again.\n",
                 FailureReason(*microphone.levelsFailure));
  }
}

void WarnNothingSwept(const RunOutput& io) {
  std::fputs(
      "Note: a sweep of 0 seconds plays only the sync pulse, so no band could be measured. Set "
      "a sweep length with 't' and run again.\n",
      io.err);
}

void WarnClipped(const RunOutput& io, std::int64_t clippedSamples) {
  std::fprintf(io.err,
               "Warning: the microphone input (input 1) reached full scale in %lld samples, so "
               "the loud bands read too low. Lower the input gain and repeat the measurement.\n",
               static_cast<long long>(clippedSamples));
}

void WarnTransfer(const RunOutput& io, const TransferStats& stats, std::uint64_t period,
                  unsigned rate) {
  if (stats.Clean()) {
    return;
  }
  const double periodMs =
      rate == 0 ? 0.0 : 1000.0 * static_cast<double>(period) / static_cast<double>(rate);
  if (stats.fatalError != 0) {
    std::fprintf(io.err,
                 "Warning: the sound device failed while %s (%s); only %lld of %lld periods were "
                 "recorded and the rest of the recording is silence. Check the device and repeat "
                 "the measurement.\n",
                 stats.fatalOperation, snd_strerror(stats.fatalError),
                 static_cast<long long>(stats.periodsRecorded),
                 static_cast<long long>(stats.periods));
    return;
  }
  std::string causes;
  AppendCount(causes, stats.xruns, "underrun or overrun", "underruns or overruns");
  AppendCount(causes, stats.otherErrors, "other transfer error", "other transfer errors");
  AppendCount(causes, stats.shortCounts, "short transfer", "short transfers");
  if (stats.lostPeriods == 0) {
    std::fprintf(io.err,
                 "Warning: the transfer was disturbed (%s); nothing was lost, but the device is "
                 "not keeping up reliably. Repeat the measurement.\n",
                 causes.c_str());
    return;
  }
  std::fprintf(io.err,
               "Warning: the transfer was disturbed (%s); at least %lld %s of %.1f ms of the "
               "recording %s lost or misplaced, so some bands may read wrong. Repeat the "
               "measurement.\n",
               causes.c_str(), static_cast<long long>(stats.lostPeriods),
               stats.lostPeriods == 1 ? "period" : "periods", periodMs,
               stats.lostPeriods == 1 ? "was" : "were");
}

void WarnCloseProblem(const RunOutput& io, const CloseProblem& problem) {
  if (problem.operation == nullptr) {
    return;
  }
  std::fprintf(io.err,
               "Warning: %s failed while closing the sound device: %s. The recording is "
               "complete; if the device misbehaves, reconnect it.\n",
               problem.operation, snd_strerror(problem.error));
}

}  // namespace

void PrintStarted(const RunOutput& io, bool periodAsAsked) {
  if (!periodAsAsked) {
    std::fputs("Driver did not return requested period size.\n", io.out);
  }
  std::fputs("Running Test...\n", io.out);
  std::fflush(io.out);
}

namespace {

// The microphone's part: how far away it is, or why that is not known.
void ReportMicrophone(const RunOutput& io, const RunResult& result) {
  const ChannelResult& microphone = result.Microphone();
  if (microphone.impulse.empty()) {
    return;
  }
  if (!microphone.SweepReturned()) {
    WarnNoSweep(io, microphone.responseSnrDb.value_or(0.0));
    return;
  }
  ReportFlight(io, microphone.timeOfFlight, result.rate);
  if (microphone.recordedTopHz) {
    WarnSoundTooLate(io, result, *microphone.recordedTopHz);
  }
}

void PresentAnalysis(const RunOutput& io, const MeasurementSetup& setup, const RunResult& result) {
  WarnTransfer(io, result.transfer.stats, result.transfer.period, setup.rate);
  WarnCloseProblem(io, result.transfer.closeProblem);
  PrintSync(io, result.sync.syncIn, result.sync.syncOut);
  const bool aligned = !result.DeviceFailed() && result.sync.returned == SyncReturn::kClear;
  // One cause, one message: a device that failed explains a missing pulse.
  if (!result.DeviceFailed()) {
    WarnSync(io, result.sync, result.rate);
    if (aligned) {
      WarnSlip(io, result.sync.slip);
    }
  }
  const ChannelResult& microphone = result.Microphone();
  if (aligned) {
    ReportMicrophone(io, result);
  }
  if (microphone.acoustics && !result.Fault()) {
    std::fputs(AcousticsSummaryLine(microphone.acoustics->bands).c_str(), io.err);
  }
  if (microphone.distortion && aligned) {
    std::fputs(DistortionSummary(*microphone.distortion).c_str(), io.err);
  }
  if (microphone.sweepSpl && aligned) {
    std::fprintf(io.err, "Sweep level at the microphone: %.1f dB SPL (Z), %.1f dB SPL (C).\n",
                 microphone.sweepSpl->zDb, microphone.sweepSpl->cDb);
  }
  PrintAnalyzing(io);
  if (!microphone.levelsFailure) {
    PrintResults(io, WriteReport(microphone.levels, setup.plan), microphone.levels);
  }
  WarnAnalysisFailed(io, microphone);
  if (microphone.clippedSamples > 0) {
    WarnClipped(io, microphone.clippedSamples);
  }
  if (result.nothingSwept) {
    WarnNothingSwept(io);
  }
}

}  // namespace

void PresentRun(const RunOutput& io, const MeasurementSetup& setup, const RunResult& result) {
  try {
    PresentAnalysis(io, setup, result);
  } catch (const std::bad_alloc&) {
    std::fflush(io.out);
    std::fputs("Warning: there was not enough memory to show all of the run's results.\n", io.err);
  }
}
