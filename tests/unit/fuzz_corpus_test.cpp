// Every committed fuzz input (the corpora and the inputs that once broke a
// check) through the fuzz checks, in the ordinary unit tests.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/fuzz_checks.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using Check = std::string (*)(std::string_view);

void run_inputs(const std::string& name, Check check) {
    const testsupport::TempDir scratch;  // an empty server list is logged here
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

TEST(FuzzInputs, UpdateList) {
    run_inputs("update_list", fuzz::CheckUpdateList);
}

TEST(FuzzInputs, ServerList) {
    run_inputs("server_list", fuzz::CheckServerList);
}

TEST(FuzzInputs, SettingsFile) {
    run_inputs("settings_file", fuzz::CheckSettingsFile);
}

}  // namespace
