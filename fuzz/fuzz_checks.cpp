#include "fuzz/fuzz_checks.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <list>
#include <set>
#include <sstream>
#include <vector>

#include "delta/chunk_index.h"
#include "delta/pack_index.h"
#include "patch/file_checks.h"
#include "patch/update_list.h"
#include "servers/server_list.h"
#include "settings/settings_file.h"
#include "trust/manifest.h"
#include "trust/signature.h"

namespace fuzz {
namespace {

// Pieces between runs of CR and LF; a separator at either end gives an
// empty piece there.
std::vector<std::string> split_lines(std::string_view text) {
    std::vector<std::string> pieces;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find_first_of("\r\n", at);
        pieces.emplace_back(text.substr(at, end == text.npos ? end : end - at));
        if (end == text.npos) return pieces;
        at = text.find_first_not_of("\r\n", end);
        if (at == text.npos) return pieces.emplace_back(), pieces;
    }
}

// Inside the game directory: relative, no drive, no "..", no NUL.
bool stays_inside(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    const bool drive = path.size() > 1 && path[1] == ':' && std::isalpha(path[0] & 0xFF);
    return !path.empty() && path[0] != '/' && !drive && path.find('\0') == path.npos &&
           ("/" + path + "/").find("/../") == path.npos;
}

// ReadTimeText reads what a text stream reads as six unsigned 16-bit numbers
// with "." and ":" taken as blanks.
bool time_read_as_stream(std::string text) {
    const platform::SystemTime t = ReadTimeText(text);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '.' || c == ':'; }, ' ');
    std::istringstream in(text);
    std::uint16_t f[6] = {};
    in >> f[0] >> f[1] >> f[2] >> f[3] >> f[4] >> f[5];
    return f[0] == t.day && f[1] == t.month && f[2] == t.year && f[3] == t.hour &&
           f[4] == t.minute && f[5] == t.second;
}

}  // namespace

std::string CheckUpdateList(std::string_view input) {
    if (input.empty()) return "";
    const bool testLauncher = input[0] & 1;
    const std::string body(input.substr(1));

    // Fed as it arrives, in pieces cut anywhere (in a run of line breaks
    // too), the reader finds what the whole body gives.
    std::list<UpdateListEntry> streamed, whole;
    std::string streamedUrl, wholeUrl;
    UpdateListReader reader(testLauncher, streamed);
    std::size_t fed = 0;
    for (const std::size_t cut : {body.size() / 3, body.size() / 2 + 1, body.size()}) {
        const std::size_t end = std::clamp(cut, fed, body.size());
        reader.Feed(std::string_view(body).substr(fed, end - fed));
        fed = end;
    }
    const bool ok = ParseUpdateList(body, testLauncher, wholeUrl, whole);
    if (reader.Finish(streamedUrl) != ok ||
        (ok && (streamedUrl != wholeUrl || streamed.size() != whole.size()))) {
        return "read in pieces differently";
    }
    for (auto a = streamed.begin(), b = whole.begin(); ok && b != whole.end(); ++a, ++b) {
        if (a == streamed.end() || a->path != b->path || a->size != b->size ||
            a->timeStamp != b->timeStamp) {
            return "an entry read in pieces differently";
        }
    }

    std::string baseUrl = "unset";
    std::list<UpdateListEntry> entries(1);  // a leftover must be cleared
    const bool parsed = ParseUpdateList(body, testLauncher, baseUrl, entries);

    std::vector<std::string> lines = split_lines(body);
    // No line, nor the start of one after the last break, may be longer.
    bool faulty = std::any_of(lines.begin(), lines.end(),
                              [](const std::string& l) { return l.size() > kMaxListLineBytes; });
    lines.pop_back();
    faulty = faulty || lines.size() < 2 || (lines.size() - 2) % 3 != 0;
    std::vector<UpdateListEntry> expected;
    std::set<std::string> files, folders;  // folded: no file twice, nor one where a folder is
    for (std::size_t i = 2; !faulty && i < lines.size(); i += 3) {
        if (testLauncher && lines[i] == "_launcher.dll") continue;
        // The names and times the publisher refuses too (one rule for both).
        if (!stays_inside(lines[i]) || !ListPathRefusal(lines[i]).empty() ||
            !IsListTime(lines[i + 2])) {
            faulty = true;
        }
        const std::string folded = FoldListPath(lines[i]);
        faulty = faulty || !files.insert(folded).second || folders.count(folded) != 0;
        for (std::size_t end = folded.find('\\'); end != folded.npos;
             end = folded.find('\\', end + 1)) {
            faulty = faulty || files.count(folded.substr(0, end)) != 0;
            folders.insert(folded.substr(0, end));
        }
        UpdateListEntry e{false, lines[i], lines[i + 2]};
        std::replace(e.path.begin(), e.path.end(), '/', '\\');
        // atoi's reading, held to 32 bits and taken as unsigned.
        e.size = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::clamp<long long>(
            std::strtoll(lines[i + 1].c_str(), nullptr, 10), INT32_MIN, INT32_MAX)));
        expected.push_back(e);
    }
    if (parsed == faulty) return parsed ? "a faulty list was taken" : "a good list was refused";
    if (faulty) return entries.empty() ? "" : "a refused list left entries";
    if (baseUrl != lines[0]) return "base URL " + baseUrl + " instead of " + lines[0];
    if (entries.size() != expected.size()) return "wrong number of entries";
    auto e = expected.begin();
    for (const UpdateListEntry& got : entries) {
        if (got.needsDownload || got.path != e->path || got.size != e->size ||
            got.timeStamp != e->timeStamp) {
            return "entry " + got.path + " differs from " + e->path;
        }
        // "/", then the UTF-8 name percent-encoded but for unreserved letters.
        const std::string url = FileUrl(baseUrl, got.path).substr(baseUrl.size());
        std::string decoded;
        for (std::size_t i = 0; i < url.size(); ++i) {
            const char c = url[i];
            const auto hex = [&](std::size_t at) {
                return at < url.size() && std::isxdigit(static_cast<unsigned char>(url[at]));
            };
            if (c == '%' && hex(i + 1) && hex(i + 2)) {
                decoded += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else if (c != '\0' && (std::isalnum(static_cast<unsigned char>(c)) ||
                                     std::strchr("-._~/", c) != nullptr)) {
                decoded += c;
            } else {
                return "a byte a URL must encode left as it is";
            }
        }
        if (decoded != std::string("/").append(SiteName(got.path)))  // not +: GCC 12 -Wrestrict
            return "the URL does not name " + got.path;
        if (!time_read_as_stream(got.timeStamp)) return "time text " + got.timeStamp + " misread";
        ++e;
    }
    // Any text as a time text, not only the lines of a good list.
    return time_read_as_stream(body) ? "" : "time text read differently";
}

