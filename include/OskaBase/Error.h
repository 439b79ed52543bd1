// Error records and the per-thread last error.
//
// An Error::ErrorCode carries two codes (primary, secondary), a sub-system
// code and a free text that describes a chain of earlier errors (the
// cascading error information). The last two live in the record's
// `attributes` map under the keys "sub_system" and "cascading_error_info".
// Error::SetLastError keeps one record per calling thread; GetLastError on
// the same thread reads it back. The library itself never sets a record: the
// store is for its callers.
//
//   Error::ErrorCode code(5, 1, 2, "a");     // sub-system 5, codes 1 and 2
//   Error::SetLastError(code);
//   Error::GetLastError().secondaryCode == 2  // on this thread
//   Error::GetLastError().primaryCode == 0    // on any thread that set none
//   Error::MakeCascadingErrorStr(3, 17) == "(3, 17)"
#pragma once

#include <OskaBase/Export.h>

#include <map>
#include <string>

namespace Oska {
namespace Base {

// A namespace in the form of an empty struct: every member is static, and
// copying or moving an Error does nothing.
struct OSKABASE_API Error {
  Error() = default;
  Error(const Error&) = default;
  Error(Error&&) = default;
  Error& operator=(const Error&) = default;
  Error& operator=(Error&&) = default;
  ~Error() = default;

  // One error record. Plain data: copyable and movable, not synchronised; it
  // belongs to whoever holds it.
  //
  // Every constructor but the move constructor leaves exactly two entries in
  // `attributes`: "sub_system" (decimal text of the sub-system code, "0" by
  // default) and "cascading_error_info" (the text, empty by default).
  struct OSKABASE_API ErrorCode {
    // Sub-system 0, both codes 0, empty text.
    ErrorCode();
    // Sub-system 0, empty text.
    ErrorCode(int primary, int secondary);
    // Empty text.
    ErrorCode(int subSystem, int primary, int secondary);
    // Sub-system 0.
    ErrorCode(int primary, int secondary, const std::string& cascadingInfo);
    ErrorCode(int subSystem, int primary, int secondary, const std::string& cascadingInfo);

    // Copies both codes and every attribute.
    ErrorCode(const ErrorCode& other);
    // Copies both codes and takes the attributes over: `other` is left with
    // no attributes at all (not even the two keys) until an accessor
    // re-inserts one.
    ErrorCode(ErrorCode&& other);
    // Copies both codes and replaces every attribute with a copy of the
    // source's. Assigning a record to itself leaves it unchanged.
    ErrorCode& operator=(const ErrorCode& other);
    // Copies both codes and takes the attributes over; `other` ends with no
    // attributes. Assigning a record to itself leaves it unchanged.
    ErrorCode& operator=(ErrorCode&& other);
    ~ErrorCode();

    // The sub-system code read from "sub_system" (inserting an empty value if
    // the key is missing). An empty text, or one that does not begin with a
    // decimal number after optional white space, gives 0; "-7" gives -7;
    // "12abc" gives 12. A number outside the int range gives the nearest int
    // limit (INT_MAX or INT_MIN), as a stream extraction does.
    int GetSubSystemErrorCode();
    // Stores `code` under "sub_system" as decimal text (-7 becomes "-7").
    void SetSubSystemErrorCode(int code);
    // A copy of the text under "cascading_error_info" (inserting an empty
    // value if the key is missing).
    std::string GetCasadingErrorInfo();
    // Stores `text` unchanged under "cascading_error_info".
    void SetCasadingErrorInfo(const std::string& text);

    int primaryCode;
    int secondaryCode;
    std::map<std::string, std::string> attributes;
  };

  // A copy of the record the calling thread stored last, or ErrorCode() if it
  // stored none. Reading does not clear it. Records are kept by the
  // operating system's numeric thread id and are never removed while the
  // library is loaded, so a later thread that is given the same id reads the
  // record of the earlier one until it stores its own.
  static ErrorCode GetLastError();

  // Stores a copy of `code` as the calling thread's record, replacing both
  // codes and every attribute of an earlier one. The copy is made before the
  // store is locked, so a failing copy (std::bad_alloc) leaves the store
  // unchanged. Safe from any number of threads at once.
  static void SetLastError(const ErrorCode& code);

  // "(first, second)" in printf's "%d" form: MakeCascadingErrorStr(3, 17) ==
  // "(3, 17)". Never cut: the longest text, both arguments INT_MIN, is the
  // full 26 characters "(-2147483648, -2147483648)".
  static std::string MakeCascadingErrorStr(int first, int second);
};

}  // namespace Base
}  // namespace Oska
