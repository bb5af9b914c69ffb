// A published site served by the shipped nginx configuration, patched by
// valdora-patch (the launcher's engine without the window): every URL the
// launcher builds must reach its file, whatever the name.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "e2e/e2e_support.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kTime = 1709622489;  // 05.03.2024 07:08:09 UTC

std::string pattern(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + i / 251);
    return bytes;
}

TEST(PatchSite, EveryFileReachesAnEmptyGameDirectoryAndASecondRunDownloadsNothing) {
    testsupport::TempDir dir;
    const fs::path build = dir.path() / "build", site = dir.path() / "site";
    const fs::path game = dir.path() / "game";
    std::string deep;
    for (int i = 0; i < 64; ++i) deep += "d/";  // as deep as the publisher allows
    const std::map<std::string, std::string> files = {
        {"valdora.exe", pattern(300000, 'v')},
        {"maps/Kara Orman.map", pattern(5000, 'k')},
        {"ses/m\u00FCzik/a\u00E7\u0131l\u0131\u015F temas\u0131.ogg", pattern(7000, 's')},
        {"\u00C7\u0130\u011E\u00D6\u015E\u00DC.txt", "b\u00FCy\u00FCk harfler"},
        {"data/100% #1?.pak", "percent, hash, question mark"},
        {"data/a+b;c=d,e'f(g)&[h]!~.dat", "punctuation"},
        {"data/empty.dat", ""},
        {"docs/readme.txt", std::string(4000, 't')},  // compressible text
        {"docs/page.aspx", "not a web page here"},
        {".hidden/config", "dot folder"},
        {deep + "bottom.bin", "deep"},
    };
    for (const auto& [path, bytes] : files) {
        testsupport::write_bytes(build / path, bytes);
        e2e::set_write_time(build / path, kTime);
    }
    fs::create_directories(game);

    const int port = e2e::free_port();
    e2e::NginxSite nginx(site, dir.path() / "nginx", port);
    const e2e::Result published =
        e2e::run({VALDORA_PUBLISH_EXE, build.string(), site.string(), "--base-url",
                  nginx.url("/files/v2"), "--pages", VALDORA_PAGE_TEMPLATES},
                 dir.path());
    ASSERT_EQ(published.status, 0) << published.output;
    std::string error;
    ASSERT_TRUE(nginx.start(error)) << error;

    const std::vector<std::string> patch = {VALDORA_PATCH_EXE, "--update-list",
                                            nginx.url("/Patcher/1000_1.0.0.1_Update.txt"),
                                            "--server-list", nginx.url("/serverlist_test.aspx")};
    const e2e::Result first = e2e::run(patch, game);
    ASSERT_EQ(first.status, 0) << first.output;

    std::map<std::string, std::string> patched = e2e::files_under(game);
    patched.erase("base/launcher_log.txt");
    EXPECT_EQ(patched, files);
    for (const auto& [path, bytes] : files) {
        EXPECT_EQ(e2e::write_time(game / path), kTime) << path;
    }
    std::vector<std::string> downloads = e2e::under(nginx.requests(), "/files/v2/");
    std::sort(downloads.begin(), downloads.end());
    std::vector<std::string> expected;
    for (const auto& [path, bytes] : files) {
        std::string cp1254 = path;
        // The request carries the list's CP1254 bytes, as the files on the site do.
        for (const auto& [utf8, byte] :
             std::initializer_list<std::pair<std::string, char>>{{"\u00FC", '\xFC'},
                                                                 {"\u00E7", '\xE7'},
                                                                 {"\u0131", '\xFD'},
                                                                 {"\u015F", '\xFE'},
                                                                 {"\u00C7", '\xC7'},
                                                                 {"\u0130", '\xDD'},
                                                                 {"\u011E", '\xD0'},
                                                                 {"\u00D6", '\xD6'},
                                                                 {"\u015E", '\xDE'},
                                                                 {"\u00DC", '\xDC'}}) {
            for (std::size_t at; (at = cp1254.find(utf8)) != std::string::npos;) {
                cp1254.replace(at, utf8.size(), 1, byte);
            }
        }
        expected.push_back("/files/v2/" + cp1254);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(downloads, expected);
    EXPECT_NE(first.output.find("Valdora - Kuzey Kalesi"), std::string::npos) << first.output;

    const e2e::Result second = e2e::run(patch, game);
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(e2e::under(nginx.requests(), "/files/").size(), files.size());
    EXPECT_NE(second.output.find("B\u00FCt\u00FCn dosyalar g\u00FCncel durumda."),
              std::string::npos)
        << second.output;
}

}  // namespace
