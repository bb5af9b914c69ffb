// valdora-patch against a hostile server (support/hostile_server.py) in front
// of a site that valdora-publish signed: whatever the server sends, for
// whichever file, the run ends within a bound, holds less than 64 MiB, puts
// no byte in place that is not the signed one, and ends with the exit
// status it documents.
#include <signal.h>

#include <chrono>
#include <fstream>

#include "delta/chunk_index.h"
#include "net/fetch_url.h"
#include "platform/codepage.h"
#include "support/process.h"
#include "support/signing.h"
#include "support/site.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace testsupport;
using namespace std::chrono;

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr auto kBound = 90s;  // the sanitizers' own cost; memory not judged
#else
constexpr auto kBound = 20s;
#endif
constexpr long kMostKiB = 64 << 10;
const std::string kManifest = std::string(kListPath) + ".sha256";
constexpr const char* kServers = "/serverlist_test.aspx";
constexpr const char* kReady = "Oyun ba\u015flamaya haz\u0131r.";

// The site served: as published (version 2 after version 1), a twin with
// eight files of a MiB and more, one with a huge file, or one of the first's
// hostile variants.
enum class Site { Main, Huge, Rollback, Mixed, Forged, Indexes, Altered, Torn, Collided };
constexpr std::size_t kForm = delta::kShortRecordBytes;  // the records the launcher takes

struct Row {
    const char* kind;       // what the server answers wrongly, and how
    const char* how;        // (hostile_server.py's KIND and HOW)
    int status;             // valdora-patch's exit status
    std::string said = "";  // in its output or the log
    Site site = Site::Main;
    bool stop = false;  // SIGTERM once a download has begun
};

class HostileServer : public ::testing::Test {
protected:
    TempDir dir;
    const int port = free_port();
    const std::string host = "http://127.0.0.1:" + std::to_string(port);
    const trust::SecretKey key = NewKey();
    const fs::path keys = dir.path() / "valdora.key", pub = dir.path() / "valdora.pub";
    // Each listed path (of every site): its hash before and after, as the
    // player's copy and the signed one.
    std::map<std::string, std::pair<trust::Sha256Digest, trust::Sha256Digest>> hashes;

    std::optional<Child> server;
    std::string site_name(Site s) const { return "site" + std::to_string(int(s)); }
    fs::path site(Site s) const { return dir.path() / site_name(s); }
    fs::path build(Site s, int version) const {
        return dir.path() / ("build" + std::to_string(int(s)) + std::to_string(version));
    }
    static trust::Sha256Digest hash_of(const fs::path& file) {
        platform::File f = platform::File::open_for_reading(file.string());
        trust::Sha256Digest digest{};
        if (f) trust::Sha256OfFile(f, digest);
        return digest;
    }
    // Publishes builds 1 and 2 of `s` as its site, keeping version 1's list,
    // manifest and signature in `Patcher.1`.
    void publish_both(Site s) {
        for (const int version : {1, 2}) {
            ASSERT_EQ(
                publish(build(s, version), site(s), host + "/game", {"--sign-key", keys.string()}),
                "");
            if (version == 1) fs::copy(site(s) / "Patcher", site(s) / "Patcher.1");
        }
        for (const auto& e : fs::recursive_directory_iterator(build(s, 2))) {
            const std::string path = fs::relative(e.path(), build(s, 2)).generic_string();
            if (e.is_regular_file()) hashes[path] = {hash_of(build(s, 1) / path), hash_of(e)};
        }
    }
    // A copy of the main site (hard links) whose `files` are other bytes.
    void variant(Site s, const std::map<fs::path, std::string>& files) {
        fs::copy(site(Site::Main), site(s),
                 fs::copy_options::recursive | fs::copy_options::create_hard_links);
        for (const auto& [path, bytes] : files) {
            fs::remove(site(s) / path);
            write_bytes(site(s) / path, bytes);
        }
    }

