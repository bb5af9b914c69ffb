// The settings file "base\pref_launch.prefs": what the launcher writes for
// the game and how it reads the player's choices back.
//
// The file is key, blank, signed decimal, one entry a line, CR LF line ends.
// Besides the choices it carries values derived from them (filter modes,
// anisotropy, screen size) that only the game reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/launch_preferences.h"

namespace settings {

// Relative to the game directory, in the launcher's path form.
inline constexpr const char* kSettingsDirectory = "base";
inline constexpr const char* kSettingsFilePath = "base\\pref_launch.prefs";

// Filter modes the game uses for each texture filtering choice.
struct FilterModes {
    int min;
    int mag;
    int mipmap;
};
inline constexpr FilterModes kFilterModes[] = {{2, 1, 1}, {2, 1, 1}, {3, 2, 1}, {3, 3, 2}};

// "TextureAnisotropy" for each anisotropy choice: 2 to the power index + 1.
inline constexpr int kAnisotropy[] = {2, 4, 8, 16, 32};

struct ScreenSize {
    int width;
    int height;
};
// Row 7 has always been 1336 x 768, and the game expects exactly that.
inline constexpr ScreenSize kScreenSizes[] = {
    {1024, 768},  {1024, 600},  {1152, 864},  {1280, 720},  {1280, 800},  {1280, 960},
    {1280, 1024}, {1336, 768},  {1366, 768},  {1440, 900},  {1440, 1050}, {1600, 900},
    {1600, 1000}, {1600, 1200}, {1680, 1050}, {1920, 1080}, {1920, 1200},
};

// The whole file for a record, as it goes to disk (CR LF line ends). An index
// outside its table loses its derived lines; its own line stays.
std::string FormatSettingsFile(const LaunchPreferences& prefs);

// Reads the file's bytes into a record, in pieces as they come. Tokens are
// runs of non-blank bytes and pair up as key and value regardless of lines;
// known keys set their field, everything else is skipped. Memory stays
// bounded whatever the file holds.
class SettingsFileReader {
public:
    explicit SettingsFileReader(LaunchPreferences& prefs) : prefs_(prefs) {}

    void Feed(std::string_view bytes);
    // End of file: a key left without a value takes an empty one.
    void Finish();

private:
    // Only the start of a token is kept: no key is longer, and the number a
    // value stands for is worked out as its bytes go by.
    static constexpr std::size_t kKeep = 32;
    struct Token {
        char head[kKeep] = {};
        std::size_t length = 0;
        bool negative = false;
        bool inDigits = true;  // still inside the leading sign and digits
        std::int64_t magnitude = 0;

        void Add(char c);
        std::string_view Text() const;  // the whole token, or a shorter prefix
        bool Is(std::string_view text) const;
        std::int32_t Number() const;
    };

    void EndToken();
    void Apply(const Token& key, const Token& value);

    LaunchPreferences& prefs_;
    Token current_;
    bool inToken_ = false;
    Token key_;
    bool haveKey_ = false;
};

// Parses a whole file's bytes at once.
void ParseSettingsFile(std::string_view bytes, LaunchPreferences& prefs);

}  // namespace settings
