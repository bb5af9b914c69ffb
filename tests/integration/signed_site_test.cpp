// The engine with a trusted key against sites signed by valdora-publish: what
// is not the signed release is refused, and the game keeps its files.
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "patch/installed_hashes.h"
#include "patch/self_update.h"
#include "patch/signed_release.h"
#include "platform/system_paths.h"
#include "support/engine_run.h"
#include "support/signing.h"
#include "support/site.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

using Site = std::map<std::string, std::string>;  // path under the site -> bytes
const std::string kList = "Patcher/1000_1.0.0.1_Update.txt";
const std::string kManifest = kList + ".sha256", kSignature = kList + ".sha256.minisig";

class SignedSite : public EngineRun {
protected:
    const trust::SecretKey key = NewKey();
    std::vector<Site> releases;  // versions 1, 2, ... as published

    SignedSite() { TrustKey(key); }
    // Publishes `files` (and a new launcher) as the next version.
    void publish_next(const Files& files, const std::string& launcher = "") {
        const fs::path build = dir.path() / "build", site = dir.path() / "site";
        fs::remove_all(build);
        write_tree(build, files);
        std::vector<std::string> extra = SignKey();
        if (!launcher.empty()) {
            write_bytes(dir.path() / "new.exe", launcher);
            extra.insert(extra.end(),
                         {"--launcher", (dir.path() / "new.exe").string(), "--keyless-launcher"});
        }
        ASSERT_EQ(publish(build, site, server.url("/game"), extra), "");
        Site& s = releases.emplace_back();
        for (const auto& file : fs::recursive_directory_iterator(site)) {
            if (file.is_regular_file()) {
                s[fs::relative(file, site).generic_string()] = read_bytes(file);
            }
        }
    }
    // The path under the site of the listed file `name` of `site`'s release.
    static std::string release_path(const Site& site, const std::string& name) {
        for (const auto& [path, bytes] : site) {
            if (path.rfind("game/r-", 0) == 0 && path.substr(path.find('/', 5) + 1) == name) {
                return path;
            }
        }
        return "";
    }
    // Serves `site` (an empty file as missing), and runs the engine on it.
    void run_on(const Site& site, bool go = true) {
        for (const auto& [path, bytes] : site) {
            server.serve("/" + path, {{bytes.empty() ? 404 : 200, bytes}});
        }
        if (go) run();
    }
};

