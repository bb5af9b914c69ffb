// How a patch run tells what happens: one call per event, each with its
// values, made from the worker thread in the order things happen. The
// launcher window turns them into its numbered messages
// (window/window_messages.h), valdora-patch into lines on a terminal, tests
// into a record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "servers/server_list.h"

// Where the run is. Positions in ten-thousandths; every value truncated and
// kept to its low 16 bits, as the window has always been told them.
struct ProgressReport {
    std::uint16_t runPosition = 0;   // of the bytes due in the run
    std::uint16_t filePosition = 0;  // of the file shown
    std::uint16_t filesDone = 0;
    std::uint16_t filesTotal = 0;
    bool operator==(const ProgressReport&) const = default;
};

// The speed over everything in flight and the time left at that speed.
struct SpeedReport {
    std::uint16_t kbPerSecond = 0;
    std::uint16_t secondsLeft = 0;
    bool operator==(const SpeedReport&) const = default;
};

// What failed. Each kind has the number the player is shown for it (the
// window's message and valdora-patch's line carry it).
enum class FailureKind : std::uint16_t {
    Write = 1,       // no scratch file, or a file not written or put in place
    UpdateList = 2,  // the update list not fetched, faulty or refused
    Transfer = 3,    // a file's transfer failed
    NotSigned = 4,   // a downloaded file is not the signed bytes
};

struct FailureReport {
    FailureKind kind = FailureKind::Write;
    // libcurl's code of a failed transfer; 0 for the other kinds.
    int transferCode = 0;
    // Why, in libcurl's words or the check's that refused the list or the
    // file; "" for a failed write.
    std::string text = {};
};

// A box the run shows and waits for.
struct Notice {
    std::u16string text;
    std::u16string caption;
    platform::BoxIcon icon = platform::BoxIcon::None;
    platform::BoxOwner owner = platform::BoxOwner::Window;
};

class RunReport {
public:
    virtual ~RunReport() = default;

    // The file shown from now on (its list path, CP1254), told before the
    // progress that shows it.
    virtual void ShowFile(const std::string& path) = 0;
    // At most about once a second, and at once for each file done and each
    // new file shown.
    virtual void Progress(const ProgressReport& progress) = 0;
    virtual void Speed(const SpeedReport& speed) = 0;
    // The downloads are over, `filesDone` files put in place; the server
    // list follows (or the hand-over).
    virtual void Done(std::uint16_t filesDone) = 0;
    // Something failed; the run goes on where it can.
    virtual void Failed(const FailureReport& failure) = 0;
    // The server list: the servers, and the count the server answered (0
    // in the server-test mode, which reads them from a file).
    virtual void ServersReady(const std::vector<ServerEntry>& servers, unsigned count) = 0;
    // Shows the box and returns once the player has closed it.
    virtual void Notify(const Notice& notice) = 0;
    // More to download than a patch may bring: the player, told where to get
    // the whole game (Notify), is to reinstall; the launcher quits.
    virtual void TooMuchToDownload() = 0;
    // The launcher's own update is in place: launch_helper.exe takes over.
    virtual void HandOver() = 0;
};
