#include "platform/last_error.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {
namespace {
thread_local int t_lastError = 0;
}

int last_error() {
    return t_lastError;
}
void set_last_error(int code) {
    t_lastError = code;
}

bool fail_with_errno() {
    t_lastError = errno;
    return false;
}

bool is_not_found(int code) {
#ifdef _WIN32
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
#else
    return code == ENOENT;
#endif
}

}  // namespace platform
