// Stands in for the game "valdora.exe" in the demo and the tests: it
// records the arguments the launcher gave it in "valdora_args.txt" (one per
// line), signals the start event "trovhal" as the game does once it is up,
// and stays a few seconds, with a small window on Linux. With VALDORA_GAME_EXIT=1 in
// its environment it ends at once instead; with VALDORA_GAME_EXIT=never it
// stays until it is ended.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/named_event.h"
#include "stand_in.h"

int main(int argc, char** argv) {
    {
        std::ofstream args("valdora_args.txt", std::ios::binary | std::ios::trunc);
        for (int i = 1; i < argc; ++i) args << argv[i] << '\n';
    }
    // The start handshake; said on standard error too, for the tests.
    if (auto started = platform::NamedEvent::open("trovhal"); started && started->signal()) {
        std::fputs("valdora: trovhal signalled\n", stderr);
    }

    const char* exitAtOnce = std::getenv("VALDORA_GAME_EXIT");
    if (exitAtOnce != nullptr && std::strcmp(exitAtOnce, "1") == 0) return 0;

    return StayAsTheGame(argc, argv,
                         exitAtOnce != nullptr && std::strcmp(exitAtOnce, "never") == 0);
}
