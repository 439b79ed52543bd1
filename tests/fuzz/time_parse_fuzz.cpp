// The scanning and validating time parsers on arbitrary text, in a zone
// with a half-hour offset: no crash, results either -1 or a representable
// moment, the validating parsers agreeing with the scanning ones, and what
// a parser accepts formatting back to the same moment.
#include <OskaBase/TimeUtil.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr std::int64_t kLastTime = 32535215999;

void Expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
  }
}

bool Valid(std::int64_t t) { return t == -1 || (t >= 0 && t <= kLastTime); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ::setenv("TZ", "Asia/Kolkata", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  using namespace Oska::Base::TimeUtil;
  const std::string text(reinterpret_cast<const char*>(data), size);

  const std::int64_t local = StrDatetime2TimeT(text);
  Expect(Valid(local), "StrDatetime2TimeT range");
  const std::int64_t checked = StrDatetime2TimeTEX(text);
  Expect(checked == -1 || checked == local, "StrDatetime2TimeTEX agrees");
  if (checked != -1) {
    Expect(StrDatetime2TimeT(TimeT2StrDatetime(checked)) == checked, "local round trip");
  }
  const std::int64_t utc = StrUTCDatetime2TimeT(text);
  Expect(Valid(utc), "StrUTCDatetime2TimeT range");
  const std::int64_t utc_checked = StrUTCDatetime2TimeTEX(text);
  Expect(utc_checked == -1 || utc_checked == utc, "StrUTCDatetime2TimeTEX agrees");
  if (utc_checked != -1) {
    Expect(StrUTCDatetime2TimeT(TimeT2StrUTCDatetime(utc_checked)) == utc_checked,
           "UTC round trip");
  }
  Expect(Valid(StrUTCTimeStamp2TimeT(text)), "StrUTCTimeStamp2TimeT range");
  Expect(Valid(StrTime2TimeT(text)), "StrTime2TimeT range");
  const int offset = size >= 4 ? static_cast<int>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                                  (static_cast<unsigned>(data[3]) << 24))
                               : 0;
  Expect(Valid(LocalTime2TimeT(text, offset)), "LocalTime2TimeT range");
  const std::int64_t iso = ISODatetime2TimeT(text);
  Expect(Valid(iso), "ISODatetime2TimeT range");
  const std::string iso_text = LocalTime2TimeStrISO(text, offset);
  Expect(iso_text.size() == text.size() + TimeDifference2Str(offset).size(), "ISO text length");
  if (iso >= 0) {
    std::string back;
    int back_offset = 0;
    Expect(TimeT2LocalTime(back, back_offset, iso), "breakdown of a parsed moment");
  }
  return 0;
}

// Building a regular expression allocates many blocks of many sizes; a
// smaller quarantine keeps the fuzzer's memory flat over a long run.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }
