// The game directory on a file system of its own that the test mounts: one
// that fills up in the middle of a download, and one that is read-only.
// Needs the right to mount (root in CI); skipped with a reason otherwise.
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include "support/engine_run.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// A mount namespace of the test's own, made before any thread starts:
// whatever the tests mount goes away with the process.
const int g_privateMounts = [] {
    if (::unshare(CLONE_NEWNS) != 0) return errno;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return errno;
    return 0;
}();

// A tmpfs of `size` on `dir`, unmounted when destroyed.
class SmallFileSystem {
public:
    SmallFileSystem(const fs::path& dir, const std::string& size) : dir_(dir) {
        error_ = g_privateMounts;
        if (error_ == 0 && ::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()))
            error_ = errno;
    }
    ~SmallFileSystem() {
        if (error_ == 0) ::umount2(dir_.c_str(), MNT_DETACH);
    }
    // Why it could not be made, or "".
    std::string problem() const {
        return error_ == 0 ? ""
                           : std::string("cannot mount a file system here: ") +
                                 std::strerror(error_) + " (the test needs to run as root)";
    }
    bool remount(unsigned long flags, const std::string& options) {
        return ::mount("tmpfs", dir_.c_str(), "tmpfs", MS_REMOUNT | flags, options.c_str()) == 0;
    }

private:
    fs::path dir_;
    int error_;
};

using DiskFault = EngineRun;

TEST_F(DiskFault, FullDiskKeepsTheOldFileAndTheNextRunWithRoomConverges) {
    SmallFileSystem disk(game, "1m");
    if (!disk.problem().empty()) GTEST_SKIP() << disk.problem();
    // a.pak fits; b.pak cannot fit beside the old b.pak.
    const Files files = {{"a.pak", pattern(200 << 10, 1)}, {"b.pak", pattern(2 << 20, 2)}};
    const std::string old = pattern(100 << 10, 3);
    write_tree(game, {{"b.pak", old}}, kOldTime);
    serve(files);

    run();
    const auto overall = platform::WPARAM(double(200 << 10) / ((2 << 20) + (200 << 10)) * 10000);
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_PROGRESS, overall << 16 | 10000, 2 << 16 | 1},
                                   {WM_PATCH_FAILED, 1},
                                   {WM_PATCH_FAILED, 23 << 16 | 3},
                                   {WM_PATCH_DONE, 1},
                                   {WM_SERVERLIST_READY, 2}}));
    EXPECT_EQ(log(), check_log({kMissing},
                               {"2 adet dosya download edilecek...", "a.pak download ediliyor...",
                                "b.pak download ediliyor...", "Dosya yazma hatas\xFD: 28",
                                "http hatas\xFD: 23", "Dosyalar download edildi."}));
    EXPECT_EQ(differences(game, {{"a.pak", files.at("a.pak")}}), Log{});
    EXPECT_EQ(differences(game, {{"b.pak", old}}, kOldTime), Log{});

    ASSERT_TRUE(disk.remount(0, "size=8m"));
    run();
    EXPECT_EQ(differences(game, files), Log{});
    EXPECT_EQ(strays(game, files), Log{});
}

TEST_F(DiskFault, ReadOnlyGameDirectoryCannotCreateTheTemporaryFile) {
    SmallFileSystem disk(game, "4m");
    if (!disk.problem().empty()) GTEST_SKIP() << disk.problem();
    const Files files = {{"a.pak", pattern(3000, 1)}, {"d/b.pak", pattern(5000, 2)}};
    write_tree(game, {{"a.pak", "old a"}}, kOldTime);
    ASSERT_TRUE(disk.remount(MS_RDONLY, ""));
    serve(files);

    run();
    EXPECT_EQ(target.boxes, (std::vector<Box>{{u"Could not create ~temp.dat !", u"Error",
                                               platform::MB_OK, platform::BoxOwner::None}}));
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_FAILED, 1}}));
    EXPECT_EQ(differences(game, {{"a.pak", "old a"}}, kOldTime), Log{});
    EXPECT_EQ(strays(game, {{"a.pak", ""}}), Log{});
    EXPECT_EQ(server.requests("/files/"), 0);

    ASSERT_TRUE(disk.remount(0, ""));
    run();
    EXPECT_EQ(differences(game, files), Log{});
}

}  // namespace
