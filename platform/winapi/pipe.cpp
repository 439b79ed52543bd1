// Named pipes over AF_UNIX sockets in the abstract namespace.
//
// A Windows pipe instance is a kernel object that exists from
// CreateNamedPipe, accepts one client, and tells other clients it is busy.
// Here the instance is a listening socket bound to the pipe's abstract name
// with a backlog of 0, which the kernel takes as "one pending connection":
// the first client's connect() succeeds at once, before the server accepts
// (Windows' "client connected before ConnectNamedPipe"), and a second client
// finds the queue full (EAGAIN, reported as ERROR_PIPE_BUSY). Once the server
// has accepted its client, it connects a placeholder socket to its own
// listener and never accepts it, so the queue stays full and the instance
// stays busy for as long as the server keeps it, as on Windows. Message mode
// is SOCK_SEQPACKET (boundaries kept), byte mode SOCK_STREAM; a client does
// not know the server's mode and tries both (the kernel refuses a connect of
// the other type). WaitNamedPipeA must learn whether the instance is free
// without taking it: it reads the listener's queue length from the kernel's
// socket diagnostics (NETLINK_SOCK_DIAG), and falls back to a probing
// connect where that interface is unavailable. Abstract sockets carry no file
// permissions, so owner-only access is enforced with each side's SO_PEERCRED.
// What is and is not reproduced is listed in winapi/pipe.h.
#include <winapi/pipe.h>
#include <winapi/error.h>
#include <winapi/handle.h>

#include "sha256.h"

#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace winapi {
namespace {

constexpr std::size_t kMaxPipeNameLength = 256;
// Bytes of one oversize message kept beyond the caller's buffer.
constexpr std::size_t kMessageOverflow = 256 * 1024;
// Poll interval of WaitNamedPipeA: starts short so that a free instance is
// seen quickly, and backs off so that a long wait costs little.
constexpr int kWaitPollFirstMs = 2;
constexpr int kWaitPollMaxMs = 50;
constexpr DWORD kDefaultWaitMs = 50;

// ---------------------------------------------------------------------------
// Names

// The abstract socket address of a pipe name, or false when the name is not a
// valid local pipe name.
struct PipeAddress {
  sockaddr_un addr;
  socklen_t length;
};

bool StartsWithPipePrefix(const std::string& name) {
  static const char kPrefix[] = "\\\\.\\pipe\\";
  const std::size_t n = sizeof(kPrefix) - 1;
  if (name.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kPrefix[i]) return false;
  }
  return true;
}

bool IsPipeName(LPCSTR name) {
  return name != nullptr && StartsWithPipePrefix(name);
}

bool MakePipeAddress(LPCSTR name, PipeAddress* out) {
  if (name == nullptr) return false;
  const std::string full(name);
  if (full.size() > kMaxPipeNameLength || !StartsWithPipePrefix(full)) return false;
  std::string rest = full.substr(9);
  if (rest.empty() || rest.find('\\') != std::string::npos) return false;
  for (char& c : rest) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  // Short names stay readable (ss -x shows them); long ones become their
  // digest. The two prefixes differ, so a short name never equals a digest.
  std::string socket_name = "oska.pipe:" + rest;
  const std::size_t capacity = sizeof(out->addr.sun_path) - 1;  // after the leading NUL
  if (socket_name.size() > capacity) socket_name = "oska.pipe#" + Sha256Hex(rest);
  std::memset(&out->addr, 0, sizeof(out->addr));
  out->addr.sun_family = AF_UNIX;
  std::memcpy(out->addr.sun_path + 1, socket_name.data(), socket_name.size());
  out->length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + socket_name.size());
  return true;
}

// ---------------------------------------------------------------------------
// Credentials

// A pipe without security attributes is open to its creator's user and root.
bool MayTalk(uid_t client, uid_t server) { return client == server || client == 0; }

bool PeerUid(int fd, uid_t* uid) {
  ucred cred{};
  socklen_t len = sizeof(cred);
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  *uid = cred.uid;
  return true;
}

