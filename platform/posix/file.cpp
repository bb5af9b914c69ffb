#include "platform/file.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/codepage.h"
#include "platform/last_error.h"

namespace platform {
namespace {

// The status of an open file; EBADF for none.
bool status_of(int fd, struct stat& st) {
    if (fd < 0) {
        set_last_error(EBADF);
        return false;
    }
    return ::fstat(fd, &st) == 0 || fail_with_errno();
}

// A read of an open file, again when a signal cut it short: the bytes read,
// or -1 with the error recorded.
template <typename Read>
long read_retrying(int fd, Read read) {
    if (fd < 0) {
        set_last_error(EBADF);
        return -1;
    }
    for (;;) {
        const ssize_t n = read();
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) {
            set_last_error(errno);
            return -1;
        }
    }
}

int open_native(const std::string& path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) set_last_error(errno);
    return fd;
}

bool copy_bytes(int in, int out, const CopyCheck* check) {
    // copy_file_range lets the kernel move the bytes (or share extents);
    // fall back to read/write where it is not supported, or where the bytes
    // are to be seen on their way.
    for (; check == nullptr;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0) return true;
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) break;
        return fail_with_errno();
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail_with_errno();
        }
        if (check != nullptr) check->see(buffer, static_cast<std::size_t>(n));
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return fail_with_errno();
            }
            done += w;
        }
    }
}

// `folder` (relative) opened beneath the current directory: openat2 does it
// in one step; where the kernel or a sandbox lacks it, one component at a
// time, following no link at all. -1 with errno set when it cannot be.
int open_beneath(const std::string& folder) {
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, folder.c_str(), &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
    int at = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t start = 0; at >= 0 && start <= folder.size();) {
        const std::size_t end = std::min(folder.find('/', start), folder.size());
        const std::string part = folder.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        const int next = part == ".." ? -1 : ::openat(at, part.c_str(), how.flags | O_NOFOLLOW);
        const int error = part == ".." ? EXDEV : errno;
        ::close(at);
        at = next;
        errno = error;
    }
    return at;
}

// The folder a path's last component lies in (held open while the object
// lives), and that component: a relative path's folder beneath the current
// directory, an absolute one's as it stands.
class Place {
public:
    explicit Place(std::string_view path) : native_(native_path(path)) {
        const std::size_t slash = native_.rfind('/');
        name = native_.c_str() + (slash == std::string::npos ? 0 : slash + 1);
        if (slash == std::string::npos) return;
        const std::string folder = slash == 0 ? "/" : native_.substr(0, slash);
        at = owned_ =
            native_[0] == '/' ? open_native(folder, O_PATH | O_DIRECTORY) : open_beneath(folder);
        if (at < 0) set_last_error(errno);
    }
    ~Place() {
        if (owned_ >= 0) ::close(owned_);
    }
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;
    bool valid() const { return at != -1; }

    int at = AT_FDCWD;
    const char* name = nullptr;

private:
    std::string native_;
    int owned_ = -1;
};

// A new file `name` in the folder `at`, made exclusively once any old entry
// of the name is gone. -1 with the error recorded.
int create_anew(int at, const char* name, int flags, mode_t mode) {
    ::unlinkat(at, name, 0);
    int fd;
    do {
        fd = ::openat(at, name, flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) set_last_error(errno);
    return fd;
}

// An existing regular file of one name only, not through a link.
int open_single(const Place& place, int flags) {
    if (!place.valid()) return -1;
    const int fd = ::openat(place.at, place.name, flags | O_NOFOLLOW | O_CLOEXEC, 0666);
    struct stat st;
    const int error = fd < 0                  ? errno
                      : ::fstat(fd, &st) != 0 ? errno
                      : !S_ISREG(st.st_mode)  ? EINVAL
                      : st.st_nlink > 1       ? EMLINK
                                              : 0;
    if (error == 0) return fd;
    if (fd >= 0) ::close(fd);
    set_last_error(error);
    return -1;
}

}  // namespace

