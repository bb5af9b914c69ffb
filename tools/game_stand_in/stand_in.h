// What the game stand-in does once it has recorded its arguments and
// signalled the start: it stays a few seconds (with `untilEnded`, until it is
// ended), showing its arguments where it has a window to show them in.
#pragma once

int StayAsTheGame(int argc, char** argv, bool untilEnded);
