// valdora-publish: the list it writes, the site it lays out, the manifest
// and signature that sha256sum, minisign and the launcher's checks take,
// and what it refuses without touching the site.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "delta/chunk_index.h"
#include "delta/pack_index.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "tools/valdora-publish/keygen.h"
#include "tools/valdora-publish/previous.h"
#include "tools/valdora-publish/publisher.h"
#include "trust/keys.h"
#include "trust/release.h"
#include "trust/sha256.h"

namespace fs = std::filesystem;
using testsupport::kTime;  // 05.03.2024 07:08:09 UTC
using testsupport::read_bytes;
using testsupport::write_bytes;

namespace {

#define MANIFEST "site/Patcher/1000_1.0.0.1_Update.txt.sha256"

void write_file(const fs::path& path, const std::string& bytes, std::int64_t unixTime = kTime) {
    testsupport::write_tree(path.parent_path(), {{path.filename(), bytes}}, unixTime);
}

// Every file and folder below "site" with its bytes ("/" for folders).
std::map<std::string, std::string> site() {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator("site")) {
        out[e.path().string()] = e.is_directory() ? "/" : read_bytes(e.path());
    }
    return out;
}

// The release folder the site's list names: the last folder of its base URL.
std::string release() {
    const std::string list = read_bytes("site/Patcher/1000_1.0.0.1_Update.txt");
    const std::string base = list.substr(0, list.find('\r'));
    return base.substr(base.rfind('/') + 1);
}

// The version a launcher trusting `publicKey` takes from the site, or 0.
std::uint64_t verify(const std::string& publicKey, std::string& error) {
    trust::PublicKey key;
    trust::Release release;
    const bool taken = trust::ReadPublicKey(read_bytes(publicKey), key, error) &&
                       trust::VerifyRelease({key}, read_bytes(MANIFEST),
                                            read_bytes(MANIFEST ".minisig"), 0, 1, release, error);
    return taken ? release.info.version : 0;
}

trust::SecretKey NewKey() {
    trust::SecretKey key;
    std::string error;
    trust::GenerateKeyPair(key, error);
    return key;
}

// A launcher that says it trusts `keys`, as launcher.exe's stamp does.
void launcher(publish::Options& options, const std::string& keys) {
    write_file(options.launcher = "launcher", std::string("ELF\0VALDORA_TRUSTED_KEYS=", 25) + keys +
                                                  std::string(1, '\0') + "more");
}

class Publisher : public ::testing::Test {
public:
    testsupport::TempDir dir;  // the current directory
    publish::Options options;
    std::string report, errors;

    Publisher() {
        options.gameBuildDir = "build";
        options.siteDir = "site";
        options.baseUrl = "http://patch.example.com/game";
        options.note = "v1";
        options.noteGiven = true;
        write_file("build/valdora.pak", std::string(1000, 'p'));
        write_file("build/maps/Kara Orman.map", "map");
        write_file("build/ses/m\u00FCzik/a\u00E7\u0131l\u0131\u015F.ogg", "ogg", kTime + 3600);
    }
    publish::Status publish() {
        std::ostringstream out, err;
        const publish::Status status = publish::Publish(options, out, err);
        report = out.str(), errors = err.str();
        return status;
    }
    int sha256sum() { return std::system("cd site && sha256sum --strict --quiet -c ../" MANIFEST); }
};

