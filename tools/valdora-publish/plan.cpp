#include "tools/valdora-publish/plan.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "patch/file_checks.h"
#include "patch/mirror_list.h"
#include "patch/update_list.h"
#include "platform/codepage.h"
#include "tools/valdora-publish/checks.h"
#include "tools/valdora-publish/site_state.h"
#include "tools/valdora-publish/text_file.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

std::int64_t UnixSeconds(fs::file_time_type time) {
    const auto system = std::chrono::file_clock::to_sys(time);
    return std::chrono::floor<std::chrono::seconds>(system).time_since_epoch().count();
}

// True when `a` and `b` are the same site path or one lies inside the other.
bool Overlaps(const std::string& a, const std::string& b) {
    const auto inside = [](const std::string& inner, const std::string& outer) {
        return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
               inner[outer.size()] == '/';
    };
    return a == b || inside(a, b) || inside(b, a);
}

bool IsInside(const fs::path& inner, const fs::path& outer) {
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(fs::absolute(inner, ec), ec);
    const fs::path b = fs::weakly_canonical(fs::absolute(outer, ec), ec);
    const auto [end, _] = std::mismatch(b.begin(), b.end(), a.begin(), a.end());
    return end == b.end();
}

void ScanGameBuild(const fs::path& root, std::vector<SourceFile>& files,
                   std::vector<std::string>& problems) {
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec);
    if (ec) {
        problems.push_back(root.string() + ": " + ec.message());
        return;
    }
    for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        const fs::path relative = it->path().lexically_relative(root);
        const std::string shown = Utf8(relative);
        const std::string nameProblem = NameProblem(Utf8(it->path().filename()));
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            if (!nameProblem.empty()) {
                problems.push_back(shown + "/: the name holds " + nameProblem);
                it.disable_recursion_pending();
            }
            continue;
        }
        if (!it->is_regular_file(ec)) {
            problems.push_back(shown + ": not a regular file (links are followed only to files)");
            continue;
        }
        // A link is published as the file it leads to: only one inside the build.
        if (it->is_symlink(ec) &&
            !IsInside(fs::canonical(it->path(), ec), fs::canonical(root, ec))) {
            problems.push_back(shown + ": a link to " + fs::read_symlink(it->path(), ec).string() +
                               ", outside the game build; not published");
            continue;
        }
        if (!nameProblem.empty()) {
            problems.push_back(shown + ": the name holds " + nameProblem);
            continue;
        }
        SourceFile file;
        file.source = it->path();
        platform::utf8_to_cp1254(shown, file.entry.path);
        std::replace(file.entry.path.begin(), file.entry.path.end(), '/', '\\');
        file.entry.size = it->file_size(ec);
        if (!ec) file.entry.unixTime = UnixSeconds(it->last_write_time(ec));
        if (ec) {
            problems.push_back(shown + ": " + ec.message());
            continue;
        }
        files.push_back(std::move(file));
    }
    if (ec) problems.push_back(root.string() + ": " + ec.message());
}

void AddLauncher(const fs::path& launcherFile, std::vector<SourceFile>& files,
                 std::vector<std::string>& problems) {
    std::error_code ec;
    SourceFile launcher;
    launcher.source = launcherFile;
    launcher.entry.path = kLauncherFile;
    launcher.entry.size = fs::file_size(launcherFile, ec);
    if (!ec) launcher.entry.unixTime = UnixSeconds(fs::last_write_time(launcherFile, ec));
    if (ec || !fs::is_regular_file(launcherFile, ec)) {
        problems.push_back("--launcher " + launcherFile.string() + ": not a readable file");
    } else if (std::any_of(files.begin(), files.end(),
                           [](const SourceFile& f) { return f.entry.path == kLauncherFile; })) {
        problems.push_back(std::string(kLauncherFile) +
                           ": the game build has one and --launcher gives another");
    } else {
        files.push_back(std::move(launcher));
    }
}

// The mirrors, each a URL a launcher takes, in a list only a signed
// release carries.
void PlanMirrors(const Options& options, Publication& plan, std::vector<std::string>& problems) {
    std::vector<std::string> taken;
    for (const std::string& url : options.mirrors) {
        const std::string why = MirrorUrlRefusal(url);
        if (!why.empty()) problems.push_back("--mirror " + url + ": " + why);
        if (std::find(taken.begin(), taken.end(), url) != taken.end()) {
            problems.push_back("--mirror " + url + ": given twice");
        }
        taken.push_back(url);
    }
    if (taken.size() > kMaxMirrors) {
        problems.push_back("more than " + std::to_string(kMaxMirrors) + " mirrors");
    }
    if (!taken.empty() && options.signKey.empty()) {
        problems.push_back(
            "--mirror needs --sign-key: launchers take mirrors from a signed release");
    }
    plan.mirrorList = FormatMirrorList(taken);
}

