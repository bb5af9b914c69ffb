// Files and directories on Windows: wide paths at the system calls, handles
// kept as C runtime descriptors (so File is the same on both systems), the
// system's error codes for platform::last_error().
#include "platform/file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/last_error.h"
#include "platform/win32/windows_util.h"

namespace platform {
namespace {

using win32::fail_with;
using win32::fail_with_last_error;
using win32::Handle;
using win32::long_form;
using win32::wide;
using win32::wide_path;

// Others may read, write, rename and delete what we hold open, as POSIX
// lets them: a running game keeps its own files, not we ours.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What a symlink (a reparse point) in the place of a scratch file is refused
// with, and a file that another name shares (a hard link).
constexpr DWORD kLinkRefused = ERROR_CANT_RESOLVE_FILENAME;
constexpr DWORD kSharedRefused = ERROR_TOO_MANY_LINKS;

HANDLE os_handle(int fd) {
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// The handle as a C runtime descriptor, which owns it from now on.
int adopt(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) {
        fail_with_last_error();
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        fail_with(ERROR_TOO_MANY_OPEN_FILES);
    }
    return fd;
}

HANDLE open_native(const std::wstring& path, DWORD access, DWORD disposition, DWORD flags = 0) {
    return ::CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

bool no_handle(int fd) {
    if (fd >= 0) return false;
    fail_with(ERROR_INVALID_HANDLE);
    return true;
}

// A regular file opened as itself (FILE_FLAG_OPEN_REPARSE_POINT): a link or
// a folder in its place is refused, the handle closed.
HANDLE refuse_links(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) return handle;
    BY_HANDLE_FILE_INFORMATION info;
    DWORD refusal = 0;
    if (!::GetFileInformationByHandle(handle, &info)) {
        refusal = ::GetLastError();
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        refusal = kLinkRefused;
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        refusal = ERROR_ACCESS_DENIED;
    } else if (info.nNumberOfLinks > 1) {
        refusal = kSharedRefused;
    }
    if (refusal == 0) return handle;
    ::CloseHandle(handle);
    ::SetLastError(refusal);
    return INVALID_HANDLE_VALUE;
}

// Size and last-write time of what `path` names, following a link as
// opening the file would; a folder is no file (ERROR_ACCESS_DENIED, as
// CreateFile answers for one).
DWORD attributes_of(const std::wstring& path, std::uint64_t& size, std::int64_t& writeTime) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return ::GetLastError();
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // The attributes are the link's own: ask the file it leads to.
        const Handle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!file || !::GetFileInformationByHandle(file.get(), &info)) return ::GetLastError();
        data.dwFileAttributes = info.dwFileAttributes;
        data.nFileSizeHigh = info.nFileSizeHigh;
        data.nFileSizeLow = info.nFileSizeLow;
        data.ftLastWriteTime = info.ftLastWriteTime;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_ACCESS_DENIED;
    size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    writeTime = win32::unix_seconds(data.ftLastWriteTime);
    return ERROR_SUCCESS;
}

bool is_directory(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool move_over(const std::wstring& from, const std::wstring& to, DWORD flags = 0) {
    if (is_directory(to)) return fail_with(ERROR_ACCESS_DENIED);
    if (!::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH | flags)) {
        return fail_with_last_error();
    }
    return true;
}

// Removes a scratch file after a failure, keeping that failure's error.
void remove_scratch(const std::wstring& path) {
    const int saved = last_error();
    ::DeleteFileW(path.c_str());
    set_last_error(saved);
}

