#include "platform/system_paths.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <unistd.h>

#include <cerrno>

#include "platform/last_error.h"

namespace platform {

bool write_new_file(const std::filesystem::path& path, std::string_view bytes, bool ownerOnly) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          ownerOnly ? 0600 : 0644);
    if (fd < 0) return fail_with_errno();
    bool ok = true;
    for (std::size_t at = 0; ok && at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0 && errno != EINTR) ok = fail_with_errno();
        if (n > 0) at += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) ok = fail_with_errno();
    if (::close(fd) != 0 && ok) ok = fail_with_errno();
    return ok;
}

bool exchange_paths(const std::filesystem::path& a, const std::filesystem::path& b) {
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) != 0) {
        return fail_with_errno();
    }
    return true;
}

std::filesystem::path byte_name(std::string_view bytes) {
    return std::filesystem::path(std::string(bytes));
}

}  // namespace platform
