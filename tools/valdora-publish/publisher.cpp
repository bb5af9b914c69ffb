#include "tools/valdora-publish/publisher.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "patch/file_checks.h"
#include "patch/update_list.h"
#include "platform/codepage.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

constexpr const char* kListPath = "Patcher/1000_1.0.0.1_Update.txt";
constexpr const char* kLauncherFile = "_launcher.dll";
constexpr std::array<const char*, 4> kPages = {"serverlist_test.aspx", "LauncherPromo1.aspx",
                                               "LauncherPromo2.aspx", "LauncherPromo3.aspx"};
// The launcher reads sizes as signed 32-bit numbers.
constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFF;
// The shipped nginx configuration turns eight backslashes of a URL into
// folders per pass, and nginx allows ten passes.
constexpr std::size_t kMaxFolders = 64;
// What one launcher run may download.
constexpr std::uint64_t kRunLimit = 70ull << 20;

struct SourceFile {
    fs::path source;
    ListFile entry;
};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// What is wrong with one file or folder name of the game build (UTF-8), or "".
std::string NameProblem(const std::string& name) {
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return "a line break or another control character";
        if (c == '\\') return "a backslash, which the launcher reads as a folder separator";
    }
    std::string cp1254;
    if (!platform::utf8_to_cp1254(name, cp1254)) {
        return "a character that code page 1254 cannot represent (the launcher's list holds "
               "CP1254 bytes; letters must be precomposed)";
    }
    return "";
}

std::string FormatMiB(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
    return text;
}

std::string HtmlEscape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::int64_t UnixSeconds(fs::file_time_type time) {
    const auto system = std::chrono::file_clock::to_sys(time);
    return std::chrono::floor<std::chrono::seconds>(system).time_since_epoch().count();
}

fs::file_time_type FileTime(std::int64_t unixSeconds) {
    return std::chrono::file_clock::from_sys(
        std::chrono::sys_seconds(std::chrono::seconds(unixSeconds)));
}

// The list path's place on the site: CP1254 bytes with "/" between folders,
// which is how the shipped nginx configuration finds them.
fs::path SitePath(const fs::path& folder, std::string listPath) {
    std::replace(listPath.begin(), listPath.end(), '\\', '/');
    return folder / listPath;
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
        const std::string shown = relative.generic_string();
        const std::string nameProblem = NameProblem(it->path().filename().string());
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

bool ReadText(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return !in.bad();
}

bool WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return !out.fail();
}

// Puts `staged` where `target` is, in one step where the system can; what
// was there goes to `aside`. `hadOld` tells whether anything was there.
bool Swap(const fs::path& staged, const fs::path& target, const fs::path& aside, bool& hadOld) {
    std::error_code ec;
    hadOld = fs::exists(fs::symlink_status(target, ec));
    if (!hadOld) return ::rename(staged.c_str(), target.c_str()) == 0;
    if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        return ::rename(staged.c_str(), aside.c_str()) == 0;
    }
    // No exchange on this file system: move the old one aside first.
    if (::rename(target.c_str(), aside.c_str()) != 0) return false;
    if (::rename(staged.c_str(), target.c_str()) == 0) return true;
    const int error = errno;
    ::rename(aside.c_str(), target.c_str());
    errno = error;
    return false;
}

// Site folders and files are for a web server running as another user.
void MakeReadable(const fs::path& root) {
    std::error_code ec;
    constexpr auto dirs = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec;
    constexpr auto files = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                           fs::perms::others_read;
    fs::permissions(root, fs::is_directory(root, ec) ? dirs : files, ec);
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        fs::permissions(it->path(), it->is_directory(ec) ? dirs : files, ec);
    }
}

class Staging {
public:
    explicit Staging(const fs::path& siteDir) {
        std::string pattern = (siteDir / ".valdora-publish-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) root_ = pattern;
    }
    ~Staging() {
        std::error_code ec;
        if (!root_.empty()) fs::remove_all(root_, ec);
    }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    bool valid() const { return !root_.empty(); }
    fs::path fresh() const { return root_ / "new"; }
    fs::path aside(std::size_t i) const { return root_ / ("old-" + std::to_string(i)); }

private:
    fs::path root_;
};

struct Publication {
    std::string baseUrl;
    std::string note;  // CP1254
    fs::path folder;
    std::vector<SourceFile> files;
    std::vector<std::pair<std::string, std::string>> pages;  // name, text
};

// Everything the publication needs, checked; problems say why not.
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