TEST_F(Publisher, LaysOutTheSiteUnderTheListsBytesWithTheFilesTimes) {
    write_file("new-launcher", "ELF launcher 2", kTime + 7200);
    options.launcher = "new-launcher";
    options.pageTemplates = "pages";
    for (const char* p :
         {"serverlist_test", "LauncherPromo1", "LauncherPromo2", "LauncherPromo3"}) {
        write_bytes("pages/" + std::string(p) + ".aspx", "x|{{note}}|{{files}}|{{x}}|y");
    }
    options.note = "S\u00FCr\u00FCm <2>";

    ASSERT_EQ(publish(), publish::kPublished) << errors;
    const std::string r = release();
    EXPECT_TRUE(publish::IsReleaseName(r)) << r;
    EXPECT_EQ(read_bytes("site/Patcher/1000_1.0.0.1_Update.txt"),
              "http://patch.example.com/game/" + r +
                  "\r\nS\xFCr\xFCm <2>\r\n"
                  "_launcher.dll\r\n14\r\n05.03.2024 09:08:09\r\n"
                  "maps\\Kara Orman.map\r\n3\r\n05.03.2024 07:08:09\r\n"
                  "ses\\m\xFCzik\\a\xE7\xFDl\xFD\xFE.ogg\r\n3\r\n05.03.2024 08:08:09\r\n"
                  "valdora.pak\r\n1000\r\n05.03.2024 07:08:09\r\n");
    // Stored under the UTF-8 name, and for older launchers under the list's bytes.
    const fs::path turkish = "site/game/" + r + "/ses/m\u00FCzik/a\u00E7\u0131l\u0131\u015F.ogg";
    EXPECT_EQ(read_bytes(turkish), "ogg");
    EXPECT_TRUE(
        fs::equivalent(turkish, "site/.cp1254/game/" + r + "/ses/m\xFCzik/a\xE7\xFDl\xFD\xFE.ogg"));
    EXPECT_FALSE(fs::exists("site/.cp1254/game/" + r + "/valdora.pak"));
    EXPECT_EQ(testsupport::write_time(turkish), kTime + 3600);
    EXPECT_EQ(fs::status(turkish).permissions(), fs::perms(0644));
    EXPECT_EQ(read_bytes("site/LauncherPromo2.aspx"), "x|S\u00FCr\u00FCm &lt;2&gt;|4|{{x}}|y");
    EXPECT_EQ(read_bytes("site/serverlist_test.aspx"), read_bytes("pages/serverlist_test.aspx"));
    // The list and every file, the launcher's too, by their bytes on the site.
    EXPECT_EQ(sha256sum(), 0);
    const std::string manifest = read_bytes(MANIFEST);
    // The list, the four files, their one pack and its index.
    EXPECT_EQ(std::count(manifest.begin(), manifest.end(), '\n'), 7);
}

// The small files once more in packs of at most 32 MiB, in list order, each
// where the index says; the packs and the index in the manifest; the large
// files and the launcher's own only at their own URLs; the same build
// published again, the same packs.
TEST_F(Publisher, PacksTheSmallFilesInListOrder) {
    write_file(options.launcher = "new-launcher", "ELF launcher 2");
    write_file("build/big.pak", std::string(64 << 10, 'b'));
    std::vector<std::string> expected;
    for (unsigned i = 0; i < 512; ++i) {
        expected.push_back("many/" + std::to_string(i));
        write_file("build/" + expected.back(), testsupport::pattern((64 << 10) - 1, i));
    }
    std::sort(expected.begin(), expected.end());
    expected.insert(
        expected.end(),
        {"maps/Kara Orman.map", "ses/m\u00FCzik/a\u00E7\u0131l\u0131\u015F.ogg", "valdora.pak"});
    std::string first;  // the first publication's index
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(publish(), publish::kPublished) << errors;
        const std::string packs = "game/" + release() + "/.packs/", manifest = read_bytes(MANIFEST);
        const std::string text = read_bytes("site/" + packs + "packs.index");
        const auto listed = [&](const trust::Sha256Digest& hash, const std::string& name) {
            return manifest.find(trust::ToHex(hash) + "  " + packs + name + "\n") != manifest.npos;
        };
        delta::PackIndex index;
        std::string error;
        ASSERT_TRUE(delta::PackIndex::Parse(text, index, error)) << error;
        EXPECT_TRUE(listed(trust::Sha256Of(text), "packs.index"));
        ASSERT_EQ(index.packs.size(), 2u);
        std::vector<std::string> bytes, packed;
        for (const auto& [hash, size] : index.packs) {
            bytes.push_back(read_bytes("site/" + packs + delta::PackName(hash)));
            EXPECT_TRUE(listed(hash, delta::PackName(hash)));
        }
        for (const delta::PackedFile& f : index.files) {
            packed.push_back(f.name);
            EXPECT_EQ(bytes[f.pack].substr(f.offset, f.length),
                      read_bytes("site/game/" + release() + "/" + f.name))
                << f.name;
        }
        EXPECT_EQ(packed, expected);
        // The second pack starts with the file the first had no room for.
        EXPECT_GT(bytes[0].size() + index.files.back().length, delta::kMaxPackBytes);
        EXPECT_EQ(sha256sum(), 0);
        if (round == 0) first = text;
        EXPECT_EQ(text, first);
    }
}