void CloseFd(int fd) {
  if (fd >= 0) ::close(fd);
}

// ---------------------------------------------------------------------------
// The connected end shared by server and client objects.

class PipeEnd : public HandleObject {
 public:
  PipeEnd(bool message, bool can_read, bool can_write)
      : message_(message), can_read_(can_read), can_write_(can_write) {
    if (message_ && can_read_) overflow_.reset(new char[kMessageOverflow]);
  }

 protected:
  BOOL ReadSocket(int fd, void* buffer, DWORD size, DWORD* read);
  BOOL WriteSocket(int fd, const void* buffer, DWORD size, DWORD* written);
  bool can_read() const { return can_read_; }
  bool can_write() const { return can_write_; }
  bool message() const { return message_; }

 private:
  BOOL Fail(int err) {
    SetLastError(Closed() ? ERROR_INVALID_HANDLE : WinErrorFromErrno(err));
    return FALSE;
  }
  BOOL ReadMessage(int fd, void* buffer, DWORD size, DWORD* read);

  const bool message_;
  const bool can_read_;
  const bool can_write_;
  std::mutex read_mutex_;
  std::unique_ptr<char[]> overflow_;  // receives the tail of an oversize message
  std::vector<char> pending_;         // unread tail of the last oversize message; guarded by read_mutex_
  std::size_t pending_offset_ = 0;    // guarded by read_mutex_
};

BOOL PipeEnd::ReadSocket(int fd, void* buffer, DWORD size, DWORD* read) {
  *read = 0;
  if (!can_read_) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (message_) return ReadMessage(fd, buffer, size, read);
  if (size == 0) return TRUE;
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, size, 0);
    if (n > 0) {
      *read = static_cast<DWORD>(n);
      return TRUE;
    }
    if (n == 0) {
      SetLastError(Closed() ? ERROR_INVALID_HANDLE : ERROR_BROKEN_PIPE);
      return FALSE;
    }
    if (errno == EINTR) continue;
    return Fail(errno);
  }
}

