#include "adapter/errors.h"

#include <cstring>

namespace varnok {

FileError FileErrorFromErrno(const std::string& path, const std::string& action, int error) {
    std::string message = action.empty() ? path : action + " " + path;
    message += ": ";
    message += std::strerror(error);
    return FileError(path, error, message);
}

}  // namespace varnok