std::string CheckServerList(std::string_view input) {
    const std::string text(input);
    std::vector<ServerEntry> servers;
    parseServerList(text, std::back_inserter(servers));

    std::vector<std::vector<std::string>> expected;
    std::size_t filled = 0;  // lines with text
    for (const std::string& line : text.empty() ? std::vector<std::string>{} : split_lines(text)) {
        std::vector<std::string> fields(1);
        for (const char c : line)
            c == '|' ? void(fields.emplace_back()) : fields.back().push_back(c);
        if (!line.empty() && filled++ == expected.size() && fields.size() == 5) {
            expected.push_back(fields);
        }
    }
    if (servers.size() != expected.size()) return "wrong number of servers";
    for (std::size_t i = 0; i < servers.size(); ++i) {
        const ServerEntry& s = servers[i];
        if (std::vector<std::string>{s.name, s.extra1, s.extra2, s.gameArg1, s.gameArg2} !=
            expected[i]) {
            return "server " + std::to_string(i) + " differs";
        }
    }
    // The publisher's check passes only what the launcher reads in full.
    const bool whole = !servers.empty() && servers.size() == filled;
    return ServerListProblems(text).empty() && !whole ? "the publisher passes a short list" : "";
}

namespace {

// The file read as a text stream reads it: key and value tokens in turn.
LaunchPreferences stream_read(const std::string& bytes) {
    LaunchPreferences p;
    std::istringstream in(bytes);
    for (std::string key, value; in && !in.eof(); key.clear(), value.clear()) {
        in >> key >> value;
        const auto number = static_cast<std::int32_t>(
            std::clamp<long long>(std::strtoll(value.c_str(), nullptr, 10), INT32_MIN, INT32_MAX));
        if (key == "HDREnabled") p.hdrEnabled = value == "1";
        if (key == "Fullscreen") p.fullscreen = value == "1";
        if (key == "TextureFiltering") p.textureFiltering = number;
        if (key == "TextureAnisotropy_PREF") p.anisotropyLevel = number;
        if (key == "ScreenResolution_PREF") p.screenResolution = number;
        if (key == "LightmapDetail") p.lightmapDetail = number;
        if (key == "TextureDetail") p.textureDetail = number;
        if (key == "ISP") p.isp = number;
    }
    return p;
}

}  // namespace

