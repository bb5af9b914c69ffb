#include "tools/valdora-publish/signing.h"

#include <chrono>
#include <system_error>

#include "tools/valdora-publish/site.h"
#include "tools/valdora-publish/text_file.h"
#include "trust/signature.h"

namespace publish {

namespace fs = std::filesystem;

bool SiteVersion(const fs::path& siteDir, std::optional<std::uint64_t>& version,
                 std::string& error) {
    version.reset();
    const fs::path file = siteDir / kSignaturePath;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(file, ec))) return true;
    std::string text;
    trust::Signature signature;
    trust::ReleaseInfo release;
    if (!ReadText(file, text)) {
        error = "cannot be read";
    } else if (trust::ReadSignature(text, signature, error) &&
               trust::ParseTrustedComment(signature.trustedComment, release, error)) {
        version = release.version;
        return true;
    }
    error = file.string() + ": " + error;
    return false;
}

void PlanSigning(const Options& options, std::optional<SigningPlan>& plan,
                 std::vector<std::string>& problems) {
    plan.reset();
    if (options.signKey.empty()) return;
    SigningPlan signing;
    std::string text, error;
    if (!ReadText(options.signKey, text)) {
        problems.push_back("--sign-key " + options.signKey.string() + ": cannot be read");
    } else if (!trust::ReadSecretKey(text, signing.key, error)) {
        problems.push_back("--sign-key " + options.signKey.string() + ": " + error);
    }

    std::optional<std::uint64_t> siteVersion;
    if (!SiteVersion(options.siteDir, siteVersion, error)) {
        if (!options.version) problems.push_back(error + "; give the version with --version");
    } else if (options.version && siteVersion && *options.version < *siteVersion) {
        problems.push_back("--version " + std::to_string(*options.version) +
                           ": below the site's version " + std::to_string(*siteVersion) +
                           ", which launchers would keep");
    } else if (!options.version && siteVersion && *siteVersion == UINT64_MAX) {
        problems.push_back("the site's version cannot go any higher");
    }
    signing.release.version = options.version ? *options.version
                              : siteVersion   ? *siteVersion + 1
                                              : 1;
    signing.release.product = std::string(trust::kProduct);
    if (options.expiresInDays) {
        const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        signing.release.expiresUnix =
            now.time_since_epoch().count() + std::int64_t{*options.expiresInDays} * 86400;
    }
    plan = signing;
}

bool SignManifest(const SigningPlan& plan, const std::string& manifestText,
                  std::string& signatureText, std::string& error) {
    trust::Signature signature;
    if (!trust::Sign(plan.key, manifestText, trust::FormatTrustedComment(plan.release), signature,
                     error)) {
        return false;
    }
    signatureText = trust::FormatSignature(signature);
    return true;
}

}  // namespace publish
