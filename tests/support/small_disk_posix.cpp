// A small disk of the test's own: tmpfs in a mount namespace of the test
// process. Linked only into the tests that fill a disk.
#include <sched.h>
#include <sys/mount.h>

#include "support/process.h"

namespace testsupport {
namespace {

// Mounts of the test's own, made before any thread starts.
const bool g_canMount = ::unshare(CLONE_NEWNS) == 0 &&
                        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;

}  // namespace

bool mount_small_disk(const std::filesystem::path& dir, const char* size) {
    return g_canMount &&
           ::mount("tmpfs", dir.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
}

bool resize_small_disk(const char* size) {
    return ::mount("tmpfs", ".", "tmpfs", MS_REMOUNT, (std::string("size=") + size).c_str()) == 0;
}

void unmount_small_disk(const std::filesystem::path& dir) {
    ::umount2(dir.c_str(), MNT_DETACH);
}

}  // namespace testsupport