BOOL PipeEnd::ReadMessage(int fd, void* buffer, DWORD size, DWORD* read) {
  std::lock_guard<std::mutex> lock(read_mutex_);
  char* out = static_cast<char*>(buffer);
  if (pending_offset_ < pending_.size()) {
    const std::size_t left = pending_.size() - pending_offset_;
    const std::size_t take = std::min<std::size_t>(left, size);
    if (take > 0) std::memcpy(out, pending_.data() + pending_offset_, take);
    pending_offset_ += take;
    *read = static_cast<DWORD>(take);
    if (take < left) {
      SetLastError(ERROR_MORE_DATA);
      return FALSE;
    }
    pending_.clear();
    pending_offset_ = 0;
    return TRUE;
  }
  iovec parts[2] = {{out, size}, {overflow_.get(), kMessageOverflow}};
  msghdr msg{};
  msg.msg_iov = parts;
  msg.msg_iovlen = 2;
  ssize_t n;
  do {
    n = ::recvmsg(fd, &msg, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(errno);
  if (n == 0) {
    if (Closed()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    // An empty message and the end of the stream both read as 0 bytes; the
    // end is the one with the peer's side shut down.
    pollfd p{fd, POLLRDHUP, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP)) != 0) {
      SetLastError(ERROR_BROKEN_PIPE);
      return FALSE;
    }
    return TRUE;
  }
  const std::size_t got = static_cast<std::size_t>(n);
  if (got <= size) {
    *read = static_cast<DWORD>(got);
    return TRUE;
  }
  *read = size;
  const std::size_t tail = std::min(got - size, kMessageOverflow);
  pending_.assign(overflow_.get(), overflow_.get() + tail);
  pending_offset_ = 0;
  SetLastError(ERROR_MORE_DATA);
  return FALSE;
}

BOOL PipeEnd::WriteSocket(int fd, const void* buffer, DWORD size, DWORD* written) {
  *written = 0;
  if (!can_write_) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const char* data = static_cast<const char*>(buffer);
  if (message_) {
    ssize_t n;
    do {
      n = ::send(fd, data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return Fail(errno);
    *written = static_cast<DWORD>(n);
    return TRUE;
  }
  DWORD done = 0;
  while (done < size) {
    const ssize_t n = ::send(fd, data + done, size - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      *written = done;
      return Fail(errno);
    }
    done += static_cast<DWORD>(n);
  }
  *written = done;
  return TRUE;
}

// ---------------------------------------------------------------------------
// Client end

class ClientPipe final : public PipeEnd {
 public:
  ClientPipe(int fd, bool message, bool can_read, bool can_write)
      : PipeEnd(message, can_read, can_write), fd_(fd) {}
  ~ClientPipe() override { CloseFd(fd_); }

  BOOL Read(void* buffer, DWORD size, DWORD* read) override {
    return ReadSocket(fd_, buffer, size, read);
  }
  BOOL Write(const void* buffer, DWORD size, DWORD* written) override {
    return WriteSocket(fd_, buffer, size, written);
  }
  void Wake() override { ::shutdown(fd_, SHUT_RDWR); }

 private:
  const int fd_;
};

// ---------------------------------------------------------------------------
// Server instance

class ServerPipe final : public PipeEnd {
 public:
  ServerPipe(int listen_fd, const PipeAddress& address, int type, bool can_read, bool can_write)
      : PipeEnd(type == SOCK_SEQPACKET, can_read, can_write),
        listen_fd_(listen_fd),
        address_(address),
        type_(type),
        uid_(::geteuid()) {}
  ~ServerPipe() override {
    CloseFd(conn_fd_.load());
    CloseFd(placeholder_fd_);
    CloseFd(listen_fd_);
  }

  BOOL Read(void* buffer, DWORD size, DWORD* read) override {
    *read = 0;
    const int fd = ConnectedFd();
    if (fd < 0) return FALSE;
    return ReadSocket(fd, buffer, size, read);
  }
  BOOL Write(const void* buffer, DWORD size, DWORD* written) override {
    *written = 0;
    const int fd = ConnectedFd();
    if (fd < 0) return FALSE;
    return WriteSocket(fd, buffer, size, written);
  }
  void Wake() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ::shutdown(listen_fd_, SHUT_RDWR);
    const int conn = conn_fd_.load();
    if (conn >= 0) ::shutdown(conn, SHUT_RDWR);
  }

  BOOL Connect();

 private:
  enum class Accepted { kConnected, kNone, kFailed };

  // The connected socket, accepting a client that is already waiting; -1 with
  // the last error set when there is none.
  int ConnectedFd() {
    // Once connected, the descriptor never changes: no lock on the way.
    const int connected = conn_fd_.load(std::memory_order_acquire);
    if (connected >= 0) return connected;
    std::lock_guard<std::mutex> lock(mutex_);
    if (conn_fd_.load() < 0 && AcceptOneLocked() != Accepted::kConnected) {
      if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_PIPE_LISTENING);
      return -1;
    }
    return conn_fd_.load();
  }

  Accepted AcceptOneLocked();
  void FillQueueLocked();

  const int listen_fd_;
  const PipeAddress address_;
  const int type_;
  const uid_t uid_;
  std::mutex mutex_;
  std::atomic<int> conn_fd_{-1};  // set under mutex_, once; read without it
  int placeholder_fd_ = -1;  // guarded by mutex_
};

ServerPipe::Accepted ServerPipe::AcceptOneLocked() {
  SetLastError(ERROR_SUCCESS);
  for (;;) {
    if (Closed()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return Accepted::kFailed;
    }
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return Accepted::kNone;
      SetLastError(Closed() ? ERROR_INVALID_HANDLE : WinErrorFromErrno(errno));
      return Accepted::kFailed;
    }
    uid_t peer = 0;
    if (!PeerUid(fd, &peer) || !MayTalk(peer, uid_)) {
      // Another user's process: it may not open this pipe. Dropping it is
      // all it learns; the server keeps waiting for a legitimate client.
      ::close(fd);
      continue;
    }
    // The direction the server may not use is shut so that the peer learns
    // of it at once (a write into an outbound-only pipe ends as a broken pipe).
    if (!can_read()) ::shutdown(fd, SHUT_RD);
    conn_fd_.store(fd, std::memory_order_release);
    FillQueueLocked();
    return Accepted::kConnected;
  }
}

