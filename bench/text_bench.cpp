// oskabase-bench-text: UTF-8 <-> wide text on 64 MiB of ASCII and of Chinese
// text, and UTF-8 -> GB18030 through the Local code page under a GB18030
// locale, beside glibc's iconv, ICU, mbstowcs/wcstombs (C.UTF-8 locale) and
// a plain scalar codec. One run, one table; figures are MB/s of UTF-8 bytes
// (input when decoding, output when encoding), best of several passes.
//
// What each column does:
//  - OskaBase: the exported pointer-and-length conversions, which size their
//    output exactly (a size query, then the conversion) into the caller's
//    string, reused from call to call as a caller converting many texts does.
//  - the peers convert once into a worst-case buffer allocated beforehand
//    (the cheapest way to call them), so they do less work than ours.
//  - each case runs in 64 KiB calls (the text cut at character boundaries)
//    and in one call over the whole 64 MiB.
//  - ICU works in UTF-16, its own wide form (u_strFromUTF8 / u_strToUTF8;
//    ucnv_convertEx for GB18030); the others produce 32-bit wchar_t.
//
// Usage: oskabase-bench-text [MiB]   (default 64)
#include <OskaBase/OskaBase.h>

#include "ScalarUtf8.h"
#include "TextTable.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iconv.h>
#include <locale.h>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

using Work = std::function<std::size_t()>;

// MB/s of `bytes` for each contender, best of `passes`. The passes go
// round-robin over the contenders, so a burst of load on the machine hits
// them alike. A contender returns a count so its work cannot be dropped.
std::vector<double> Measure(std::size_t bytes, int passes, const std::vector<Work>& contenders) {
  std::vector<double> best(contenders.size(), 1e30);
  std::size_t sink = 0;
  for (int pass = 0; pass < passes; ++pass) {
    for (std::size_t k = 0; k < contenders.size(); ++k) {
      if (!contenders[k]) continue;
      const auto start = Clock::now();
      sink += contenders[k]();
      const double s = std::chrono::duration<double>(Clock::now() - start).count();
      if (s < best[k]) best[k] = s;
    }
  }
  if (sink == 0) std::printf("(no output)\n");
  std::vector<double> mbps;
  for (std::size_t k = 0; k < contenders.size(); ++k) {
    mbps.push_back(contenders[k] ? static_cast<double>(bytes) / 1e6 / best[k] : 0.0);
  }
  return mbps;
}

std::string MakeAscii(std::size_t size) {
  static const char* const kWords[] = {"the", "device", "records", "video", "stream", "and",
                                       "writes", "frames", "to", "disk", "at", "night,"};
  std::string text;
  text.reserve(size + 16);
  unsigned seed = 1;
  std::size_t line = 0;
  while (text.size() < size) {
    seed = seed * 1103515245u + 12345u;
    const char* w = kWords[(seed >> 16) % 12];
    text += w;
    line += std::strlen(w) + 1;
    if (line > 72) {
      text += '\n';
      line = 0;
    } else {
      text += ' ';
    }
  }
  text.resize(size);
  return text;
}

// Common CJK ideographs (three UTF-8 bytes each) with full-width punctuation,
// an ASCII digit group now and then and a newline every forty characters.
std::string MakeChinese(std::size_t size) {
  std::string text;
  text.reserve(size + 16);
  unsigned seed = 7;
  int column = 0;
  auto put3 = [&](unsigned cp) {
    text += static_cast<char>(0xE0 | (cp >> 12));
    text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (cp & 0x3F));
  };
  while (text.size() < size) {
    seed = seed * 1103515245u + 12345u;
    const unsigned r = (seed >> 8) % 1000;
    if (r < 30) {
      put3(0xFF0C);  // full-width comma
    } else if (r < 40) {
      put3(0x3002);  // ideographic full stop
    } else if (r < 45) {
      text += " 2024 ";
    } else {
      put3(0x4E00 + (seed >> 12) % 0x51A5);
    }
    if (++column == 40) {
      text += '\n';
      column = 0;
    }
  }
  // Cut at a character boundary.
  std::size_t end = size;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

struct Row {
  std::string name;
  double ours = 0, iconv = 0, icu = 0, crt = 0, scalar = 0;
};

void Fill(Row* row, const std::vector<double>& mbps) {
  row->ours = mbps[0];
  row->iconv = mbps[1];
  row->icu = mbps[2];
  row->crt = mbps[3];
  row->scalar = mbps[4];
}