    void SetUp() override {
        write_bytes(keys, trust::FormatSecretKey(key));
        write_bytes(pub, trust::FormatPublicKey(trust::PublicKeyOf(key)));
        // Files fetched whole, one unchanged, and two of a MiB and more
        // changed in three places each: deltas of three ranges (eight of
        // them on their own for the indexes).
        Files one = {{"a.pak", pattern(5000, 1)}, {"sub/b.pak", pattern(30000, 2)}}, two = one;
        two["a.pak"] = pattern(5000, 3);
        two["c.pak"] = pattern(20000, 4);
        Files many[2];
        for (unsigned k = 0; k < 8; ++k) {
            const std::string name = "d" + std::to_string(k) + ".pak";
            std::string& old = many[0][name] = pattern((1 << 20) + 4096 * k, 10 + k);
            many[1][name] = old;
            for (const std::size_t at : {100000, 500000, 900000}) {
                many[1][name].replace(at, 3000, pattern(3000, at + k));
            }
            if (k < 2) one[name] = many[0][name], two[name] = many[1][name];
        }
        for (const int version : {1, 2}) {
            write_tree(build(Site::Main, version), version == 1 ? one : two);
            write_tree(build(Site::Indexes, version), many[version - 1]);
        }
        publish_both(Site::Main);
        publish_both(Site::Indexes);
        // 71 MiB whose delta is small: all of it is past the size limit.
        for (const int version : {1, 2}) fs::create_directories(build(Site::Huge, version));
        {
            std::ofstream huge(build(Site::Huge, 1) / "huge.pak", std::ios::binary);
            for (unsigned i = 0; i < 71; ++i) huge << pattern(1 << 20, 100 + i);
        }
        fs::copy_file(build(Site::Huge, 1) / "huge.pak", build(Site::Huge, 2) / "huge.pak");
        std::fstream(build(Site::Huge, 2) / "huge.pak", std::ios::in | std::ios::out)
                .seekp(35 << 20)
            << pattern(5000, 99);
        for (const int version : {1, 2})
            set_write_time(build(Site::Huge, version) / "huge.pak", kTime);
        publish_both(Site::Huge);
        // Another release's list beside this one's manifest; an older
        // release whole.
        const fs::path list = fs::path(kListPath).relative_path(), older = "Patcher.1";
        variant(Site::Mixed, {{list, read_bytes(site(Site::Main) / older / list.filename())}});
        std::map<fs::path, std::string> replay;
        for (const auto& e : fs::directory_iterator(site(Site::Main) / older)) {
            replay["Patcher" / e.path().filename()] = read_bytes(e);
        }
        variant(Site::Rollback, replay);
        variant(Site::Torn, replay);
        Forge(Site::Forged, two.at("d0.pak"));
        Forge(Site::Collided, two.at("d0.pak"),
              read_bytes(site(Site::Main) /
                         Find(delta::ChunkListName(trust::Sha256Of(one.at("d0.pak")), kForm))));
        // c.pak changed on the server (size and time kept), then a release published.
        fs::copy(site(Site::Main), site(Site::Altered), fs::copy_options::recursive);
        for (const auto& e : fs::recursive_directory_iterator(site(Site::Main))) {
            const fs::path copy = site(Site::Altered) / fs::relative(e.path(), site(Site::Main));
            if (e.path().filename() == "c.pak") write_bytes(copy, pattern(20000, 5));
            fs::last_write_time(copy, e.last_write_time());
        }
        fs::copy(build(Site::Main, 2), build(Site::Altered, 3),
                 fs::copy_options::recursive | fs::copy_options::create_hard_links);
        write_bytes(build(Site::Altered, 3) / "e.pak", "e");
        hashes["e.pak"] = {{}, trust::Sha256Of("e")};
        ASSERT_EQ(publish(build(Site::Altered, 3), site(Site::Altered), host + "/game",
                          {"--sign-key", keys.string()}),
                  "");
        const fs::path served = dir.path() / "server.out";
        server.emplace(std::vector<std::string>{"python3", VALDORA_HOSTILE_SERVER,
                                                dir.path().string(), std::to_string(port)},
                       dir.path(), Environment{}, served);
        ASSERT_TRUE(
            wait_until([&] { return read_bytes(served).find("ready") != std::string::npos; }));
    }