void ServerPipe::FillQueueLocked() {
  // Occupy the one backlog slot so that further clients find the instance
  // busy. A client that slipped into the slot meanwhile is turned away (it
  // sees the pipe end) and the slot taken again.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = ::socket(AF_UNIX, type_ | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address_.addr), address_.length) == 0) {
      placeholder_fd_ = fd;
      return;
    }
    const int err = errno;
    ::close(fd);
    if (err != EAGAIN) return;
    const int intruder = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    CloseFd(intruder);
  }
}

BOOL ServerPipe::Connect() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (conn_fd_.load() >= 0) {
      SetLastError(ERROR_PIPE_CONNECTED);
      return FALSE;
    }
    const Accepted first = AcceptOneLocked();
    if (first == Accepted::kConnected) {
      SetLastError(ERROR_PIPE_CONNECTED);
      return FALSE;
    }
    if (first == Accepted::kFailed) return FALSE;
  }
  for (;;) {
    pollfd p{listen_fd_, POLLIN, 0};
    const int rc = ::poll(&p, 1, -1);
    if (rc < 0 && errno != EINTR) {
      SetLastError(WinErrorFromErrno(errno));
      return FALSE;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (conn_fd_.load() >= 0) return TRUE;  // a read or write on another thread accepted it
    const Accepted result = AcceptOneLocked();
    if (result == Accepted::kConnected) return TRUE;
    if (result == Accepted::kFailed) return FALSE;
  }
}

// ---------------------------------------------------------------------------
// Looking at a listener from outside

enum class Availability { kMissing, kFree, kBusy, kUnknown };

struct ListenerInfo {
  Availability availability = Availability::kUnknown;
  bool has_owner = false;
  uid_t owner = 0;  // the user that created the listening socket
};

// The listener's queue length and owner from the kernel's socket
// diagnostics.
ListenerInfo QueryListener(const PipeAddress& address) {
  ListenerInfo info;
  const int nl = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (nl < 0) return info;
  struct {
    nlmsghdr header;
    unix_diag_req request;
  } query{};
  query.header.nlmsg_len = sizeof(query);
  query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  query.request.sdiag_family = AF_UNIX;
  query.request.udiag_states = 1u << 10;  // TCP_LISTEN
  query.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_RQLEN | UDIAG_SHOW_UID;
  if (::send(nl, &query, sizeof(query), 0) != static_cast<ssize_t>(sizeof(query))) {
    ::close(nl);
    return info;
  }
  const std::size_t name_length = address.length - offsetof(sockaddr_un, sun_path);
  Availability found = Availability::kMissing;
  std::vector<char> buffer(32768);
  for (bool done = false; !done;) {
    const ssize_t n = ::recv(nl, buffer.data(), buffer.size(), 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      found = Availability::kUnknown;
      break;
    }
    std::size_t left = static_cast<std::size_t>(n);
    for (const nlmsghdr* h = reinterpret_cast<const nlmsghdr*>(buffer.data()); NLMSG_OK(h, left);
         h = NLMSG_NEXT(h, left)) {
      if (h->nlmsg_type == NLMSG_DONE) {
        done = true;
        break;
      }
      if (h->nlmsg_type == NLMSG_ERROR) {
        found = Availability::kUnknown;
        done = true;
        break;
      }
      if (h->nlmsg_len < NLMSG_LENGTH(sizeof(unix_diag_msg))) continue;
      const unix_diag_msg* diag = static_cast<const unix_diag_msg*>(NLMSG_DATA(h));
      std::size_t attr_left = h->nlmsg_len - NLMSG_LENGTH(sizeof(*diag));
      const char* name = nullptr;
      std::size_t this_length = 0;
      bool have_queue = false;
      unix_diag_rqlen queue{};
      bool have_uid = false;
      std::uint32_t uid = 0;
      for (const rtattr* a = reinterpret_cast<const rtattr*>(diag + 1); RTA_OK(a, attr_left);
           a = RTA_NEXT(a, attr_left)) {
        if (a->rta_type == UNIX_DIAG_NAME) {
          name = static_cast<const char*>(RTA_DATA(a));
          this_length = RTA_PAYLOAD(a);
        } else if (a->rta_type == UNIX_DIAG_RQLEN && RTA_PAYLOAD(a) >= sizeof(queue)) {
          std::memcpy(&queue, RTA_DATA(a), sizeof(queue));
          have_queue = true;
        } else if (a->rta_type == UNIX_DIAG_UID && RTA_PAYLOAD(a) >= sizeof(uid)) {
          std::memcpy(&uid, RTA_DATA(a), sizeof(uid));
          have_uid = true;
        }
      }
      if (name != nullptr && this_length == name_length &&
          std::memcmp(name, address.addr.sun_path, name_length) == 0) {
        found = !have_queue ? Availability::kUnknown
                            : (queue.udiag_rqueue == 0 ? Availability::kFree : Availability::kBusy);
        info.has_owner = have_uid;
        info.owner = static_cast<uid_t>(uid);
      }
    }
  }
  ::close(nl);
  info.availability = found;
  return info;
}

