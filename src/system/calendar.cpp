#include "system/calendar.h"

#include <cstdio>
#include <ctime>

namespace pelorin {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t yearOfEra = year - era * 400;
    int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
    int64_t year;
    int month;
    int day;
};

// The inverse of DaysFromCivil.
CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    return {yearOfEra + era * 400 + (month <= 2), month, day};
}

int64_t SecondsOf(const std::tm& time) {
    return DaysFromCivil(time.tm_year + 1900, time.tm_mon + 1, time.tm_mday) * 86400 + time.tm_hour * 3600 +
           time.tm_min * 60 + time.tm_sec;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

}  // namespace

CalendarTime SystemCalendarNow() {
    std::time_t now = std::time(nullptr);
    std::tm local = *std::localtime(&now);
    std::tm utc = *std::gmtime(&now);
    // The local time's difference from UTC, which works alike on every system's C library.
    return {static_cast<int64_t>(now), static_cast<int>((SecondsOf(local) - SecondsOf(utc)) / 60)};
}

std::string FormatLocalTime(const CalendarTime& time) {
    int64_t local = time.unixSeconds + int64_t{time.utcOffsetMinutes} * 60;
    int64_t days = FloorDiv(local, 86400);
    int64_t secondOfDay = local - days * 86400;
    CivilDate date = CivilFromDays(days);
    int offset = time.utcOffsetMinutes;
    int magnitude = offset < 0 ? -offset : offset;
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02lld:%02lld:%02lld%c%02d:%02d", static_cast<long long>(date.year),
                  date.month, date.day, static_cast<long long>(secondOfDay / 3600),
                  static_cast<long long>(secondOfDay / 60 % 60), static_cast<long long>(secondOfDay % 60),
                  offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

}  // namespace pelorin
