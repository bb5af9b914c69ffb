// The window as every toolkit shares it, against a toolkit that records what
// it is asked to draw and do.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>

#include "support/ended_run.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "window/controls.h"
#include "window/patcher_window.h"
#include "window/texts.h"
#include "window/web_pages.h"
#include "window/window_messages.h"

namespace {

using namespace window;
using Posted = std::tuple<UINT, WPARAM, LPARAM>;

// The window's target: what is posted to it, and its boxes.
struct RecordingTarget : MessageTarget {
    void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        posts.emplace_back(message, wParam, lParam);
    }
    void MessageBox(std::u16string_view text, std::u16string_view caption, platform::BoxIcon icon,
                    platform::BoxOwner owner) override {
        boxes.push_back({std::u16string(text), std::u16string(caption), icon, owner});
    }
    std::vector<Posted> posts;
    std::vector<testsupport::Box> boxes;
};

struct RecordingWindow : PatcherWindow {
    RecordingTarget target;
    testsupport::RecordingReport report;  // of a run never started
    PreferencesStore preferences{&target, [] { return std::optional<std::uint32_t>(1u << 30); }};
    std::map<int, std::u16string> texts;
    std::map<int, std::vector<int>> bars;
    std::set<int> shown;
    int focused = 0;
    std::vector<std::u16string> names;
    int selected = -1;
    std::vector<std::string> done;  // the toolkit's other acts, in order

    RecordingWindow() : PatcherWindow(PatchOptions{}) {}
    ~RecordingWindow() override { OnDestroy(); }

    void SetControlText(int id, std::u16string_view text) override { texts[id] = text; }
    void SetBarPosition(int id, int position) override { bars[id].push_back(position); }
    void ShowControl(int id) override { shown.insert(id); }
    void FocusControl(int id) override { focused = id; }
    void AddServerName(std::u16string_view name) override { names.emplace_back(name); }
    int SelectedServer() override { return selected; }
    void ShapeWindow(std::u16string_view) override { done.push_back("shape"); }
    void Navigate(int id, const std::string& url) override {
        done.push_back(std::to_string(id) + " " + url);
    }
    void HideWindow() override { done.push_back("hide"); }
    void EndWindowRun() override { done.push_back("end"); }
    void Minimise() override { done.push_back("minimise"); }
    void RunSettingsDialog() override { done.push_back("settings"); }
    void OpenDocument(const char* file) override { done.push_back(file); }
    PreferencesStore& Preferences() override { return preferences; }
    MessageTarget& Target() override { return target; }
    void DismissBoxes() override { done.push_back("dismiss"); }
};