std::string CheckSettingsFile(std::string_view input) {
    if (input.empty()) return "";
    const std::string bytes(input.substr(1));
    const std::size_t cut =
        std::min<std::size_t>(static_cast<unsigned char>(input[0]), bytes.size());

    LaunchPreferences whole, pieces;
    settings::ParseSettingsFile(bytes, whole);
    settings::SettingsFileReader reader(pieces);
    reader.Feed(std::string_view(bytes).substr(0, cut));
    reader.Feed(std::string_view(bytes).substr(cut));
    reader.Finish();
    if (!(pieces == whole)) return "read in two pieces, the file means something else";
    if (!(stream_read(bytes) == whole)) return "read differently from a text stream";

    // What the launcher writes back reads as the same record.
    LaunchPreferences again;
    again.isp = -7;  // every field must come from the file
    again.textureDetail = -7;
    settings::ParseSettingsFile(settings::FormatSettingsFile(whole), again);
    return again == whole ? "" : "the written file reads back differently";
}

std::string CheckManifest(std::string_view input) {
    trust::Manifest manifest;
    std::string error;
    if (!trust::Manifest::Parse(input, manifest, error)) {
        return manifest.entries().empty() && !error.empty() ? "" : "a refused manifest left lines";
    }
    if (manifest.Format() != input) return "a manifest taken does not write back the same";
    for (const trust::ManifestEntry& e : manifest.entries()) {
        if (e.path[0] == '/' || !stays_inside("x/" + e.path) ||
            e.path.find_first_of("\\\r\n") != e.path.npos || manifest.Find(e.path) != &e.hash) {
            return "a path taken that leaves the site, or found wrongly: " + e.path;
        }
    }
    // The hash fed in two pieces is the hash of the whole.
    trust::Sha256 pieces;
    pieces.Update(input.substr(0, input.size() / 3));
    pieces.Update(input.substr(input.size() / 3));
    return pieces.Final() == trust::Sha256Of(input) ? "" : "hashed in pieces, another hash";
}

std::string CheckChunkIndex(std::string_view input) {
    delta::ChunkIndex index;
    std::string error;
    if (!delta::ChunkIndex::Parse(input, index, error)) {
        if (!index.groups.empty() || error.empty()) return "a refused index left groups";
    } else if (index.Format() != input) {
        return "an index taken does not write back the same";
    }
    for (const std::size_t form : {delta::kChunkRecordBytes, delta::kShortRecordBytes}) {
        std::vector<delta::ChunkRecord> records;
        if (!delta::ParseRecords(input, records, form)) continue;
        std::string back;
        for (const delta::ChunkRecord& record : records) {
            if (record.length == 0) return "a chunk of no bytes taken";
            delta::AppendRecord(back, record, form);
        }
        if (back != input) return "records taken do not write back the same";
    }
    return "";
}

std::string CheckPackIndex(std::string_view input) {
    delta::PackIndex index;
    std::string error;
    if (!delta::PackIndex::Parse(input, index, error)) {
        return index.files.empty() && !error.empty() ? "" : "a refused pack index left files";
    }
    return index.Format() == input ? "" : "a pack index taken does not write back the same";
}

std::string CheckPublicKey(std::string_view input) {
    trust::PublicKey key;
    std::string error;
    if (!trust::ReadPublicKey(input, key, error)) return error.empty() ? "no reason given" : "";
    // The key line is the last line, and only its canonical form is taken.
    std::string_view line = input.substr(0, input.size() - input.ends_with('\n'));
    line = line.substr(line.rfind('\n') + 1);
    return trust::PublicKeyLine(key) == line ? "" : "a key line read as another key";
}

std::string CheckSignature(std::string_view input) {
    trust::Signature signature;
    std::string error;
    if (!trust::ReadSignature(input, signature, error)) return error.empty() ? "no reason" : "";
    // All but the untrusted comment writes back the same.
    const std::string text = trust::FormatSignature(signature);
    const std::string_view tail = input.substr(input.find('\n'));
    if (text.substr(text.find('\n')) != std::string(tail) + (tail.ends_with('\n') ? "" : "\n")) {
        return "a signature read as another";
    }
    // Under the id of a key whose secret half is nowhere, nothing verifies.
    trust::PublicKey key;
    trust::ReadPublicKey("RWTKdGMtZuC5bWkK5QMJP5ufKjHhT1+m4p09zhxPnBNPqVtziIDXEsGq", key, error);
    signature.keyId = key.id;
    return trust::Verify({key}, input, signature, error) ? "a forged signature verified" : "";
}

}  // namespace fuzz
