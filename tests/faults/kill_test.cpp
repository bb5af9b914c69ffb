// valdora-patch killed outright (SIGKILL; TerminateProcess on Windows) at
// random moments of a run against nginx serving a signed site, eight
// requests in flight, the bigger files coming as deltas: whatever the moment,
// no game file is left looking current (the list's size and time) with other
// bytes, and the next run brings the game directory to the site's state,
// going on from a partial download or delta where a kill left one.
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <random>

#include "support/engine_run.h"
#include "support/process.h"
#include "support/programs.h"
#include "support/site.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr int kKills = 10;  // every run takes several times as long
#else
constexpr int kKills = 25;
#endif

TEST(KilledRun, NoMomentLeavesAFileLookingCurrentAndTheNextRunConverges) {
    testsupport::TempDir dir;
    const fs::path build = dir.path() / "build", site = dir.path() / "site";
    const fs::path game = dir.path() / "game";
    // 200 files: many small, some of tens of KiB, a few of one to three MiB.
    Files files;
    for (unsigned i = 0; i < 200; ++i) {
        const std::size_t size = i % 20 == 0  ? (1 << 20) + (i * 97u % 9) * (256 << 10)
                                 : i % 5 == 0 ? 32768 + (i * 40503u) % 98304
                                              : (i * 2654435761u >> 8) % 8192;
        std::string name = "d";
        name.append(std::to_string(i % 7)).append("/f").append(std::to_string(i)).append(".pak");
        files[name] = pattern(size, i);
    }
    // Published just now: a file written in place during the run would
    // have the list's hour as well as its size.
    const std::int64_t now = std::time(nullptr);
    write_tree(build, files, now);
    // Unthrottled: nginx's rate limit would put most moments into its pauses.
    Nginx nginx(site, dir.path() / "nginx", free_port());
    const fs::path keys = dir.path() / "keys";
    ASSERT_EQ(run({VALDORA_PUBLISH_EXE, "keygen", keys.string()}, dir.path()).status, 0);
    ASSERT_EQ(
        publish(build, site, nginx.url("/files"), {"--sign-key", (keys / "valdora.key").string()}),
        "");
    std::string error;
    ASSERT_TRUE(nginx.start(error)) << error;
    // Capped by the client, so that most moments fall inside a download.
    const std::vector<std::string> patch =
        with(patch_program(),
             {"--update-list", nginx.url(kListPath), "--server-list", nginx.url(kServers),
              "--limit-rate", "16M", "--trusted-key", (keys / "valdora.pub").string()});
    // The signed release the engine keeps in base/ is no stray.
    const auto strays_outside_base = [&](bool temporaryAllowed = false) {
        Log found = strays(game, files, temporaryAllowed);
        std::erase_if(found, [](const std::string& p) { return p.rfind("base/", 0) == 0; });
        return found;
    };
    // An older installation: a third missing, a third of other bytes (half
    // of them of the same size) and an older time, a third current; the
    // files of a MiB and more in an older version (an insert and an
    // overwrite), which they are patched from.
    const auto install_old_version = [&] {
        fs::remove_all(game);
        fs::create_directories(game);
        unsigned i = 0;
        for (const auto& [path, bytes] : files) {
            const std::size_t size = ++i % 2 ? bytes.size() : bytes.size() / 2 + 1;
            std::string old = bytes;
            if (bytes.size() >= (1 << 20)) {
                old.insert(1000, pattern(5000, i))
                    .replace(old.size() / 2, 70000, pattern(70000, i));
                write_tree(game, {{path, old}}, kOldTime);
            } else if (i % 3 == 1) {
                write_tree(game, {{path, pattern(size, i + 1000)}}, kOldTime);
            }
            if (i % 3 == 2) write_tree(game, {{path, bytes}}, now);
        }
    };

    // An uninterrupted run sets the span the moments are drawn from.
    install_old_version();
    const auto start = std::chrono::steady_clock::now();
    const Result whole = run(patch, game);
    const auto span = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    ASSERT_EQ(whole.status, 0) << whole.output;
    ASSERT_EQ(differences(game, files, now), Log{});
    const std::vector<std::string> asked = nginx.requests();
    EXPECT_GT(std::count_if(asked.begin(), asked.end(),
                            [](const std::string& p) { return p.find("/.chunks/") != p.npos; }),
              0)
        << "no delta";

    const char* seedText = std::getenv("VALDORA_FAULT_SEED");
    const unsigned seed = seedText ? unsigned(std::atoi(seedText)) : std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> moment(0, span.count());
    std::vector<long> moments;
    const auto has_record = [&] {
        for (const auto& e : fs::directory_iterator(game))
            if (e.path().filename().string().ends_with(".resume")) return true;
        return false;
    };
    int withTemporary = 0, resumed = 0;
    for (int attempt = 0; moments.size() < kKills && attempt < 3 * kKills; ++attempt) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", attempt " + std::to_string(attempt));
        install_old_version();
        const long at = moment(random);
        {
            Child run(patch, game);
            if (resumed == 0 && moments.size() + 1 == kKills) {  // aimed, should none have hit
                wait_until([&] { return run.wait_for(0ms) || has_record(); }, 30s);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(at));  // the moment itself
            }
            run.kill();
            if (run.wait_for(10s) == kKilled) {
                moments.push_back(at);
                bool scratch = false, record = false;
                for (const auto& e : fs::directory_iterator(game)) {
                    const std::string name = e.path().filename().string();
                    const bool mine = name.rfind("~temp.dat", 0) == 0;
                    scratch |= mine;
                    record |= mine && name.ends_with(".resume");
                }
                withTemporary += scratch;
                resumed += record;
            }
        }
        EXPECT_EQ(current_but_wrong(game, files, now), Log{}) << "killed at " << at << " ms";
        EXPECT_EQ(strays_outside_base(true), Log{});

        const Result next = run(patch, game);
        ASSERT_EQ(next.status, 0) << next.output;
        ASSERT_EQ(differences(game, files, now), Log{}) << "after a kill at " << at << " ms";
        EXPECT_EQ(strays_outside_base(), Log{});
    }
    ASSERT_EQ(moments.size(), std::size_t{kKills}) << "the runs ended before the kills";
    EXPECT_GT(resumed, 0) << "no kill left a download to go on from";
    std::sort(moments.begin(), moments.end());
    std::printf(
        "%d kills (seed %u) at %ld..%ld ms of a %ld ms run; %d while a scratch file "
        "existed, %d of them resumed by the next run\n",
        kKills, seed, moments.front(), moments.back(), long(span.count()), withTemporary, resumed);
}

}  // namespace
