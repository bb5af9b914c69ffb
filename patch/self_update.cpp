#include "patch/self_update.h"

#include <cstring>
#include <vector>

#include "patch/file_checks.h"
#include "platform/file.h"

namespace {

// Fills `buffer` from the file unless the file ends or fails first.
bool read_full(platform::File& file, char* buffer, std::size_t size) {
    while (size > 0) {
        const long n = file.read_some(buffer, size);
        if (n <= 0) return false;
        buffer += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool isFileContentDifferent(const std::string& first, const std::string& second) {
    platform::File a = platform::File::open_for_reading(first);
    platform::File b = platform::File::open_for_reading(second);
    std::uint64_t sizeA = 0;
    std::uint64_t sizeB = 0;
    if (!a || !b || !a.size(sizeA) || !b.size(sizeB) || sizeA != sizeB) return true;
    // In pieces rather than whole, so a large file costs no large buffer.
    constexpr std::size_t kPiece = 1 << 16;
    std::vector<char> bufferA(kPiece);
    std::vector<char> bufferB(kPiece);
    for (std::uint64_t left = sizeA; left > 0;) {
        const std::size_t n = left < kPiece ? static_cast<std::size_t>(left) : kPiece;
        if (!read_full(a, bufferA.data(), n) || !read_full(b, bufferB.data(), n)) return true;
        if (std::memcmp(bufferA.data(), bufferB.data(), n) != 0) return true;
        left -= n;
    }
    return false;
}

bool IsLauncherUpdatePending(bool testLauncher) {
    return !testLauncher && FileExists(kLauncherFile) &&
           isFileContentDifferent("launcher.exe", kLauncherFile);
}
