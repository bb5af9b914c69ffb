// valdora-sha256 FILE...: the SHA-256 of each file by the launcher's own
// hasher (trust/sha256.h, read through the platform layer), printed as
// sha256sum prints it, "HASH  FILE". For bench/hash_vs_sha256sum.sh; paths
// are taken as the launcher takes them (CP1254, so ASCII names are safest).
// Exit 1 when a file cannot be read.
#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "platform/last_error.h"
#include "trust/sha256.h"

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        platform::File file = platform::File::open_for_reading(argv[i]);
        trust::Sha256Digest digest;
        if (!file || !trust::Sha256OfFile(file, digest)) {
            std::fprintf(stderr, "valdora-sha256: %s: %s\n", argv[i],
                         std::strerror(platform::last_error()));
            status = 1;
            continue;
        }
        std::printf("%s  %s\n", trust::ToHex(digest).c_str(), argv[i]);
    }
    return status;
}
