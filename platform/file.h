// Files and directories of the game directory.
//
// Paths are given in the launcher's own form: 8-bit CP1254 text with "\" or
// "/" between components, relative to the current directory (or absolute).
// The layer converts them to the file system's UTF-8 with "/" before any
// call. Failures return false (or an invalid File) and record the error for
// platform::last_error().
//
// What writes (creates, replaces, removes, stamps) a relative path never
// reaches outside the current directory (the game directory): the path's
// folders are resolved beneath it, and one that leads out of it (by "..",
// an absolute link, a link through "..") fails with EXDEV; the last
// component is never followed when it is a link (the link itself is what
// gets replaced or removed). Absolute paths are taken as they stand.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// CP1254 with either separator -> UTF-8 with "/".
std::string native_path(std::string_view path);

// An open file; closed when destroyed. Move-only.
class File {
public:
    File() = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    // An existing file, opened only to read its attributes: needs no read
    // permission and never blocks. A directory does not count as a file.
    // The handle holds the size and time the file had when it was opened
    // (one lookup, no descriptor): the check of a whole installation opens
    // every file once and asks at once.
    static File open_for_attributes(std::string_view path);
    // Creates the file anew for writing: whatever stood under its name (a
    // file, a link) is removed first, so no link leads the writes elsewhere
    // and no file that another name shares is cut or overwritten.
    static File create_always(std::string_view path);
    // An existing file, for reading.
    static File open_for_reading(std::string_view path);
    // An existing regular file, to read and to write at its end (a download
    // that goes on). A link in its place is refused (ELOOP), and so is a
    // file that another name shares (EMLINK).
    static File open_for_resume(std::string_view path);
    // The same, to read and to write anywhere in it (a file put together
    // from pieces, write_all_at).
    static File open_for_update(std::string_view path);
    // For appending; made (0666 less the umask) when missing. A link, or a
    // file that another name shares, is refused as by open_for_resume.
    static File open_for_append(std::string_view path);

    bool valid() const { return fd_ >= 0 || attributesOnly_; }
    explicit operator bool() const { return valid(); }
    int fd() const { return fd_; }  // -1 for an attribute handle

    bool size(std::uint64_t& bytes) const;
    // The low 32 bits of the size, as GetFileSize without its high part.
    bool size_low32(std::uint32_t& bytes) const;
    // Last-write time, whole seconds since 1970-01-01 UTC.
    bool last_write_time(std::int64_t& unixSeconds) const;
    // Writes all bytes or fails.
    bool write_all(const void* data, std::size_t size);
    // The same from byte `offset` on, leaving the file position alone (a
    // gap before it reads as zeros).
    bool write_all_at(const void* data, std::size_t size, std::uint64_t offset);
    // Reads up to `size` bytes; returns the count, or -1 on error.
    long read_some(void* data, std::size_t size);
    // The same from byte `offset`, leaving the file position alone.
    long read_some_at(void* data, std::size_t size, std::uint64_t offset);
    // Cuts the file to nothing.
    bool truncate_all();
    // Which file this is on its file system (device and inode): the same
    // numbers for the same file, whatever name it is reached by.
    bool identity(std::uint64_t& device, std::uint64_t& inode) const;
    // Takes a shared lock without waiting: false when another program holds
    // the file locked, as a file opened without sharing keeps others out on
    // Windows. Held until the file is closed.
    bool try_lock_shared();
    void close();

private:
    friend class AttributeReader;
    explicit File(int fd) : fd_(fd) {}
    int fd_ = -1;
    bool attributesOnly_ = false;
    std::uint64_t size_ = 0;
    std::int64_t writeTime_ = 0;
};

// Opens files for their attributes as File::open_for_attributes does, with
// the same paths and results, relative to the current directory at its
// construction; each lookup goes from the file's folder, kept open while the
// next files are in the same one, instead of walking the whole path again.
// One reader for one thread.
class AttributeReader {
public:
    AttributeReader();
    ~AttributeReader();
    AttributeReader(const AttributeReader&) = delete;
    AttributeReader& operator=(const AttributeReader&) = delete;

