// List paths as Windows would open them: what a list may name is what names
// one file of the game, and no file of the launcher's or the player's, on
// Windows as on Linux. The same table runs on both systems.
#include "patch/update_list.h"

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

namespace {

TEST(UpdateList, PathsAreJudgedAsWindowsOpensThem) {
    // A path and a piece of the reason it is refused ("" for one taken).
    const std::pair<std::string, std::string> cases[] = {
        {"launcher.exe.", "ending in a dot"},
        {"maps\\..\\..\\x.pak", "leads out of the game directory"},
        {"LAUNCH~1.EXE", "short name"},
        {"launc~12", "short name"},
        {"MAPS~2/a.pak", "short name"},
        {"maps/LA1B2C~1.EXE", "short name"},
        {"launcher.exe::$DATA", "alternate stream"},
        {"valdora.exe:evil", "alternate stream"},
        {"base./installed.sha256", "ending in a dot"},
        {"base/pref_launch.prefs ", "ending in a dot or a blank"},
        {"maps /x.map", "ending in a dot or a blank"},
        {"CON", "a device"},
        {"aux.dat", "a device"},
        {"maps/Nul.tar.gz", "a device"},
        {"prn .txt", "a device"},
        {"COM1", "a device"},
        {"lpt9.log", "a device"},
        {"COM\xB9.pak", "a device"},  // COM¹
        {"conout$", "a device"},
        {"a?.pak", "does not take"},
        {"a|b", "does not take"},
        {"\"a\"", "does not take"},
        {"BASE\\Installed.SHA256", "reserved: the launcher's record"},
        {"base\\\xFDnstalled.sha256", "reserved: the launcher's record"},  // ınstalled
        {"Launcher.EXE", "reserved: the running launcher"},
        {"~TEMP.DAT.7", "reserved: the launcher's temporary"},
        {"_Launcher.DLL", "reserved: the launcher's update"},
        {"_launcher.dll", ""},
        // Taken: near misses of each rule.
        {"COM10", ""},
        {"console.dat", ""},
        {"auxiliary/a.pak", ""},
        {"a.b.c", ""},
        {".hidden", ""},
        {"~temp2.dat", ""},
        {"long~name.pak", ""},
        {"file~1.data", ""},
        {"maps~a.pak", ""},
        {"ses/m\xFCzik/a\xE7\xFDl\xFD\xFE.ogg", ""},
        {"Kara Orman.map", ""},
    };
    for (const auto& [path, why] : cases) {
        const std::string refusal = ListPathRefusal(path);
        if (why.empty()) {
            EXPECT_EQ(refusal, "") << path;
        } else {
            EXPECT_NE(refusal.find(why), std::string::npos) << path << ": " << refusal;
        }
    }
}

std::string List(const std::vector<std::string>& paths) {
    std::string body = "http://b\r\nnote\r\n";
    for (const std::string& path : paths) body += path + "\r\n1\r\n05.03.2024 07:08:09\r\n";
    return body;
}

// No two paths of a list name one file where letter case makes no
// difference, nor a file where another path has a folder: the last path of
// each list is refused, the list without it taken.
TEST(UpdateList, NoTwoPathsNameOneFileOnWindows) {
    std::vector<std::string> many;  // the paths' set grown many times over
    for (int i = 0; i < 5000; ++i)  // appended, not +: a false -Wrestrict of GCC 12 at -O3
        many.push_back(
            std::string("d").append(std::to_string(i % 7)).append("/").append(std::to_string(i)));
    many.push_back("D3/10");
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {many, "the same file"},
        {{"maps/x.map", "MAPS/x.map"}, "the same file"},
        {{"maps\\x.map", "a.pak", "maps/X.MAP"}, "the same file"},
        {{"a.pak", "a.pak"}, "the same file"},
        {{"\xFE.pak", "\xDE.pak"}, "the same file"},           // ş, Ş
        {{"\xFDz.pak", "\xDDz.pak"}, "the same file"},         // ız, İz
        {{"iz.pak", "\xFDz.pak"}, "the same file"},            // iz, ız
        {{"\xE7/a", "\xC7/b", "\xC7"}, "have a folder"},       // ç/a, Ç/b, Ç
        {{"Maps", "b/c", "maps/x.map"}, "stands where this"},  // a file, then a folder
    };
    for (const auto& [paths, why] : cases) {
        std::list<UpdateListEntry> entries;
        UpdateListReader reader(false, entries);
        EXPECT_FALSE(reader.Feed(List(paths))) << paths.back();
        EXPECT_EQ(reader.Fault().find(paths.back() + ": "), 0u) << reader.Fault();
        EXPECT_NE(reader.Fault().find(why), std::string::npos) << reader.Fault();
        std::string baseUrl;
        EXPECT_TRUE(
            ParseUpdateList(List({paths.begin(), paths.end() - 1}), false, baseUrl, entries));
        EXPECT_EQ(entries.size(), paths.size() - 1);
    }
    // Names Windows keeps apart stay apart: "ß" is no "ss", "maps\a" no "maps".
    std::string baseUrl;
    std::list<UpdateListEntry> entries;
    EXPECT_TRUE(ParseUpdateList(List({"a\xDF.pak", "ass.pak", "maps/a", "maps/b", "mapsa"}), false,
                                baseUrl, entries));
}

}  // namespace
