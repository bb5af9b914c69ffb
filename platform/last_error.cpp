#include "platform/last_error.h"

#include <cerrno>

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

}  // namespace platform
