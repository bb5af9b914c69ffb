#include "tools/valdora-publish/keygen.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "trust/keys.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

// Creates `path` with `mode`, never over an existing file.
bool WriteNew(const fs::path& path, const std::string& text, mode_t mode, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    bool ok = fd >= 0;
    for (std::size_t at = 0; ok && at < text.size();) {
        const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        ok = n > 0 || (n < 0 && errno == EINTR);
        if (n > 0) at += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (!ok) error = path.string() + ": " + std::strerror(errno);
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        error = path.string() + ": " + std::strerror(errno);
        ok = false;
    }
    return ok;
}

}  // namespace

Status Keygen(const fs::path& dir, std::ostream& report, std::ostream& errors) {
    const fs::path secretFile = dir / "valdora.key", publicFile = dir / "valdora.pub";
    std::error_code ec;
    for (const fs::path& file : {secretFile, publicFile}) {
        if (fs::exists(fs::symlink_status(file, ec))) {
            errors << "valdora-publish: " << file.string()
                   << " is there already; refused, a key is never overwritten\n";
            return kRefused;
        }
    }
    trust::SecretKey key;
    std::string error;
    fs::create_directories(dir, ec);
    if (ec) error = dir.string() + ": " + ec.message();
    if (ec || !trust::GenerateKeyPair(key, error) ||
        !WriteNew(secretFile, trust::FormatSecretKey(key), 0600, error)) {
        errors << "valdora-publish: " << error << "\n";
        return kWriteFailed;
    }
    const trust::PublicKey publicKey = trust::PublicKeyOf(key);
    if (!WriteNew(publicFile, trust::FormatPublicKey(publicKey), 0644, error)) {
        // Half a pair is no use; the secret key is not in use anywhere yet.
        fs::remove(secretFile, ec);
        errors << "valdora-publish: " << error << "\n";
        return kWriteFailed;
    }
    report << "New key " << trust::KeyIdText(key.id) << ":\n"
           << "  secret key: " << secretFile.string()
           << " (unencrypted: keep it off the web server, sign with --sign-key)\n"
           << "  public key: " << publicFile.string() << "\n"
           << "  for the launcher's build (VALDORA_TRUSTED_KEYS): "
           << trust::PublicKeyLine(publicKey) << "\n";
    return kPublished;
}

}  // namespace publish