std::string Cell(double v) { return v > 0 ? oska_tooling::Fixed(v, 0) : "-"; }

// An open iconv descriptor for the whole measurement, reset per call.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  std::size_t Run(const char* in, std::size_t n, char* out, std::size_t cap) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in);
    std::size_t left = n;
    char* dst = out;
    std::size_t room = cap;
    iconv(cd_, &src, &left, &dst, &room);
    return cap - room;
  }

 private:
  iconv_t cd_;
};

// [begin, end) offsets of the pieces of `text`, about `piece` bytes each,
// cut at character boundaries.
std::vector<std::pair<std::size_t, std::size_t>> Pieces(const std::string& text, std::size_t piece) {
  std::vector<std::pair<std::size_t, std::size_t>> out;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = std::min(text.size(), begin + piece);
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    out.emplace_back(begin, end);
    begin = end;
  }
  return out;
}

}  // namespace

constexpr std::size_t kPiece = 64 << 10;

int main(int argc, char** argv) {
  // The Local code page is read from the environment at its first use; make
  // it GB18030 before anything converts.
  ::setenv("LC_ALL", "zh_CN.GB18030", 1);
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const std::size_t size = (mib == 0 ? 64 : mib) << 20;

  locale_t utf8_locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  locale_t gb_locale = ::newlocale(LC_CTYPE_MASK, "zh_CN.GB18030", static_cast<locale_t>(nullptr));
  if (utf8_locale == nullptr || gb_locale == nullptr) {
    std::fprintf(stderr, "locales C.UTF-8 and zh_CN.GB18030 are needed (scripts/setup.sh)\n");
    return 1;
  }

  std::printf("OskaBase text conversion benchmark: %zu MiB per text, in %zu KiB calls and in one call;\n"
              "MB/s of UTF-8 bytes, best of 7 passes (3 for one call)\n", mib, kPiece >> 10);
  std::vector<Row> rows;
  oska_tooling::ProgressLine progress("measuring");
  const int total_steps = 10;
  int step = 0;
  Iconv iconv_decode("WCHAR_T", "UTF-8");
  Iconv iconv_encode("UTF-8", "WCHAR_T");
  Iconv iconv_gb("GB18030", "UTF-8");
  UErrorCode uerr = U_ZERO_ERROR;
  UConverter* icu_from = ucnv_open("UTF-8", &uerr);
  UConverter* icu_to = ucnv_open("GB18030", &uerr);
  std::vector<UChar> pivot(4096);

  for (const bool whole : {false, true}) {
    for (const bool chinese : {false, true}) {
      const std::string utf8 = chinese ? MakeChinese(size) : MakeAscii(size);
      const std::wstring wide = Oska::Base::UTF8ToWide(utf8);
      // The same pieces in both forms: byte ranges and the unit ranges they make.
      const auto pieces = Pieces(utf8, whole ? utf8.size() : kPiece);
      std::vector<std::pair<std::size_t, std::size_t>> wpieces;
      std::vector<std::string> zpieces;  // zero-terminated copies for mbstowcs
      std::vector<std::wstring> zwpieces;
      std::size_t units = 0;
      for (const auto& pc : pieces) {
        const std::size_t n = Oska::Base::UTF8ToWide(utf8.substr(pc.first, pc.second - pc.first)).size();
        wpieces.emplace_back(units, units + n);
        units += n;
        if (!whole) {
          zpieces.push_back(utf8.substr(pc.first, pc.second - pc.first));
          zwpieces.push_back(wide.substr(units - n, n));
        }
      }
      const std::size_t largest = whole ? utf8.size() : kPiece + 4;
      std::vector<wchar_t> wbuf(largest + 1);
      std::vector<UChar> ubuf(2 * largest + 1);
      std::vector<char> bbuf(4 * largest + 1);
      std::vector<UChar> u16(wide.size() * 2 + 1);
      std::vector<std::pair<std::size_t, std::size_t>> u16pieces;
      {
        std::size_t at = 0;
        for (const auto& pc : pieces) {
          int32_t n = 0;
          UErrorCode err = U_ZERO_ERROR;
          u_strFromUTF8(u16.data() + at, static_cast<int32_t>(u16.size() - at), &n,
                        utf8.data() + pc.first, static_cast<int32_t>(pc.second - pc.first), &err);
          u16pieces.emplace_back(at, at + static_cast<std::size_t>(n));
          at += static_cast<std::size_t>(n);
        }
      }
      const std::string label = std::string(chinese ? "Chinese" : "ASCII");
      const std::string how = whole ? ", one call" : "";
      // A pass over the pieces is short, so more of them even out the load
      // of a shared machine; one-call passes are long enough with three.
      const int passes = whole ? 3 : 7;
      std::wstring wout;
      std::string bout;

      Row decode;
      decode.name = label + " UTF-8 -> wide" + how;
      const Work decode_ours = ([&] {
        std::size_t n = 0;
        for (const auto& pc : pieces) {
          Oska::Base::UTF8ToWide(utf8.data() + pc.first, pc.second - pc.first, &wout);
          n += wout.size();
        }
        return n;
      });
      const Work decode_iconv = ([&] {
        std::size_t n = 0;
        for (const auto& pc : pieces) {
          n += iconv_decode.Run(utf8.data() + pc.first, pc.second - pc.first,
                                reinterpret_cast<char*>(wbuf.data()), wbuf.size() * sizeof(wchar_t));
        }
        return n;
      });
      const Work decode_icu = ([&] {
        std::size_t total = 0;
        for (const auto& pc : pieces) {
          int32_t n = 0;
          UErrorCode err = U_ZERO_ERROR;
          u_strFromUTF8WithSub(ubuf.data(), static_cast<int32_t>(ubuf.size()), &n,
                               utf8.data() + pc.first, static_cast<int32_t>(pc.second - pc.first),
                               0xFFFD, nullptr, &err);
          total += static_cast<std::size_t>(n);
        }
        return total;
      });
      const Work decode_crt = ([&] {
        locale_t old = ::uselocale(utf8_locale);
        std::size_t n = 0;
        if (whole) {
          n = std::mbstowcs(wbuf.data(), utf8.c_str(), wbuf.size());
        } else {
          for (const auto& z : zpieces) n += std::mbstowcs(wbuf.data(), z.c_str(), wbuf.size());
        }
        ::uselocale(old);
        return n;
      });
      const Work decode_scalar = ([&] {
        std::size_t n = 0;
        for (const auto& pc : pieces) {
          n += bench_text::ScalarDecode(reinterpret_cast<const unsigned char*>(utf8.data()) + pc.first,
                                        pc.second - pc.first, wbuf.data());
        }
        return n;
      });
      Fill(&decode, Measure(utf8.size(), passes, {decode_ours, decode_iconv, decode_icu, decode_crt,
                                          decode_scalar}));
      rows.push_back(decode);
      progress.Update(++step, total_steps, "cases");

      Row encode;
      encode.name = label + " wide -> UTF-8" + how;
      const Work encode_ours = ([&] {
        std::size_t n = 0;
        for (const auto& pc : wpieces) {
          Oska::Base::WideToUTF8(wide.data() + pc.first, pc.second - pc.first, &bout);
          n += bout.size();
        }
        return n;
      });
      const Work encode_iconv = ([&] {
        std::size_t n = 0;
        for (const auto& pc : wpieces) {
          n += iconv_encode.Run(reinterpret_cast<const char*>(wide.data() + pc.first),
                                (pc.second - pc.first) * sizeof(wchar_t), bbuf.data(), bbuf.size());
        }
        return n;
      });
      const Work encode_icu = ([&] {
        std::size_t total = 0;
        for (const auto& pc : u16pieces) {
          int32_t n = 0;
          UErrorCode err = U_ZERO_ERROR;
          u_strToUTF8WithSub(bbuf.data(), static_cast<int32_t>(bbuf.size()), &n,
                             u16.data() + pc.first, static_cast<int32_t>(pc.second - pc.first),
                             0xFFFD, nullptr, &err);
          total += static_cast<std::size_t>(n);
        }
        return total;
      });
      const Work encode_crt = ([&] {
        locale_t old = ::uselocale(utf8_locale);
        std::size_t n = 0;
        if (whole) {
          n = std::wcstombs(bbuf.data(), wide.c_str(), bbuf.size());
        } else {
          for (const auto& z : zwpieces) n += std::wcstombs(bbuf.data(), z.c_str(), bbuf.size());
        }
        ::uselocale(old);
        return n;
      });
      const Work encode_scalar = ([&] {
        std::size_t n = 0;
        for (const auto& pc : wpieces) {
          n += bench_text::ScalarEncode(wide.data() + pc.first, pc.second - pc.first,
                                        reinterpret_cast<unsigned char*>(bbuf.data()));
        }
        return n;
      });
      Fill(&encode, Measure(utf8.size(), passes, {encode_ours, encode_iconv, encode_icu, encode_crt,
                                          encode_scalar}));
      rows.push_back(encode);
      progress.Update(++step, total_steps, "cases");

      if (!chinese) continue;
      // UTF-8 -> GB18030 through code page 0 under the GB18030 locale.
      Row gb;
      gb.name = "Chinese UTF-8 -> GB18030 (code page 0)" + how;
      const Work gb_ours = ([&] {
        std::size_t n = 0;
        for (const auto& pc : pieces) {
          Oska::Base::UTF8ToLocal(utf8.data() + pc.first, pc.second - pc.first, &bout);
          n += bout.size();
        }
        return n;
      });
      const Work gb_iconv = ([&] {
        std::size_t n = 0;
        for (const auto& pc : pieces) {
          n += iconv_gb.Run(utf8.data() + pc.first, pc.second - pc.first, bbuf.data(), bbuf.size());
        }
        return n;
      });
      const Work gb_icu = ([&] {
        std::size_t n = 0;
        for (const auto& pc : pieces) {
          UErrorCode e = U_ZERO_ERROR;
          const char* src = utf8.data() + pc.first;
          char* dst = bbuf.data();
          UChar* ps = pivot.data();
          UChar* pt = pivot.data();
          ucnv_convertEx(icu_to, icu_from, &dst, bbuf.data() + bbuf.size(), &src,
                         utf8.data() + pc.second, pivot.data(), &ps, &pt,
                         pivot.data() + pivot.size(), 1, 1, &e);
          n += static_cast<std::size_t>(dst - bbuf.data());
        }
        return n;
      });
      const Work gb_crt = ([&] {
        locale_t old = ::uselocale(utf8_locale);
        std::size_t n = 0;
        auto one = [&](const char* z) {
          ::uselocale(utf8_locale);
          const std::size_t units = std::mbstowcs(wbuf.data(), z, wbuf.size());
          ::uselocale(gb_locale);
          return std::wcstombs(bbuf.data(), wbuf.data(), bbuf.size()) + units;
        };
        if (whole) {
          n = one(utf8.c_str());
        } else {
          for (const auto& z : zpieces) n += one(z.c_str());
        }
        ::uselocale(old);
        return n;
      });
      if (whole) {
        const std::string ours = Oska::Base::UTF8ToLocal(utf8);
        const std::size_t n = iconv_gb.Run(utf8.data(), utf8.size(), bbuf.data(), bbuf.size());
        if (n != ours.size() || std::memcmp(bbuf.data(), ours.data(), n) != 0) {
          std::printf("\nnote: iconv's GB18030 bytes differ from ours\n");
        }
      }
      Fill(&gb, Measure(utf8.size(), passes, {gb_ours, gb_iconv, gb_icu, gb_crt, Work()}));
      rows.push_back(gb);
      progress.Update(++step, total_steps, "cases");
    }
  }
  progress.Finish();
  ucnv_close(icu_from);
  ucnv_close(icu_to);
  ::freelocale(utf8_locale);
  ::freelocale(gb_locale);

  oska_tooling::Table table({"case", "OskaBase", "iconv", "ICU", "mbstowcs/wcstombs",
                             "scalar codec", "OskaBase / iconv"});
  for (const Row& r : rows) {
    table.AddRow({r.name, Cell(r.ours), Cell(r.iconv), Cell(r.icu), Cell(r.crt), Cell(r.scalar),
                  oska_tooling::Fixed(r.ours / r.iconv, 2) + "x"});
  }
  table.Print();
  std::printf(
      "OskaBase sizes its output exactly (size query + conversion) into the caller's string,\n"
      "reused across calls; the peers convert once into a buffer allocated beforehand.\n"
      "One-call rows move 64 MiB (256 MiB of wchar_t) per call: memory bandwidth decides.\n"
      "ICU works in UTF-16, the others in 32-bit wchar_t.\n"
      "GB18030 row: mbstowcs under C.UTF-8, then wcstombs under zh_CN.GB18030.\n");
  return 0;
}
