#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/response_point.h"
#include "analysis/room_acoustics.h"

// The responses of the runs saved since the program started, each named as
// its files are ("run-007"), and their power average, computed once for
// each run added.
class SessionResponses {
 public:
  // acoustics: the run's decay per band, when it was measured.
  void Add(std::string name, FineResponse response,
           const std::optional<RoomAcoustics>& acoustics = std::nullopt);

  [[nodiscard]] std::size_t size() const { return responses_.size(); }
  [[nodiscard]] std::span<const std::string> names() const { return names_; }
  [[nodiscard]] std::span<const FineResponse> responses() const { return responses_; }
  // The decay per band of the runs that measured it, for their averages.
  [[nodiscard]] std::span<const RoomAcoustics> acoustics() const { return acoustics_; }
  // The power average of the runs; empty below two runs.
  [[nodiscard]] const FineResponse& average() const { return average_; }

 private:
  std::vector<std::string> names_;
  std::vector<FineResponse> responses_;
  FineResponse average_;
  std::vector<RoomAcoustics> acoustics_;
};