// Checks every file's list path and size, and that the release folders
// land on neither the list nor a page; answers the files' total size.
std::uint64_t CheckFiles(const Publication& plan, std::vector<std::string>& problems) {
    std::vector<std::string> fixed = {kListPath,    kManifestPath,   kSignaturePath,
                                      kLegacyNames, kMirrorListPath, kStatePath};
    for (const auto& page : plan.pages) fixed.push_back(page.first);
    const std::string folder = Utf8(plan.folder);
    for (const std::string& f : fixed) {
        if (!folder.empty() && Overlaps(folder, f)) {
            problems.push_back("--base-url: its folder " + folder + " overlaps " + f);
        }
    }
    if (plan.files.size() > kMaxListEntries) {
        problems.push_back(std::to_string(plan.files.size()) +
                           " files; a launcher takes a list of " + std::to_string(kMaxListEntries) +
                           " at most");
    }
    std::uint64_t total = 0;
    ListPathSet paths;  // names a file system that ignores letter case takes for one
    for (const SourceFile& file : plan.files) {
        const std::string shown = SiteName(file.entry.path);  // as the build names it
        std::string problem = ListPathProblem(file.entry.path);
        if (problem.empty()) problem = paths.Add(file.entry.path);
        if (!problem.empty()) problems.push_back(shown + ": " + problem);
        if (!IsListTime(FormatTimeText(file.entry.unixTime))) {
            problems.push_back(shown + ": a last-write time the launcher cannot read");
        }
        if (file.entry.size > kMaxFileSize) {
            problems.push_back(shown + ": 2 GiB or more; the launcher reads sizes as 32-bit");
        }
        total += file.entry.size;
    }
    return total;
}

bool ListedWithinTheHour(const std::string& listed, std::int64_t unixTime) {
    return ::SameToTheHour(ReadTimeText(listed), platform::unix_to_system_time(unixTime));
}

// A file the previous release had under the same size is read now. The
// same bytes keep the previous release's time, so players who have them
// fetch nothing, and are shared with it rather than copied, once the site's
// copy is read and found to be those bytes still: what is shared is signed
// anew. Other bytes under a time launchers take as the same would never
// reach a player who has the old ones: their time moves two hours past the
// old one. So does a file whose copy on the site was changed, for the
// players who took that copy (launchers without keys).
void CompareWithPrevious(const Options& options, Publication& plan,
                         std::vector<std::string>& problems) {
    if (!plan.previous) return;
    for (SourceFile& file : plan.files) {
        const auto old = plan.previous->byListPath.find(file.entry.path);
        if (old == plan.previous->byListPath.end() || old->second.size != file.entry.size ||
            !old->second.hash) {
            continue;
        }
        const std::string shown = SiteName(file.entry.path);  // as the build names it
        trust::Sha256Digest digest;
        if (!HashFile(file.source, digest)) {
            problems.push_back(shown + ": cannot be read");
            continue;
        }
        file.hash = digest;
        std::int64_t listed = 0;
        if (!platform::system_time_to_unix(ReadTimeText(old->second.time), listed)) continue;
        bool same = digest == *old->second.hash;
        trust::Sha256Digest site;
        if (same && (!HashFile(options.siteDir / old->second.site, site) || site != digest)) {
            plan.mismatches.push_back(Utf8(old->second.site) +
                                      ": not the bytes the site's manifest names (changed on the "
                                      "server?); published from the build");
            same = false;
        }
        if (same) {
            file.entry.unixTime = listed;
            file.reuse = old->second.site;
        } else if (ListedWithinTheHour(old->second.time, file.entry.unixTime)) {
            file.entry.unixTime = listed + 2 * 3600;
            plan.notes.push_back(shown +
                                 ": changed, with the size and within the hour of the previous "
                                 "release's copy; listed at " +
                                 FormatTimeText(file.entry.unixTime) +
                                 " UTC so that launchers take it");
        }
    }
}

