#pragma once

#ifndef _WIN32
#include <unistd.h>
#endif

namespace tamblor {

// Whether the log goes to a terminal, where progress is drawn as one bar.
inline bool StdoutIsTerminal() {
#ifndef _WIN32
    return ::isatty(STDOUT_FILENO) == 1;
#else
    return false;
#endif
}

}  // namespace tamblor