TEST_F(SignedSite, TakesOnlyTheSignedBytesOfTheNewestRelease) {
    // Version 3's a.pak differs in size: it is due in every case below.
    const std::string a2 = pattern(5000, 2), a3 = pattern(5001, 3), b = pattern(3000, 4);
    publish_next({{"a.pak", pattern(4999, 1)}, {"sub/b.pak", b}});
    publish_next({{"a.pak", a2}, {"sub/b.pak", b}});
    publish_next({{"a.pak", a3}, {"sub/b.pak", b}});
    publish_next({{"a.pak", a2}, {"sub/b.pak", b}}, pattern(4000, 5));  // and a new launcher
    ASSERT_EQ(releases.size(), 4u);
    run_on(releases[1]);  // the game as version 2 leaves it, kept release included
    Files before = {{"a.pak", a2}, {"sub/b.pak", b}};
    ASSERT_EQ(differences(game, before), Log{});
    for (const char* kept : {kKeptList, kKeptManifest, kKeptSignature}) {
        before[platform::native_path(kept)] = read_bytes(game / platform::native_path(kept));
    }
    const Site& v3 = releases[2];
    const std::string m3 = v3.at(kManifest), ok = "version=3 product=valdora";
    const std::string aPath = release_path(v3, "a.pak");
    const std::string aLine = m3.substr(m3.find("  " + aPath + "\n") - 64, 64 + 3 + aPath.size());
    const auto with = [](Site site, const std::string& path, const std::string& bytes) {
        site[path] = bytes;
        return site;
    };
    const auto signedAs = [&](const std::string& manifest, const std::string& comment,
                              const trust::SecretKey& by) {
        return with(with(v3, kManifest, manifest), kSignature, SignText(by, manifest, comment));
    };
    // An empty `logged`: the release is taken (version 3 put in place).
    constexpr auto kFailedNotSigned = static_cast<std::uint16_t>(FailureKind::NotSigned);
    const struct {
        const char* name;
        Site site;
        const char* logged;
        std::uint16_t failed;  // the failure reported, by its number (0: none)
    } cases[] = {
        {"changed game file", with(v3, release_path(v3, "a.pak"), pattern(5001, 9)),
         "a.pak: not the signed bytes", kFailedNotSigned},
        {"changed manifest", with(v3, kManifest, Swap(m3, aPath, Swap(aPath, "a.pak", "c.pak"))),
         "does not match the signed file", 2},
        {"another key", signedAs(m3, ok, NewKey()), "which is not trusted", 2},
        {"missing signature", with(v3, kSignature, ""), "signature: not fetched", 2},
        {"expired", signedAs(m3, ok + " expires=2020-01-01T00:00:00Z", key), "expired at 2020", 2},
        {"version above 2^53", signedAs(m3, "version=9007199254740993 product=valdora", key),
         "version is not valid", 2},
        {"listed file without a line", signedAs(Swap(m3, aLine, ""), ok, key),
         "no line for the listed file game/r-", 2},
        {"line for a file not listed", signedAs(m3 + aLine.substr(0, 66) + "game/x.pak\n", ok, key),
         "", 0},
        {"launcher not the signed one",
         with(releases[3], release_path(releases[3], "_launcher.dll"), pattern(4000, 6)),
         "_launcher.dll: not the signed bytes", kFailedNotSigned},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clear();
        write_tree(game, before);
        run_on(c.site);
        std::string logged;
        for (const std::string& line : log()) logged += line + "\n";
        const Reported failed = Failed{static_cast<FailureKind>(c.failed)};
        const auto& reports = report.values;
        EXPECT_EQ(std::find(reports.begin(), reports.end(), failed) != reports.end(), c.failed != 0)
            << logged;
        if (*c.logged == '\0') {
            EXPECT_EQ(differences(game, {{"a.pak", a3}, {"sub/b.pak", b}}), Log{});
            continue;
        }
        EXPECT_NE(logged.find(c.logged), std::string::npos) << logged;
        EXPECT_EQ(differences(game, {{"a.pak", a2}, {"sub/b.pak", b}}), Log{});
        EXPECT_TRUE(c.failed != 2 || differences(game, before).empty());  // the kept release
        EXPECT_FALSE(fs::exists(game / "_launcher.dll"));  // nor handed over: the run went on
        EXPECT_NE(report.values.back(), Reported(HandedOver{}));
    }

    // A cache that still holds the previous release's manifest and
    // signature: asked once more for fresh copies, the run takes the new one.
    // A kept release edited on the disk (its version raised for good) does
    // not verify: it sets no floor, and the log says so.
    clear();
    write_tree(game, before);
    const std::string kept = platform::native_path(kKeptSignature);
    write_bytes(game / kept, Swap(before.at(kept), "version=2", "version=999999"));
    run_on(v3, false);
    server.serve("/" + kManifest, {{200, releases[1].at(kManifest)}, {200, m3}});
    server.serve("/" + kSignature, {{200, releases[1].at(kSignature)}, {200, v3.at(kSignature)}});
    run();
    EXPECT_EQ(differences(game, {{"a.pak", a3}, {"sub/b.pak", b}}), Log{});
    const Log lines = log();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("kept in base is ignored: signature: ") != std::string::npos;
    }));

    // A kept release torn by a run cut short between its writes (the
    // launcher before this one wrote the signature last, this one writes it
    // first): the kept signature's version holds, an older one is refused,
    // and the next release is kept whole.
    const std::string keptList = platform::native_path(kKeptList),
                      keptManifest = platform::native_path(kKeptManifest);
    const struct {
        const Site& kept;       // list and manifest
        const Site& signature;  // the kept signature
        const Site& offered;
        const char* logged;
    } torn[] = {{v3, releases[1], releases[0], "version 1 is older than version 2"},
                {releases[1], v3, releases[1], "version 2 is older than version 3"}};
    for (const auto& t : torn) {
        clear();
        write_tree(game, before);
        write_tree(game, {{keptList, t.kept.at(kList)},
                          {keptManifest, t.kept.at(kManifest)},
                          {kept, t.signature.at(kSignature)}});
        run_on(t.offered);
        std::string logged;
        for (const std::string& line : log()) logged += line + "\n";
        EXPECT_NE(logged.find(t.logged), std::string::npos) << logged;
        EXPECT_EQ(read_bytes(game / kept), t.signature.at(kSignature));
        EXPECT_EQ(differences(game, {{"a.pak", a2}, {"sub/b.pak", b}}), Log{});
    }
    // A run that could keep the signature but not the manifest (a folder in
    // the way of its new copy) has kept the signature first: the version
    // before it is refused from then on.
    clear();
    write_tree(game, before);
    write_tree(game, {{keptManifest + ".new/x", "in the way"}});
    run_on(v3);
    run_on(releases[1]);
    EXPECT_EQ(read_bytes(game / "a.pak"), a3);
    fs::remove_all(game / (keptManifest + ".new"));
    run_on(v3);
    EXPECT_EQ(read_bytes(game / keptList) + read_bytes(game / keptManifest), v3.at(kList) + m3);

    // A signed launcher is handed over, and launch_helper.exe installs only
    // its signed bytes, hashed as they are copied: another process that
    // swaps "_launcher.dll" with a foreign launcher all the while gets
    // either refused or the signed one installed, never its own.
    run_on(releases[3]);
    EXPECT_EQ(report.values.back(), Reported(HandedOver{}));
    fs::current_path(game);
    const std::string signedLauncher = read_bytes("_launcher.dll"), foreign = pattern(4000, 6);
    std::string why;
    const auto install = [&] {
        return InstallLauncherUpdate(true, options.trustedKeys, std::time(nullptr), why);
    };
    for (int i = 0; i < 40; ++i) {
        write_tree(game, {{"launcher.exe", "old"}, {"_launcher.dll", signedLauncher}});
        write_bytes("foreign", foreign);
        std::atomic<bool> done = false;
        std::atomic<int> swaps = 0;
        std::thread swapper([&] {
            for (; !done; ++swaps) {
                platform::exchange_paths("_launcher.dll", "foreign");
            }
        });
        wait_until([&] { return swaps > 100; });
        const UpdateInstall result = install();
        done = true;
        swapper.join();
        const std::string installed = read_bytes("launcher.exe");
        EXPECT_TRUE(installed == (result == UpdateInstall::Installed ? signedLauncher : "old"))
            << int(result) << " " << why << (installed == foreign ? ": foreign" : "");
    }
    write_tree(game, {{"launcher.exe", "old"}, {"_launcher.dll", foreign}});
    EXPECT_EQ(install(), UpdateInstall::NotSigned);
    EXPECT_EQ(why, "_launcher.dll is not the signed one");
    EXPECT_EQ(read_bytes("launcher.exe"), "old");

    // Verifying every file repairs one whose size and time look current.
    clear();
    write_tree(game, before);
    write_tree(game, {{"a.pak", pattern(5000, 7)}});
    options.verifyAll = true;
    run_on(releases[1]);
    EXPECT_EQ(differences(game, before), Log{});
}

