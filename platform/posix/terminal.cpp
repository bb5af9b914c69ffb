#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

bool open_terminal(std::FILE* out) {
    return ::isatty(::fileno(out)) == 1;
}

std::size_t terminal_columns(std::FILE* out) {
    struct winsize size {};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
    return 80;
}

}  // namespace platform
