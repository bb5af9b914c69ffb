#include "patch/run_progress.h"

#include <algorithm>
#include <cmath>

namespace {

// A value computed in floating point, truncated toward zero and sent as its
// low 16 bits (as a 32-bit integer would be), without the undefined
// conversion of a value out of range.
std::uint16_t low16(double value) {
    if (!std::isfinite(value)) return 0;
    double wrapped = std::fmod(std::trunc(value), 65536.0);
    if (wrapped < 0) wrapped += 65536.0;
    return static_cast<std::uint16_t>(wrapped);
}

// Ten-thousandths of `done` in `total`; 0 while the total is unknown.
std::uint16_t position(double done, double total) {
    return total == 0.0 ? 0 : low16(done / total * 10000.0);
}

// Seconds from `mark` to `now`, the difference taken in signed 32 bits.
double seconds_since(std::uint32_t mark, std::uint32_t now) {
    return static_cast<std::int32_t>(now - mark) / 1000.0;
}

}  // namespace

RunProgress::RunProgress(RunReport& report_, Clock clock_)
    : report(report_), clock(std::move(clock_)) {}

void RunProgress::CountDue(std::uint32_t bytes) {
    bytesTotal += bytes;
    ++filesTotal;
}

void RunProgress::SetDue(std::uint16_t files, double bytes) {
    filesTotal = files;
    bytesTotal = bytes;
}

void RunProgress::Resumed(double bytes) {
    bytesDone += bytes;
    lastSpeedBytes += bytes;
}

void RunProgress::Show(double fileDone, double fileSize) {
    const std::uint32_t now = clock();
    if (seconds_since(lastProgressTick, now) > 1.0) {
        Report(position(fileDone, fileSize));
        lastProgressTick = now;
    }

    const std::uint32_t speedNow = clock();
    const double interval = seconds_since(lastSpeedTick, speedNow);
    if (!(interval > 1.0)) return;
    double kbPerSecond = (bytesDone - lastSpeedBytes) / 1024.0 / interval;
    if (limitRate > 0.0) kbPerSecond = std::min(kbPerSecond, limitRate / 1024.0);
    const std::uint16_t speed = low16(kbPerSecond);
    const std::uint16_t remaining =
        speed == 0 ? 0 : low16((bytesTotal - bytesDone) / 1024.0 / static_cast<double>(speed));
    report.Speed({speed, remaining});
    lastSpeedBytes = bytesDone;
    lastSpeedTick = speedNow;
}

void RunProgress::FileDone() {
    ++filesDone;
    Report(10000);
}

void RunProgress::Report(std::uint16_t filePosition) {
    report.Progress({position(bytesDone, bytesTotal), filePosition, filesDone, filesTotal});
}
