// The numbers of one run's progress and the two messages made of them: the
// files and bytes due and done, and the time marks that keep
// WM_PATCH_PROGRESS and WM_PATCH_SPEED to about one a second each. Used by
// the worker alone, so nothing here is locked.
//
// wParam of WM_PATCH_PROGRESS: run position << 16 | file position, each in
// ten-thousandths; lParam: filesTotal << 16 | filesDone. wParam of
// WM_PATCH_SPEED: remaining seconds << 16 | KB/s. Every value is truncated and
// sent as its low 16 bits.
#pragma once

#include <boost/function.hpp>
#include <cstdint>

#include "platform/message_target.h"

class RunProgress {
public:
    // Milliseconds, wrapping at 2^32.
    using Clock = boost::function<std::uint32_t()>;

    RunProgress(platform::MessageTarget* window, Clock clock);

    // The downloads are capped at `bytesPerSecond` (0: not): the speed shown
    // never exceeds the cap, which the transfer keeps only on average.
    void SetSpeedCap(double bytesPerSecond) { speedCap = bytesPerSecond; }
    // The file check found one more file of `bytes` due.
    void CountDue(std::uint32_t bytes);
    // The run is the launcher's own file alone.
    void SetDue(std::uint16_t files, double bytes);
    // The next file's progress starts afresh; `resumed` bytes of it are
    // already on disk (a download that goes on): they count as done, but not
    // towards the speed.
    void StartFile(double resumed = 0.0);
    // The resumed bytes were dropped after all: the reply brings the whole
    // file, counted from 0.
    void DropFileBase();
    // The file's transfer is given up, to be asked for again: nothing of it
    // counts any more.
    void AbandonFile();
    // libcurl's count of the current transfer (the resumed bytes not in it):
    // adds what arrived to bytesDone and posts progress and speed, each when
    // more than a second has passed since its previous post.
    void Update(double dltotal, double dlnow);
    // One more file in place: posts it at 10000.
    void FileDone();

    std::uint16_t FilesTotal() const { return filesTotal; }
    std::uint16_t FilesDone() const { return filesDone; }
    double BytesTotal() const { return bytesTotal; }
    double BytesDone() const { return bytesDone; }

private:
    void Post(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam);
    platform::LPARAM Files() const;

    platform::MessageTarget* const window;
    const Clock clock;
    std::uint16_t filesTotal = 0;
    std::uint16_t filesDone = 0;
    std::uint32_t lastProgressTick = 0;
    double lastProgressBytes = 0.0;
    std::uint32_t lastSpeedTick = 0;
    double lastSpeedBytes = 0.0;
    double bytesTotal = 0.0;
    double bytesDone = 0.0;
    double fileBase = 0.0;  // the current file's resumed bytes
    double speedCap = 0.0;
};
