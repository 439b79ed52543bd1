// Named pipes: CreateNamedPipeA, ConnectNamedPipe, WaitNamedPipeA and
// CreateFileA on pipe names, over AF_UNIX sockets. Reading, writing and
// closing go through ReadFile, WriteFile and CloseHandle (handle.h).
//
// Names. A pipe is named "\\.\pipe\NAME" as on Windows (the prefix in any
// letter case). NAME is 1 or more bytes, any byte but '\' (Windows' rule),
// and the whole name is at most 256 characters; anything else fails with
// ERROR_INVALID_NAME. Names are compared case-insensitively for ASCII letters,
// as Windows does; other bytes must match exactly. A name lives in Linux's
// abstract socket namespace, machine-wide (per network namespace): it never
// touches the file system, so ".." or "/" in a name reach no directory, no
// socket file is ever left behind, and a crashed server's name disappears
// with its last descriptor, so a restarted server can create it at once. Long
// names are never truncated: a name that does not fit the socket address is
// replaced by its SHA-256 digest, so two long names that share a prefix stay
// two pipes.
//
// Security. Windows gives a pipe created without security attributes read
// access for everyone; here every pipe is owner-only: it can be opened by
// processes of its creator's user and by root, and by no one else. A server
// checks each connecting peer's credentials (SO_PEERCRED) and drops foreign
// ones; a client checks the server's and refuses one whose user it may not
// talk to, so a process of another user can neither connect (the client gets
// ERROR_ACCESS_DENIED) nor intercept a peer by serving a name first. Nobody
// can pose as the server of a name that exists: the name is held by the
// server's socket. Security attributes are ignored. Every descriptor is
// close-on-exec: no child process inherits a pipe.
//
// Reproduced from Windows:
//  - byte mode (PIPE_TYPE_BYTE, a byte stream: a read returns what is there,
//    up to the buffer size) and message mode (PIPE_TYPE_MESSAGE: one write is
//    one message; a read returns one whole message; a message larger than the
//    read buffer fills the buffer and fails with ERROR_MORE_DATA, and the next
//    reads return the rest);
//  - access: PIPE_ACCESS_INBOUND / OUTBOUND / DUPLEX for the server, and
//    GENERIC_READ / GENERIC_WRITE for the client; a read or write on a handle
//    without that right fails with ERROR_ACCESS_DENIED;
//  - FILE_FLAG_FIRST_PIPE_INSTANCE: creating a name that exists fails with
//    ERROR_ACCESS_DENIED;
//  - one instance busy: while the instance has a client (connected, or
//    waiting to be accepted), another client fails with ERROR_PIPE_BUSY, and
//    WaitNamedPipeA waits for the instance to become free, failing with
//    ERROR_SEM_TIMEOUT when its time-out passes; WaitNamedPipeA and
//    CreateFileA fail at once with ERROR_FILE_NOT_FOUND for a name nobody
//    serves;
//  - a client that connected before the server's ConnectNamedPipe: the
//    call fails with ERROR_PIPE_CONNECTED and the pipe is connected; the same
//    for ConnectNamedPipe on an instance already connected;
//  - a peer that closed its end: reads (after the data it wrote) and writes
//    fail with ERROR_BROKEN_PIPE; a server instance without a client fails
//    reads and writes with ERROR_PIPE_LISTENING;
//  - a closed handle: ERROR_INVALID_HANDLE, also for a call blocked on it in
//    another thread (handle.h).
//
// Not reproduced:
//  - more than one instance per name: a second CreateNamedPipeA of a name
//    that exists (without FILE_FLAG_FIRST_PIPE_INSTANCE) fails with
//    ERROR_PIPE_BUSY, as Windows does once the instance limit is reached;
//  - DisconnectNamedPipe and reuse of an instance: close it and create a new
//    one (the pipelines never reuse one);
//  - overlapped I/O, PIPE_NOWAIT, remote servers ("\\host\pipe\..."),
//    security descriptors, impersonation (the SECURITY_* flags are ignored),
//    buffer sizes and the default time-out (the kernel's socket buffers
//    apply, and WaitNamedPipeA's NMPWAIT_USE_DEFAULT_WAIT waits 50 ms);
//  - a client of a message-type pipe reads whole messages from the start,
//    as though it had set PIPE_READMODE_MESSAGE; on Windows a client starts
//    in byte read mode;
//  - a message pipe carries messages up to the kernel's socket send limit
//    (about 200 KiB by default); a longer write fails. A read keeps at most
//    256 KiB beyond the caller's buffer of one oversize message;
//  - a zero-length message is delivered as a successful zero-byte read,
//    except when the writer closes its end right after it: then the read
//    reports ERROR_BROKEN_PIPE at once;
//  - a write to a peer that closed without reading can succeed while the
//    kernel buffers it; the failure shows on a later write;
//  - a client that connected and closed again before the server accepted it
//    is accepted like any other, and the first read reports ERROR_BROKEN_PIPE
//    (Windows fails ConnectNamedPipe with ERROR_NO_DATA instead);
//  - a hostile process of another user that connects without this layer's
//    own check can hold the instance's one waiting slot (other clients see
//    ERROR_PIPE_BUSY) until the server's ConnectNamedPipe drops it; it never
//    gets a connection.
#pragma once

