#include "fuzz/fuzz_checks.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <list>
#include <sstream>
#include <vector>

#include "patch/file_checks.h"
#include "patch/update_list.h"
#include "servers/server_list.h"
#include "settings/settings_file.h"

namespace fuzz {
namespace {

// Pieces between runs of CR and LF; a separator at either end gives an
// empty piece there.
std::vector<std::string> split_lines(std::string_view text) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = text.find_first_of("\r\n", at);
        pieces.emplace_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos) return pieces;
        at = text.find_first_not_of("\r\n", end);
        if (at == std::string_view::npos) {
            pieces.emplace_back();
            return pieces;
        }
    }
}

std::vector<std::string> split_bars(const std::string& line) {
    std::vector<std::string> fields(1);
    for (const char c : line) {
        if (c == '|') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// Inside the game directory: relative, no drive, no "..", no NUL.
bool stays_inside(const std::string& path) {
    if (path.empty() || path[0] == '/' || path[0] == '\\' || path.find('\0') != path.npos) {
        return false;
    }
    if (path.size() > 1 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        return false;
    }
    std::string part;
    for (const char c : path + "/") {
        if (c != '/' && c != '\\') {
            part += c;
        } else if (part == "..") {
            return false;
        } else {
            part.clear();
        }
    }
    return true;
}

// atoi's reading of a size line, held to 32 bits and taken as unsigned.
std::uint32_t size_of(const std::string& line) {
    const long long value = std::strtoll(line.c_str(), nullptr, 10);
    return static_cast<std::uint32_t>(
        static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX)));
}

// The time text as six unsigned 16-bit fields read by a text stream.
std::string time_fields(const std::string& text) {
    std::string blanks = text;
    std::replace(blanks.begin(), blanks.end(), '.', ' ');
    std::replace(blanks.begin(), blanks.end(), ':', ' ');
    std::istringstream in(blanks);
    std::uint16_t f[6] = {};
    in >> f[0] >> f[1] >> f[2] >> f[3] >> f[4] >> f[5];
    std::ostringstream out;
    for (const std::uint16_t v : f) out << v << ' ';
    return out.str();
}

std::string read_time_fields(const std::string& text) {
    const platform::SystemTime t = ReadTimeText(text);
    std::ostringstream out;
    for (const std::uint16_t v : {t.day, t.month, t.year, t.hour, t.minute, t.second}) {
        out << v << ' ';
    }
    return out.str();
}

std::string describe(const UpdateListEntry& e) {
    return "{" + e.path + "|" + std::to_string(e.size) + "|" + e.timeStamp + "}";
}

}  // namespace

std::string CheckUpdateList(std::string_view input) {
    if (input.empty()) return "";
    const bool testLauncher = input[0] & 1;
    const std::string body(input.substr(1));

    std::string baseUrl = "unset";
    std::list<UpdateListEntry> entries(1);  // a leftover must be cleared
    const bool parsed = ParseUpdateList(body, testLauncher, baseUrl, entries);

    std::vector<std::string> lines = split_lines(body);
    lines.pop_back();
    bool faulty = lines.size() < 2 || (lines.size() - 2) % 3 != 0;
    std::vector<UpdateListEntry> expected;
    for (std::size_t i = 2; !faulty && i < lines.size(); i += 3) {
        if (testLauncher && lines[i] == "_launcher.dll") continue;
        if (!stays_inside(lines[i])) faulty = true;
        UpdateListEntry e;
        e.path = lines[i];
        std::replace(e.path.begin(), e.path.end(), '/', '\\');
        e.size = size_of(lines[i + 1]);
        e.timeStamp = lines[i + 2];
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
            return describe(got) + " instead of " + describe(*e);
        }
        for (const char c : FileUrl(baseUrl, got.path).substr(baseUrl.size())) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte <= 0x20 || byte == 0x7F) return "an unescaped control byte in a URL";
        }
        if (read_time_fields(got.timeStamp) != time_fields(got.timeStamp)) {
            return "time text " + got.timeStamp + " read as " + read_time_fields(got.timeStamp) +
                   "instead of " + time_fields(got.timeStamp);
        }
        ++e;
    }
    // Any text as a time text, not only the lines of a good list.
    if (read_time_fields(body) != time_fields(body)) return "time text read differently";
    return "";
}

std::string CheckServerList(std::string_view input) {
    const std::string text(input);
    std::vector<ServerEntry> servers;
    parseServerList(text, std::back_inserter(servers));

    std::vector<std::vector<std::string>> expected;
    for (const std::string& line : text.empty() ? std::vector<std::string>{} : split_lines(text)) {
        if (line.empty()) continue;
        const std::vector<std::string> fields = split_bars(line);
        if (fields.size() != 5) break;
        expected.push_back(fields);
    }
    if (servers.size() != expected.size()) return "wrong number of servers";
    for (std::size_t i = 0; i < servers.size(); ++i) {
        const ServerEntry& s = servers[i];
        const std::vector<std::string> got = {s.name, s.extra1, s.extra2, s.gameArg1, s.gameArg2};
        if (got != expected[i]) return "server " + std::to_string(i) + " differs";
    }
    return "";
}

namespace {

// The file read as a text stream reads it: key and value tokens in turn.
LaunchPreferences stream_read(const std::string& bytes) {
    LaunchPreferences p;
    std::istringstream in(bytes);
    const auto number = [](const std::string& v) {
        return static_cast<std::int32_t>(
            std::clamp<long long>(std::strtoll(v.c_str(), nullptr, 10), INT32_MIN, INT32_MAX));
    };
    while (in && !in.eof()) {
        std::string key, value;
        in >> key >> value;
        if (key == "HDREnabled") p.hdrEnabled = value == "1";
        if (key == "Fullscreen") p.fullscreen = value == "1";
        if (key == "TextureFiltering") p.textureFiltering = number(value);
        if (key == "TextureAnisotropy_PREF") p.anisotropyLevel = number(value);
        if (key == "ScreenResolution_PREF") p.screenResolution = number(value);
        if (key == "LightmapDetail") p.lightmapDetail = number(value);
        if (key == "TextureDetail") p.textureDetail = number(value);
        if (key == "ISP") p.isp = number(value);
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
    if (!(again == whole)) return "the written file reads back differently";
    return "";
}

}  // namespace fuzz