// Where diagnostics are unavailable: a connect tells missing from busy, and
// a successful probe is closed again at once (the server then accepts a
// connection that has already ended).
Availability ProbeListener(const PipeAddress& address) {
  bool busy = false;
  for (int type : {SOCK_SEQPACKET, SOCK_STREAM}) {
    const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return Availability::kUnknown;
    const int rc =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address.addr), address.length);
    const int err = errno;
    ::close(fd);
    if (rc == 0) return Availability::kFree;
    if (err == EAGAIN) busy = true;
  }
  return busy ? Availability::kBusy : Availability::kMissing;
}

Availability CheckListener(const PipeAddress& address) {
  const Availability a = QueryListener(address).availability;
  return a == Availability::kUnknown ? ProbeListener(address) : a;
}

}  // namespace
}  // namespace winapi

HANDLE CreateNamedPipeA(LPCSTR name, DWORD open_mode, DWORD pipe_mode, DWORD max_instances,
                        DWORD, DWORD, DWORD, LPSECURITY_ATTRIBUTES) {
  winapi::PipeAddress address;
  if (!winapi::MakePipeAddress(name, &address)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  const DWORD access = open_mode & PIPE_ACCESS_DUPLEX;
  const bool message_type = (pipe_mode & PIPE_TYPE_MESSAGE) != 0;
  if (access == 0 || (pipe_mode & PIPE_NOWAIT) != 0 ||
      ((pipe_mode & PIPE_READMODE_MESSAGE) != 0 && !message_type) || max_instances == 0 ||
      max_instances > PIPE_UNLIMITED_INSTANCES) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const int type = message_type ? SOCK_SEQPACKET : SOCK_STREAM;
  const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    winapi::SetLastErrorFromErrno(errno);
    return INVALID_HANDLE_VALUE;
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address.addr), address.length) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EADDRINUSE) {
      SetLastError((open_mode & FILE_FLAG_FIRST_PIPE_INSTANCE) != 0 ? ERROR_ACCESS_DENIED
                                                                    : ERROR_PIPE_BUSY);
    } else {
      winapi::SetLastErrorFromErrno(err);
    }
    return INVALID_HANDLE_VALUE;
  }
  if (::listen(fd, 0) != 0) {
    const int err = errno;
    ::close(fd);
    winapi::SetLastErrorFromErrno(err);
    return INVALID_HANDLE_VALUE;
  }
  auto server = std::make_shared<winapi::ServerPipe>(
      fd, address, type, (access & PIPE_ACCESS_INBOUND) != 0, (access & PIPE_ACCESS_OUTBOUND) != 0);
  return winapi::RegisterHandle(std::move(server));
}

