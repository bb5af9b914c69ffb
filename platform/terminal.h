// The terminal that valdora-patch prints its progress to.
#pragma once

#include <cstddef>
#include <cstdio>

namespace platform {

// Whether `out` is an interactive terminal. On one, UTF-8 text and the
// "\r\033[K" that redraws a line work from now on (Windows's console is
// switched to both here).
bool open_terminal(std::FILE* out);

// How many characters a line of the terminal holds; 80 when it cannot tell.
std::size_t terminal_columns(std::FILE* out);

}  // namespace platform