    // Where the main site keeps a file of that name.
    fs::path Find(const std::string& name) const {
        for (const auto& e : fs::recursive_directory_iterator(site(Site::Main))) {
            if (e.path().filename() == name) return fs::relative(e.path(), site(Site::Main));
        }
        return {};
    }
    // d0.pak's short index and list forged and signed anew into site `s`, as
    // by a publisher that signs what it did not read: with `was` (the old
    // copy's list) by Collide, else to chunks of one byte after the first
    // group (which the old copy holds, so that records are fetched).
    void Forge(Site s, const std::string& bytes, const std::string& was = "") {
        const fs::path index = Find(delta::IndexName(trust::Sha256Of(bytes), kForm)),
                       list = Find(delta::ChunkListName(trust::Sha256Of(bytes), kForm));
        delta::ChunkIndex forged;
        std::string error, records = read_bytes(site(Site::Main) / list);
        ASSERT_TRUE(delta::ChunkIndex::Parse(read_bytes(site(Site::Main) / index), forged, error));
        if (!was.empty()) {
            Collide(was, records);
        } else {
            records.resize(forged.groups[0].chunks * kForm);
            forged.groups.resize(1);
            for (std::size_t at = forged.groups[0].bytes; at < bytes.size(); at += 512) {
                for (std::size_t i = at; i < std::min(at + 512, bytes.size()); ++i) {
                    delta::AppendRecord(records, {1, trust::Sha256Of(bytes.substr(i, 1))}, kForm);
                }
                const auto n =
                    static_cast<std::uint32_t>(std::min<std::size_t>(512, bytes.size() - at));
                forged.groups.push_back({n, n, {}});
            }
        }
        for (std::size_t g = 0, c = 0; g < forged.groups.size(); c += forged.groups[g++].chunks) {
            forged.groups[g].hash = trust::Sha256Of(
                std::string_view(records).substr(c * kForm, forged.groups[g].chunks * kForm));
        }
        std::string manifest = read_bytes(site(Site::Main) / kManifest.substr(1));
        for (const auto& [path, text] : {std::pair{index, forged.Format()}, {list, records}}) {
            const std::size_t line = manifest.find("  " + path.generic_string() + "\n") - 64;
            manifest.replace(line, 64, trust::ToHex(trust::Sha256Of(text)));
        }
        const std::string signature =
            read_bytes(site(Site::Main) / (kManifest.substr(1) + ".minisig"));
        const std::size_t comment = signature.find("\ntrusted comment: ") + 18;
        variant(s,
                {{index, forged.Format()},
                 {list, records},
                 {kManifest.substr(1), manifest},
                 {kManifest.substr(1) + ".minisig",
                  SignText(key, manifest,
                           signature.substr(comment, signature.find('\n', comment) - comment))}});
    }
    // The first changed chunk of the length of a chunk of the old copy gets
    // that one's record: the old bytes pass for it.
    static void Collide(const std::string& was, std::string& records) {
        std::vector<delta::ChunkRecord> now, old;
        ASSERT_TRUE(delta::ParseRecords(records, now, kForm) &&
                    delta::ParseRecords(was, old, kForm));
        std::map<std::uint32_t, std::size_t> of;  // an old chunk of each length
        for (std::size_t j = 0; j < old.size(); ++j) of[old[j].length] = j;
        std::size_t i = 0;
        while (i < now.size() && (!of.count(now[i].length) ||
                                  was.find(records.substr(i * kForm, kForm)) != was.npos)) {
            ++i;
        }
        ASSERT_LT(i, now.size()) << "no changed chunk of an old chunk's length";
        records.replace(i * kForm, kForm, was, of[now[i].length] * kForm, kForm);
    }

    // A game directory with the first version of `s` (big files linked,
    // the engine never writes into a game file), stamped long ago.
    fs::path Game(Site s) {
        const fs::path game = dir.path() / "game";
        fs::remove_all(game);
        const Site from = s == Site::Huge || s == Site::Indexes ? s : Site::Main;
        for (const auto& e : fs::recursive_directory_iterator(build(from, 1))) {
            const fs::path at = game / fs::relative(e.path(), build(from, 1));
            fs::create_directories(at.parent_path());
            if (!e.is_regular_file()) continue;
            if (fs::file_size(e) >= delta::kMinIndexedSize) {
                fs::create_hard_link(e, at);
            } else {
                fs::copy_file(e, at);
            }
            set_write_time(at, kOldTime);
        }
        return game;
    }