    if (!options.launcher.empty()) {
        SourceFile launcher;
        launcher.source = options.launcher;
        launcher.entry.path = kLauncherFile;
        launcher.entry.size = fs::file_size(options.launcher, ec);
        if (!ec) launcher.entry.unixTime = UnixSeconds(fs::last_write_time(options.launcher, ec));
        if (ec || !fs::is_regular_file(options.launcher, ec)) {
            problems.push_back("--launcher " + options.launcher.string() + ": not a readable file");
        } else if (std::any_of(plan.files.begin(), plan.files.end(),
                               [](const SourceFile& f) { return f.entry.path == kLauncherFile; })) {
            problems.push_back(std::string(kLauncherFile) +
                               ": the game build has one and --launcher gives another");
        } else {
            plan.files.push_back(std::move(launcher));
        }
    }

    if (!options.pageTemplates.empty()) {
        for (const char* page : kPages) {
            const bool serverList = page == kPages.front();
            std::string text;
            if (!ReadText(options.pageTemplates / page, text)) {
                problems.push_back((options.pageTemplates / page).string() + ": cannot be read");
                continue;
            }
            if (serverList) {
                for (const std::string& p : ServerListProblems(text)) {
                    problems.push_back((options.pageTemplates / page).string() + ": " + p);
                }
            }
            plan.pages.emplace_back(page, std::move(text));
        }
    }

    std::vector<std::string> fixed = {kListPath};
    for (const auto& page : plan.pages) fixed.push_back(page.first);
    const std::string folder = plan.folder.generic_string();
    for (const std::string& f : fixed) {
        if (!folder.empty() && Overlaps(folder, f)) {
            problems.push_back("--base-url: its folder " + folder + " overlaps " + f);
        }
    }
    std::uint64_t total = 0;
    for (const SourceFile& file : plan.files) {
        const std::string shown = platform::cp1254_to_utf8(file.entry.path);
        const std::string problem = ListPathProblem(file.entry.path);
        if (!problem.empty()) problems.push_back(shown + ": " + problem);
        if (file.entry.size > kMaxFileSize) {
            problems.push_back(shown + ": 2 GiB or more; the launcher reads sizes as 32-bit");
        }
        const std::string site = SitePath(plan.folder, file.entry.path).generic_string();
        for (const std::string& f : fixed) {
            if (Overlaps(site, f)) problems.push_back(shown + ": would take the place of " + f);
        }
        total += file.entry.size;
    }
    std::sort(plan.files.begin(), plan.files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.entry.path < b.entry.path; });

    char published[32];
    const std::string now = FormatTimeText(std::chrono::duration_cast<std::chrono::seconds>(
                                               std::chrono::system_clock::now().time_since_epoch())
                                               .count());
    std::snprintf(published, sizeof published, "%.16s UTC", now.c_str());
    for (std::size_t i = 1; i < plan.pages.size(); ++i) {
        plan.pages[i].second =
            RenderTemplate(plan.pages[i].second, {{"note", HtmlEscape(note)},
                                                  {"published", published},
                                                  {"files", std::to_string(plan.files.size())},
                                                  {"size", FormatMiB(total)}});
    }
}

// Copies every file into the staging folder and writes the list and pages.
bool Stage(const Publication& plan, const fs::path& fresh, std::string& error) {
    std::error_code ec;
    std::vector<ListFile> entries;
    for (const SourceFile& file : plan.files) {
        const fs::path target = fresh / SitePath(plan.folder, file.entry.path);
        fs::create_directories(target.parent_path(), ec);
        if (!ec) fs::copy_file(file.source, target, ec);
        if (!ec) fs::last_write_time(target, FileTime(file.entry.unixTime), ec);
        if (ec) {
            error = file.source.string() + ": " + ec.message();
            return false;
        }
        if (fs::file_size(target, ec) != file.entry.size) {
            error = file.source.string() + ": changed while it was being published";
            return false;
        }
        entries.push_back(file.entry);
    }
    fs::create_directories(fresh / plan.folder, ec);
    fs::create_directories(fresh / fs::path(kListPath).parent_path(), ec);
    if (!WriteText(fresh / kListPath, UpdateListText(plan.baseUrl, plan.note, entries))) {
        error = "cannot write the update list";
        return false;
    }
    for (const auto& [name, text] : plan.pages) {
        if (!WriteText(fresh / name, text)) {
            error = "cannot write " + name;
            return false;
        }
    }
    MakeReadable(fresh);
    return true;
}