BOOL ConnectNamedPipe(HANDLE pipe, LPOVERLAPPED overlapped) {
  if (overlapped != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<winapi::HandleObject> object = winapi::LookupHandle(pipe);
  if (!object) return FALSE;
  auto* server = dynamic_cast<winapi::ServerPipe*>(object.get());
  if (server == nullptr) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  return server->Connect();
}

BOOL WaitNamedPipeA(LPCSTR name, DWORD timeout_ms) {
  winapi::PipeAddress address;
  if (!winapi::MakePipeAddress(name, &address)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (timeout_ms == NMPWAIT_USE_DEFAULT_WAIT) timeout_ms = winapi::kDefaultWaitMs;
  const auto start = std::chrono::steady_clock::now();
  int poll_ms = winapi::kWaitPollFirstMs;
  for (;;) {
    switch (winapi::CheckListener(address)) {
      case winapi::Availability::kMissing:
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
      case winapi::Availability::kFree:
        return TRUE;
      case winapi::Availability::kBusy:
      case winapi::Availability::kUnknown:
        break;
    }
    if (timeout_ms != NMPWAIT_WAIT_FOREVER) {
      const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count();
      if (waited >= static_cast<long long>(timeout_ms)) {
        SetLastError(ERROR_SEM_TIMEOUT);
        return FALSE;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
    poll_ms = std::min(poll_ms * 2, winapi::kWaitPollMaxMs);
  }
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation,
                   DWORD, HANDLE) {
  if (!winapi::IsPipeName(name)) {
    SetLastError(name == nullptr ? ERROR_INVALID_PARAMETER : ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  winapi::PipeAddress address;
  if (!winapi::MakePipeAddress(name, &address)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  const bool can_read = (access & GENERIC_READ) != 0;
  const bool can_write = (access & GENERIC_WRITE) != 0;
  if ((!can_read && !can_write) || creation != OPEN_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Ask before connecting whether the server's user is one we may talk to: a
  // refused connection would otherwise sit in the instance's queue until the
  // server drops it. The credentials of the connection itself are checked
  // again below; that check is the one that counts.
  const winapi::ListenerInfo listener = winapi::QueryListener(address);
  if (listener.availability != winapi::Availability::kMissing && listener.has_owner &&
      !winapi::MayTalk(::geteuid(), listener.owner)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  bool busy = false;
  int fd = -1;
  int type = 0;
  for (int candidate : {SOCK_SEQPACKET, SOCK_STREAM}) {
    const int s = ::socket(AF_UNIX, candidate | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) {
      winapi::SetLastErrorFromErrno(errno);
      return INVALID_HANDLE_VALUE;
    }
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address.addr), address.length) == 0) {
      fd = s;
      type = candidate;
      break;
    }
    const int err = errno;
    ::close(s);
    if (err == EAGAIN) {
      busy = true;
      break;
    }
    if (err != ECONNREFUSED) {
      winapi::SetLastErrorFromErrno(err);
      return INVALID_HANDLE_VALUE;
    }
  }
  if (fd < 0) {
    SetLastError(busy ? ERROR_PIPE_BUSY : ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  uid_t server_uid = 0;
  if (!winapi::PeerUid(fd, &server_uid) || !winapi::MayTalk(::geteuid(), server_uid)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int err = errno;
    ::close(fd);
    winapi::SetLastErrorFromErrno(err);
    return INVALID_HANDLE_VALUE;
  }
  // A client of an outbound-only server cannot write; shutting our write side
  // is not needed: the server shuts its read side when it accepts.
  auto client =
      std::make_shared<winapi::ClientPipe>(fd, type == SOCK_SEQPACKET, can_read, can_write);
  return winapi::RegisterHandle(std::move(client));
}
