// Every committed fuzz input (the corpora and the inputs that once broke a
// check) through the fuzz checks, in the ordinary unit tests.
#include <gtest/gtest.h>

#include "fuzz/fuzz_checks.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

TEST(FuzzInputs, PassTheirChecks) {
    const testsupport::TempDir scratch;  // an empty server list is logged here
    const std::pair<const char*, std::string (*)(std::string_view)> targets[] = {
        {"update_list", fuzz::CheckUpdateList},     {"server_list", fuzz::CheckServerList},
        {"settings_file", fuzz::CheckSettingsFile}, {"manifest", fuzz::CheckManifest},
        {"public_key", fuzz::CheckPublicKey},       {"signature", fuzz::CheckSignature},
        {"chunk_index", fuzz::CheckChunkIndex},     {"pack_index", fuzz::CheckPackIndex}};
    for (const auto& [name, check] : targets) {
        int inputs = 0;
        for (const char* kind : {"corpus", "crashes"}) {
            const fs::path dir = fs::path(FUZZ_INPUTS) / kind / name;
            if (!fs::is_directory(dir)) continue;
            for (const auto& entry : fs::directory_iterator(dir)) {
                EXPECT_EQ(check(testsupport::read_bytes(entry.path())), "") << entry.path();
                ++inputs;
            }
        }
        EXPECT_GT(inputs, 0) << "no inputs for " << name;
    }
}

}  // namespace