// What is moved into the site, in order: the files first, the list last, so
// the list never names a file that is not yet there.
std::vector<fs::path> CommitUnits(const Publication& plan, const fs::path& fresh) {
    std::vector<fs::path> units;
    if (!plan.folder.empty()) {
        units.push_back(plan.folder);
    } else {
        std::error_code ec;
        for (fs::directory_iterator it(fresh, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path name = it->path().filename();
            if (name != "Patcher" &&
                std::find(kPages.begin(), kPages.end(), name) == kPages.end()) {
                units.push_back(name);
            }
        }
        // Game files that share the list's folder.
        for (fs::directory_iterator it(fresh / "Patcher", ec), end; !ec && it != end;
             it.increment(ec)) {
            if (it->path().filename() != fs::path(kListPath).filename()) {
                units.push_back(fs::path("Patcher") / it->path().filename());
            }
        }
    }
    for (const auto& page : plan.pages) units.push_back(page.first);
    units.push_back(kListPath);
    return units;
}

bool Commit(const std::vector<fs::path>& units, const fs::path& fresh, const fs::path& siteDir,
            const Staging& staging, std::string& error) {
    struct Done {
        fs::path target;
        fs::path aside;
        bool hadOld;
    };
    std::vector<Done> done;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const fs::path target = siteDir / units[i];
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        bool hadOld = false;
        if (ec || !Swap(fresh / units[i], target, staging.aside(i), hadOld)) {
            error = target.string() + ": " + (ec ? ec.message() : std::strerror(errno));
            // Put back what was already replaced, newest first.
            for (auto it = done.rbegin(); it != done.rend(); ++it) {
                fs::remove_all(it->target, ec);
                if (it->hadOld) fs::rename(it->aside, it->target, ec);
            }
            return false;
        }
        done.push_back({target, staging.aside(i), hadOld});
    }
    return true;
}

}  // namespace

std::string UpdateListText(const std::string& baseUrl, const std::string& note,
                           const std::vector<ListFile>& files) {
    std::string text = baseUrl + "\r\n" + note + "\r\n";
    for (const ListFile& file : files) {
        text += file.path + "\r\n" + std::to_string(file.size) + "\r\n" +
                FormatTimeText(file.unixTime) + "\r\n";
    }
    return text;
}

bool SiteFolderOfBaseUrl(const std::string& baseUrl, fs::path& folder, std::string& reason) {
    std::size_t start = 0;
    for (const char* scheme : {"http://", "https://"}) {
        if (EqualsIgnoringAsciiCase(std::string_view(baseUrl).substr(0, std::strlen(scheme)),
                                    scheme)) {
            start = std::strlen(scheme);
        }
    }
    if (start == 0) {
        reason = "must begin with http:// or https://";
        return false;
    }
    for (const char c : baseUrl) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || std::strchr("\\?#%\"<>", c) != nullptr) {
            reason = "may hold no blanks, control or non-ASCII characters, nor \\ ? # % \" < >";
            return false;
        }
    }
    const std::size_t slash = baseUrl.find('/', start);
    if (slash == start || start == baseUrl.size()) {
        reason = "names no host";
        return false;
    }
    folder.clear();
    if (slash == std::string::npos) return true;
    std::size_t at = slash + 1;
    while (at <= baseUrl.size()) {
        const std::size_t end = std::min(baseUrl.find('/', at), baseUrl.size());
        const std::string segment = baseUrl.substr(at, end - at);
        if (segment.empty() || segment == "." || segment == ".." ||
            segment.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                      "0123456789._~-") != std::string::npos) {
            reason = "its folders may hold only letters, digits and . _ ~ - (and no . or ..)";
            return false;
        }
        folder /= segment;
        at = end + 1;
    }
    return true;
}

