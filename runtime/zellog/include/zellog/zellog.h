// zellog: the logging library under OskaBase. It writes lines to a log file
// that rotates by size, optionally echoed to stderr, and is built on spdlog
// (which stays inside: nothing of it shows through this header).
//
// Two entry points matter to OskaBase, which finds them at run time:
// zellog_initialize (export ordinal 25) and zellog_write (ordinal 26). On
// Linux, which has no export ordinals, they are also exported as
// "ordinal_25" and "ordinal_26", the names the library's module loader looks
// up for ordinals.
//
// Configuration text
// ------------------
// Items "key=value", separated by ';' or line ends; spaces around keys and
// values are ignored, as are empty items. Keys:
//
//   file=PATH        the log file; missing folders are created.
//                    Default: "$TMPDIR/<program>-zellog.log" ($TMPDIR unset:
//                    /tmp; <program>: the executable's file name).
//   max_size=SIZE    rotate when a line would take the file past SIZE bytes;
//                    a K, M or G suffix multiplies by 1024, 1024^2, 1024^3.
//                    1K to 1024G. Default 10M.
//   max_files=N      rotated files kept besides the current one, 0 to 1000.
//                    Default 5. "app.log" rotates to "app.1.log", that one to
//                    "app.2.log", and so on; the oldest beyond N is deleted.
//   level=LEVEL      lines below LEVEL are dropped: a number 0-6 or its name
//                    (see Levels). Default info (2).
//   console=BOOL     also echo every line to stderr: 1/0, yes/no, true/false,
//                    on/off. Default off.
//
//   zellog_initialize("file=/var/log/viewer/viewer.log; max_size=4M; "
//                     "max_files=3; level=info; console=0") == 0
//
// An empty text, an unknown key or a value out of form or range never fails:
// each such item keeps its default, and one line on stderr per problem says
// what was not understood and what is used instead. A log file that cannot
// be opened is replaced by the default file, with a line on stderr; if that
// fails too, lines go to stderr only.
//
// Restarting keeps the history: an existing log file is appended to, its
// size counts toward the next rotation, and rotated files are kept.
//
// Levels
// ------
//   0 trace   1 debug   2 info   3 warning   4 error   5 critical   6 off
// A number below 0 counts as trace and above 5 as critical (6 only makes
// sense as a minimum). OskaBase writes at 3 (warning) and 5 (critical).
//
// Line layout
// -----------
//   [2026-12-06 03:14:15.926] [4242:4250] [critical] [QRN] text
// time (local, milliseconds), process and thread id, level name, module tag,
// then the text as given. Nothing is added to or cut from the text.
//
// Guarantees
// ----------
//  - Every function may be called from any thread; lines from concurrent
//    writers never interleave (each line is formatted and written whole
//    under the sink's lock).
//  - A line at warning (3) or above has been handed to the operating system
//    (write(2)) when zellog_write returns, so it survives the process being
//    killed or crashing (not a power loss). Lower levels are buffered.
//  - No function throws or crashes on any input; null texts read as "".
//  - Descriptors are opened close-on-exec.
#pragma once

#if defined(_WIN32)
#  if defined(ZELLOG_BUILDING)
#    define ZELLOG_API __declspec(dllexport)
#  else
#    define ZELLOG_API __declspec(dllimport)
#  endif
#else
#  define ZELLOG_API __attribute__((visibility("default")))
#endif

extern "C" {

// The entry points' types, for callers that look them up at run time.
typedef int (*zellog_initialize_fn)(const char* config);
typedef int (*zellog_write_fn)(int level, const char* module, const char* text);

// (Re)configures logging from `config` (see above) and returns 0 when every
// item was understood and the file opened, 1 when defaults replaced some
// items or the file, -1 when no file could be opened (stderr only). Calling
// it again switches to the new configuration: lines written after it returns
// go to the new file; the previous file is flushed and stays open for the
// life of the process (one descriptor per call), so a writer racing with
// the switch never writes to a closed file.
ZELLOG_API int zellog_initialize(const char* config);

// Writes one line: `level` (see Levels), the module tag `module` and `text`.
// Returns 0 when written or dropped for its level, -1 when zellog is not
// initialised (the line is dropped) or the write failed (reported once on
// stderr).
ZELLOG_API int zellog_write(int level, const char* module, const char* text);

// Flushes and detaches the current configuration; later lines are dropped
// until zellog_initialize. Safe while other threads write (their lines go
// to the detached file or are dropped). Not needed before exit: the C
// library flushes the files then, and lines logged by static destructors
// during exit are still written.
ZELLOG_API void zellog_close(void);

}  // extern "C"
