// Time conversion: between time values (signed 64-bit seconds since
// 1970-01-01 00:00:00 UTC), fixed text forms in local time or UTC, and the
// broken-down records that video devices exchange.
//
// Local time is the process's current time zone as the C runtime sees it
// (TZ on Linux). The local formatters, TimeT2DVRTime, TimeT2DVRTimeV30,
// GotoDay, TimeT2LocalTime, TimeT2LocalTimeStrISO, LocalTime2TimeStrISO and
// ISODatetime2TimeT re-read the zone setting first (tzset), so a change of
// the setting takes effect on their next call; the others use the setting
// as the runtime last read it.
//
// Range. A negative time value means "no time": formatters return their
// zero form, record builders an all-zero record, parsers return -1 for
// texts that name a moment before 1970. The calendar range is the one the
// Windows runtime has, on every platform alike: up to 3000-12-31 23:59:59
// UTC (32535215999). A later value cannot be broken down (formatters give
// the zero form, record builders an all-zero record) and a later moment
// cannot be made (parsers give -1).
//
// Stateless; every function may be called from any thread. They share the
// process-wide zone setting, which tzset re-reads.
#pragma once

#include <OskaBase/Export.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace Oska {
namespace Base {

// A device time, six 32-bit fields (24 bytes): full year (2024), month 1-12,
// day 1-31, hour, minute, second.
struct DvrTime {
  std::int32_t year;
  std::int32_t month;
  std::int32_t day;
  std::int32_t hour;
  std::int32_t minute;
  std::int32_t second;
};

// A compact device time (8 bytes): 16-bit full year at offset 0, then month,
// day, hour, minute, second one byte each at offsets 2-6; byte 7 is zero.
struct DvrTimeEx {
  std::uint16_t year;
  std::uint8_t month;
  std::uint8_t day;
  std::uint8_t hour;
  std::uint8_t minute;
  std::uint8_t second;
  std::uint8_t reserved;
};

// The same fields as DvrTimeEx at the same offsets, then five zero bytes
// (7-11): 12 bytes.
struct DvrTimeV30 {
  std::uint16_t year;
  std::uint8_t month;
  std::uint8_t day;
  std::uint8_t hour;
  std::uint8_t minute;
  std::uint8_t second;
  std::uint8_t reserved[5];
};

static_assert(sizeof(DvrTime) == 24, "DvrTime is six 32-bit fields");
static_assert(sizeof(DvrTimeEx) == 8, "DvrTimeEx is 8 bytes");
static_assert(sizeof(DvrTimeV30) == 12, "DvrTimeV30 is 12 bytes");
static_assert(offsetof(DvrTimeEx, month) == 2 && offsetof(DvrTimeEx, second) == 6 &&
                  offsetof(DvrTimeEx, reserved) == 7,
              "DvrTimeEx layout");
static_assert(offsetof(DvrTimeV30, month) == 2 && offsetof(DvrTimeV30, second) == 6 &&
                  offsetof(DvrTimeV30, reserved) == 7,
              "DvrTimeV30 layout");
static_assert(offsetof(DvrTime, second) == 20, "DvrTime layout");

namespace TimeUtil {

using ::Oska::Base::DvrTime;
using ::Oska::Base::DvrTimeEx;
using ::Oska::Base::DvrTimeV30;

// Text forms (fixed width, ASCII), with their zero forms for negative values:
//   date-time        "%Y-%m-%d %H:%M:%S"   2024-05-01 18:30:00   "0000-00-00 00:00:00"
//   short date-time  "%Y%m%d%H%M%S"        20240501183000        "00000000000000"
//   time             "%H:%M:%S"            18:30:00              "00:00:00"
//   date             "%Y-%m-%d"            2024-05-01            "0000-00-00"
//   UTC date-time    "%Y-%m-%dT%H:%M:%SZ"  2024-05-01T10:30:00Z  "0000-00-00T00:00:00Z"
//   ISO with offset  2024-05-01T18:30:00+08:00                   "0000-00-00T00:00:00Z"
//
// The parsers scan with sscanf rules: a text that yields at least its first
// field is converted, missing fields taking 0 before the year (-1900) and
// month (-1) adjustment, and the runtime normalises what results
// ("2024" is local midnight at the start of 2023-11-30). A text that yields
// no field gives -1 ("abc" -> -1).

// Local date-time text -> time value; the runtime decides whether daylight
// saving applies. -1 for no field or an unrepresentable moment.
OSKABASE_API std::int64_t StrDatetime2TimeT(const std::string& text);

// As StrDatetime2TimeT, for a text that matches the whole pattern
//   [1-9]\d{0,3}-(0?\d|1[0-2])-(0?\d|[12]\d|3[01])\s+(0?\d|1\d|2[0-3]):(0?\d|[1-5]\d):(0?\d|[1-5]\d)
// and -1 for any other. Month 0, day 0 and days the month lacks pass the
// pattern and are normalised. A text longer than 256 characters is rejected
// without matching (only padding blanks make a valid text that long), which
// bounds the matcher's work on hostile input.
//   accepted: "2024-05-01 18:30:00", "2024-5-1 7:5:9", "2024-05-01\t18:30:00"
//   rejected: "2024-05-01 24:00:00", "0999-05-01 18:30:00", "2024-13-01 10:00:00",
//             " 2024-05-01 18:30:00", "2024-05-01 18:30:00 "
OSKABASE_API std::int64_t StrDatetime2TimeTEX(const std::string& text);

OSKABASE_API std::string TimeT2StrDatetime(std::int64_t t);
OSKABASE_API std::string TimeT2StrShortDatetime(std::int64_t t);

// Time-of-day text "%02d:%02d:%02d" (at most two digits a field) -> the time
// value of that time of day on 1970-01-04, local time. In a UTC+8 zone
// "00:00:00" gives 1970-01-03 16:00:00 UTC (230400). -1 for no field.
OSKABASE_API std::int64_t StrTime2TimeT(const std::string& text);

OSKABASE_API std::string TimeT2StrTime(std::int64_t t);
OSKABASE_API std::string TimeT2StrDate(std::int64_t t);

// Local fields of t (all-zero record for a negative or unbreakable t).
OSKABASE_API DvrTime TimeT2DVRTime(std::int64_t t);
OSKABASE_API DvrTimeV30 TimeT2DVRTimeV30(std::int64_t t);
// Record holding local fields -> time value (daylight saving decided by the
// runtime; fields are not range-checked, the runtime normalises them). -1
// when the moment cannot be represented.
OSKABASE_API std::int64_t DVRTime2TimeT(const DvrTime& record);
// As TimeT2DVRTime into the compact record, without re-reading the zone.
// A moment in 2200 stores 2200 in the 16-bit year.
OSKABASE_API DvrTimeEx TimeT2DVRTimeEx(std::int64_t t);
OSKABASE_API std::int64_t DVRTime2TimeTEx(const DvrTimeEx& record);

// UTC fields of t (all-zero record for a negative or unbreakable t).
OSKABASE_API DvrTime TimeT2UTCDVRTime(std::int64_t t);
// Record holding UTC fields -> time value: the record's hour is shifted by
// the present offset of local standard time truncated to whole hours and
// the result is read as local time. Offset minutes are dropped, so in a
// UTC+5:30 zone the result is 30 minutes off; a zone whose offset at the
// record's date differs from today's is off by the difference.
OSKABASE_API std::int64_t UTCDVRTime2TimeT(const DvrTime& record);

// Local midnight at the start of the day `days` from today (0 today, -1
// yesterday, 1 tomorrow). Day counts beyond +-24855 are computed in 64 bits
// rather than wrapping.
OSKABASE_API std::int64_t GotoDay(int days);

// UTC date-time text "%d-%d-%dT%d:%d:%dZ" -> time value. The fields are read
// as local standard time and shifted by today's offset, so the result is the
// moment they name in UTC as long as the offset at that date equals
// today's. -1 for no field or an unrepresentable moment.
OSKABASE_API std::int64_t StrUTCDatetime2TimeT(const std::string& text);
// As StrUTCDatetime2TimeT, for a text matching the pattern of
// StrDatetime2TimeTEX with "T" in place of the blanks and a final "Z";
// -1 for any other ("2024-05-01 18:30:00" and "2024-05-01T18:30:00" fail).
OSKABASE_API std::int64_t StrUTCDatetime2TimeTEX(const std::string& text);
//   TimeT2StrUTCDatetime(86400) == "1970-01-02T00:00:00Z"
OSKABASE_API std::string TimeT2StrUTCDatetime(std::int64_t t);
// Date-time text holding UTC ("%d-%d-%d %d:%d:%d") -> time value, read as
// StrUTCDatetime2TimeT reads its text. -1 for no field or an
// unrepresentable moment.
OSKABASE_API std::int64_t StrUTCTimeStamp2TimeT(const std::string& text);
// The date-time text of t's UTC fields.
OSKABASE_API std::string TimeT2StrUTCTimeStamp(std::int64_t t);

// Local date-time text of t, and the offset of the local wall clock from
// the UTC wall clock at t in seconds, daylight saving included (28800 in
// UTC+8; 7200 in a UTC+1 zone in summer). False, leaving both outputs
// unchanged, for a negative or unbreakable t.
OSKABASE_API bool TimeT2LocalTime(std::string& text, int& offset, std::int64_t t);

// Offset text: sign, two-digit hours, colon, two-digit minutes; remaining
// seconds are dropped. 28800 -> "+08:00", -18000 -> "-05:00", 19800 ->
// "+05:30", 0 -> "+00:00", -59 -> "-00:00", 3599 -> "+00:59"; hours above
// 99 take three or more digits.
OSKABASE_API std::string TimeDifference2Str(int seconds);

// Date-time text read as the wall clock of a zone `offset` seconds east of
// UTC -> time value ("2024-01-01 08:00:00" with 28800 is 2024-01-01
// 00:00:00 UTC), exact while the local zone's offset at that date equals
// today's standard offset. -1 for no field, an unrepresentable moment, or a
// moment before 1970.
OSKABASE_API std::int64_t LocalTime2TimeT(const std::string& text, int offset);

// ISO text of t in local time with its offset:
// "2024-05-01T18:30:00+08:00" in UTC+8 for 2024-05-01 10:30:00 UTC;
// "0000-00-00T00:00:00Z" for a negative or unbreakable t.
OSKABASE_API std::string TimeT2LocalTimeStrISO(std::int64_t t);

// The text with every blank turned into "T", followed by the offset text; not
// validated. ("2024-05-01 18:30:00", -18000) -> "2024-05-01T18:30:00-05:00";
// ("a b c", 0) -> "aTbTc+00:00".
OSKABASE_API std::string LocalTime2TimeStrISO(const std::string& text, int offset);

// ISO text -> time value. With an offset ("+08:00", "-05:00") the result is
// the moment the text names (both 2024-05-01T18:30:00+08:00 and
// 2024-05-01T05:30:00-05:00 give 2024-05-01 10:30:00 UTC). A text ending in
// "Z" is UTC. A text with neither is read as local standard time. -1 for no
// field, an unrepresentable moment, or a moment before 1970.
OSKABASE_API std::int64_t ISODatetime2TimeT(const std::string& text);

}  // namespace TimeUtil
}  // namespace Base
}  // namespace Oska