// A build that shares no file with the site's release is another game (or
// the wrong folder): publishing it would replace every player's game.
void CheckSameGame(const Options& options, const Publication& plan,
                   std::vector<std::string>& problems) {
    if (!plan.previous || options.replace) return;
    std::size_t theirs = 0;
    for (const auto& [path, file] : plan.previous->byListPath) {
        if (path == kLauncherFile) continue;
        ++theirs;
        for (const SourceFile& mine : plan.files) {
            if (mine.entry.path == path) return;
        }
    }
    if (theirs == 0) return;
    problems.push_back(options.siteDir.string() + " holds another game: none of its " +
                       std::to_string(theirs) + " files is in " + options.gameBuildDir.string() +
                       "; give --replace to publish over it");
}

// A launcher signed as the update must take the site once installed.
void CheckLauncherKeys(const Options& options, const Publication& plan,
                       std::vector<std::string>& problems) {
    if (options.launcher.empty() || !plan.signing) return;
    const std::string shown = "--launcher " + options.launcher.string();
    std::vector<std::string> keys;
    const bool stamped = LauncherKeys(options.launcher, keys);
    if (keys.empty()) {
        if (options.keylessLauncher) return;
        problems.push_back(shown +
                           (stamped ? ": trusts no key: once installed it takes any unsigned "
                                      "site, from anyone on the way"
                                    : ": does not say which keys it trusts (not a launcher.exe "
                                      "of this build)") +
                           "; build it with VALDORA_TRUSTED_KEYS, or give --keyless-launcher");
        return;
    }
    const std::string signing = trust::PublicKeyLine(trust::PublicKeyOf(plan.signing->key));
    if (std::find(keys.begin(), keys.end(), signing) == keys.end()) {
        problems.push_back(shown + ": does not trust the key signing this release (" +
                           trust::KeyIdText(plan.signing->key.id) +
                           "): once installed it would refuse the site");
    }
}

}  // namespace

void Plan(const Options& options, Publication& plan, std::vector<std::string>& problems) {
    plan.baseUrl = options.baseUrl;
    while (plan.baseUrl.size() > 1 && plan.baseUrl.back() == '/') plan.baseUrl.pop_back();
    std::string reason;
    if (!SiteFolderOfBaseUrl(plan.baseUrl, plan.folder, reason)) {
        problems.push_back("--base-url " + options.baseUrl + ": " + reason);
    }

    std::string note = options.note;
    if (!options.noteGiven) {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        note = "valdora-publish " +
               FormatTimeText(std::chrono::duration_cast<std::chrono::seconds>(now).count());
    }
    if (note.empty()) {
        problems.push_back("--note: empty; the launcher would lose the line and misread the list");
    } else if (note.find_first_of("\r\n") != std::string::npos) {
        problems.push_back("--note: holds a line break");
    } else if (note.size() > kMaxListLineBytes) {
        problems.push_back("--note: longer than a launcher reads a line");
    } else if (!platform::utf8_to_cp1254(note, plan.note)) {
        problems.push_back("--note: holds a character that code page 1254 cannot represent");
    }

    std::error_code ec;
    if (!fs::is_directory(options.gameBuildDir, ec)) {
        problems.push_back(options.gameBuildDir.string() + ": not a folder");
        return;
    }
    if (fs::exists(options.siteDir, ec) && !fs::is_directory(options.siteDir, ec)) {
        problems.push_back(options.siteDir.string() + ": not a folder");
    }
    if (IsInside(options.siteDir, options.gameBuildDir) ||
        IsInside(options.gameBuildDir, options.siteDir)) {
        problems.push_back("the game build and the site may not lie inside each other");
        return;
    }
    ScanGameBuild(options.gameBuildDir, plan.files, problems);
    if (!options.launcher.empty()) AddLauncher(options.launcher, plan.files, problems);
    if (!options.pageTemplates.empty()) {
        ReadPageTemplates(options.pageTemplates, plan.pages, problems);
    }

    std::sort(plan.files.begin(), plan.files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.entry.path < b.entry.path; });
    const std::uint64_t total = CheckFiles(plan, problems);
    plan.previous = ReadPreviousRelease(options.siteDir, plan.folder);
    CheckSameGame(options, plan, problems);
    CompareWithPrevious(options, plan, problems);
    FillPromoPages(plan.pages, note, plan.files.size(), total);
    PlanSigning(options, plan.signing, plan.state, problems);
    PlanMirrors(options, plan, problems);
    if (plan.previous && plan.signing) {
        trust::ReleaseInfo info;
        std::string unsigned_;
        plan.previous->vouched = trust::VerifySignedInfo(
            {trust::PublicKeyOf(plan.signing->key)}, plan.previous->manifestText,
            plan.previous->signatureText, info, unsigned_);
    }
    CheckLauncherKeys(options, plan, problems);
}

}  // namespace publish
