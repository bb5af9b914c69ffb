#include "tools/valdora-publish/keygen.h"

#include <string>
#include <system_error>

#include "platform/last_error.h"
#include "platform/system_info.h"
#include "platform/system_paths.h"
#include "tools/valdora-publish/site.h"
#include "trust/keys.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

// Creates `path`, never over an existing file.
bool WriteNew(const fs::path& path, const std::string& text, bool secret, std::string& error) {
    if (platform::write_new_file(path, text, secret)) return true;
    error = Utf8(path) + ": " + platform::error_text(platform::last_error());
    return false;
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
        !WriteNew(secretFile, trust::FormatSecretKey(key), true, error)) {
        errors << "valdora-publish: " << error << "\n";
        return kWriteFailed;
    }
    const trust::PublicKey publicKey = trust::PublicKeyOf(key);
    if (!WriteNew(publicFile, trust::FormatPublicKey(publicKey), false, error)) {
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
