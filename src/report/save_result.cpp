#include "report/save_result.h"

#include <cerrno>
#include <cstring>

namespace {

const char* NextStep(int error) {
  switch (error) {
    case ENOENT:
      return "Make the folder that holds it first, or give --save a folder that exists";
    case ENOSPC:
    case EDQUOT:
      return "Free some space, or give --save a folder on another disk";
    case EACCES:
    case EPERM:
    case EROFS:
      return "Give --save a folder you may write to";
    default:
      return "Give --save another folder";
  }
}

}  // namespace

SaveResult SystemFailure(std::string_view what, const std::filesystem::path& path, int error) {
  std::string message = "Could not ";
  message += what;
  message += ' ';
  message += path.string();
  message += ": ";
  message += std::strerror(error);
  message += ". ";
  message += NextStep(error);
  message += ", then measure again.";
  return {false, message};
}