    struct Outcome {
        std::optional<int> status;
        long peakKiB = 0;
        long long ms = 0;
        std::string said;  // the output and the log
    };
    // The server told the next row; the last took ranges, indexes and
    // records as they lie on the server, asking for no encoding.
    void Next(const Row& r) {
        EXPECT_EQ(talvo::utility::fetch_url(host + "/row?site=" + site_name(r.site) +
                                            "&kind=" + r.kind + "&how=" + r.how)
                      .fetch(),
                  "ok 0");
    }
    // The list from `listHost` (the server by default), with `more` arguments.
    Outcome Patch(const Row& r, const fs::path& game, const std::string& listHost = "",
                  const std::vector<std::string>& more = {}) {
        const fs::path out = dir.path() / "patch.out";
        fs::remove(out);
        Next(r);
        const auto start = steady_clock::now();
        std::vector<std::string> argv = {
            VALDORA_PATCH_EXE, "--update-list", (listHost.empty() ? host : listHost) + kListPath,
            "--server-list",   host + kServers, "--trusted-key",
            pub.string(),      "--server-wait", "2"};
        argv.insert(argv.end(), more.begin(), more.end());
        Child patch(argv, game, {{"VALDORA_STALL_SECONDS", "2"}}, out);
        if (r.stop) {
            EXPECT_TRUE(wait_until([&] { return fs::exists(game / "~temp.dat"); }));
            ::kill(patch.pid(), SIGTERM);
        }
        Outcome o;
        o.status = patch.wait_for(kBound);
        o.peakKiB = patch.peak_kib();
        o.ms = duration_cast<milliseconds>(steady_clock::now() - start).count();
        o.said =
            read_bytes(out) + platform::cp1254_to_utf8(read_bytes(game / "base/launcher_log.txt"));
        return o;
    }
};

const std::string kTooMuch = "[Bilgi] G\u00FCncellenecek \u00E7ok fazla dosya var.";
const std::string kStall = "Less than 256 bytes/sec transferred the last 2 seconds";
const Row kRows[] = {
    {"none", "none", 0, "G\u00FCncelleme tamamland\u0131 !"},
    // Bodies that never end: each stops at its cap.
    {"list", "endless", 1, "aktar\u0131m hatas\u0131: longer than 33554432 bytes"},
    {"manifest", "endless", 1, "manifest: not fetched: longer than 50331648 bytes"},
    {"signature", "endless", 1, "signature: not fetched: longer than 65536 bytes"},
    {"servers", "endless", 5, "no server list from"},
    {"index", "endless", 0, "", Site::Indexes},
    {"records", "endless", 0},
    {"file", "endless", 4, "longer than the list says"},
    {"range", "endless", 0, "a range of the file is not the signed bytes; fetched whole"},
    // Slow retrieval, a frozen connection (the stall window: 2 s here),
    // and a run stopped in the middle of a download.
    {"file", "drip", 4, kStall},
    {"file", "frozen", 4, kStall},
    {"list", "frozen", 1, "aktar\u0131m hatas\u0131: Operation too slow. " + kStall},
    {"file", "frozen", 143, "stopped by SIGTERM before the run ended", Site::Main, true},
    // Short and long bodies and ranges.
    {"file", "short", 4, "(3, 18)"},
    {"file", "long", 4, "longer than the list says"},
    {"range", "short", 0},
    {"range", "empty", 0},
    {"range", "long", 0},
    // Ranges answered with all of the file, or not as asked for: the
    // files whole, within the size limit or not at all.
    {"range", "whole", 0},
    {"range", "whole", 2, kTooMuch, Site::Huge},
    {"range", "multipart", 0},
    {"range", "multipart", 2, kTooMuch, Site::Huge},
    {"range", "wrong", 0},
    {"range", "gzip", 0},
    {"index", "gzip", 0, "", Site::Indexes},
    {"records", "gzip", 0},
    // A block page with 200 for each kind of file.
    {"list", "html", 1, "the update list's bytes are not the signed ones"},
    {"manifest", "html", 1, "signature"},
    {"signature", "html", 1, "signature: "},
    {"servers", "html", 5, "server list: "},
    {"index", "html", 0, ".index3: not the signed bytes"},
    {"records", "html", 0},
    {"file", "html", 4, "a.pak: shorter than the list says; not the listed file"},
    {"range", "html", 0},
    // Another release's list, an older release, redirects (not
    // followed: their bodies are no game files), huge headers.
    {"none", "none", 1, "the update list's bytes are not the signed ones", Site::Mixed},
    {"none", "none", 1, "version 1 is older than version 2", Site::Rollback},
    {"file", "redirect", 4, "shorter than the list says"},
    {"file", "scheme", 4, "shorter than the list says"},
    {"list", "redirect", 1},
    {"file", "headers", 4},
    // An index signed as the site's, of chunks the chunker cannot cut.
    {"none", "none", 0, "group 2 out of bounds", Site::Forged},
    // A changed chunk signed with 8 bytes of hash its old copy's bytes share.
    {"none", "none", 0, "d0.pak: made from its old copy, not the signed bytes", Site::Collided},
    // A file altered on the server, then published anew; a torn kept release.
    {"none", "none", 0, "", Site::Altered},
    {"none", "none", 1, "version 1 is older than version 2", Site::Torn},
};