// A chunk index (its groups and its chunk list) for each file of 1 MiB or
// more, none for a smaller one: launchers fetch those whole.
TEST_F(Publisher, IndexesOnlyFilesOfOneMiBOrMore) {
    const std::size_t sizes[] = {(1 << 20) - 1, 1 << 20, (1 << 20) + 1};
    std::set<std::string> expected;
    for (const std::size_t size : sizes) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7919) >> 5);
        write_file("build/" + std::to_string(size) + ".pak", bytes);
        const trust::Sha256Digest hash = trust::Sha256Of(bytes);
        if (size >= (1 << 20)) {
            expected.insert({delta::IndexName(hash), delta::ChunkListName(hash),
                             delta::IndexName(hash, delta::kShortRecordBytes),
                             delta::ChunkListName(hash, delta::kShortRecordBytes)});
        }
    }
    ASSERT_EQ(publish(), publish::kPublished) << errors;
    std::set<std::string> indexed;
    for (const auto& e : fs::directory_iterator("site/game/" + release() + "/.chunks")) {
        indexed.insert(e.path().filename());
    }
    EXPECT_EQ(indexed, expected);
}

TEST_F(Publisher, SignsAHigherVersionEachTimeAndNeverLeavesAStaleSignature) {
    std::ostringstream out;
    ASSERT_EQ(publish::Keygen("keys", out, out), publish::kPublished);
    EXPECT_EQ(publish::Keygen("keys", out, out), publish::kRefused);  // never overwritten
    EXPECT_EQ(fs::status("keys/valdora.key").permissions(), fs::perms(0600));
    options.signKey = "keys/valdora.key";
    std::string error;
    for (std::uint64_t version = 1; version <= 2; ++version) {
        ASSERT_EQ(publish(), publish::kPublished) << errors;
        EXPECT_EQ(verify("keys/valdora.pub", error), version) << error;
        options.expiresInDays = 30;
        fs::remove_all("build/ses");
    }
    EXPECT_NE(read_bytes(MANIFEST ".minisig").find(" expires=20"), std::string::npos);
    EXPECT_EQ(sha256sum(), 0);
    EXPECT_FALSE(fs::exists("site/game/" + release() + "/ses"));

    // A signed site stays signed unless asked, and its version never goes
    // back, even when its signature is gone.
    options.signKey.clear();
    options.expiresInDays.reset();
    ASSERT_EQ(publish(), publish::kRefused);
    EXPECT_NE(errors.find("was signed (up to version 2)"), std::string::npos) << errors;
    options.unsignedAllowed = true;
    ASSERT_EQ(publish(), publish::kPublished) << errors;
    EXPECT_FALSE(fs::exists(MANIFEST ".minisig"));
    EXPECT_NE(report.find("goes on from version 3"), std::string::npos) << report;
    options.unsignedAllowed = false;
    options.signKey = "keys/valdora.key";
    trust::PublicKey key;
    ASSERT_TRUE(trust::ReadPublicKey(read_bytes("keys/valdora.pub"), key, error)) << error;
    launcher(options, "RWanother " + trust::PublicKeyLine(key));  // the update trusts the key
    ASSERT_EQ(publish(), publish::kPublished) << errors;
    EXPECT_EQ(verify("keys/valdora.pub", error), 3u) << error;
}

