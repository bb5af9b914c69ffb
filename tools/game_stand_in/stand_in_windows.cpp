// The stand-in on Windows has no window yet: it stays a few seconds, or
// until it is ended, as a game that has started.
#include <windows.h>

#include "stand_in.h"

int StayAsTheGame(int, char**, bool untilEnded) {
    ::Sleep(untilEnded ? INFINITE : 5000);
    return 0;
}