    // An attribute handle, or an invalid one with the error in `error`.
    File open(std::string_view path, int& error);

private:
#ifdef _WIN32
    std::wstring base_;  // the current directory at construction
#else
    int base_ = -1;
    std::string native_;
    std::string folder_;
    int folderFd_ = -1;
    int folderError_ = 0;
#endif
};

// A directory held open, so that making it current again needs no lookup of
// its path (the patch run does that before every file). One that could not
// be opened is entered by its path each time.
class WorkingDirectory {
public:
    explicit WorkingDirectory(std::string nativeDir);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

    // Makes it the process's current directory.
    bool enter() const;

private:
    std::string path_;
    int fd_ = -1;
};

// Sets the last-write time to whole seconds since 1970 UTC; the last-access
// time stays as it is. Windows keeps a creation time, which is set too.
bool set_file_write_time(std::string_view path, std::int64_t unixSeconds);

// One directory (no write for group or others, whatever the umask: the game
// directory's folders are the player's alone); fails when it exists or its
// parent does not.
bool create_directory(std::string_view path);
// True when the path names anything (file or directory).
bool file_exists(std::string_view path);
bool delete_file(std::string_view path);

// Copies the bytes of `from` over `to`. The target is replaced in one step:
// a reader sees either the old file or the whole new one, never a mix, and
// a failed copy leaves the old file as it was. An existing target keeps its
// permission bits; a new one gets 0755 less the umask when it starts like a
// program ("\x7fELF" or "#!"), else 0644 less the umask.
bool copy_file(std::string_view from, std::string_view to);

// What a copy passes its bytes through: `see` gets every byte in order as
// it goes to the copy, and `accept`, once the copy is whole, decides
// whether it takes the target's place.
struct CopyCheck {
    std::function<void(const char* data, std::size_t size)> see;
    std::function<bool()> accept;
};
// copy_file whose target gets exactly the bytes `check` saw, and only when
// it accepts them (else EBADMSG, the target as it was): what is checked is
// what is put in place, whatever happens to `from` meanwhile.
bool copy_file(std::string_view from, std::string_view to, const CopyCheck& check);
// The error such a refused copy records (EBADMSG; ERROR_INVALID_DATA on Windows).
int copy_refused_error();

// Puts the file `from` in the place of `to` by renaming it, for a file made
// next to its target: a reader sees the old file or the whole new one, with
// the new one's last-write time, and a failure leaves both as they were. An
// existing target keeps its permission bits; a new one gets its bits as
// copy_file gives them. Across file systems the bytes
// and the last-write time are copied instead and `from` is removed.
bool replace_file(std::string_view from, std::string_view to);

// Makes `bytes` the whole content of the file `path` so that a crash or a
// full disk never leaves half a file: written to `path` + ".~new" (made
// anew), flushed to the disk, renamed over the file. A symlink is written
// through: its target is replaced and the link stays (the player's own
// settings file may live elsewhere). An existing file keeps its
// permission bits, and one without its owner's write bit is left as it is
// (EACCES), as a file that cannot be opened for writing.
bool write_file_whole(std::string_view path, std::string_view bytes);

// Lets everyone who may read the file run it (a program put in place by
// copying).
bool make_executable(std::string_view path);

// True when anyone but this process's user may add, rename or remove
// entries of the existing directory `path`: it belongs to another user, or
// its permissions let a group or everyone write, sticky or not (a POSIX ACL
// that lets another user or group write shows as the group bits' mask). A
// directory that cannot be examined counts as one others may write; a
// missing one as one they may not (it is made private when made).
bool others_may_write(std::string_view directory);

// Reads a whole file; false when it cannot be opened or read.
bool read_file(std::string_view path, std::string& contents);

// The process's current directory, in the file system's own bytes.
bool set_current_directory(const std::string& nativeDir);
std::string current_directory();

}  // namespace platform
