// timestamp.cpp - the round's end time as one number of seconds on a calendar
// of twelve 31-day months, and that number shown again as date and time text.
#include "platform/platform.h"
#include "scores/scores.h"
#include "text/text.h"

#include <cstdlib>

namespace {

// The absolute value of the number in characters from..from+count-1 (1-based).
int64_t numberAt(const std::string& text, size_t from, size_t count) {
    if (from < 1 || from > text.size()) return 0;
    return std::llabs(ReadInt64(text.substr(from - 1, count)));
}

// 1-12 for the English three-letter month abbreviation, 0 for anything else.
int monthOf(const std::string& upper) {
    static const char* const names[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (upper.size() < 6) return 0;
    const std::string abbrev = upper.substr(3, 3);
    for (int m = 0; m < 12; ++m)
        if (abbrev == names[m]) return m + 1;
    return 0;
}

// The number as at least `digits` digits with leading zeros, keeping the last ones.
std::string padded(int64_t value, int digits) {
    return Right(std::string(static_cast<size_t>(digits), '0') + std::to_string(value), digits);
}

} // namespace

// Seconds on the 12 x 31-day calendar for the given date text (today when empty)
// and the current time of day.
int64_t MakeTimestamp(const std::string& dateText) {
    const std::string d = Upper(dateText.empty() ? CurrentDateText() : dateText);
    const int64_t year = numberAt(d, 8, 4);
    const int64_t month = monthOf(d);
    const int64_t day = numberAt(d, 1, 2);
    const std::string t = CurrentTimeText();
    const int64_t hour = numberAt(t, 1, 2);
    const int64_t minute = numberAt(t, 4, 2);
    const int64_t second = numberAt(t, 7, 2);
    return ((((year * 12 + month) * 31 + day) * 24 + hour) * 60 + minute) * 60 + second;
}

// "YYYY-MM-DD" of a timestamp, the exact inverse of the date part above.
std::string TimestampDate(int64_t timestamp) {
    const int64_t n = timestamp / 86400;
    const int64_t day = ((n - 1) % 31) + 1;
    const int64_t q = (n - day) / 31;
    const int64_t month = ((q - 1) % 12) + 1;
    const int64_t year = (q - month) / 12;
    return padded(year, 4) + "-" + padded(month, 2) + "-" + padded(day, 2);
}

// "hh:mm:ss" of a timestamp.
std::string TimestampTime(int64_t timestamp) {
    int64_t t = timestamp;
    const int64_t s = t % 60;
    t /= 60;
    const int64_t m = t % 60;
    t /= 60;
    const int64_t h = t % 24;
    return padded(h, 2) + ":" + padded(m, 2) + ":" + padded(s, 2);
}