// A file rebuilt under the same size and within the hour (a site not made
// by valdora-publish, which would list it later) reaches the player all the
// same: its signed hash is not the one it was installed with.
TEST_F(SignedSite, AChangedFileReachesThePlayerWhateverItsSizeAndTime) {
    const Files v1 = {{"a.pak", pattern(5000, 1)}, {"b.pak", "b"}};
    const Files v2 = {{"a.pak", pattern(5000, 2)}, {"b.pak", "b"}};
    publish_next(v1);
    publish_next(v2);
    run_on(releases[0]);
    ASSERT_EQ(differences(game, v1), Log{});
    Site site = releases[1];
    site[kList] = Swap(site.at(kList), "05.03.2024 09:08:09", kTimeText);
    site[kManifest] = trust::ToHex(trust::Sha256Of(site[kList])) + site[kManifest].substr(64);
    site[kSignature] = SignText(key, site[kManifest], "version=2 product=valdora");
    run_on(site);
    EXPECT_EQ(differences(game, v2), Log{});
    EXPECT_EQ(std::system(("cd " + game.string() + " && sha256sum --quiet -c " +
                           platform::native_path(kInstalledHashes))
                              .c_str()),
              0);
}

// With trusted keys a server list is taken only with its signature (or over
// https): one that anyone on the way rewrote counts as the empty list, asked
// for again and again, and no game is ever started on it.
TEST_F(SignedSite, AServerListIsTakenOnlyWithItsSignature) {
    publish_next({{"a.pak", "a"}});
    const std::string list = releases[0].at("serverlist_test.aspx"),
                      file = (dir.path() / "servers").string();
    const std::string evil = "V|x|y|6.6.6.6 -evil_switch=1|7001\r\n",
                      key_file = (dir.path() / "valdora.key").string();
    const std::string yes = " expires=2099-01-01T00:00:00Z", empty = "server listesi bo\xFE !";
    const auto sign = [&](const std::string& text) {  // as the operator does, from time to time
        write_bytes(file, text);
        const Result r = testsupport::run(
            {VALDORA_PUBLISH_EXE, "sign-servers", file, "--sign-key", key_file}, dir.path());
        return r.status == 0 ? read_bytes(file + ".minisig") : "";
    };
    const struct {
        std::string list, signature, logged;  // "" logged: taken
    } cases[] = {
        {evil, releases[0].at("serverlist_test.aspx.minisig"), "signature: "},
        {list, "", "signature: "},
        {list, SignText(NewKey(), list, "version=1 product=valdora-servers" + yes), "not trusted"},
        {list,
         SignText(key, list, "version=1 product=valdora-servers expires=2020-01-01T00:00:00Z"),
         "expired at 2020"},
        {list, SignText(key, list, "version=1 product=valdora" + yes), "for product"},
        {list, SignText(key, list, "version=1 product=valdora-servers"), "no expiry"},
        {evil + evil, sign(evil + evil), ""},
    };
    EXPECT_EQ(sign("no list"), "");  // one the launcher would misread is refused
    run_on(releases[0], false);
    for (const auto& c : cases) {
        server.serve(kServers, c.list);
        server.serve(std::string(kServers) + ".minisig",
                     {{c.signature.empty() ? 404 : 200, c.signature}});
        const auto d = start();
        Log lines;
        ASSERT_TRUE(wait_until([&] {
            lines = log();
            return d->IsFinished() &&
                   (std::count(lines.begin(), lines.end(), empty) > 1 || !d->GetServers().empty());
        }));
        d->Stop();
        EXPECT_EQ(d->GetServers().size(), c.logged.empty() ? 2u : 0u) << c.logged;
        const auto refusal = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find("server list: ") != std::string::npos &&
                   line.find(c.logged) != std::string::npos;
        });
        EXPECT_EQ(refusal != lines.end(), !c.logged.empty()) << c.logged;
    }
}