// A release's files lie in a folder of their own, named by their bytes and
// times, so a URL never changes meaning; unchanged files are shared, the
// release before stays for players still fetching it, older ones go; a
// changed file a launcher would take for the old one is listed later.
TEST_F(Publisher, EachReleaseHasAFolderOfItsOwnAndTheOneBeforeStays) {
    const auto list = [] { return read_bytes("site/Patcher/1000_1.0.0.1_Update.txt"); };
    ASSERT_EQ(publish(), publish::kPublished) << errors;
    const std::string r1 = release();
    write_file("build/valdora.pak", std::string(1000, 'q'), kTime + 1800);  // an hour's rebuild
    ASSERT_EQ(publish(), publish::kPublished) << errors;
    const std::string r2 = release(), listed = list();
    EXPECT_NE(r2, r1);
    EXPECT_NE(report.find("valdora.pak: changed, with the size and within the hour"),
              std::string::npos)
        << report;
    EXPECT_NE(listed.find("valdora.pak\r\n1000\r\n05.03.2024 09:08:09\r\n"), std::string::npos);
    EXPECT_EQ(read_bytes("site/game/" + r1 + "/valdora.pak"), std::string(1000, 'p'));
    EXPECT_EQ(read_bytes("site/game/" + r2 + "/valdora.pak"), std::string(1000, 'q'));
    EXPECT_TRUE(fs::equivalent("site/game/" + r1 + "/maps/Kara Orman.map",
                               "site/game/" + r2 + "/maps/Kara Orman.map"));
    EXPECT_EQ(sha256sum(), 0);

    // The same bytes built again later: the same release, nothing for a
    // player to fetch; the one before the previous goes.
    for (const auto& e : fs::recursive_directory_iterator("build")) {
        if (e.is_regular_file()) testsupport::set_write_time(e.path(), kTime + 86400);
    }
    ASSERT_EQ(publish(), publish::kPublished) << errors;
    EXPECT_EQ(release(), r2);
    EXPECT_EQ(list(), listed);
    EXPECT_FALSE(fs::exists("site/game/" + r1));
    EXPECT_TRUE(fs::exists("site/.cp1254/game/" + r2));
    EXPECT_FALSE(fs::exists("site/.cp1254/game/" + r1));
}

// What a release shares with the previous one is signed anew only once it
// is found to be what that release's signed manifest names: a file, a chunk
// index and a chunk list changed on the web server between two publications
// are named, and the new release carries the build's bytes and its index.
TEST_F(Publisher, SignsNothingOfThePreviousReleaseItDidNotCheck) {
    std::ostringstream out;
    ASSERT_EQ(publish::Keygen("keys", out, out), publish::kPublished);
    options.signKey = "keys/valdora.key";
    write_file("build/big.pak", testsupport::pattern(3 << 19, 1));  // 1.5 MiB: indexed
    ASSERT_EQ(publish(), publish::kPublished) << errors;
    const std::string r1 = "site/game/" + release() + "/";
    std::map<std::string, std::string> indexes;  // .chunks/NAME -> its bytes
    for (const auto& e : fs::directory_iterator(r1 + ".chunks")) {
        indexes[".chunks/" + e.path().filename().string()] = read_bytes(e.path());
    }
    ASSERT_EQ(indexes.size(), 4u);
    write_bytes(r1 + "valdora.pak", std::string(1000, 'X'));  // the size kept
    for (const auto& [name, bytes] : indexes) write_bytes(r1 + name, "forged " + bytes);
    write_file("build/new.pak", "n");
    ASSERT_EQ(publish(), publish::kPublished) << errors;
    const std::string r2 = "site/game/" + release() + "/";
    ASSERT_NE(r2, r1);
    for (const char* name : {"valdora.pak", ".index", ".chunks", ".index3", ".chunks3"}) {
        EXPECT_NE(errors.find(name + std::string(": not the bytes")), std::string::npos) << errors;
    }
    EXPECT_EQ(read_bytes(r2 + "valdora.pak"), std::string(1000, 'p'));
    for (const auto& [name, bytes] : indexes) EXPECT_EQ(read_bytes(r2 + name), bytes) << name;
    EXPECT_TRUE(fs::equivalent(r1 + "big.pak", r2 + "big.pak"));  // the rest still shared
    // Listed later, so that launchers that took the changed copy fetch it again.
    EXPECT_NE(read_bytes("site/Patcher/1000_1.0.0.1_Update.txt")
                  .find("valdora.pak\r\n1000\r\n05.03.2024 09:08:09\r\n"),
              std::string::npos);
    EXPECT_EQ(sha256sum(), 0);

    // Indexes the previous manifest vouches for are shared.
    write_file("build/other.pak", "o");
    ASSERT_EQ(publish(), publish::kPublished) << errors;
    EXPECT_EQ(errors, "");
    const std::string r3 = "site/game/" + release() + "/";
    for (const auto& [name, bytes] : indexes) EXPECT_TRUE(fs::equivalent(r2 + name, r3 + name));

    // Forged with their manifest lines, they are no longer vouched for by the
    // signature: made anew.
    std::string manifest = read_bytes(MANIFEST);
    for (const auto& [name, bytes] : indexes) {
        write_bytes(r3 + name, "forged");
        const std::size_t line = manifest.find("  " + r3.substr(5) + name + "\n") - 64;
        manifest.replace(line, 64, trust::ToHex(trust::Sha256Of("forged")));
    }
    write_bytes(MANIFEST, manifest);
    write_file("build/more.pak", "m");
    ASSERT_EQ(publish(), publish::kPublished) << errors;
    for (const auto& [name, bytes] : indexes) {
        EXPECT_EQ(read_bytes("site/game/" + release() + "/" + name), bytes) << name;
    }
    EXPECT_EQ(sha256sum(), 0);
}

