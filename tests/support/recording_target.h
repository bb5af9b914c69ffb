// A MessageTarget for tests: keeps every posted message and message box.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "platform/message_target.h"

namespace testsupport {

struct Posted {
    platform::UINT message;
    platform::WPARAM wParam = 0;
    platform::LPARAM lParam = 0;
    bool operator==(const Posted&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Posted& p) {
    return out << "{WM_USER+" << (p.message - platform::WM_USER) << ", " << p.wParam << ", "
               << p.lParam << "}";
}

struct Box {
    std::u16string text, caption;
    platform::UINT type;
    platform::BoxOwner owner;
    bool operator==(const Box&) const = default;
};

// Read `posts` and `boxes` once the run has ended.
struct RecordingTarget : platform::MessageTarget {
    void PostMessage(platform::UINT message, platform::WPARAM w, platform::LPARAM l) override {
        std::lock_guard<std::mutex> lock(mutex);
        posts.push_back({message, w, l});
    }
    int MessageBox(std::u16string_view text, std::u16string_view caption, platform::UINT type,
                   platform::BoxOwner owner) override {
        std::lock_guard<std::mutex> lock(mutex);
        boxes.push_back({std::u16string(text), std::u16string(caption), type, owner});
        return platform::IDOK;
    }
    std::vector<Posted> posts;
    std::vector<Box> boxes;
    std::mutex mutex;
};

}  // namespace testsupport