std::string ListPathProblem(const std::string& listPath) {
    if (!IsSafeListPath(listPath) || listPath.find_first_of("\r\n") != std::string::npos) {
        return "the launcher refuses this path";
    }
    if (std::count(listPath.begin(), listPath.end(), '\\') > static_cast<long>(kMaxFolders)) {
        return "more than " + std::to_string(kMaxFolders) + " folders deep";
    }
    static const std::pair<const char*, const char*> kReserved[] = {
        {"~temp.dat", "the launcher's temporary download file"},
        {"launcher.exe",
         "the running launcher; publish a new one with --launcher (it reaches players as "
         "_launcher.dll)"},
        {"base\\launcher_log.txt", "the launcher's log on the player's machine"},
        {"base\\pref_launch.prefs",
         "each player's graphics settings; publishing it would overwrite them on every machine"},
    };
    for (const auto& [name, why] : kReserved) {
        if (EqualsIgnoringAsciiCase(listPath, name)) return std::string("reserved: ") + why;
    }
    return "";
}

std::string RenderTemplate(const std::string& text,
                           const std::vector<std::pair<std::string, std::string>>& values) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find("{{", at);
        const std::size_t close = open == std::string::npos ? open : text.find("}}", open + 2);
        if (close == std::string::npos) break;
        out.append(text, at, open - at);
        const std::string name = text.substr(open + 2, close - open - 2);
        const auto value = std::find_if(values.begin(), values.end(),
                                        [&](const auto& v) { return v.first == name; });
        out += value != values.end() ? value->second : text.substr(open, close + 2 - open);
        at = close + 2;
    }
    out.append(text, std::min(at, text.size()));
    return out;
}

std::vector<std::string> ServerListProblems(const std::string& text) {
    std::vector<std::string> problems;
    int lineNumber = 0;
    int servers = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        ++lineNumber;
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (line.empty()) continue;
        std::vector<std::string> fields(1);
        for (const char c : line) {
            if (c == '|') {
                fields.emplace_back();
            } else {
                fields.back().push_back(c);
            }
        }
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (fields.size() != 5) {
            problems.push_back(where + std::to_string(fields.size()) +
                               " fields; the launcher needs exactly 5 (name|x|x|arg1|arg2) and "
                               "stops reading here");
        } else if (fields[0].empty()) {
            problems.push_back(where + "no server name");
        } else if (fields[3].empty()) {
            problems.push_back(where + "the fourth field is empty; the game would not start");
        } else {
            ++servers;
        }
    }
    if (servers == 0 && problems.empty()) {
        problems.push_back("no server; every launcher would keep asking for the list");
    }
    return problems;
}

Status Publish(const Options& options, std::ostream& report, std::ostream& errors) {
    Publication plan;
    std::vector<std::string> problems;
    Plan(options, plan, problems);
    if (!problems.empty()) {
        errors << "valdora-publish: refused, nothing was written:\n";
        for (const std::string& p : problems) errors << "  " << p << "\n";
        return kRefused;
    }

    std::error_code ec;
    fs::create_directories(options.siteDir, ec);
    Staging staging(options.siteDir);
    std::string error;
    if (ec || !staging.valid()) {
        errors << "valdora-publish: " << options.siteDir.string() << ": "
               << (ec ? ec.message() : std::strerror(errno)) << "\n";
        return kWriteFailed;
    }
    if (!Stage(plan, staging.fresh(), error) ||
        !Commit(CommitUnits(plan, staging.fresh()), staging.fresh(), options.siteDir, staging,
                error)) {
        errors << "valdora-publish: " << error << "\nThe site was left as it was.\n";
        return kWriteFailed;
    }

    std::uint64_t total = 0;
    for (const SourceFile& file : plan.files) total += file.entry.size;
    report << "Published " << plan.files.size() << " files (" << FormatMiB(total) << ") for "
           << plan.baseUrl << "\n"
           << "  update list: " << (options.siteDir / kListPath).string() << "\n"
           << "  files:       " << (options.siteDir / plan.folder).string() << "\n";
    if (!options.launcher.empty()) report << "  launcher:    " << kLauncherFile << "\n";
    if (!plan.pages.empty()) report << "  web pages:   serverlist_test.aspx, LauncherPromo1-3\n";
    if (total > kRunLimit) {
        report << "Note: a new installation needs " << FormatMiB(total)
               << ", more than the 70 MiB a launcher run may download; new players need the "
                  "full installer.\n";
    }
    return kPublished;
}

}  // namespace publish
