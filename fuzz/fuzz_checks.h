// The fuzzed readers of outside input, each compared with a plain reading
// of its format: the update list, the server list, the settings file, and
// the time texts of the update list. Each answers "" when the reader agrees
// with the plain reading and keeps its promises, else what went wrong.
//
// The libFuzzer targets abort on an answer; the regression test runs the
// committed corpora and crash inputs through the same checks.
#pragma once

#include <string>
#include <string_view>

namespace fuzz {

// The first byte chooses the mode switch (test-launcher); the rest is the
// list's body.
std::string CheckUpdateList(std::string_view input);
std::string CheckServerList(std::string_view input);
// The first byte chooses where the file is cut into two reads.
std::string CheckSettingsFile(std::string_view input);

}  // namespace fuzz
