// An X display of the test program's own (Xvfb) and xdotool as the player.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "support/process.h"

namespace testsupport {

// -displayfd lets the server pick a free display itself and say which once
// it accepts clients: no race with other X servers on the machine. Without
// -noreset it would reset whenever its last client leaves, refusing the
// next program that connects just then.
class XvfbDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        if ((pid_ = ::fork()) == 0) {
            ::close(ready[0]);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // gone with the test, however it ends
            ::execlp("Xvfb", "Xvfb", "-displayfd", std::to_string(ready[1]).c_str(), "-screen", "0",
                     "1280x1024x24", "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ready[1]);
        std::string number;
        for (char c; ::read(ready[0], &c, 1) == 1 && c != '\n';) number += c;
        ::close(ready[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
    }
    void TearDown() override {
        ::kill(pid_, SIGTERM);
        reap(pid_, 10s);
    }

private:
    pid_t pid_ = -1;
};

inline Result xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> command = {"xdotool"};
    command.insert(command.end(), args.begin(), args.end());
    return run(command, "/", {}, 5s);
}

// The first window whose title matches `pattern`, within `limit`.
inline std::optional<std::string> find_window(const std::string& pattern,
                                              std::chrono::milliseconds limit = 60s) {
    std::optional<std::string> window;
    wait_until(
        [&] {
            const Result r = xdotool({"search", "--onlyvisible", "--name", pattern});
            if (r.status == 0 && !r.output.empty())
                window = r.output.substr(0, r.output.find('\n'));
            return window.has_value();
        },
        limit);
    return window;
}

}  // namespace testsupport
