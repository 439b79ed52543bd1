// TimeUtil in real time zones (the system's tzdata, chosen with TZ): a zone
// without daylight saving east of UTC, one with it west of UTC, one with a
// half-hour offset, and UTC itself.
#include <OskaBase/OskaBase.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

namespace {

using namespace Oska::Base;
using namespace Oska::Base::TimeUtil;

// Sets TZ for the scope and restores the previous setting afterwards.
class ScopedZone {
 public:
  explicit ScopedZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedZone() {
    old_ ? ::setenv("TZ", old_->c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::optional<std::string> old_;
};

// A device record's fields as "year-month-day hour:minute:second".
template <typename Record>
std::string Fields(const Record& r) {
  return StringUtil::str_fmt("%d-%d-%d %d:%d:%d", static_cast<int>(r.year), static_cast<int>(r.month),
                             static_cast<int>(r.day), static_cast<int>(r.hour), static_cast<int>(r.minute),
                             static_cast<int>(r.second));
}

constexpr std::int64_t k20240501T1030Z = 1714559400;  // 2024-05-01 10:30:00 UTC
constexpr std::int64_t k20240101Z = 1704067200;       // 2024-01-01 00:00:00 UTC
constexpr std::int64_t k20240310T0700Z = 1710054000;  // New York springs forward
constexpr std::int64_t kLastTime = 32535215999;       // 3000-12-31 23:59:59 UTC

TEST(TimeZeroForms, NegativeValuesGiveTheZeroForms) {
  ScopedZone zone("Asia/Shanghai");
  EXPECT_EQ(TimeT2StrDatetime(-1), "0000-00-00 00:00:00");
  EXPECT_EQ(TimeT2StrShortDatetime(-1), "00000000000000");
  EXPECT_EQ(TimeT2StrTime(-1), "00:00:00");
  EXPECT_EQ(TimeT2StrDate(-1), "0000-00-00");
  EXPECT_EQ(TimeT2StrUTCDatetime(-1), "0000-00-00T00:00:00Z");
  EXPECT_EQ(TimeT2StrUTCTimeStamp(-1), "0000-00-00 00:00:00");
  EXPECT_EQ(TimeT2LocalTimeStrISO(-5), "0000-00-00T00:00:00Z");
  EXPECT_EQ(Fields(TimeT2DVRTime(-1)), "0-0-0 0:0:0");
  EXPECT_EQ(Fields(TimeT2UTCDVRTime(-1)), "0-0-0 0:0:0");
  EXPECT_EQ(Fields(TimeT2DVRTimeEx(-1)), "0-0-0 0:0:0");
  std::string text = "unchanged";
  int offset = 42;
  EXPECT_FALSE(TimeT2LocalTime(text, offset, -1));
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(offset, 42);
}

TEST(TimeZeroForms, MomentsBeyondTheCalendarRangeGiveTheZeroForms) {
  ScopedZone zone("UTC");
  EXPECT_EQ(TimeT2StrDatetime(kLastTime), "3000-12-31 23:59:59");
  EXPECT_EQ(TimeT2StrDatetime(kLastTime + 1), "0000-00-00 00:00:00");
  EXPECT_EQ(TimeT2StrUTCDatetime(INT64_MAX), "0000-00-00T00:00:00Z");
  EXPECT_EQ(TimeT2DVRTimeV30(kLastTime + 1).year, 0);
  EXPECT_EQ(StrDatetime2TimeT("3001-01-01 00:00:00"), -1);
  std::string text;
  int offset = 0;
  EXPECT_FALSE(TimeT2LocalTime(text, offset, kLastTime + 1));
}

TEST(LocalTextForms, FormatAndParseInAZoneEastOfUtc) {
  ScopedZone zone("Asia/Shanghai");
  EXPECT_EQ(TimeT2StrDatetime(k20240501T1030Z), "2024-05-01 18:30:00");
  EXPECT_EQ(TimeT2StrShortDatetime(k20240501T1030Z), "20240501183000");
  EXPECT_EQ(TimeT2StrTime(k20240501T1030Z), "18:30:00");
  EXPECT_EQ(TimeT2StrDate(k20240501T1030Z), "2024-05-01");
  EXPECT_EQ(StrDatetime2TimeT("2024-05-01 18:30:00"), k20240501T1030Z);
  EXPECT_EQ(StrDatetime2TimeT("2024-5-1 18:30:0"), k20240501T1030Z);
  EXPECT_EQ(StrTime2TimeT("00:00:00"), 230400);  // 1970-01-03 16:00:00 UTC
  EXPECT_EQ(StrTime2TimeT("18:30"), 230400 + 18 * 3600 + 30 * 60);
}

TEST(LocalTextForms, ScannedPrefixesAreNormalisedAndNoFieldIsMinusOne) {
  ScopedZone zone("Asia/Shanghai");
  // "2024" leaves month and day 0: the day before the 1st of the month before January.
  EXPECT_EQ(StrDatetime2TimeT("2024"), StrDatetime2TimeT("2023-11-30 00:00:00"));
  EXPECT_EQ(StrDatetime2TimeT("2024-05-01"), StrDatetime2TimeT("2024-05-01 00:00:00"));
  EXPECT_EQ(StrDatetime2TimeT("2024-04-31 00:00:00"), StrDatetime2TimeT("2024-05-01 00:00:00"));
  EXPECT_EQ(StrDatetime2TimeT("abc"), -1);
  EXPECT_EQ(StrDatetime2TimeT(""), -1);
  EXPECT_EQ(StrTime2TimeT("x"), -1);
  EXPECT_EQ(StrDatetime2TimeT("1969-12-31 23:59:59"), -1);  // before 1970 in any zone east of UTC
  EXPECT_EQ(StrDatetime2TimeT("-2147483648-1-1 0:0:0"), -1);
}

TEST(ValidatingParsers, AcceptOnlyTheFixedForms) {
  ScopedZone zone("Asia/Shanghai");
  for (const char* ok : {"2024-05-01 18:30:00", "2024-5-1 7:5:9", "2024-05-01\t18:30:00",
                         "2024-04-31 10:00:00", "2024-0-0 0:0:0", "2001-1-1  1:1:1"}) {
    EXPECT_NE(StrDatetime2TimeTEX(ok), -1) << ok;
    EXPECT_EQ(StrDatetime2TimeTEX(ok), StrDatetime2TimeT(ok)) << ok;
  }
  for (const char* bad :
       {"2024-05-01 24:00:00", "2024-05-01 18:60:00", "0999-05-01 18:30:00",
        "2024-13-01 10:00:00", "2024-05-32 10:00:00", " 2024-05-01 18:30:00",
        "2024-05-01 18:30:00 ", "2024-05-01T18:30:00", "2024-05-01", "12024-05-01 18:30:00",
        "2024-05-01 18:30:00\n", "2024-05-01 18:30", ""}) {
    EXPECT_EQ(StrDatetime2TimeTEX(bad), -1) << bad;
  }
  EXPECT_EQ(StrDatetime2TimeTEX("2024-05-01" + std::string(300, ' ') + "18:30:00"), -1);

  EXPECT_EQ(StrUTCDatetime2TimeTEX("2024-05-01T10:30:00Z"), k20240501T1030Z);
  for (const char* bad : {"2024-05-01 18:30:00", "2024-05-01T18:30:00", "2024-05-01T18:30:00z",
                          "2024-05-01T18:30:00Z ", "2024-05-01T24:00:00Z"}) {
    EXPECT_EQ(StrUTCDatetime2TimeTEX(bad), -1) << bad;
  }
}

TEST(UtcTextForms, RoundTripInZonesWithoutDaylightSaving) {
  for (const char* name : {"UTC", "Asia/Shanghai", "Asia/Kolkata"}) {
    ScopedZone zone(name);
    EXPECT_EQ(TimeT2StrUTCDatetime(86400), "1970-01-02T00:00:00Z") << name;
    EXPECT_EQ(StrUTCDatetime2TimeT("1970-01-02T00:00:00Z"), 86400) << name;
    EXPECT_EQ(TimeT2StrUTCTimeStamp(k20240501T1030Z), "2024-05-01 10:30:00") << name;
    EXPECT_EQ(StrUTCTimeStamp2TimeT("2024-05-01 10:30:00"), k20240501T1030Z) << name;
    EXPECT_EQ(StrUTCDatetime2TimeT("nonsense"), -1) << name;
  }
}

TEST(Offsets, TextFormOfSecondsEastOfUtc) {
  EXPECT_EQ(TimeDifference2Str(28800), "+08:00");
  EXPECT_EQ(TimeDifference2Str(-18000), "-05:00");
  EXPECT_EQ(TimeDifference2Str(19800), "+05:30");
  EXPECT_EQ(TimeDifference2Str(-19800), "-05:30");
  EXPECT_EQ(TimeDifference2Str(0), "+00:00");
  EXPECT_EQ(TimeDifference2Str(-59), "-00:00");
  EXPECT_EQ(TimeDifference2Str(3599), "+00:59");
  EXPECT_EQ(TimeDifference2Str(100 * 3600), "+100:00");
  EXPECT_EQ(TimeDifference2Str(INT_MIN), "-596523:14");
}

TEST(Offsets, LocalTimeCarriesTheWallClockOffsetIncludingDaylightSaving) {
  struct Case {
    const char* zone;
    std::int64_t t;
    const char* text;
    int offset;
  };
  const Case cases[] = {
      {"Asia/Shanghai", k20240501T1030Z, "2024-05-01 18:30:00", 28800},
      {"Asia/Kolkata", k20240501T1030Z, "2024-05-01 16:00:00", 19800},
      {"UTC", k20240501T1030Z, "2024-05-01 10:30:00", 0},
      {"America/New_York", k20240501T1030Z, "2024-05-01 06:30:00", -14400},  // summer
      {"America/New_York", k20240101Z, "2023-12-31 19:00:00", -18000},       // winter
      {"America/New_York", k20240310T0700Z - 1, "2024-03-10 01:59:59", -18000},
      {"America/New_York", k20240310T0700Z, "2024-03-10 03:00:00", -14400},
  };
  for (const Case& c : cases) {
    ScopedZone zone(c.zone);
    std::string text;
    int offset = 1;
    ASSERT_TRUE(TimeT2LocalTime(text, offset, c.t)) << c.zone;
    EXPECT_EQ(text, c.text) << c.zone;
    EXPECT_EQ(offset, c.offset) << c.zone << " " << c.text;
  }
}

TEST(IsoTexts, FormatWithOffsetAndParseBothSigns) {
  {
    ScopedZone zone("Asia/Shanghai");
    EXPECT_EQ(TimeT2LocalTimeStrISO(k20240501T1030Z), "2024-05-01T18:30:00+08:00");
    EXPECT_EQ(ISODatetime2TimeT("2024-05-01T18:30:00+08:00"), k20240501T1030Z);
    EXPECT_EQ(ISODatetime2TimeT("2024-05-01T05:30:00-05:00"), k20240501T1030Z);
    EXPECT_EQ(ISODatetime2TimeT("2024-05-01T16:00:00+05:30"), k20240501T1030Z);
    // No offset: local standard time. "Z": UTC.
    EXPECT_EQ(ISODatetime2TimeT("2024-05-01T18:30:00"), k20240501T1030Z);
    EXPECT_EQ(ISODatetime2TimeT("2024-05-01T10:30:00Z"), k20240501T1030Z);
    EXPECT_EQ(ISODatetime2TimeT("garbage"), -1);
    EXPECT_EQ(ISODatetime2TimeT("2024-05-01T18:30:00+2147483647:00"), -1);
  }
  {
    // Across New York's daylight-saving change the offset texts stay exact.
    ScopedZone zone("America/New_York");
    EXPECT_EQ(TimeT2LocalTimeStrISO(k20240501T1030Z), "2024-05-01T06:30:00-04:00");
    EXPECT_EQ(TimeT2LocalTimeStrISO(k20240101Z), "2023-12-31T19:00:00-05:00");
    EXPECT_EQ(ISODatetime2TimeT("2024-05-01T06:30:00-04:00"), k20240501T1030Z);
    EXPECT_EQ(ISODatetime2TimeT("2023-12-31T19:00:00-05:00"), k20240101Z);
    EXPECT_EQ(ISODatetime2TimeT("2024-05-01T18:30:00+08:00"), k20240501T1030Z);
  }
  EXPECT_EQ(LocalTime2TimeStrISO("2024-05-01 18:30:00", -18000), "2024-05-01T18:30:00-05:00");
  EXPECT_EQ(LocalTime2TimeStrISO("a b c", 0), "aTbTc+00:00");
}

TEST(IsoTexts, LocalTimeWithAnOffsetNamesTheSameMomentInEveryZone) {
  for (const char* name : {"UTC", "Asia/Shanghai", "Asia/Kolkata", "America/New_York"}) {
    ScopedZone zone(name);
    EXPECT_EQ(LocalTime2TimeT("2024-01-01 08:00:00", 28800), k20240101Z) << name;
    EXPECT_EQ(LocalTime2TimeT("2023-12-31 19:00:00", -18000), k20240101Z) << name;
    EXPECT_EQ(LocalTime2TimeT("", 0), -1) << name;
  }
}

TEST(GotoDay, ReturnsLocalMidnightOfTheDay) {
  ScopedZone zone("Asia/Shanghai");
  const std::int64_t today = GotoDay(0);
  EXPECT_EQ(TimeT2StrTime(today), "00:00:00");
  EXPECT_EQ(TimeT2StrDate(today), TimeT2StrDate(std::time(nullptr)));
  EXPECT_EQ(GotoDay(1) - today, 86400);
  EXPECT_EQ(today - GotoDay(-1), 86400);
  EXPECT_EQ(TimeT2StrTime(GotoDay(400)), "00:00:00");
  // A count whose product with 86400 leaves 32 bits does not wrap.
  EXPECT_GT(GotoDay(30000), GotoDay(29999));
}

TEST(DeviceRecords, RoundTripLocalFields) {
  ScopedZone zone("America/New_York");
  for (const std::int64_t t : {k20240501T1030Z, k20240101Z, k20240310T0700Z - 1, k20240310T0700Z}) {
    const DvrTime r = TimeT2DVRTime(t);
    EXPECT_EQ(DVRTime2TimeT(r), t);
    const DvrTimeEx ex = TimeT2DVRTimeEx(t);
    EXPECT_EQ(DVRTime2TimeTEx(ex), t);
    EXPECT_EQ(ex.reserved, 0);
    const DvrTimeV30 v30 = TimeT2DVRTimeV30(t);
    EXPECT_EQ(v30.year, r.year);
    EXPECT_EQ(v30.second, r.second);
    for (const std::uint8_t b : v30.reserved) EXPECT_EQ(b, 0);
  }
  EXPECT_EQ(Fields(TimeT2DVRTime(k20240501T1030Z)), "2024-5-1 6:30:0");
  // Fields are not range-checked: the runtime normalises them.
  EXPECT_EQ(DVRTime2TimeT(DvrTime{2023, 13, 1, 0, 0, 0}), DVRTime2TimeT(DvrTime{2024, 1, 1, 0, 0, 0}));
  EXPECT_EQ(DVRTime2TimeT(DvrTime{INT_MIN, 1, 1, 0, 0, 0}), -1);
}

TEST(DeviceRecords, UtcRecordsShiftByWholeHoursOfTheOffset) {
  {
    ScopedZone zone("Asia/Shanghai");
    const DvrTime utc = TimeT2UTCDVRTime(k20240501T1030Z);
    EXPECT_EQ(Fields(utc), "2024-5-1 10:30:0");
    EXPECT_EQ(UTCDVRTime2TimeT(utc), k20240501T1030Z);
  }
  {
    // +5:30 shifts by 5 hours only: 10:30 becomes 15:30 IST, 10:00 UTC.
    ScopedZone zone("Asia/Kolkata");
    EXPECT_EQ(UTCDVRTime2TimeT(TimeT2UTCDVRTime(k20240501T1030Z)), k20240501T1030Z - 1800);
    EXPECT_EQ(UTCDVRTime2TimeT(DvrTime{2024, 5, 1, INT_MAX, 0, 0}), -1);
  }
}

TEST(DeviceRecords, CompactRecordHoldsYearsBeyond2038) {
  ScopedZone zone("UTC");
  const std::int64_t t = StrDatetime2TimeT("2200-06-15 12:34:56");
  ASSERT_GT(t, static_cast<std::int64_t>(INT32_MAX));
  const DvrTimeEx ex = TimeT2DVRTimeEx(t);
  EXPECT_EQ(Fields(ex), "2200-6-15 12:34:56");
  EXPECT_EQ(DVRTime2TimeTEx(ex), t);
  EXPECT_EQ(TimeT2StrDatetime(t), "2200-06-15 12:34:56");
  // The byte layout a device reads.
  unsigned char bytes[sizeof ex];
  std::memcpy(bytes, &ex, sizeof ex);
  EXPECT_EQ(bytes[0] | (bytes[1] << 8), 2200);
  EXPECT_EQ(bytes[2], 6);
  EXPECT_EQ(bytes[6], 56);
  EXPECT_EQ(bytes[7], 0);
}

}  // namespace
