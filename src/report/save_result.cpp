#include "report/save_result.h"

#include <cstring>

SaveResult SystemFailure(std::string_view what, const std::filesystem::path& path, int error) {
  std::string message = "Could not ";
  message += what;
  message += ' ';
  message += path.string();
  message += ": ";
  message += std::strerror(error);
  message +=
      ". Free some space or choose a folder you may write to with --save, then measure again.";
  return {false, message};
}