// A list's base URL reaches no local file, signed site or not.
TEST_F(EngineRun, GameFilesComeOverHttpAlone) {
    write_bytes(dir.path() / "secret.txt", "12345");
    server.serve(kListPath, "file://" + dir.path().string() + "\r\nnote\r\nsecret.txt\r\n5\r\n" +
                                kTimeText + "\r\n");
    run();
    EXPECT_FALSE(fs::exists(game / "secret.txt"));
    EXPECT_EQ(report.values.front(),
              Reported(Failed{FailureKind::Transfer, 1}));  // no such protocol
}

// A download cut short goes on in the next run, and its hash covers the
// bytes that were on disk as well as the rest.
TEST_F(SignedSite, AResumedDownloadIsHashedWhole) {
    const std::size_t n = 600 << 10;
    const std::string big = pattern(n, 5), half = std::to_string(n / 2), tag = "\"v1\"";
    const Reply rest{206,
                     big.substr(n / 2),
                     Reply::Mode::Plain,
                     {{"ETag", tag}, {"Content-Range", "bytes " + half + "-614399/614400"}}};
    publish_next({{"a.pak", big}});
    const std::string url = "/" + release_path(releases[0], "a.pak");
    for (const bool intact : {true, false}) {
        clear();
        run_on(releases[0], false);
        server.serve(url, {{200, big, Reply::Mode::Drop, {{"ETag", tag}}}});
        ASSERT_TRUE(start()->WaitForEnd(std::chrono::seconds(60)));
        if (!intact) std::fstream(game / "~temp.dat", std::ios::in | std::ios::out).put('x');
        server.serve(url, {rest});
        run();
        ASSERT_FALSE(server.ranges(url).empty());
        EXPECT_EQ(server.ranges(url).back(), "bytes=" + half + "- " + tag);
        EXPECT_EQ(differences(game, {{"a.pak", big}}).empty(), intact);
    }
}

}  // namespace
