// A transfer that fails in the middle of a run: nginx stopped, a connection
// dropped mid-file, an error status, a server that stalls until the player
// closes the window. Each is reported with libcurl's code, leaves the old
// game file and no "~temp.dat" unless the next run can go on from it, and
// the next run converges.
#include <functional>

#include "support/engine_run.h"
#include "support/site.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

using NetworkFault = EngineRun;

TEST_F(NetworkFault, FailedTransferKeepsTheOldFileAndTheNextRunConverges) {
    // b.pak is the file the fault strikes; a.pak comes before it, c.pak after.
    const Files files = {
        {"a.pak", pattern(5000, 1)}, {"b.pak", pattern(2 << 20, 2)}, {"c.pak", pattern(7000, 3)}};
    const fs::path build = dir.path() / "build", site = dir.path() / "site";
    write_tree(build, files);
    const auto temporary_reaches = [&](std::uintmax_t bytes) {
        std::error_code ec;
        return wait_until([&] { return fs::file_size(game / "~temp.dat", ec) >= bytes && !ec; });
    };
    // One MiB a second: b.pak takes two.
    Nginx nginx(site, dir.path() / "nginx", free_port(), "1m");
    ASSERT_EQ(publish(build, site, nginx.url("/files")), "");

    const struct {
        const char* fault;
        bool fromNginx;
        Reply reply;  // the in-process server's first answer for b.pak
        std::vector<int>
            codes;  // libcurl's result: 18 partial, 22 HTTP error, 42 aborted, 56 reset
        std::function<void(PatchDownloader&)> strike;  // while b.pak comes
        bool closed = false;  // the window closed: the server list is abandoned
    } cases[] = {
        {"nginx stopped",
         true,
         {},
         {18, 56},
         [&](PatchDownloader&) {
             ASSERT_TRUE(temporary_reaches(256 << 10));
             nginx.stop();
         }},
        {"connection dropped", false, {200, files.at("b.pak"), Reply::Mode::Drop}, {18}, {}},
        {"500", false, {500, "<html>500 Internal Server Error</html>"}, {22}, {}},
        {"stall, then the window closes",
         false,
         {200, files.at("b.pak"), Reply::Mode::Stall},
         {42},
         [&](PatchDownloader& d) {
             ASSERT_TRUE(temporary_reaches(1 << 20));
             std::this_thread::sleep_for(300ms);  // nothing more comes
             d.Stop();
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        fs::remove_all(game);
        write_tree(game, {{"b.pak", "old b"}}, kOldTime);
        std::string listUrl, error;
        if (c.fromNginx) {
            ASSERT_TRUE(nginx.start(error)) << error;
            listUrl = nginx.url(kListPath);
        } else {
            serve(files, {{"b.pak", {c.reply}}});
        }

        const auto d = downloader(listUrl);
        d->Start();
        if (c.strike) c.strike(*d);
        const bool ended = d->WaitForEnd(30s);
        d->Stop();
        ASSERT_TRUE(ended);

        ASSERT_EQ(target.posts.size(), 4u);
        const int code = int(target.posts[1].wParam >> 16);
        EXPECT_NE(std::find(c.codes.begin(), c.codes.end(), code), c.codes.end()) << code;
        const auto overall = platform::WPARAM(5000.0 / (5000 + (2 << 20) + 7000) * 10000);
        EXPECT_EQ(target.posts, (Posts{{WM_PATCH_PROGRESS, overall << 16 | 10000, 3 << 16 | 1},
                                       {WM_PATCH_FAILED, platform::WPARAM(code) << 16 | 3},
                                       {WM_PATCH_DONE, 1},
                                       {WM_SERVERLIST_READY, c.closed ? 0u : 2u}}));
        Log expected =
            check_log({kMissing, kMissing},
                      {"3 adet dosya download edilecek...", "a.pak download ediliyor...",
                       "b.pak download ediliyor...", "http hatas\xFD: " + std::to_string(code),
                       "Dosyalar download edildi."});
        if (c.closed) expected.push_back("server listesi bo\xFE !");
        EXPECT_EQ(log(), expected);
        // nginx names its copy (ETag): what came of it stays for the next run.
        EXPECT_EQ(fs::exists(game / "~temp.dat"), c.fromNginx);
        EXPECT_EQ(differences(game, {{"a.pak", files.at("a.pak")}}), Log{});
        EXPECT_EQ(differences(game, {{"b.pak", "old b"}}, kOldTime), Log{});
        EXPECT_FALSE(fs::exists(game / "c.pak"));

        // The server is back (or answers properly now): the next run converges.
        if (c.fromNginx) {
            ASSERT_TRUE(nginx.start(error)) << error;
        }
        run(listUrl);
        EXPECT_EQ(differences(game, files), Log{});
        EXPECT_EQ(strays(game, files), Log{});
        EXPECT_EQ(target.posts.back(), (Posted{WM_SERVERLIST_READY, 2}));
        nginx.stop();
    }
}

}  // namespace
