// Showcase section "Text and time": the current time in every text form and
// as the device records hold it, then a short text through UTF-8, the Local
// code page and wide strings, and the conversion speed on a larger text.
#include "Section.h"
#include "TextTable.h"

#include <OskaBase/OskaBase.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

using namespace Oska::Base;

std::string Hex(const void* data, std::size_t size) {
  std::string out;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X", p[i]);
    if (i) out += ' ';
    out += b;
  }
  return out;
}

void TextAndTime() {
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  const char* tz = std::getenv("TZ");
  std::printf("Now is %lld seconds since 1970 (TZ=%s).\n", static_cast<long long>(now),
              tz ? tz : "(system zone)");
  oska_tooling::Table forms({"form", "text"});
  forms.AddRow({"date-time", TimeUtil::TimeT2StrDatetime(now)});
  forms.AddRow({"short date-time", TimeUtil::TimeT2StrShortDatetime(now)});
  forms.AddRow({"time", TimeUtil::TimeT2StrTime(now)});
  forms.AddRow({"date", TimeUtil::TimeT2StrDate(now)});
  forms.AddRow({"UTC date-time", TimeUtil::TimeT2StrUTCDatetime(now)});
  forms.AddRow({"UTC time stamp", TimeUtil::TimeT2StrUTCTimeStamp(now)});
  forms.AddRow({"ISO with offset", TimeUtil::TimeT2LocalTimeStrISO(now)});
  forms.AddRow({"today's midnight", TimeUtil::TimeT2StrDatetime(TimeUtil::GotoDay(0))});
  forms.AddRow({"no time (-1)", TimeUtil::TimeT2StrDatetime(-1)});
  forms.Print();

  const DvrTime record = TimeUtil::TimeT2DVRTime(now);
  const DvrTimeEx compact = TimeUtil::TimeT2DVRTimeEx(now);
  const DvrTimeV30 v30 = TimeUtil::TimeT2DVRTimeV30(now);
  std::printf("\nAs the device records hold it (little-endian bytes):\n");
  oska_tooling::Table records({"record", "size", "fields", "bytes"});
  char fields[96];
  std::snprintf(fields, sizeof fields, "%d-%d-%d %d:%d:%d", record.year, record.month, record.day,
                record.hour, record.minute, record.second);
  records.AddRow({"DvrTime", std::to_string(sizeof record), fields, Hex(&record, sizeof record)});
  std::snprintf(fields, sizeof fields, "%u-%u-%u %u:%u:%u", compact.year, compact.month,
                compact.day, compact.hour, compact.minute, compact.second);
  records.AddRow({"DvrTimeEx", std::to_string(sizeof compact), fields, Hex(&compact, sizeof compact)});
  records.AddRow({"DvrTimeV30", std::to_string(sizeof v30), fields, Hex(&v30, sizeof v30)});
  records.Print();

  // A short text through the three encodings.
  const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e, \xE4\xB8\x96\xE7\x95\x8C \xF0\x9F\x98\x80";
  const char* lang = std::getenv("LC_ALL");
  if (lang == nullptr || *lang == '\0') lang = std::getenv("LC_CTYPE");
  if (lang == nullptr || *lang == '\0') lang = std::getenv("LANG");
  std::printf("\nThe text \"%s\" (UTF-8), Local code page from the locale %s:\n", utf8.c_str(),
              lang && *lang ? lang : "C");
  const std::wstring wide = UTF8ToWide(utf8);
  const std::string local = UTF8ToLocal(utf8);
  oska_tooling::Table text({"encoding", "units", "bytes / units"});
  text.AddRow({"UTF-8", std::to_string(utf8.size()) + " bytes", Hex(utf8.data(), utf8.size())});
  std::string wide_units;
  for (const wchar_t c : wide) {
    char b[12];
    std::snprintf(b, sizeof b, "%s%X", wide_units.empty() ? "" : " ", static_cast<unsigned>(c));
    wide_units += b;
  }
  text.AddRow({"wide (wchar_t)", std::to_string(wide.size()) + " units", wide_units});
  text.AddRow({"UTF-16 units (str_len)",
               std::to_string(StringUtil::str_len(utf8, StringUtil::STR_UTF8)), ""});
  text.AddRow({"Local", std::to_string(local.size()) + " bytes", Hex(local.data(), local.size())});
  text.AddRow({"Local -> UTF-8", LocalToUTF8(local) == utf8 ? "same text" : "changed (lossy)",
               ""});
  text.AddRow({"wide -> UTF-8", WideToUTF8(wide) == utf8 ? "same text" : "changed", ""});
  text.Print();

  // Conversion speed on 16 MiB of mixed text.
  std::string big;
  while (big.size() < (16u << 20)) big += "video stream \xE8\xA7\x86\xE9\xA2\x91\xE6\xB5\x81 frame 42, ";
  oska_tooling::ProgressLine progress("converting 16 MiB");
  std::wstring w;
  std::string back;
  double to_wide = 0, to_utf8 = 0;
  const int rounds = 4;
  for (int i = 0; i < rounds; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    UTF8ToWide(big.data(), big.size(), &w);
    auto t1 = std::chrono::steady_clock::now();
    WideToUTF8(w.data(), w.size(), &back);
    auto t2 = std::chrono::steady_clock::now();
    to_wide += std::chrono::duration<double>(t1 - t0).count();
    to_utf8 += std::chrono::duration<double>(t2 - t1).count();
    progress.Update(i + 1, rounds, "rounds");
  }
  progress.Finish();
  const double mb = static_cast<double>(big.size()) * rounds / 1e6;
  oska_tooling::Table speed({"conversion", "MB/s of UTF-8", "round trip exact"});
  speed.AddRow({"UTF-8 -> wide", oska_tooling::Fixed(mb / to_wide, 0), back == big ? "yes" : "NO"});
  speed.AddRow({"wide -> UTF-8", oska_tooling::Fixed(mb / to_utf8, 0), back == big ? "yes" : "NO"});
  speed.Print();
}

static showcase::Section section(50, "Text and time", &TextAndTime);

}  // namespace
