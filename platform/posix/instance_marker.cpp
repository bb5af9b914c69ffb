#include "platform/instance_marker.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/last_error.h"

namespace platform {
namespace {

bool private_directory(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 0022) == 0;
}

int open_lock_file(std::string_view name) {
    const std::string path = runtime_directory() + "/" + std::string(name) + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) set_last_error(errno);
    return fd;
}

}  // namespace

std::string runtime_directory() {
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg != nullptr && *xdg == '/') {
        if (private_directory(xdg)) return xdg;
    }
    const std::string dir = "/tmp/valdora-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) set_last_error(errno);
    if (!private_directory(dir)) {
        // Someone else's directory, or a symlink, in our place: use nothing
        // shared rather than trust it.
        const char* home = std::getenv("HOME");
        return home != nullptr && *home != '\0' ? std::string(home) : std::string(".");
    }
    return dir;
}

InstanceMarker::~InstanceMarker() {
    ::close(fd_);
}

bool InstanceMarker::is_held(std::string_view name) {
    const int fd = open_lock_file(name);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

std::unique_ptr<InstanceMarker> InstanceMarker::acquire(std::string_view name) {
    const int fd = open_lock_file(name);
    if (fd < 0) return nullptr;
    // is_held() holds a shared lock for a moment: a try that meets only
    // such a probe (a shared lock can be had, so no one holds the marker)
    // tries again, rather than take the probe for a holder.
    for (int tries = 0; ::flock(fd, LOCK_EX | LOCK_NB) != 0; ++tries) {
        const int error = errno;
        const bool probed = error == EWOULDBLOCK && tries < 10000 &&
                            ::flock(fd, LOCK_SH | LOCK_NB) == 0 && ::flock(fd, LOCK_UN) == 0;
        if (!probed) {
            set_last_error(error);
            ::close(fd);
            return nullptr;
        }
        ::sched_yield();
    }
    return std::unique_ptr<InstanceMarker>(new InstanceMarker(fd));
}

}  // namespace platform
