#include "tools/valdora-publish/signing.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "servers/server_list.h"
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

void PlanSigning(const Options& options, std::optional<SigningPlan>& plan, SiteState& state,
                 std::vector<std::string>& problems) {
    plan.reset();
    std::string error;
    SiteState old;
    if (!ReadSiteState(options.siteDir, old, error)) {
        problems.push_back(error + "; the version cannot go on from it");
        return;
    }
    state = old;
    const std::string carried = "version " + std::to_string(old.highestVersion);
    if (options.signKey.empty()) {
        // Every launcher with keys would refuse the site from now on, and
        // keep refusing until a release above what it took comes signed.
        if (old.everSigned && !options.unsignedAllowed) {
            problems.push_back(options.siteDir.string() + " was signed (up to " + carried +
                               "): launchers built with keys would refuse an unsigned release; "
                               "give --sign-key, or --unsigned if that is really meant");
        }
        return;
    }
    SigningPlan signing;
    std::string text;
    if (!ReadText(options.signKey, text)) {
        problems.push_back("--sign-key " + options.signKey.string() + ": cannot be read");
    } else if (!trust::ReadSecretKey(text, signing.key, error)) {
        problems.push_back("--sign-key " + options.signKey.string() + ": " + error);
    }
    if (options.version && *options.version < old.highestVersion) {
        problems.push_back("--version " + std::to_string(*options.version) + ": below the site's " +
                           carried + ", which launchers may have taken and would keep");
    } else if (!options.version && old.highestVersion >= trust::kMaxVersion) {
        problems.push_back("the site's version cannot go any higher");
    }
    signing.release.version = options.version ? *options.version : old.highestVersion + 1;
    signing.release.product = std::string(trust::kProduct);
    if (options.expiresInDays) {
        const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        signing.release.expiresUnix =
            now.time_since_epoch().count() + std::int64_t{*options.expiresInDays} * 86400;
    }
    state.everSigned = true;
    state.highestVersion = std::max(old.highestVersion, signing.release.version);
    plan = signing;
}

bool SignServerList(const trust::SecretKey& key, const std::string& text, int days,
                    std::string& signatureText, std::string& error) {
    const std::int64_t now =
        std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now())
            .time_since_epoch()
            .count();
    trust::ReleaseInfo info;
    info.version = static_cast<std::uint64_t>(now);
    info.product = std::string(trust::kServerListProduct);
    info.expiresUnix = now + std::int64_t{days} * 86400;
    trust::Signature signature;
    if (!trust::Sign(key, text, trust::FormatTrustedComment(info), signature, error)) return false;
    signatureText = trust::FormatSignature(signature);
    return true;
}

Status SignServers(const fs::path& file, const fs::path& keyFile, int days, std::ostream& report,
                   std::ostream& errors) {
    std::string text, keyText, error, signature;
    std::vector<std::string> problems;
    trust::SecretKey key;
    if (!ReadText(file, text)) problems.push_back(file.string() + ": cannot be read");
    for (const std::string& p : ServerListProblems(text))
        problems.push_back(file.string() + ": " + p);
    if (!ReadText(keyFile, keyText)) {
        problems.push_back("--sign-key " + keyFile.string() + ": cannot be read");
    } else if (!trust::ReadSecretKey(keyText, key, error)) {
        problems.push_back("--sign-key " + keyFile.string() + ": " + error);
    }
    if (!problems.empty()) {
        errors << "valdora-publish: refused, nothing was written:\n";
        for (const std::string& p : problems) errors << "  " << p << "\n";
        return kRefused;
    }
    // Beside the list, in one step: a web server never serves half of it.
    const fs::path target = file.string() + ".minisig", fresh = target.string() + ".new";
    std::error_code ec;
    if (!SignServerList(key, text, days, signature, error) || !WriteText(fresh, signature) ||
        (fs::rename(fresh, target, ec), ec)) {
        fs::remove(fresh, ec);
        errors << "valdora-publish: " << target.string() << ": "
               << (error.empty() ? "cannot be written" : error) << "\n";
        return kWriteFailed;
    }
    report << "Signed " << file.string() << " for " << days << " days: " << target.string() << "\n";
    return kPublished;
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