namespace {

// The permission bits of a new file in the game directory, from its first
// bytes.
mode_t new_file_mode(int fd) {
    // The process's umask, read without changing it (umask(2) would race
    // with other threads that create files).
    mode_t mask = 022;
    if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned value = 0;
        while (std::fgets(line, sizeof line, f) != nullptr) {
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value) & 0777;
                break;
            }
        }
        std::fclose(f);
    }
    // A program (an ELF binary or a script) must be runnable where it lands:
    // a fresh install gets valdora.exe this way.
    char head[4] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    const bool program = (n >= 4 && std::memcmp(head,
                                                "\x7f"
                                                "ELF",
                                                4) == 0) ||
                         (n >= 2 && head[0] == '#' && head[1] == '!');
    return (program ? 0755 : 0644) & ~mask;
}

}  // namespace

File File::open_for_attributes(std::string_view path) {
    struct stat st;
    if (::stat(native_path(path).c_str(), &st) != 0) {
        set_last_error(errno);
        return File();
    }
    if (S_ISDIR(st.st_mode)) {
        set_last_error(EISDIR);
        return File();
    }
    File file;
    file.attributesOnly_ = true;
    file.size_ = static_cast<std::uint64_t>(st.st_size);
    file.writeTime_ = st.st_mtim.tv_sec;
    return file;
}

File File::create_always(std::string_view path) {
    // The launcher's own scratch files must not be turned into a way to
    // write somewhere else: a link or a hard link in the way is removed.
    const Place place(path);
    return place.valid() ? File(create_anew(place.at, place.name, O_WRONLY, 0666)) : File();
}

File File::open_for_reading(std::string_view path) {
    const int fd = open_native(native_path(path), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return File();
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        set_last_error(S_ISDIR(st.st_mode) ? EISDIR : errno);
        ::close(fd);
        return File();
    }
    // Blocking reads from here on (O_NONBLOCK only kept a FIFO from hanging open()).
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return File(fd);
}

File File::open_for_resume(std::string_view path) {
    return File(open_single(Place(path), O_RDWR | O_APPEND));
}

File File::open_for_update(std::string_view path) {
    // Not O_APPEND: Linux would put every pwrite at the end.
    return File(open_single(Place(path), O_RDWR));
}

File File::open_for_append(std::string_view path) {
    return File(open_single(Place(path), O_WRONLY | O_APPEND | O_CREAT));
}

bool File::try_lock_shared() {
    if (fd_ < 0) {
        set_last_error(EBADF);
        return false;
    }
    if (::flock(fd_, LOCK_SH | LOCK_NB) != 0) return fail_with_errno();
    return true;
}

