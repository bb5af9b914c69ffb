// The fuzzed readers of outside input: the update list, the server list,
// the settings file and the list's time texts, each compared with a plain
// reading of its format; the manifest, minisign's public keys and
// signatures, the chunk index and the packs' index, each held to writing
// back exactly what it took. Each answers "" when the reader keeps its
// promises, else what went wrong.
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
std::string CheckManifest(std::string_view input);
std::string CheckPublicKey(std::string_view input);
std::string CheckSignature(std::string_view input);
// A chunk index, held to writing back what it took, and the same bytes read
// as a chunk list's records.
std::string CheckChunkIndex(std::string_view input);
std::string CheckPackIndex(std::string_view input);

}  // namespace fuzz