// The phases a run goes through, with the bars as the system's bar gets
// them (a step short first, so it jumps) and what each phase shows.
TEST(SharedWindow, PhasesFollowTheRunAndTheBarsJump) {
    testsupport::TempDir dir;
    RecordingWindow w;
    w.UseDownloader(testsupport::EndedRun("A|x|y|a1|b1\r\nB|x|y||b2\r\n"));
    EXPECT_EQ(w.phase(), PatcherWindow::Phase::Initialising);
    EXPECT_EQ(w.StatusTextColour(), kTextGreen);  // the run has finished

    w.OnUserMessage(WM_PATCH_PROGRESS, (5000u << 16) | 2500u, (3 << 16) | 1);
    EXPECT_EQ(w.bars[kFileProgress], (std::vector<int>{2498, 2500}));
    EXPECT_EQ(w.bars[kTotalProgress], (std::vector<int>{4998, 5000}));
    EXPECT_EQ(w.texts[kCounterLabel], u"Dosya: 1 / 3");
    w.OnUserMessage(WM_PATCH_SPEED, (125u << 16) | 64000u, 0);
    EXPECT_EQ(w.texts[kSpeedLabel], u"Hız: 64000 KB/s");
    EXPECT_EQ(w.texts[kInfoLabel], u"Kalan süre: 2dk 5s");
    EXPECT_TRUE(w.shown.empty());

    // A failed transfer: the run goes on to its end, never shown as a success.
    w.OnUserMessage(WM_PATCH_FAILED, 7 << 16 | 3, 0);
    w.OnUserMessage(WM_PATCH_DONE, 3, 0);
    EXPECT_EQ(w.texts[kStatusLabel], u"Güncelleme tamamlanamadı !");
    EXPECT_EQ(w.phase(), PatcherWindow::Phase::WaitingForServers);
    EXPECT_EQ(w.bars[kFileProgress], (std::vector<int>{2498, 2500, 9998, 10000}));
    EXPECT_EQ(w.shown, (std::set<int>{kStartButton, kServerList}));
    EXPECT_EQ(w.focused, kStartButton);
    EXPECT_EQ(w.texts[kSpeedLabel], u"");

    w.OnUserMessage(WM_SERVERLIST_READY, 0, 0);
    EXPECT_EQ(w.phase(), PatcherWindow::Phase::Ready);
    EXPECT_EQ(w.names, (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_EQ(w.texts[kInfoLabel], u"Oyun başlamaya hazır.");

    // OYNA with nothing chosen: the settings are written, then the warning;
    // a server without a first game argument starts nothing.
    for (const int choice : {-1, 2, 1}) {
        std::filesystem::remove_all("base");
        w.selected = choice;
        w.OnCommand(kStartButton);
        EXPECT_TRUE(std::filesystem::exists("base/pref_launch.prefs")) << choice;
    }
    EXPECT_EQ(w.target.boxes, (std::vector<testsupport::Box>{
                                  {kChooseServerText, kChooseServerCaption, platform::BoxIcon::None,
                                   platform::BoxOwner::Window},
                                  {kChooseServerText, kChooseServerCaption, platform::BoxIcon::None,
                                   platform::BoxOwner::Window}}));
}

// The close button in any phase: the window goes first, then its boxes, the
// run is asked to stop and the window's run ends; what the worker still
// posts changes nothing. Clicks reach what their button stands for.
TEST(SharedWindow, CloseEndsTheWindowInAnyPhaseAndLaterMessagesAreLeftAlone) {
    testsupport::TempDir dir;
    for (const UINT before : {0u, WM_PATCH_DONE, WM_SERVERLIST_READY, WM_PATCH_FAILED}) {
        RecordingWindow w;
        PatchOptions unreachable;
        unreachable.updateListUrl = "http://127.0.0.1:9/x";
        w.UseDownloader(std::make_unique<PatchDownloader>(&w.report, unreachable));
        if (before != 0) w.OnUserMessage(before, 1, 0);
        for (const int id : {kMinimiseButton, kSettingsButton, kGuideButton, kCloseButton}) {
            w.OnCommand(id);
        }
        EXPECT_EQ(w.done, (std::vector<std::string>{"minimise", "settings", kGuideFile, "hide",
                                                    "dismiss", "end"}));
        EXPECT_EQ(w.phase(), PatcherWindow::Phase::Closing);
        const auto texts = w.texts;
        w.OnUserMessage(WM_PATCH_PROGRESS, 1, 1);
        w.OnUserMessage(WM_PATCH_QUIT, 0, 0);  // would end the process
        EXPECT_EQ(w.texts, texts);
    }
}

// The run's report as the window is told it: each value one message, its
// halves packed, the failure's code in the low half and libcurl's code of a
// transfer alone above it; the window reads the values back.
TEST(SharedWindow, ReportValuesBecomeTheWindowsMessages) {
    RecordingTarget target;
    ReportMessages report(target);
    const ProgressReport progress{64957, 2500, 2, 3};
    report.Progress(progress);
    report.Speed({90, 65535});
    report.Done(3);
    for (const FailureKind kind : {FailureKind::Write, FailureKind::UpdateList,
                                   FailureKind::Transfer, FailureKind::NotSigned}) {
        report.Failed({kind, 23, "why"});
    }
    report.ServersReady({{}, {}}, 2);
    report.TooMuchToDownload();
    report.HandOver();
    EXPECT_EQ(target.posts,
              (std::vector<Posted>{{WM_PATCH_PROGRESS, 64957u << 16 | 2500, 3 << 16 | 2},
                                   {WM_PATCH_SPEED, 65535u << 16 | 90, 0},
                                   {WM_PATCH_DONE, 3, 0},
                                   {WM_PATCH_FAILED, 1, 0},
                                   {WM_PATCH_FAILED, 2, 0},
                                   {WM_PATCH_FAILED, 23 << 16 | 3, 0},
                                   {WM_PATCH_FAILED, 4, 0},
                                   {WM_SERVERLIST_READY, 2, 0},
                                   {WM_PATCH_QUIT, 0, 0},
                                   {WM_RUN_LAUNCH_HELPER, 0, 0}}));
    EXPECT_EQ(UnpackProgress(64957u << 16 | 2500, 3 << 16 | 2), progress);
    EXPECT_EQ(UnpackSpeed(65535u << 16 | 90), (SpeedReport{90, 65535}));
    const testsupport::Box box{u"t", u"c", platform::BoxIcon::Information,
                               platform::BoxOwner::None};
    report.Notify({box.text, box.caption, box.icon, box.owner});
    EXPECT_EQ(target.boxes, std::vector<testsupport::Box>{box});
}

TEST(SharedWindow, TextsOfTheRunAndTheServers) {
    EXPECT_EQ(DescribePatchSpeed({7, 3725}).remainingText, "Kalan s\xFCre: 1s 2dk 5s");
    // UTF-8 names up to 200 UTF-16 units; anything else through the code page.
    const std::string longName(200, 'n');
    EXPECT_EQ(ServerDisplayName("Anadolu \xC4\x9F"), u"Anadolu ğ");
    EXPECT_EQ(ServerDisplayName(longName), std::u16string(200, u'n'));
    EXPECT_EQ(ServerDisplayName(longName + "\xFD"), std::u16string(200, u'n') + u"ı");
    EXPECT_EQ(ServerDisplayName(""), u"");
}

// What a pane may show and what goes to the player's browser, as written
// by pages and by the system (a drive letter reads as a scheme).
TEST(SharedWindow, PanesShowWebPagesOnly) {
    const struct {
        const char* url;
        bool shown, browser;
    } cases[] = {{"http://a/x", true, true},
                 {"HTTPS://a/x", true, true},
                 {"about:blank", true, false},
                 {"data:text/html,x", true, false},
                 {"file:///etc/hostname", false, false},
                 {"javascript:alert(1)", false, false},
                 {"res://ieframe.dll/x", false, false},
                 {"C:\\Windows\\x.html", false, false},
                 {"//a/x", false, false},
                 {"http", false, false},
                 {"ht tp://a", false, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(PaneMayShow(c.url), c.shown) << c.url;
        EXPECT_EQ(IsWebAddress(c.url), c.browser) << c.url;
    }
}

// The skin's outline on a small picture: a transparent row adds nothing, a
// run may reach the right edge, one step off the transparent colour is
// opaque, the high byte does not count, and nothing beyond 640 x 705 does.
TEST(SharedWindow, OutlineIsTheOpaqueRunsOfEachRow) {
    constexpr std::uint32_t T = kTransparentColour, O = 0x000000;
    const std::uint32_t pixels[] = {
        T, T, T,          T,        T,  // a stride of 5, 4 read
        T, T, T,          0xFF007E, O,  //
        O, O, 0xFFFF007F, 0xFE007F, O,  //
    };
    EXPECT_EQ(OpaqueRuns(pixels, 4, 3, 5),
              (std::vector<OpaqueRun>{{3, 1, 1}, {0, 2, 2}, {3, 2, 1}}));
    std::vector<std::uint32_t> wide(700 * 2, O);
    EXPECT_EQ(OpaqueRuns(wide.data(), 700, 2, 700),
              (std::vector<OpaqueRun>{{0, 0, kSkinWidth}, {0, 1, kSkinWidth}}));
    // The template's size and places, in pixels.
    EXPECT_EQ(WindowWidth(), 640);
    EXPECT_EQ(WindowHeight(), 715);
    EXPECT_EQ(PlaceInPixels(kStatusLabel), (Rect{222, 374, 324, 13}));
    EXPECT_EQ(PlaceInPixels(kPromoPane3), kLowerPane3);
}

}  // namespace