TEST_F(HostileServer, EveryRunEndsInTimeWithinItsMemoryAndPlacesOnlySignedBytes) {
    for (const Row& r : kRows) {
        const std::string name =
            std::string(r.kind) + " " + r.how + " " + std::to_string(int(r.site));
        SCOPED_TRACE(name);
        const fs::path game = Game(r.site);
        if (r.site == Site::Rollback || r.site == Site::Torn) {
            ASSERT_EQ(Patch({"none", "none", 0}, game).status, 0);
        }
        if (r.site == Site::Torn) {
            // Cut short while keeping version 2: its signature beside the
            // list and manifest of version 1.
            const std::string list = fs::path(kListPath).filename().string();
            for (const std::string& kept : {list, list + ".sha256"}) {
                write_bytes(game / "base" / kept,
                            read_bytes(site(Site::Main) / "Patcher.1" / kept));
            }
        }
        const Outcome o = Patch(r, game);
        std::printf("%-22s exit %3d %6ld KiB %6lld ms\n", name.c_str(), o.status.value_or(-1),
                    o.peakKiB, o.ms);
        if (!o.status) {
            ADD_FAILURE() << "no end within " << kBound.count() << " s\n" << o.said;
            continue;
        }
        EXPECT_EQ(*o.status, r.status) << o.said;
        EXPECT_NE(o.said.find(r.said), std::string::npos) << o.said;
        // Ready only when the run went to its end.
        EXPECT_EQ(o.said.find(kReady) != std::string::npos, r.status == 0 || r.status == 4);
        EXPECT_EQ(o.said.find("Sunucu listesi bekleniyor") != std::string::npos,
                  r.status == 0 || r.status == 4 || r.status == 5);
#ifndef __SANITIZE_ADDRESS__
        EXPECT_LT(o.peakKiB, kMostKiB);
#endif
        // Every game file the player's copy or the signed one, and the
        // signed one where it has the list's time.
        for (const auto& [path, hash] : hashes) {
            if (!fs::exists(game / path)) continue;
            const trust::Sha256Digest now = hash_of(game / path);
            EXPECT_TRUE(now == hash.first || now == hash.second) << path;
            EXPECT_TRUE(now == hash.second || write_time(game / path) == kOldTime) << path;
        }
    }
    Next({"none", "none", 0});
}

// The faults of files, ranges, indexes and records from the files' host
// while a fallback host (nginx, the list's) has the site: one request at a
// time, each goes to the hostile host first, moves to the other when it
// fails, and the run ends up to date.
TEST_F(HostileServer, AHostileMirrorCostsRetriesNeverTheRun) {
    const fs::path current = dir.path() / "current";
    fs::create_directory_symlink(site(Site::Main), current);
    Nginx nginx(current, dir.path() / "nginx", free_port());
    std::string error;
    ASSERT_TRUE(nginx.start(error)) << error;
    for (const Row& r : kRows) {
        const std::string kind = r.kind;
        if (r.stop || r.site == Site::Huge || r.site == Site::Forged ||
            (kind != "file" && kind != "range" && kind != "index" && kind != "records")) {
            continue;
        }
        SCOPED_TRACE(kind + " " + r.how + " " + std::to_string(int(r.site)));
        fs::remove(current);
        fs::create_directory_symlink(site(r.site), current);
        const fs::path game = Game(r.site);
        const Outcome o =
            Patch(r, game, nginx.url(), {"--fallback-host", nginx.url(), "--max-transfers", "1"});
        std::printf("mirror %-15s exit %3d %6ld KiB %6lld ms\n", (kind + " " + r.how).c_str(),
                    o.status.value_or(-1), o.peakKiB, o.ms);
        EXPECT_EQ(o.status, 0) << o.said;
        const fs::path published = build(r.site == Site::Indexes ? r.site : Site::Main, 2);
        for (const auto& e : fs::recursive_directory_iterator(published)) {
            if (!e.is_regular_file()) continue;
            const fs::path at = game / fs::relative(e.path(), published);
            EXPECT_TRUE(fs::exists(at) && hash_of(at) == hash_of(e.path())) << at;
        }
    }
    Next({"none", "none", 0});
}

}  // namespace