bool File::size(std::uint64_t& bytes) const {
    if (attributesOnly_) {
        bytes = size_;
        return true;
    }
    struct stat st;
    if (!status_of(fd_, st)) return false;
    bytes = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool File::last_write_time(std::int64_t& unixSeconds) const {
    if (attributesOnly_) {
        unixSeconds = writeTime_;
        return true;
    }
    struct stat st;
    if (!status_of(fd_, st)) return false;
    unixSeconds = st.st_mtim.tv_sec;
    return true;
}

bool File::write_all(const void* data, std::size_t size) {
    if (fd_ < 0) {
        set_last_error(EBADF);
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, std::min<std::size_t>(size, SSIZE_MAX));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail_with_errno();
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool File::write_all_at(const void* data, std::size_t size, std::uint64_t offset) {
    if (fd_ < 0) {
        set_last_error(EBADF);
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n =
            ::pwrite(fd_, p, std::min<std::size_t>(size, SSIZE_MAX), static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail_with_errno();
        }
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

long File::read_some(void* data, std::size_t size) {
    return read_retrying(fd_, [&] { return ::read(fd_, data, size); });
}

long File::read_some_at(void* data, std::size_t size, std::uint64_t offset) {
    return read_retrying(fd_, [&] { return ::pread(fd_, data, size, static_cast<off_t>(offset)); });
}

bool File::truncate_all() {
    if (fd_ < 0) {
        set_last_error(EBADF);
        return false;
    }
    if (::ftruncate(fd_, 0) != 0) return fail_with_errno();
    return true;
}

bool File::identity(std::uint64_t& device, std::uint64_t& inode) const {
    struct stat st;
    if (!status_of(fd_, st)) return false;
    device = static_cast<std::uint64_t>(st.st_dev);
    inode = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool set_file_write_time(std::string_view path, std::int64_t unixSeconds) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(unixSeconds);
    times[1].tv_nsec = 0;
    const Place place(path);
    if (!place.valid()) return false;
    if (::utimensat(place.at, place.name, times, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail_with_errno();
    }
    return true;
}

bool create_directory(std::string_view path) {
    const Place place(path);
    if (!place.valid()) return false;
    if (::mkdirat(place.at, place.name, 0755) != 0) return fail_with_errno();
    return true;
}

bool others_may_write(std::string_view directory) {
    struct stat st;
    if (::stat(native_path(directory).c_str(), &st) != 0) return errno != ENOENT;
    return st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

bool file_exists(std::string_view path) {
    struct stat st;
    if (::stat(native_path(path).c_str(), &st) != 0) return fail_with_errno();
    return true;
}

bool delete_file(std::string_view path) {
    const Place place(path);
    if (!place.valid()) return false;
    if (::unlinkat(place.at, place.name, 0) != 0) return fail_with_errno();
    return true;
}

namespace {

// The permission bits a file put in the place of `target` gets: those of
// the file there (a directory refuses, EISDIR), else those new_file_mode
// gives the bytes of `fd`. A link there is no file of ours: it is replaced.
bool kept_mode(const Place& target, int fd, mode_t& mode) {
    struct stat st;
    if (::fstatat(target.at, target.name, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISLNK(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            set_last_error(EISDIR);
            return false;
        }
        mode = st.st_mode & 07777;
        return true;
    }
    mode = new_file_mode(fd);
    return true;
}

// The bytes of `from` into a sibling of `to`, renamed over `to` at the end.
bool copy_into_place(std::string_view from, std::string_view to, bool keepWriteTime,
                     const CopyCheck* check = nullptr) {
    const Place target(to);
    File source = File::open_for_reading(from);
    if (!source || !target.valid()) return false;

    struct stat sourceStat;
    if (::fstat(source.fd(), &sourceStat) != 0) return fail_with_errno();
    mode_t mode = 0;
    if (!kept_mode(target, source.fd(), mode)) return false;

    // A fixed sibling name: a copy cut short by a crash is replaced by the
    // next one instead of piling up.
    const std::string partial = std::string(target.name) + ".~cp";
    const int out = create_anew(target.at, partial.c_str(), O_WRONLY, 0600);
    if (out < 0) return false;
    bool ok = copy_bytes(source.fd(), out, check);
    if (ok && check != nullptr && !check->accept()) {
        set_last_error(EBADMSG);
        ok = false;
    }
    if (ok && ::fchmod(out, mode) != 0) ok = fail_with_errno();
    if (ok && keepWriteTime) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, sourceStat.st_mtim};
        if (::futimens(out, times) != 0) ok = fail_with_errno();
    }
    if (::close(out) != 0 && ok) ok = fail_with_errno();
    if (ok && ::renameat(target.at, partial.c_str(), target.at, target.name) != 0) {
        ok = fail_with_errno();
    }
    if (!ok) {
        const int saved = last_error();
        ::unlinkat(target.at, partial.c_str(), 0);
        set_last_error(saved);
    }
    return ok;
}

}  // namespace

bool copy_file(std::string_view from, std::string_view to) {
    return copy_into_place(from, to, false);
}

bool copy_file(std::string_view from, std::string_view to, const CopyCheck& check) {
    return copy_into_place(from, to, false, &check);
}

int copy_refused_error() {
    return EBADMSG;
}

bool replace_file(std::string_view from, std::string_view to) {
    const Place source(from), target(to);
    if (!source.valid() || !target.valid()) return false;
    const int fd = ::openat(source.at, source.name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return fail_with_errno();
    mode_t mode = 0;
    bool ok = kept_mode(target, fd, mode);
    if (ok && ::fchmod(fd, mode) != 0) ok = fail_with_errno();
    ::close(fd);
    if (!ok) return false;
    if (::renameat(source.at, source.name, target.at, target.name) == 0) return true;
    if (errno != EXDEV) return fail_with_errno();
    if (!copy_into_place(from, to, true)) return false;
    ::unlinkat(source.at, source.name, 0);
    return true;
}

bool write_file_whole(std::string_view path, std::string_view bytes) {
    std::string target = native_path(path);
    struct stat st;
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) {
            set_last_error(EISDIR);
            return false;
        }
        // Root may write anything; the player's "read only" still holds.
        if ((st.st_mode & S_IWUSR) == 0) {
            set_last_error(EACCES);
            return false;
        }
        // The link's target, so the link itself stays.
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const std::string partial = target + ".~new";
    ::unlink(partial.c_str());
    const int out = open_native(partial, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    if (out < 0) return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(out, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) ok = fail_with_errno();
        if (n > 0) done += static_cast<std::size_t>(n);
    }
    if (ok && exists && ::fchmod(out, st.st_mode & 07777) != 0) ok = fail_with_errno();
    if (ok && ::fsync(out) != 0) ok = fail_with_errno();
    if (::close(out) != 0 && ok) ok = fail_with_errno();
    if (ok && ::rename(partial.c_str(), target.c_str()) != 0) ok = fail_with_errno();
    if (!ok) {
        const int saved = last_error();
        ::unlink(partial.c_str());
        set_last_error(saved);
        return false;
    }
    // The rename itself reaches the disk with the directory.
    const auto slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int dirFd = open_native(dir, O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool make_executable(std::string_view path) {
    const std::string native = native_path(path);
    struct stat st;
    if (::stat(native.c_str(), &st) != 0) return fail_with_errno();
    const mode_t mode = st.st_mode & 07777;
    // r-- becomes r-x for owner, group and others alike.
    const mode_t withExec = mode | ((mode & 0444) >> 2);
    if (withExec != mode && ::chmod(native.c_str(), withExec) != 0) return fail_with_errno();
    return true;
}

AttributeReader::AttributeReader() : base_(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

AttributeReader::~AttributeReader() {
    if (folderFd_ >= 0) ::close(folderFd_);
    if (base_ >= 0) ::close(base_);
}

File AttributeReader::open(std::string_view path, int& error) {
    native_.clear();
    for (const char c : path) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            native_ = native_path(path);
            break;
        }
        native_ += c == '\\' ? '/' : c;
    }
    const int base = base_ >= 0 ? base_ : AT_FDCWD;
    const std::size_t slash = native_.rfind('/');
    int at = base;
    const char* name = native_.c_str();
    // A plain "folder/name" goes from the folder; anything else (absolute,
    // a trailing "/", very long) the whole way, as before.
    if (slash != std::string::npos && slash != 0 && slash + 1 < native_.size() &&
        native_.size() < 1024) {
        const std::string_view folder(native_.data(), slash);
        const bool known = folderFd_ >= 0 || folderError_ != 0;
        if (!known || folder != folder_) {
            if (folderFd_ >= 0) ::close(folderFd_);
            folder_.assign(folder);
            folderFd_ = ::openat(base, folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            folderError_ = folderFd_ < 0 ? errno : 0;
        }
        if (folderFd_ < 0) {
            error = folderError_;
            return File();
        }
        at = folderFd_;
        name += slash + 1;
    }
    struct stat st;
    if (::fstatat(at, name, &st, 0) != 0) {
        error = errno;
        return File();
    }
    if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
        return File();
    }
    error = 0;
    File file;
    file.attributesOnly_ = true;
    file.size_ = static_cast<std::uint64_t>(st.st_size);
    file.writeTime_ = st.st_mtim.tv_sec;
    return file;
}

WorkingDirectory::WorkingDirectory(std::string nativeDir) : path_(std::move(nativeDir)) {
    if (!path_.empty()) fd_ = open_native(path_, O_PATH | O_DIRECTORY);
}

WorkingDirectory::~WorkingDirectory() {
    if (fd_ >= 0) ::close(fd_);
}

bool WorkingDirectory::enter() const {
    if (fd_ >= 0 && ::fchdir(fd_) == 0) return true;
    return set_current_directory(path_);
}

bool set_current_directory(const std::string& nativeDir) {
    if (::chdir(nativeDir.c_str()) != 0) return fail_with_errno();
    return true;
}

std::string current_directory() {
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(std::char_traits<char>::length(buffer.c_str()));
            return buffer;
        }
        if (errno != ERANGE) {
            set_last_error(errno);
            return std::string();
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace platform