// Only the build is published, and a web server running as anyone can read
// the site, whatever the umask.
TEST_F(Publisher, PublishesOnlyTheBuildAndASiteEveryoneCanRead) {
    fs::create_symlink("/etc/passwd", "build/parola");
    ASSERT_EQ(publish(), publish::kRefused);
    EXPECT_NE(errors.find("parola: a link to /etc/passwd, outside the game build"),
              std::string::npos)
        << errors;
    fs::remove("build/parola");
    fs::create_symlink("valdora.pak", "build/kopya.pak");  // inside: published as that file
    const mode_t umask = ::umask(077);
    const publish::Status status = publish();
    ::umask(umask);
    ASSERT_EQ(status, publish::kPublished) << errors;
    EXPECT_EQ(read_bytes("site/game/" + release() + "/kopya.pak"), std::string(1000, 'p'));
    std::vector<std::string> hidden;
    for (const auto& e : fs::recursive_directory_iterator("site")) {
        const auto needed = e.is_directory() ? fs::perms(0555) : fs::perms(0444);
        if ((fs::status(e.path()).permissions() & needed) != needed) hidden.push_back(e.path());
    }
    EXPECT_EQ(hidden, std::vector<std::string>{});
    EXPECT_EQ(fs::status("site").permissions() & fs::perms(0555), fs::perms(0555));
}

TEST_F(Publisher, MinisignChecksOurSignaturesAndItsKeysAndSignaturesServeHere) {
    if (std::system("minisign -v > /dev/null") != 0) GTEST_SKIP() << "minisign not installed";
    std::ostringstream out;
    ASSERT_EQ(publish::Keygen("keys", out, out), publish::kPublished);
    ASSERT_EQ(std::system("minisign -G -W -p k.pub -s k.key > /dev/null"), 0);
    for (const std::string key : {"keys/valdora", "k"}) {
        options.signKey = key + ".key";
        ASSERT_EQ(publish(), publish::kPublished) << errors;
        EXPECT_EQ(std::system(("minisign -qVm " MANIFEST " -p " + key + ".pub").c_str()), 0);
    }
    ASSERT_EQ(std::system("minisign -S -s k.key -m " MANIFEST
                          " -t 'version=9 product=valdora' >/dev/null"),
              0);
    std::string error;
    EXPECT_EQ(verify("k.pub", error), 9u) << error;
}

