// Processes: finding and ending an older launcher, starting programs
// without a shell, and ending this process at once.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The executable file name of a running process (the last component of its
// image path), or nothing when it cannot be read (gone, or not ours).
std::optional<std::string> process_executable_name(pid_t pid);
// The same, or for a process that is ending (its main thread gone, others
// not yet, as a launcher's that hands over: it still holds its files) its
// command name.
std::optional<std::string> process_name(pid_t pid);

// The first process other than this one whose executable file name is
// exactly `exeName` (case-sensitive), in process-id order. With
// `startedBeforeUs`, only one that was started before this process: of two
// started within the same clock tick, neither is older than the other.
// With `oursHere`, only one that runs as this process's user in this
// process's current directory: another user's program, or one working in
// another folder, is none of ours.
std::optional<pid_t> find_other_process(std::string_view exeName, bool startedBeforeUs = false,
                                        bool oursHere = false);

// Waits at most `limit` for this process's parent to end, and only while that
// parent runs the program `exeName`: a process started by something else,
// or one whose starter has ended already (it belongs to another parent
// then), goes on at once.
void wait_for_parent(std::string_view exeName, std::chrono::milliseconds limit);

// Ends the process at once (SIGKILL) and waits at most `limit` until it is
// gone, so that what it held (files, locks) is free when this returns. False
// when it cannot be signalled.
bool terminate_process(pid_t pid, std::chrono::milliseconds limit = std::chrono::seconds(2));

// Whether a process with this id still exists (a zombie counts as ended).
bool process_alive(pid_t pid);

// A parameters string as the shell would pass it to a program, split at
// blanks into words: no quoting, no escapes, runs of blanks are one gap.
std::vector<std::string> split_parameters(std::string_view parameters);

// The words as one command line that a Windows program's C runtime splits
// back into the same words: one with a blank, a tab or a quote, or an empty
// one, in quotes, its quotes and the backslashes before them escaped.
std::string quote_command_line(const std::vector<std::string>& words);

// Starts `program` (a path; a bare name is taken from the current
// directory, never from PATH) with `args` as its arguments after argv[0],
// in the current directory, in a session of its own so it outlives us.
// No shell is involved. On failure returns nothing and records the error.
std::optional<pid_t> spawn_process(const std::string& program,
                                   const std::vector<std::string>& args);

// Ends this process at once with `code`, without unwinding or clean-up
// (-1 reads as 255 to the parent).
[[noreturn]] void exit_process(int code);

}  // namespace platform
