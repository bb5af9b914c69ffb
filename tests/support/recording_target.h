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
    platform::WPARAM wParam;
    platform::LPARAM lParam;
    bool operator==(const Posted&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Posted& p) {
    return out << "{WM_USER+" << (p.message - platform::WM_USER) << ", " << p.wParam << ", "
               << p.lParam << "}";
}

struct Box {
    std::u16string text;
    std::u16string caption;
    platform::UINT type;
    platform::BoxOwner owner;
};

class RecordingTarget : public platform::MessageTarget {
public:
    void PostMessage(platform::UINT message, platform::WPARAM wParam,
                     platform::LPARAM lParam) override {
        std::lock_guard<std::mutex> lock(mutex_);
        posts_.push_back({message, wParam, lParam});
    }
    int MessageBox(std::u16string_view text, std::u16string_view caption, platform::UINT type,
                   platform::BoxOwner owner) override {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back({std::u16string(text), std::u16string(caption), type, owner});
        return platform::IDOK;
    }
    std::vector<Posted> posts() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return posts_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        posts_.clear();
        boxes_.clear();
    }
    std::vector<Box> boxes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Posted> posts_;
    std::vector<Box> boxes_;
};

}  // namespace testsupport
