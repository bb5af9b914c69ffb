// The numbers of one run's progress and the two reports made of them: the
// files and bytes due and done, and the time marks that keep the progress
// and the speed to about one report a second each. Used by the worker
// alone, so nothing here is locked.
//
// Bytes done are those that came over the wire, from all transfers in
// flight together, and those an earlier run left on disk; the file
// position is that of the file shown (the first in list order of those in
// flight).
//
// Positions are in ten-thousandths, speeds in KB/s; every value is truncated
// and reported as its low 16 bits.
#pragma once

#include <cstdint>
#include <functional>

#include "patch/run_report.h"

// More than this many bytes to download: the player is told to reinstall.
inline constexpr double kMaxDownloadBytes = 70.0 * 1024 * 1024;

class RunProgress {
public:
    // Milliseconds, wrapping at 2^32.
    using Clock = std::function<std::uint32_t()>;

    RunProgress(RunReport& report, Clock clock);

    // The downloads are limited to `bytesPerSecond` (0: not): the speed
    // shown never exceeds the limit, which the transfers keep only on
    // average.
    void SetLimitRate(std::uint64_t bytesPerSecond) {
        limitRate = static_cast<double>(bytesPerSecond);
    }
    // The file check found one more file of `bytes` due.
    void CountDue(std::uint32_t bytes);
    // The run is `files` files of which `bytes` are to be fetched.
    void SetDue(std::uint16_t files, double bytes);
    // More (or, below 0, fewer) bytes to fetch than planned.
    void AddDue(double bytes) { bytesTotal += bytes; }
    // What is due still within kMaxDownloadBytes.
    bool WithinLimit() const { return !(bytesTotal > kMaxDownloadBytes); }

    // Bytes that came over the wire.
    void Received(double bytes) { bytesDone += bytes; }
    // Bytes of a file that an earlier run left on disk: done, but not
    // towards the speed; below 0, bytes that no longer count (a partial
    // dropped, a file started over).
    void Resumed(double bytes);
    // Another file is shown: its first position is reported at once.
    void NewFile() { lastProgressTick = 0; }
    // Reports progress (the shown file at `fileDone` of `fileSize` bytes, 0
    // when unknown) and speed, each when more than a second has passed
    // since it was last reported.
    void Show(double fileDone, double fileSize);
    // One more file in place: reports it at 10000.
    void FileDone();

    std::uint16_t FilesTotal() const { return filesTotal; }
    std::uint16_t FilesDone() const { return filesDone; }
    double BytesTotal() const { return bytesTotal; }
    double BytesDone() const { return bytesDone; }

private:
    void Report(std::uint16_t filePosition);

    RunReport& report;
    const Clock clock;
    std::uint16_t filesTotal = 0;
    std::uint16_t filesDone = 0;
    std::uint32_t lastProgressTick = 0;
    std::uint32_t lastSpeedTick = 0;
    double lastSpeedBytes = 0.0;
    double bytesTotal = 0.0;
    double bytesDone = 0.0;
    double limitRate = 0.0;
};
