// A process of its own for the platform tests. Copied under the name
// "launcher.exe" (or another), it idles or ends an older launcher; it also
// signals a named event that another process created, knowing only its name
// (exit status 2 when there is no such event).
#include <unistd.h>

#include <cstring>

#include "app/older_launcher.h"
#include "platform/named_event.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "idle") == 0) {
        ::sleep(60);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "end-older") == 0) {
        EndOlderLauncher();
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "signal") == 0) {
        auto event = platform::NamedEvent::open(argv[2]);
        return !event ? 2 : event->signal() ? 0 : 1;
    }
    return 64;
}
