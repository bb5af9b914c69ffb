#include "settings/settings_file.h"

#include <algorithm>
#include <limits>

namespace settings {
namespace {

template <typename T, std::size_t N>
const T* row(const T (&table)[N], std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < N ? &table[index] : nullptr;
}

// The file has always been written in text mode: each line ends CR LF.
void line(std::string& out, const char* key, std::int64_t value) {
    out += key;
    out += std::to_string(value);
    out += "\r\n";
}

// White space as the C locale knows it; line ends are no different.
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::string FormatSettingsFile(const LaunchPreferences& prefs) {
    std::string out;
    line(out, "HDREnabled ", prefs.hdrEnabled ? 1 : 0);
    line(out, "Fullscreen ", prefs.fullscreen ? 1 : 0);
    line(out, "TextureFiltering ", prefs.textureFiltering);
    if (const FilterModes* f = row(kFilterModes, prefs.textureFiltering)) {
        line(out, "TextureFilteringMin ", f->min);
        line(out, "TextureFilteringMag ", f->mag);
        line(out, "TextureMipmap ", f->mipmap);
    }
    if (const int* a = row(kAnisotropy, prefs.anisotropyLevel)) line(out, "TextureAnisotropy ", *a);
    line(out, "TextureAnisotropy_PREF ", prefs.anisotropyLevel);
    line(out, "ScreenResolution_PREF ", prefs.screenResolution);
    if (const ScreenSize* s = row(kScreenSizes, prefs.screenResolution)) {
        line(out, "ScreenWidth ", s->width);
        line(out, "ScreenHeight ", s->height);
    }
    line(out, "LightmapDetail ", prefs.lightmapDetail);
    line(out, "TextureDetail ", prefs.textureDetail);
    line(out, "ISP ", prefs.isp);
    return out;
}

void SettingsFileReader::Token::Add(char c) {
    if (length == 0 && (c == '+' || c == '-')) {
        negative = c == '-';
    } else if (inDigits && c >= '0' && c <= '9') {
        // Held just past the 32-bit range, so a long run of digits cannot overflow.
        constexpr std::int64_t kCap = std::int64_t{1} << 32;
        magnitude = std::min(magnitude * 10 + (c - '0'), kCap);
    } else {
        inDigits = false;
    }
    if (length < kKeep) head[length] = c;
    ++length;
}

std::string_view SettingsFileReader::Token::Text() const {
    return std::string_view(head, std::min(length, kKeep));
}

bool SettingsFileReader::Token::Is(std::string_view text) const {
    return length == text.size() && Text() == text;
}

// A decimal prefix: optional sign, then digits up to the first other byte;
// no digits read as 0, and a number beyond 32 bits stops at the limit.
std::int32_t SettingsFileReader::Token::Number() const {
    const std::int64_t value = negative ? -magnitude : magnitude;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

void SettingsFileReader::Feed(std::string_view bytes) {
    for (const char c : bytes) {
        if (is_blank(c)) {
            if (inToken_) EndToken();
        } else {
            inToken_ = true;
            current_.Add(c);
        }
    }
}

void SettingsFileReader::Finish() {
    if (inToken_) EndToken();
    if (haveKey_) Apply(key_, Token());
    haveKey_ = false;
}

void SettingsFileReader::EndToken() {
    if (haveKey_) {
        Apply(key_, current_);
        haveKey_ = false;
    } else {
        key_ = current_;
        haveKey_ = true;
    }
    current_ = Token();
    inToken_ = false;
}

void SettingsFileReader::Apply(const Token& key, const Token& value) {
    if (key.Is("HDREnabled")) {
        prefs_.hdrEnabled = value.Is("1");
    } else if (key.Is("Fullscreen")) {
        prefs_.fullscreen = value.Is("1");
    } else if (key.Is("TextureFiltering")) {
        prefs_.textureFiltering = value.Number();
    } else if (key.Is("TextureAnisotropy_PREF")) {
        prefs_.anisotropyLevel = value.Number();
    } else if (key.Is("ScreenResolution_PREF")) {
        prefs_.screenResolution = value.Number();
    } else if (key.Is("LightmapDetail")) {
        prefs_.lightmapDetail = value.Number();
    } else if (key.Is("TextureDetail")) {
        prefs_.textureDetail = value.Number();
    } else if (key.Is("ISP")) {
        prefs_.isp = value.Number();
    }
    // Anything else, the derived keys included, is skipped with its value.
}

void ParseSettingsFile(std::string_view bytes, LaunchPreferences& prefs) {
    SettingsFileReader reader(prefs);
    reader.Feed(bytes);
    reader.Finish();
}

}  // namespace settings