// Each case spoils a good, signed publication at the site's root in one way:
// the tool says why, exits 1, and the site is left exactly as it was.
TEST_F(Publisher, RefusesWhatTheLauncherCannotUseAndWritesNothing) {
    std::ostringstream out;
    ASSERT_EQ(publish::Keygen("keys", out, out), publish::kPublished);
    options.signKey = "keys/valdora.key";
    options.baseUrl = "http://127.0.0.1:8787/";
    ASSERT_EQ(publish(), publish::kPublished);
    ASSERT_EQ(read_bytes("site/" + release() + "/valdora.pak"), std::string(1000, 'p'));
    ASSERT_EQ(sha256sum(), 0);
    const std::map<std::string, std::string> before = site();
    const publish::Options good = options;

    const struct {
        const char* name;
        std::function<void(publish::Options&)> spoil;
        const char* message;
    } cases[] = {
        {"not CP1254", [](auto&) { write_file("build/\u65E5.pak", "x"); },
         "\u65E5.pak: the name holds a character that code page 1254 cannot"},
        {"drive letter", [](auto&) { write_file("build/c:x", "x"); },
         "c:x: the launcher refuses this path"},
        {"launcher.exe", [](auto&) { write_file("build/Launcher.exe", "x"); }, "--launcher"},
        {"a scratch file", [](auto&) { write_file("build/~temp.dat.3", "x"); },
         "~temp.dat.3: reserved: the launcher's temporary download files"},
        {"one file twice on Windows", [](auto&) { write_file("build/MAPS/kara orman.map", "x"); },
         "maps/Kara Orman.map: the same file as another path"},
        {"a device on Windows", [](auto&) { write_file("build/sounds/Aux.ogg", "x"); },
         "Aux.ogg: the launcher refuses this path: a device on Windows"},
        {"the chunk indexes' folder", [](auto&) { write_file("build/.chunks/a", "x"); },
         "reserved: the folder of the chunk indexes"},
        {"the packs' folder", [](auto&) { write_file("build/.Packs/a", "x"); },
         "reserved: the folder of the packs"},
        {"files folder over the list", [](auto& o) { o.baseUrl = "http://127.0.0.1:8787/Patcher"; },
         "its folder Patcher overlaps Patcher/1000_1.0.0.1_Update.txt"},
        {"site in the build", [](auto& o) { o.siteDir = "build/site"; }, "inside each other"},
        {"server list",
         [](auto& o) { o.pageTemplates = ".", write_bytes("serverlist_test.aspx", "a|b\n"); },
         "serverlist_test.aspx: line 1: 2 fields; the launcher needs exactly 5"},
        {"public key", [](auto& o) { o.signKey = "keys/valdora.pub"; },
         "keys/valdora.pub: a public key; signing needs the secret key"},
        {"version down", [](auto& o) { o.version = 0; }, "--version 0: below the site's version 1"},
        {"unsigned over signed", [](auto& o) { o.signKey.clear(); },
         "was signed (up to version 1): launchers built with keys would refuse"},
        {"another game", [](auto&) { fs::remove_all("build"), write_file("build/other.pak", "x"); },
         "holds another game: none of its 3 files is in build; give --replace"},
        {"launcher trusting no key", [](auto& o) { launcher(o, ""); }, "trusts no key"},
        {"launcher without a stamp", [](auto& o) { write_file(o.launcher = "l", "ELF"); },
         "does not say which keys it trusts"},
        {"launcher trusting another key",
         [](auto& o) { launcher(o, trust::PublicKeyLine(trust::PublicKeyOf(NewKey()))); },
         "does not trust the key signing this release"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all("build");
        write_file("build/maps/Kara Orman.map", "v2");
        options = good;
        c.spoil(options);
        EXPECT_EQ(publish(), publish::kRefused);
        EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
        EXPECT_EQ(site(), before);
    }
}

}  // namespace
