#include "patch/self_update.h"

#include <cstring>
#include <vector>

#include "log/launcher_log.h"
#include "patch/file_checks.h"
#include "patch/signed_release.h"
#include "platform/cp1254_literal.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/system_info.h"
#include "trust/sha256.h"

using namespace platform::literals;

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

std::string FolderOthersMayWrite() {
    for (const char* folder : {".", "base"}) {
        if (platform::others_may_write(folder)) return folder;
    }
    return "";
}

bool SelfUpdateAllowedHere() {
    const std::string folder = FolderOthersMayWrite();
    if (folder.empty()) return true;
    WriteLauncherLog(
        "Oyun klasörüne başka kullanıcılar da yazabiliyor (%s): launcher kendini güncellemeyecek."_cp1254,
        folder.c_str());
    return false;
}

bool IsLauncherUpdatePending(bool testLauncher) {
    return !testLauncher && FileExists(kLauncherFile) &&
           isFileContentDifferent("launcher.exe", kLauncherFile);
}

UpdateInstall InstallLauncherUpdate(bool signedOnly, const std::vector<trust::PublicKey>& keys,
                                    std::int64_t nowUnix, std::string& why) {
    trust::Sha256Digest expected{};
    if (signedOnly && !KeptLauncherHash(keys, nowUnix, expected, why)) {
        return UpdateInstall::NotSigned;
    }
    trust::Sha256 hash;
    platform::CopyCheck check;
    check.see = [&](const char* data, std::size_t size) { hash.Update(data, size); };
    check.accept = [&] { return !signedOnly || hash.Final() == expected; };
    if (platform::copy_file(kLauncherFile, "launcher.exe", check) &&
        platform::make_executable("launcher.exe")) {
        return UpdateInstall::Installed;
    }
    const int error = platform::last_error();
    if (error == platform::copy_refused_error()) {
        why = "_launcher.dll is not the signed one";
        return UpdateInstall::NotSigned;
    }
    why = platform::error_text(error);
    return UpdateInstall::Failed;
}
