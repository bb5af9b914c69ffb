// Child processes of the Windows tests: CreateProcessW, its handle to wait
// on and to end.
#include <winsock2.h>
// After winsock2.h.
#include <windows.h>

#include "platform/codepage.h"
#include "platform/process.h"
#include "support/process.h"

namespace testsupport {

bool mount_small_disk(const std::filesystem::path&, const char*) {
    return false;
}

bool resize_small_disk(const char*) {
    return false;
}

void unmount_small_disk(const std::filesystem::path&) {}

std::vector<std::string> measuring_peak_memory(const std::vector<std::string>& argv,
                                               const std::filesystem::path&) {
    return argv;
}

int free_port() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int size = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::closesocket(s);
    return ntohs(address.sin_port);
}

// (No test of the Windows build gives an environment of its own.)
Child::Child(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
             const Environment&, const std::filesystem::path& output) {
    std::u16string line = platform::utf8_to_utf16(platform::quote_command_line(argv));
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE out = ::CreateFileW(output.empty() ? L"NUL" : output.wstring().c_str(),
                                     FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherited, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = out;
    startup.hStdError = out;
    const std::u16string program = platform::utf8_to_utf16(argv.at(0));
    const bool path = program.find_first_of(u"\\/") != std::u16string::npos;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(path ? reinterpret_cast<const wchar_t*>(program.c_str()) : nullptr,
                         reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr, TRUE, 0,
                         nullptr, cwd.wstring().c_str(), &startup, &started)) {
        ::CloseHandle(started.hThread);
        pid_ = static_cast<pid_t>(started.dwProcessId);
        handle_ = reinterpret_cast<std::intptr_t>(started.hProcess);
    } else {
        status_ = 127;
    }
    if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
}

Child::~Child() {
    const HANDLE process = reinterpret_cast<HANDLE>(handle_);
    if (process == nullptr) return;
    if (!status_) {
        ::TerminateProcess(process, 1);
        ::WaitForSingleObject(process, 3000);
    }
    ::CloseHandle(process);
}

std::optional<int> Child::wait_for(std::chrono::milliseconds limit) {
    const HANDLE process = reinterpret_cast<HANDLE>(handle_);
    if (status_ || process == nullptr) return status_;
    if (::WaitForSingleObject(process, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    status_ = static_cast<int>(code);
    return status_;
}

void Child::kill() {
    if (handle_ != 0) ::TerminateProcess(reinterpret_cast<HANDLE>(handle_), kKilled);
}

}  // namespace testsupport
