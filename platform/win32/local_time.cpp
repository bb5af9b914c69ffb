// The machine's local time as Windows keeps it.
#include <windows.h>

#include "platform/file_time.h"

namespace platform {

SystemTime local_time_now() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    SystemTime t;
    t.year = now.wYear;
    t.month = now.wMonth;
    t.dayOfWeek = now.wDayOfWeek;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    t.milliseconds = now.wMilliseconds;
    return t;
}

}  // namespace platform
