// A RunReport for tests: keeps every value the run reports, and every box.
#pragma once

#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "patch/run_report.h"

namespace testsupport {

// The values a test compares, one type each (the file shown, the servers
// and a failure's text are kept apart).
struct Done {
    std::uint16_t files = 0;
    bool operator==(const Done&) const = default;
};
struct Failed {
    FailureKind kind;
    int code = 0;  // libcurl's, of a transfer
    bool operator==(const Failed&) const = default;
};
struct Ready {
    unsigned count = 0;
    bool operator==(const Ready&) const = default;
};
struct Quit {
    bool operator==(const Quit&) const = default;
};
struct HandedOver {
    bool operator==(const HandedOver&) const = default;
};
using Reported = std::variant<ProgressReport, SpeedReport, Done, Failed, Ready, Quit, HandedOver>;
using Reports = std::vector<Reported>;

struct Box {
    std::u16string text, caption;
    platform::BoxIcon icon;
    platform::BoxOwner owner;
    bool operator==(const Box&) const = default;
};

// Read `values` and `boxes` once the run has ended.
struct RecordingReport : RunReport {
    void ShowFile(const std::string&) override {}
    void Progress(const ProgressReport& p) override { Keep(p); }
    void Speed(const SpeedReport& s) override { Keep(s); }
    void Done(std::uint16_t files) override { Keep(testsupport::Done{files}); }
    void Failed(const FailureReport& f) override {
        Keep(testsupport::Failed{f.kind, f.transferCode});
    }
    void ServersReady(const std::vector<ServerEntry>&, unsigned count) override {
        Keep(Ready{count});
    }
    void Notify(const Notice& n) override {
        std::lock_guard<std::mutex> lock(mutex);
        boxes.push_back({n.text, n.caption, n.icon, n.owner});
    }
    void TooMuchToDownload() override { Keep(Quit{}); }
    void HandOver() override { Keep(HandedOver{}); }

    void Keep(const Reported& value) {
        std::lock_guard<std::mutex> lock(mutex);
        values.push_back(value);
    }
    Reports values;
    std::vector<Box> boxes;
    std::mutex mutex;
};

}  // namespace testsupport