// Writes to a relative path stay beneath the current directory (the game
// directory): no ".." among its parts, and no folder on its way that is a
// link (a junction, a symbolic link); else ERROR_NOT_SAME_DEVICE, as EXDEV
// on POSIX. Absolute paths are taken as they stand.
bool beneath(std::string_view path) {
    const std::string native = native_path(path);
    if (native.empty() || native[0] == '/' || (native.size() > 1 && native[1] == ':')) return true;
    std::size_t start = 0;
    for (std::size_t end; (end = native.find('/', start)) != std::string::npos; start = end + 1) {
        const std::string part = native.substr(start, end - start);
        const DWORD attributes =
            ::GetFileAttributesW(long_form(wide(native.substr(0, end))).c_str());
        if (part == ".." || (attributes != INVALID_FILE_ATTRIBUTES &&
                             (attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
            return fail_with(ERROR_NOT_SAME_DEVICE);
        }
    }
    return native.substr(start) != ".." || fail_with(ERROR_NOT_SAME_DEVICE);
}

}  // namespace

File File::open_for_attributes(std::string_view path) {
    File file;
    const DWORD error = attributes_of(wide_path(path), file.size_, file.writeTime_);
    if (error != ERROR_SUCCESS) {
        fail_with(error);
        return File();
    }
    file.attributesOnly_ = true;
    return file;
}

File File::create_always(std::string_view path) {
    if (!beneath(path)) return File();
    // Whatever stands under the name goes first (a link itself, not what it
    // leads to; a name another one shares, not their file), then the file is
    // made anew and as itself.
    const std::wstring native = wide_path(path);
    if (!::DeleteFileW(native.c_str())) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            fail_with(error);
            return File();
        }
    }
    return File(adopt(refuse_links(open_native(native, GENERIC_READ | GENERIC_WRITE, CREATE_NEW,
                                               FILE_FLAG_OPEN_REPARSE_POINT))));
}

File File::open_for_reading(std::string_view path) {
    return File(adopt(open_native(wide_path(path), GENERIC_READ, OPEN_EXISTING)));
}

File File::open_for_resume(std::string_view path) {
    if (!beneath(path)) return File();
    // Writes go to the end, as with O_APPEND.
    return File(adopt(refuse_links(open_native(wide_path(path), GENERIC_READ | FILE_APPEND_DATA,
                                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT))));
}

File File::open_for_update(std::string_view path) {
    if (!beneath(path)) return File();
    return File(adopt(refuse_links(open_native(wide_path(path), GENERIC_READ | GENERIC_WRITE,
                                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT))));
}

File File::open_for_append(std::string_view path) {
    if (!beneath(path)) return File();
    return File(adopt(refuse_links(open_native(wide_path(path), FILE_APPEND_DATA | SYNCHRONIZE,
                                               OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT))));
}

bool File::try_lock_shared() {
    // A program that wants the file to itself opens it without sharing, and
    // then our open failed already: an open file is one we may write.
    return !no_handle(fd_);
}

bool File::size(std::uint64_t& bytes) const {
    if (attributesOnly_) {
        bytes = size_;
        return true;
    }
    if (no_handle(fd_)) return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(os_handle(fd_), &size)) return fail_with_last_error();
    bytes = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool File::last_write_time(std::int64_t& unixSeconds) const {
    if (attributesOnly_) {
        unixSeconds = writeTime_;
        return true;
    }
    if (no_handle(fd_)) return false;
    FILETIME written;
    if (!::GetFileTime(os_handle(fd_), nullptr, nullptr, &written)) return fail_with_last_error();
    unixSeconds = win32::unix_seconds(written);
    return true;
}

bool File::write_all(const void* data, std::size_t size) {
    if (no_handle(fd_)) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD written = 0;
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!::WriteFile(os_handle(fd_), p, piece, &written, nullptr))
            return fail_with_last_error();
        p += written;
        size -= written;
    }
    return true;
}

bool File::write_all_at(const void* data, std::size_t size, std::uint64_t offset) {
    if (no_handle(fd_)) return false;
    // As read_some_at: the file pointer is put back.
    const HANDLE handle = os_handle(fd_);
    LARGE_INTEGER here{};
    ::SetFilePointerEx(handle, LARGE_INTEGER{}, &here, FILE_CURRENT);
    const char* p = static_cast<const char*>(data);
    bool ok = true;
    while (ok && size > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        ok = ::WriteFile(handle, p, piece, &written, &at) != 0 && written > 0;
        p += written;
        size -= written;
        offset += written;
    }
    const DWORD error = ::GetLastError();
    ::SetFilePointerEx(handle, here, nullptr, FILE_BEGIN);
    return ok || fail_with(error);
}

long File::read_some(void* data, std::size_t size) {
    if (no_handle(fd_)) return -1;
    DWORD read = 0;
    const auto piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!::ReadFile(os_handle(fd_), data, piece, &read, nullptr)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
        fail_with_last_error();
        return -1;
    }
    return static_cast<long>(read);
}

