#include "patch/signed_run.h"

#include "log/launcher_log.h"
#include "net/fetch_url.h"
#include "platform/cp1254_literal.h"

using namespace platform::literals;

void PrepareFetch(talvo::utility::fetch_url& fetch, const PatchOptions& options,
                  const platform::ManualResetEvent& stop) {
    fetch.abort_when([&stop] { return stop.is_set(); });
    fetch.transfer.set_stall_limit(options.stallSeconds, SlowestSpeed(options));
    fetch.transfer.set_limit_rate(options.limitRate);
    if (!options.caFile.empty()) fetch.transfer.add_ca_file(options.caFile);
}

std::string SignedRun::FetchRelease(bool fresh, const std::string& listUrl, std::string& error) {
    std::string texts[2];
    const char* const suffixes[2] = {kManifestSuffix, kSignatureSuffix};
    const char* const names[2] = {"manifest", "signature"};
    // A manifest of the longest list; a signature file holds two lines of
    // base64 and two comments of at most 8 KiB.
    const std::uint64_t caps[2] = {48 << 20, 64 << 10};
    for (int i = 0; i < 2; ++i) {
        talvo::utility::fetch_url fetch(listUrl + suffixes[i]);
        PrepareFetch(fetch, options_, stop_);
        fetch.transfer.set_no_cache(fresh);
        fetch.set_max_size(caps[i]);
        texts[i] = fetch.fetch();
        if (texts[i].empty()) {
            const std::string why = std::string(names[i]) + ": not fetched: ";
            if (fetch.error().empty()) return why + "empty";
            error = why + fetch.error();
            return "";
        }
    }
    if (options_.trustedKeys.empty()) return "signature: none of the trusted keys could be read";
    std::string ignored;
    const std::uint64_t floor = KeptReleaseVersion(options_.trustedKeys, texts[1], ignored);
    if (!ignored.empty()) LogRefusal("the release kept in base is ignored: " + ignored);
    std::string refused;
    if (release_.Verify(options_.trustedKeys, std::move(texts[0]), std::move(texts[1]),
                        options_.unixTime(), floor, refused)) {
        return "";
    }
    return refused.empty() ? "the release was refused" : refused;
}

bool SignedRun::BytesDiffer(const UpdateListEntry& entry) {
    if (!options_.verifyAll || !options_.signedOnly) return false;
    const trust::Sha256Digest* expected = release_.HashOf(entry.path);
    platform::File file = platform::File::open_for_reading(entry.path);
    trust::Sha256Digest digest;
    if (expected != nullptr && file && trust::Sha256OfFile(file, digest) && digest == *expected) {
        return false;
    }
    LogRefusal(entry.path + ": not the signed bytes; downloaded again");
    return true;
}

bool SignedRun::HashChanged(const UpdateListEntry& entry) {
    if (!options_.signedOnly) return false;
    const trust::Sha256Digest* release = release_.HashOf(entry.path);
    const trust::Sha256Digest* installed = installed_.Find(entry.path);
    if (release == nullptr) return false;
    // Found current before anything was kept for it: taken as installed.
    if (installed == nullptr) installed_.Set(entry.path, *release);
    return installed != nullptr && *installed != *release;
}

void LogRefusal(const std::string& why) {
    WriteLauncherLog("doğrulama hatası: %s"_cp1254, why.c_str());
}