#include <winapi/base.h>
#include <winapi/handle.h>

#define PIPE_ACCESS_INBOUND 0x00000001u
#define PIPE_ACCESS_OUTBOUND 0x00000002u
#define PIPE_ACCESS_DUPLEX 0x00000003u
#define PIPE_TYPE_BYTE 0x00000000u
#define PIPE_TYPE_MESSAGE 0x00000004u
#define PIPE_READMODE_BYTE 0x00000000u
#define PIPE_READMODE_MESSAGE 0x00000002u
#define PIPE_WAIT 0x00000000u
#define PIPE_NOWAIT 0x00000001u
#define PIPE_UNLIMITED_INSTANCES 255u
#define NMPWAIT_USE_DEFAULT_WAIT 0x00000000u
#define NMPWAIT_WAIT_FOREVER 0xFFFFFFFFu

// Creates the one instance of pipe `name` and returns its server handle, or
// INVALID_HANDLE_VALUE with:
//  ERROR_INVALID_NAME       the name breaks the rules above;
//  ERROR_INVALID_PARAMETER  no access direction, PIPE_NOWAIT, a read mode of
//                           message on a byte pipe, or 0 / more than 255
//                           instances;
//  ERROR_ACCESS_DENIED      the name exists and FILE_FLAG_FIRST_PIPE_INSTANCE
//                           was given (whoever holds it);
//  ERROR_PIPE_BUSY          the name exists (without that flag).
// The instance listens from now on: a client may connect before
// ConnectNamedPipe is called. out_buffer, in_buffer, default_timeout and
// security are accepted and ignored (see above).
HANDLE CreateNamedPipeA(LPCSTR name, DWORD open_mode, DWORD pipe_mode, DWORD max_instances,
                        DWORD out_buffer, DWORD in_buffer, DWORD default_timeout,
                        LPSECURITY_ATTRIBUTES security);

// Waits until a client connects to the server instance `pipe` and returns
// TRUE. Fails with ERROR_PIPE_CONNECTED (the pipe is connected and usable)
// when a client connected before the call or the instance is already
// connected; ERROR_INVALID_FUNCTION on a client handle; ERROR_INVALID_HANDLE
// for a handle that is not open or is closed while the call waits;
// ERROR_INVALID_PARAMETER for a non-null `overlapped`. Clients of another
// user are turned away without waking the caller.
BOOL ConnectNamedPipe(HANDLE pipe, LPOVERLAPPED overlapped);

// Waits until the instance of pipe `name` is free for a client (no client
// connected or waiting) and returns TRUE; it does not connect, so another
// client may take the instance first. Fails at once with ERROR_FILE_NOT_FOUND
// when no server holds the name (also if it goes away during the wait),
// ERROR_INVALID_NAME for a bad name, and with ERROR_SEM_TIMEOUT once
// `timeout_ms` has passed (NMPWAIT_WAIT_FOREVER waits without limit).
BOOL WaitNamedPipeA(LPCSTR name, DWORD timeout_ms);

// Opens the client end of pipe `name` (only pipe names are supported: any
// other path fails with ERROR_NOT_SUPPORTED). `access` is GENERIC_READ,
// GENERIC_WRITE or both (neither: ERROR_INVALID_PARAMETER); `creation` must be
// OPEN_EXISTING (else ERROR_INVALID_PARAMETER). Never blocks. Fails with
// ERROR_FILE_NOT_FOUND when no server holds the name, ERROR_PIPE_BUSY when the
// instance has a client, ERROR_ACCESS_DENIED when the server's user is one
// this process may not talk to (see Security), ERROR_INVALID_NAME for a bad
// name. share, security, flags (FILE_FLAG_OVERLAPPED, SECURITY_*) and
// template_file are ignored.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flags, HANDLE template_file);