long File::read_some_at(void* data, std::size_t size, std::uint64_t offset) {
    if (no_handle(fd_)) return -1;
    // A positioned read moves the file pointer of a synchronous handle: put
    // it back.
    const HANDLE handle = os_handle(fd_);
    LARGE_INTEGER here{};
    ::SetFilePointerEx(handle, LARGE_INTEGER{}, &here, FILE_CURRENT);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    const auto piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    const bool ok = ::ReadFile(handle, data, piece, &read, &at) != 0;
    const DWORD error = ::GetLastError();
    ::SetFilePointerEx(handle, here, nullptr, FILE_BEGIN);
    if (ok || error == ERROR_HANDLE_EOF) return ok ? static_cast<long>(read) : 0;
    fail_with(error);
    return -1;
}

bool File::truncate_all() {
    if (no_handle(fd_)) return false;
    const HANDLE handle = os_handle(fd_);
    if (!::SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(handle)) {
        return fail_with_last_error();
    }
    return true;
}

bool File::identity(std::uint64_t& device, std::uint64_t& inode) const {
    if (no_handle(fd_)) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(os_handle(fd_), &info)) return fail_with_last_error();
    device = info.dwVolumeSerialNumber;
    inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return true;
}

bool set_file_write_time(std::string_view path, std::int64_t unixSeconds) {
    if (!beneath(path)) return false;
    // Opened for its attributes alone and without sharing, as the launcher
    // always did (sharing guards a file's bytes, not its attributes); a link
    // in the path's last place is opened as itself and gets the time, as
    // utimensat without following does on POSIX, never what it leads to.
    const Handle file(::CreateFileW(wide_path(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return fail_with_last_error();
    // Creation and last-write time; the last-access time stays.
    const FILETIME time = win32::file_time(unixSeconds);
    if (!::SetFileTime(file.get(), &time, nullptr, &time)) return fail_with_last_error();
    return true;
}

bool create_directory(std::string_view path) {
    if (!beneath(path)) return false;
    if (!::CreateDirectoryW(wide_path(path).c_str(), nullptr)) return fail_with_last_error();
    return true;
}

bool file_exists(std::string_view path) {
    if (::GetFileAttributesW(wide_path(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
        return fail_with_last_error();
    }
    return true;
}

bool delete_file(std::string_view path) {
    if (!beneath(path)) return false;
    if (!::DeleteFileW(wide_path(path).c_str())) return fail_with_last_error();
    return true;
}

bool copy_file(std::string_view from, std::string_view to) {
    if (!beneath(to)) return false;
    // Beside the target first, then over it in one step; a fixed scratch
    // name, so a copy cut short is overwritten by the next.
    const std::wstring target = wide_path(to);
    const std::wstring partial = target + L".~cp";
    if (is_directory(target)) return fail_with(ERROR_ACCESS_DENIED);
    if (!::CopyFileW(wide_path(from).c_str(), partial.c_str(), FALSE)) {
        fail_with_last_error();
        remove_scratch(partial);
        return false;
    }
    if (move_over(partial, target)) return true;
    remove_scratch(partial);
    return false;
}

bool copy_file(std::string_view from, std::string_view to, const CopyCheck& check) {
    if (!beneath(to)) return false;
    // The bytes go through the check on their way into the copy, so what is
    // checked is what is put in place.
    const std::wstring target = wide_path(to);
    const std::wstring partial = target + L".~cp";
    if (is_directory(target)) return fail_with(ERROR_ACCESS_DENIED);
    File source = File::open_for_reading(from);
    if (!source) return false;
    bool ok = true;
    {
        File out = File::create_always(std::string(to) + ".~cp");
        ok = out.valid();
        char buffer[1 << 16];
        for (long n = 0; ok && (n = source.read_some(buffer, sizeof buffer)) != 0;) {
            ok = n > 0 && out.write_all(buffer, static_cast<std::size_t>(n));
            if (ok && check.see) check.see(buffer, static_cast<std::size_t>(n));
        }
    }
    if (ok && check.accept && !check.accept()) ok = fail_with(copy_refused_error());
    if (ok && move_over(partial, target)) return true;
    remove_scratch(partial);
    return false;
}

int copy_refused_error() {
    return ERROR_INVALID_DATA;
}

bool replace_file(std::string_view from, std::string_view to) {
    if (!beneath(from) || !beneath(to)) return false;
    // Across volumes the system copies the bytes and times and removes `from`.
    return move_over(wide_path(from), wide_path(to), MOVEFILE_COPY_ALLOWED);
}

bool write_file_whole(std::string_view path, std::string_view bytes) {
    if (!beneath(path)) return false;
    std::wstring target = wide_path(path);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail_with(ERROR_ACCESS_DENIED);
        // The player's "read only" holds.
        if (attributes & FILE_ATTRIBUTE_READONLY) return fail_with(ERROR_ACCESS_DENIED);
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // The link's target is replaced; the link stays.
            const Handle file(::CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
            wchar_t real[MAX_PATH * 4];
            const DWORD n =
                file ? ::GetFinalPathNameByHandleW(file.get(), real, MAX_PATH * 4, 0) : 0;
            if (n == 0 || n >= MAX_PATH * 4) return fail_with_last_error();
            target.assign(real, n);
        }
    }
    const std::wstring partial = target + L".~new";
    {
        const Handle out(::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) return fail_with_last_error();
        bool ok = true;
        for (std::size_t done = 0; ok && done < bytes.size();) {
            DWORD written = 0;
            const auto piece =
                static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            ok = ::WriteFile(out.get(), bytes.data() + done, piece, &written, nullptr) != 0;
            done += written;
        }
        // On the disk before it takes the old file's place.
        if (!ok || !::FlushFileBuffers(out.get())) {
            fail_with_last_error();
            remove_scratch(partial);
            return false;
        }
    }
    if (move_over(partial, target)) return true;
    remove_scratch(partial);
    return false;
}

bool others_may_write(std::string_view directory) {
    // The folder's owner and the entries of its access list that let anyone
    // but this user (and the system and administrators, who may anyway) add
    // or remove entries.
    const std::wstring native = wide_path(directory);
    constexpr SECURITY_INFORMATION kWhat = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    ::GetFileSecurityW(native.c_str(), kWhat, nullptr, 0, &size);
    std::vector<char> descriptor(size);
    if (size == 0 || !::GetFileSecurityW(native.c_str(), kWhat, descriptor.data(), size, &size)) {
        const DWORD error = ::GetLastError();
        return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    PSID owner = nullptr;
    PACL acl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    ::GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted);
    ::GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted);
    const auto trusted = [](PSID sid) {
        return win32::is_current_user(sid) || ::IsWellKnownSid(sid, WinLocalSystemSid) ||
               ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
               ::IsWellKnownSid(sid, WinCreatorOwnerSid);
    };
    if (owner == nullptr || !trusted(owner) || acl == nullptr) return true;  // no list: all may
    constexpr ACCESS_MASK kWrites = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD |
                                    GENERIC_WRITE | GENERIC_ALL | WRITE_DAC | WRITE_OWNER;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!::GetAce(acl, i, reinterpret_cast<void**>(&ace)) ||
            ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (ace->Header.AceFlags & INHERIT_ONLY_ACE)) {
            continue;
        }
        if ((ace->Mask & kWrites) != 0 && !trusted(&ace->SidStart)) return true;
    }
    return false;
}

bool make_executable(std::string_view path) {
    // Windows runs a program by its name; nothing to change but to be there.
    return file_exists(path);
}

AttributeReader::AttributeReader() : base_(wide(current_directory())) {}

AttributeReader::~AttributeReader() = default;

File AttributeReader::open(std::string_view path, int& error) {
    // Joined with the folder of the construction before it is made long
    // (wide_path would join it with the current one).
    std::wstring full = wide(native_path(path));
    const bool absolute = (!full.empty() && (full[0] == L'\\' || full[0] == L'/')) ||
                          (full.size() > 1 && full[1] == L':');
    full = long_form(absolute ? full : base_ + L"\\" + full);
    File file;
    error = static_cast<int>(attributes_of(full, file.size_, file.writeTime_));
    if (error != 0) return File();
    file.attributesOnly_ = true;
    return file;
}

WorkingDirectory::WorkingDirectory(std::string nativeDir) : path_(std::move(nativeDir)) {}

WorkingDirectory::~WorkingDirectory() = default;

bool WorkingDirectory::enter() const {
    return set_current_directory(path_);
}

bool set_current_directory(const std::string& nativeDir) {
    if (!::SetCurrentDirectoryW(wide(nativeDir).c_str())) return fail_with_last_error();
    return true;
}

std::string current_directory() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n == 0) {
            fail_with_last_error();
            return std::string();
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            return win32::utf8(buffer);
        }
        buffer.resize(n);
    }
}

}  // namespace platform
