#pragma once

#include <cstdint>
#include <string>

namespace pelorin {

// A moment on the calendar: seconds since 1970-01-01 UTC, and the local time zone's offset from UTC
// then, in minutes.
struct CalendarTime {
    int64_t unixSeconds = 0;
    int utcOffsetMinutes = 0;
};

// The machine's calendar time now, with its local offset.
CalendarTime SystemCalendarNow();

// The local time in ISO 8601 with its offset from UTC, such as 2026-03-14T09:26:53+01:00.
std::string FormatLocalTime(const CalendarTime& time);

}  // namespace pelorin
