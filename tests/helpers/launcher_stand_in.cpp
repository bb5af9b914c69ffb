// Stands in for a launcher process in the tests of start-up: copied under
// the name "launcher.exe" (or another), it idles or ends an older launcher.
#include <unistd.h>

#include <cstring>

#include "app/older_launcher.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "idle") == 0) {
        ::sleep(60);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "end-older") == 0) {
        EndOlderLauncher();
        return 0;
    }
    return 64;
}
