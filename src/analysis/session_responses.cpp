#include "analysis/session_responses.h"

#include "analysis/response_average.h"

void SessionResponses::Add(std::string name, FineResponse response,
                           const std::optional<RoomAcoustics>& acoustics) {
  if (acoustics) {
    acoustics_.push_back(*acoustics);
  }
  names_.push_back(std::move(name));
  responses_.push_back(std::move(response));
  average_ = responses_.size() > 1 ? AveragePower(responses_) : FineResponse{};
}
