// Processes on Windows: the system's snapshot of processes, process handles
// to wait on and to end, CreateProcessW without inherited handles.
#include "platform/process.h"

#include <windows.h>
// After windows.h.
#include <tlhelp32.h>

#include <algorithm>

#include "platform/last_error.h"
#include "platform/win32/windows_util.h"

namespace platform {
namespace {

using win32::Handle;

// Every process's id, parent and executable file name, as the system lists them.
template <typename Visit>
void each_process(Visit visit) {
    const Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (!visit(entry)) return;
    }
}

std::optional<std::string> snapshot_name(pid_t pid) {
    std::optional<std::string> name;
    each_process([&](const PROCESSENTRY32W& entry) {
        if (entry.th32ProcessID != static_cast<DWORD>(pid)) return true;
        name = win32::utf8(entry.szExeFile);
        return false;
    });
    return name;
}

// When the process was created, in the system's ticks; nothing for one
// that cannot be asked.
std::optional<std::uint64_t> creation_time(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
    return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

std::optional<std::uint64_t> creation_time(pid_t pid) {
    const Handle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
    return process ? creation_time(process.get()) : std::nullopt;
}

// Which folder this is, whatever path reaches it: its volume and index.
std::optional<std::pair<DWORD, std::uint64_t>> folder_identity(const std::wstring& path) {
    const Handle folder(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder || !::GetFileInformationByHandle(folder.get(), &info)) return std::nullopt;
    return std::pair{info.dwVolumeSerialNumber,
                     (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// Whether the process runs as our user from our current directory. (Windows
// shows no other process's current directory: the folder of its program
// stands in; a launcher runs from the game directory.)
bool ours_here(pid_t pid) {
    const Handle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
    HANDLE opened = nullptr;
    if (!process || !::OpenProcessToken(process.get(), TOKEN_QUERY, &opened)) return false;
    const Handle token(opened);
    alignas(TOKEN_USER) char user[256];
    DWORD size = 0;
    wchar_t path[MAX_PATH * 4];
    DWORD length = MAX_PATH * 4;
    if (!::GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size) ||
        !win32::is_current_user(reinterpret_cast<TOKEN_USER*>(user)->User.Sid) ||
        !::QueryFullProcessImageNameW(process.get(), 0, path, &length)) {
        return false;
    }
    const std::wstring image(path, length);
    const auto folder = folder_identity(image.substr(0, image.find_last_of(L"\\/")));
    return folder && folder == folder_identity(L".");
}

}  // namespace

std::optional<std::string> process_executable_name(pid_t pid) {
    const Handle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
    wchar_t path[MAX_PATH * 4];
    DWORD size = MAX_PATH * 4;
    if (!process || !::QueryFullProcessImageNameW(process.get(), 0, path, &size)) {
        return std::nullopt;
    }
    const std::wstring image(path, size);
    const std::size_t slash = image.find_last_of(L"\\/");
    return win32::utf8(slash == std::wstring::npos ? image : image.substr(slash + 1));
}

std::optional<std::string> process_name(pid_t pid) {
    if (auto name = process_executable_name(pid)) return name;
    return snapshot_name(pid);
}

std::optional<pid_t> find_other_process(std::string_view exeName, bool startedBeforeUs,
                                        bool oursHere) {
    const DWORD self = ::GetCurrentProcessId();
    const auto ourStart = creation_time(::GetCurrentProcess());
    if (startedBeforeUs && !ourStart) return std::nullopt;
    std::optional<pid_t> first;
    each_process([&](const PROCESSENTRY32W& entry) {
        const auto pid = static_cast<pid_t>(entry.th32ProcessID);
        if (entry.th32ProcessID == self || (first && pid > *first)) return true;
        if (win32::utf8(entry.szExeFile) != exeName || (oursHere && !ours_here(pid))) return true;
        if (startedBeforeUs) {
            const auto started = creation_time(pid);
            if (!started || *started >= *ourStart) return true;
        }
        first = pid;
        return true;
    });
    return first;
}

void wait_for_parent(std::string_view exeName, std::chrono::milliseconds limit) {
    std::optional<DWORD> parentId;
    const DWORD self = ::GetCurrentProcessId();
    each_process([&](const PROCESSENTRY32W& entry) {
        if (entry.th32ProcessID != self) return true;
        parentId = entry.th32ParentProcessID;
        return false;
    });
    if (!parentId) return;
    const Handle parent(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, *parentId));
    if (!parent) return;
    // The system keeps the id of a parent that has ended, and may give it to
    // a new process: only one created before us is our parent.
    const auto parentStart = creation_time(parent.get());
    const auto ourStart = creation_time(::GetCurrentProcess());
    if (!parentStart || !ourStart || *parentStart > *ourStart) return;
    if (process_name(static_cast<pid_t>(*parentId)) != exeName) return;
    ::WaitForSingleObject(parent.get(),
                          static_cast<DWORD>(std::max<std::int64_t>(0, limit.count())));
}

bool terminate_process(pid_t pid, std::chrono::milliseconds limit) {
    const Handle process(
        ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                      static_cast<DWORD>(pid)));
    if (!process) return win32::fail_with_last_error();
    // It ends with the code it would report now: 259 (STILL_ACTIVE) for a
    // running one, as the launcher has always ended an older launcher.
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    if (!::TerminateProcess(process.get(), code)) return win32::fail_with_last_error();
    ::WaitForSingleObject(process.get(),
                          static_cast<DWORD>(std::max<std::int64_t>(0, limit.count())));
    return true;
}

bool process_alive(pid_t pid) {
    const Handle process(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
    return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

std::optional<pid_t> spawn_process(const std::string& program,
                                   const std::vector<std::string>& args) {
    // A bare name from the current directory, never from the search path.
    const bool bare = program.find_first_of("\\/:") == std::string::npos;
    const std::wstring path = win32::wide(bare ? ".\\" + program : program);
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::wstring line = win32::wide(quote_command_line(words));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // No handle of ours is inherited: a game that held the launcher's files
    // or sockets would keep them after the launcher has ended.
    if (!::CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started)) {
        win32::fail_with_last_error();
        return std::nullopt;
    }
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return static_cast<pid_t>(started.dwProcessId);
}

void exit_process(int code) {
    ::ExitProcess(static_cast<UINT>(code));
}

}  // namespace platform
