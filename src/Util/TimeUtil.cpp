// TimeUtil: time values, fixed text forms and device records, converted with
// the C runtime's calendar calls (through Util/CalendarCalls.h).
//
// Offsets are worked out the runtime's way rather than from zone data: the
// "current offset" is now minus the UTC breakdown of now made back into a
// time value as if it were local standard time. It is the offset of local
// standard time today, whatever date is being converted; the parsers of UTC
// and offset texts depend on that, and their contracts say so.
#include <OskaBase/TimeUtil.h>
#include <OskaBase/StringUtil.h>

#include "Util/CalendarCalls.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <regex>

namespace Oska {
namespace Base {
namespace TimeUtil {
namespace {

const char kZeroDatetime[] = "0000-00-00 00:00:00";
const char kZeroShortDatetime[] = "00000000000000";
const char kZeroTime[] = "00:00:00";
const char kZeroDate[] = "0000-00-00";
const char kZeroUtcDatetime[] = "0000-00-00T00:00:00Z";

// Pieces of the validating patterns.
#define OSKA_DATE_PATTERN "[1-9]\\d{0,3}-(0?\\d|1[0-2])-(0?\\d|[12]\\d|3[01])"
#define OSKA_TIME_PATTERN "(0?\\d|1\\d|2[0-3]):(0?\\d|[1-5]\\d):(0?\\d|[1-5]\\d)"
const char kLocalPattern[] = OSKA_DATE_PATTERN "\\s+" OSKA_TIME_PATTERN;
const char kUtcPattern[] = OSKA_DATE_PATTERN "T" OSKA_TIME_PATTERN "Z";
#undef OSKA_DATE_PATTERN
#undef OSKA_TIME_PATTERN

// Longest text handed to the regular-expression matcher; its backtracking
// recurses once per character.
constexpr std::size_t kLongestValidatedText = 256;

bool FitsInt(long long v) { return v >= INT_MIN && v <= INT_MAX; }

// Full year and 1-based month -> the breakdown's fields. False when the
// adjusted value leaves int (a year near INT_MIN): no moment to make.
bool SetDate(std::tm* tm, long long year, long long month, long long day) {
  const long long y = year - 1900;
  const long long m = month - 1;
  if (!FitsInt(y) || !FitsInt(m) || !FitsInt(day)) return false;
  tm->tm_year = static_cast<int>(y);
  tm->tm_mon = static_cast<int>(m);
  tm->tm_mday = static_cast<int>(day);
  return true;
}

// The field scan: six fields with `format`, cleared to 0 first. False when
// no field converts or the year / month adjustment overflows.
bool ScanDatetime(const std::string& text, const char* format, std::tm* tm) {
  std::memset(tm, 0, sizeof *tm);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  const int fields =
      std::sscanf(text.c_str(), format, &year, &month, &day, &hour, &minute, &second);
  if (fields < 1) return false;
  if (!SetDate(tm, year, month, day)) return false;
  tm->tm_hour = hour;
  tm->tm_min = minute;
  tm->tm_sec = second;
  return true;
}

// Seconds that local standard time is ahead of UTC now (positive east).
std::int64_t CurrentOffset() {
  const std::int64_t now = calendar::Now();
  std::tm utc{};
  if (!calendar::UtcBreakdown(now, &utc)) return 0;
  utc.tm_isdst = 0;
  std::int64_t as_local = 0;
  if (!calendar::MakeTimeRaw(&utc, &as_local)) return 0;
  return now - as_local;
}

std::int64_t InRangeOrMinusOne(std::int64_t t) { return calendar::InRange(t) ? t : -1; }

// Reads the scanned fields as local standard time and shifts them by
// `shift`: the parsers of UTC and offset texts.
std::int64_t ShiftedStandardTime(std::tm* tm, std::int64_t shift) {
  tm->tm_isdst = 0;
  std::int64_t t = 0;
  if (!calendar::MakeTimeRaw(tm, &t)) return -1;
  return InRangeOrMinusOne(t + shift);
}

template <std::size_t N>
std::string FormatLocal(std::int64_t t, const char* format, const char* zero) {
  if (t < 0) return zero;
  calendar::ReloadZone();
  std::tm tm{};
  if (!calendar::LocalBreakdown(t, &tm)) return zero;
  char buffer[N] = {};
  if (std::strftime(buffer, sizeof buffer, format, &tm) == 0) return zero;
  return buffer;
}

template <std::size_t N>
std::string FormatUtc(std::int64_t t, const char* format, const char* zero) {
  if (t < 0) return zero;
  std::tm tm{};
  if (!calendar::UtcBreakdown(t, &tm)) return zero;
  char buffer[N] = {};
  if (std::strftime(buffer, sizeof buffer, format, &tm) == 0) return zero;
  return buffer;
}

bool MatchesForm(const std::string& text, const char* pattern) {
  if (text.size() > kLongestValidatedText) return false;
  const std::regex form(pattern);  // built on every call; nothing is cached
  return std::regex_match(text, form);
}

// A record with 16-bit year and 8-bit fields, filled from a breakdown.
template <typename Record>
void FillCompact(const std::tm& tm, Record* r) {
  r->year = static_cast<std::uint16_t>(tm.tm_year + 1900);
  r->month = static_cast<std::uint8_t>(tm.tm_mon + 1);
  r->day = static_cast<std::uint8_t>(tm.tm_mday);
  r->hour = static_cast<std::uint8_t>(tm.tm_hour);
  r->minute = static_cast<std::uint8_t>(tm.tm_min);
  r->second = static_cast<std::uint8_t>(tm.tm_sec);
}

void FillFull(const std::tm& tm, DvrTime* r) {
  r->year = tm.tm_year + 1900;
  r->month = tm.tm_mon + 1;
  r->day = tm.tm_mday;
  r->hour = tm.tm_hour;
  r->minute = tm.tm_min;
  r->second = tm.tm_sec;
}

}  // namespace

// --- Local text forms.

std::int64_t StrDatetime2TimeT(const std::string& text) {
  std::tm tm;
  if (!ScanDatetime(text, "%d-%d-%d %d:%d:%d", &tm)) return -1;
  tm.tm_isdst = -1;
  return calendar::MakeTime(&tm);
}

std::int64_t StrDatetime2TimeTEX(const std::string& text) {
  if (!MatchesForm(text, kLocalPattern)) return -1;
  return StrDatetime2TimeT(text);
}

std::string TimeT2StrDatetime(std::int64_t t) {
  return FormatLocal<20>(t, "%Y-%m-%d %H:%M:%S", kZeroDatetime);
}

std::string TimeT2StrShortDatetime(std::int64_t t) {
  return FormatLocal<15>(t, "%Y%m%d%H%M%S", kZeroShortDatetime);
}

std::int64_t StrTime2TimeT(const std::string& text) {
  int hour = 0, minute = 0, second = 0;
  if (std::sscanf(text.c_str(), "%02d:%02d:%02d", &hour, &minute, &second) < 1) return -1;
  std::tm tm{};
  tm.tm_year = 70;
  tm.tm_mon = 0;
  tm.tm_mday = 4;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return calendar::MakeTime(&tm);
}

std::string TimeT2StrTime(std::int64_t t) { return FormatLocal<20>(t, "%H:%M:%S", kZeroTime); }

std::string TimeT2StrDate(std::int64_t t) { return FormatLocal<20>(t, "%Y-%m-%d", kZeroDate); }

// --- Device records.

DvrTime TimeT2DVRTime(std::int64_t t) {
  DvrTime record{};
  if (t < 0) return record;
  calendar::ReloadZone();
  std::tm tm{};
  if (calendar::LocalBreakdown(t, &tm)) FillFull(tm, &record);
  return record;
}

DvrTimeV30 TimeT2DVRTimeV30(std::int64_t t) {
  DvrTimeV30 record{};
  if (t < 0) return record;
  calendar::ReloadZone();
  std::tm tm{};
  if (calendar::LocalBreakdown(t, &tm)) FillCompact(tm, &record);
  return record;
}

std::int64_t DVRTime2TimeT(const DvrTime& record) {
  std::tm tm{};
  if (!SetDate(&tm, record.year, record.month, record.day)) return -1;
  tm.tm_hour = record.hour;
  tm.tm_min = record.minute;
  tm.tm_sec = record.second;
  tm.tm_isdst = -1;
  return calendar::MakeTime(&tm);
}

DvrTimeEx TimeT2DVRTimeEx(std::int64_t t) {
  DvrTimeEx record{};
  if (t < 0) return record;
  std::tm tm{};  // the zone as the runtime last read it
  if (calendar::LocalBreakdown(t, &tm)) FillCompact(tm, &record);
  return record;
}

std::int64_t DVRTime2TimeTEx(const DvrTimeEx& record) {
  std::tm tm{};
  SetDate(&tm, record.year, record.month, record.day);  // small fields: cannot overflow
  tm.tm_hour = record.hour;
  tm.tm_min = record.minute;
  tm.tm_sec = record.second;
  tm.tm_isdst = -1;
  return calendar::MakeTime(&tm);
}

DvrTime TimeT2UTCDVRTime(std::int64_t t) {
  DvrTime record{};
  if (t < 0) return record;
  std::tm tm{};
  if (calendar::UtcBreakdown(t, &tm)) FillFull(tm, &record);
  return record;
}

std::int64_t UTCDVRTime2TimeT(const DvrTime& record) {
  const std::int64_t whole_hours = CurrentOffset() / 3600;  // toward zero: drops minutes
  const long long hour = static_cast<long long>(record.hour) + whole_hours;
  std::tm tm{};
  if (!FitsInt(hour) || !SetDate(&tm, record.year, record.month, record.day)) return -1;
  tm.tm_hour = static_cast<int>(hour);
  tm.tm_min = record.minute;
  tm.tm_sec = record.second;
  tm.tm_isdst = -1;
  return calendar::MakeTime(&tm);
}

std::int64_t GotoDay(int days) {
  const std::int64_t t = calendar::Now() + static_cast<std::int64_t>(days) * 86400;
  calendar::ReloadZone();
  std::tm tm{};
  if (!calendar::LocalBreakdown(t, &tm)) return -1;
  tm.tm_sec = 0;
  tm.tm_min = 0;
  tm.tm_hour = 0;
  tm.tm_isdst = -1;
  return calendar::MakeTime(&tm);
}

// --- UTC text forms.

std::int64_t StrUTCDatetime2TimeT(const std::string& text) {
  std::tm tm;
  if (!ScanDatetime(text, "%d-%d-%dT%d:%d:%dZ", &tm)) return -1;
  return ShiftedStandardTime(&tm, CurrentOffset());
}

std::int64_t StrUTCDatetime2TimeTEX(const std::string& text) {
  if (!MatchesForm(text, kUtcPattern)) return -1;
  return StrUTCDatetime2TimeT(text);
}

std::string TimeT2StrUTCDatetime(std::int64_t t) {
  return FormatUtc<21>(t, "%Y-%m-%dT%H:%M:%SZ", kZeroUtcDatetime);
}

std::int64_t StrUTCTimeStamp2TimeT(const std::string& text) {
  std::tm tm;
  if (!ScanDatetime(text, "%d-%d-%d %d:%d:%d", &tm)) return -1;
  return ShiftedStandardTime(&tm, CurrentOffset());
}

std::string TimeT2StrUTCTimeStamp(std::int64_t t) {
  return FormatUtc<20>(t, "%Y-%m-%d %H:%M:%S", kZeroDatetime);
}

// --- Offsets and ISO texts.

bool TimeT2LocalTime(std::string& text, int& offset, std::int64_t t) {
  if (t < 0) return false;
  calendar::ReloadZone();
  std::tm local{};
  if (!calendar::LocalBreakdown(t, &local)) return false;
  char buffer[26] = {};
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  std::tm utc{};
  if (!calendar::UtcBreakdown(t, &utc)) return false;
  // Both wall clocks made into time values the same way; their difference
  // is the local clock's lead over UTC, daylight saving included.
  std::int64_t g = 0;
  std::int64_t l = 0;
  calendar::MakeTimeRaw(&utc, &g);
  local.tm_isdst = 0;
  calendar::MakeTimeRaw(&local, &l);
  offset = static_cast<int>(l - g);
  text = buffer;
  return true;
}

std::string TimeDifference2Str(int seconds) {
  const long long a = seconds < 0 ? -static_cast<long long>(seconds) : seconds;
  const int hours = static_cast<int>(a / 3600);
  const int minutes = static_cast<int>((a - static_cast<long long>(hours) * 3600) / 60);
  return StringUtil::str_fmt(seconds < 0 ? "-%02d" : "+%02d", hours) +
         StringUtil::str_fmt(":%02d", minutes);
}

std::int64_t LocalTime2TimeT(const std::string& text, int offset) {
  std::tm tm;
  if (!ScanDatetime(text, "%d-%d-%d %d:%d:%d", &tm)) return -1;
  return ShiftedStandardTime(&tm, CurrentOffset() - offset);
}

std::string TimeT2LocalTimeStrISO(std::int64_t t) {
  std::string text;
  int offset = 0;
  if (!TimeT2LocalTime(text, offset, t)) return kZeroUtcDatetime;
  std::replace(text.begin(), text.end(), ' ', 'T');
  return text + TimeDifference2Str(offset);
}

std::string LocalTime2TimeStrISO(const std::string& text, int offset) {
  calendar::ReloadZone();
  std::string iso = text;
  std::replace(iso.begin(), iso.end(), ' ', 'T');
  return iso + TimeDifference2Str(offset);
}

std::int64_t ISODatetime2TimeT(const std::string& text) {
  calendar::ReloadZone();
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int offset_hours = -1, offset_minutes = -1;
  int fields;
  long long hours, minutes;
  if (text.find('+') != std::string::npos) {
    fields = std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d+%d:%d", &year, &month, &day, &hour,
                         &minute, &second, &offset_hours, &offset_minutes);
    hours = offset_hours;
    minutes = offset_minutes;
  } else {
    fields = std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d-%d:%d", &year, &month, &day, &hour,
                         &minute, &second, &offset_hours, &offset_minutes);
    hours = offset_hours;
    minutes = offset_minutes;
    if (!(offset_hours == -1 && offset_minutes == -1)) {
      hours = -hours;
      minutes = -minutes;
    }
  }
  if (fields < 1) return -1;
  bool has_offset = !(offset_hours == -1 && offset_minutes == -1);
  if (!has_offset && !text.empty() && text.back() == 'Z') {
    // "...Z" names UTC: an offset of zero rather than local standard time.
    has_offset = true;
    hours = 0;
    minutes = 0;
  }
  const std::int64_t offset_seconds = has_offset ? (hours * 60 + minutes) * 60 : 0;
  std::tm tm{};
  if (!SetDate(&tm, year, month, day)) return -1;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  if (!has_offset) {
    tm.tm_isdst = 0;
    return calendar::MakeTime(&tm);
  }
  return ShiftedStandardTime(&tm, CurrentOffset() - offset_seconds);
}

}  // namespace TimeUtil
}  // namespace Base
}  // namespace Oska
