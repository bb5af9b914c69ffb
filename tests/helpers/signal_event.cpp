// Signals a named event that another process created, knowing only its
// name. Exit status 0 when signalled, 2 when no such event exists.
#include "platform/named_event.h"

int main(int argc, char** argv) {
    if (argc != 2) return 64;
    auto event = platform::NamedEvent::open(argv[1]);
    if (!event) return 2;
    return event->signal() ? 0 : 1;
}
