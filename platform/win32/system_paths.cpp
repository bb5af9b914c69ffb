#include "platform/system_paths.h"

#include <windows.h>

#include <algorithm>

#include "platform/codepage.h"
#include "platform/win32/windows_util.h"

namespace platform {

bool write_new_file(const std::filesystem::path& path, std::string_view bytes, bool) {
    const win32::Handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return win32::fail_with_last_error();
    for (std::size_t at = 0; at < bytes.size();) {
        DWORD written = 0;
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 30));
        if (!::WriteFile(file.get(), bytes.data() + at, piece, &written, nullptr)) {
            return win32::fail_with_last_error();
        }
        at += written;
    }
    if (!::FlushFileBuffers(file.get())) return win32::fail_with_last_error();
    return true;
}

bool exchange_paths(const std::filesystem::path&, const std::filesystem::path&) {
    return win32::fail_with(ERROR_NOT_SUPPORTED);
}

std::filesystem::path byte_name(std::string_view bytes) {
    const std::u16string name = cp1254_to_utf16(bytes);
    return std::filesystem::path(std::wstring(name.begin(), name.end()));
}

}  // namespace platform
