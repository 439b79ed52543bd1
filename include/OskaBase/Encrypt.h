// Base64 text for binary data (Encrypt) and the strength grade of a password
// (EncryptLevel). Despite the namespace's name nothing here enciphers:
// Base64 only encodes.
//
// Base64 is the standard alphabet (A-Z, a-z, 0-9, "+", "/"), "=" as the pad
// character and no line breaks:
//   Base64Encode("")       == ""          Base64Encode("f")      == "Zg=="
//   Base64Encode("fo")     == "Zm8="      Base64Encode("foo")    == "Zm9v"
//   Base64Encode("foobar") == "Zm9vYmFy"  Base64Encode("\xFB\xFF") == "+/8="
// Decoding is strict: the length must be a multiple of 4, at most two "="
// may end the text, and every other character must be from the alphabet
// (blanks and line breaks are refused). Low bits of the last character
// before the pads that do not make up a whole byte are ignored.
//
// Every function is stateless and may be called from any thread at once.
#pragma once

#include <OskaBase/Export.h>

#include <string>

namespace Oska {
namespace Base {
namespace Encrypt {

// Writes the encoding of `len` bytes from `src` and a terminating zero to
// `dst`, which must hold 4 * ceil(len / 3) + 1 bytes. Returns the length of
// the text without the terminator: 4 * ceil(len / 3), 0 for len 0.
// A negative len, or one whose encoding would not fit an int (len above
// 1610612733), returns -1 without reading `src` or writing `dst`.
OSKABASE_API int Base64Encode(const char* src, int len, char* dst);

// Decodes `len` characters from `src` into `dst`, which must hold
// 3 * (len / 4) bytes; no terminator is written. Returns the decoded length
// (0 for len 0, without reading or writing anything), or -1 for a negative
// len (nothing is read), a len below 4 or not a multiple of 4, or any
// character outside the alphabet other than up to two "=" at the end. The
// bytes of the groups decoded before an invalid one was found stay in `dst`
// (what follows them there is unspecified); nothing is ever written past
// 3 * (len / 4) bytes.
OSKABASE_API int Base64Decode(const char* src, int len, char* dst);

// Replaces `out` with the encoding of all of `in`. Always returns true (an
// input too long for the int form above is encoded all the same).
OSKABASE_API bool Base64Encode(std::string& out, const std::string& in);

// Replaces `out` with the bytes `in` decodes to and returns true; for an
// invalid text returns false and leaves `out` unchanged. An empty `in` gives
// an empty `out` and true.
OSKABASE_API bool Base64Decode(std::string& out, const std::string& in);

}  // namespace Encrypt

namespace EncryptLevel {

// Grades the password `pass` of the user `name` from 0 (refused) to 3:
//  - 0 when pass has fewer than 8 bytes, equals name, or equals name
//    reversed byte by byte (name with only its case changed is graded);
//  - otherwise by how many kinds of characters it holds, among digits,
//    upper-case letters, lower-case letters and other bytes: one kind 0;
//    two kinds 1 when they are digits and letters of a single case, else 2;
//    three or four kinds 3.
//   GetEnCryptLevel("u", "abcdefgh") == 0   GetEnCryptLevel("u", "abcd1234") == 1
//   GetEnCryptLevel("u", "abcdEFGH") == 2   GetEnCryptLevel("u", "1234!@#$") == 2
//   GetEnCryptLevel("u", "abCD1234") == 3   GetEnCryptLevel("", "12345678") == 0
// Digits and letters are the ASCII ones, whatever locale the process has
// set; every byte above 0x7F counts as an other character (what the C
// library's own classification does in the default locale).
OSKABASE_API int GetEnCryptLevel(const std::string& name, const std::string& pass);

}  // namespace EncryptLevel
}  // namespace Base
}  // namespace Oska
