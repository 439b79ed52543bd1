// Pipelines: two processes of one machine talking over a named pipe.
//
//  CPipeLine                 the facade every pipeline shares: connect, close,
//                            one synchronous read. Owns its implementation.
//  CPipeLine::CPipeLineImpl  the implementation base: the pipe handle, the
//                            read buffer, the failure-report flags and the
//                            background reader thread.
//  CMessagePipeLine          text messages both ways (MessagePipeLine.h).
//  CStreamPipeLine           framed typed blocks, server to client
//                            (StreamPipeLine.h).
//
// Failure reporting. Every failure is written to the log (module "QRN" or
// "Base") and, in a shorter form, to the debug channel. A read failure is
// logged once per run of failures: after one has been logged, further read
// failures stay silent until a read succeeds or Connect()/Close() re-arms the
// report; the same holds for write failures of message pipelines.
//
// Threads. The owner's thread(s) construct, Connect, Read, send, Close and
// destroy; a stream client also has one reader thread (started by its
// constructor) that calls the listener. No mutex protects a pipeline: the
// handle and the three flags are atomic, and Close() closes the handle before
// it joins the reader, which wakes a reader blocked on the pipe.
#pragma once

#include <OskaBase/Export.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace Oska {
namespace Base {

// A pipeline facade. Not copyable (two facades would share and both destroy
// one implementation); it cannot be reopened after Close().
class OSKABASE_API CPipeLine {
 public:
  // Server (0) creates the pipe and waits for a peer with Connect(); Client
  // (1) opens an existing pipe while it is constructed. Any other value opens
  // the pipe as a client too but gets neither the client's success log line
  // nor, for stream pipelines, the reader thread.
  enum Mode { Server = 0, Client = 1 };

  class CPipeLineImpl;

  // Takes ownership of `impl` (which may be null: every operation then
  // reports a closed pipe).
  explicit CPipeLine(CPipeLineImpl* impl);

  CPipeLine(const CPipeLine&) = delete;
  CPipeLine& operator=(const CPipeLine&) = delete;

  // Closes the pipe, stops and joins the reader, then destroys the
  // implementation. Must not run on the reader thread (from a listener
  // callback): the join would wait for itself and throws
  // std::system_error(resource_deadlock_would_occur).
  virtual ~CPipeLine();

  // Server: waits for a client to connect and returns whether one did (see
  // the derived classes' ServerSideConnect). Client: returns false and only
  // re-arms the read and write failure reports. False when the pipe is not
  // open.
  bool Connect();

  // True exactly while the pipe handle is open: from a successful creation or
  // opening until Close(). A peer that went away does not change it.
  bool IsConnect() const;

  // Closes the pipe (a second call finds it closed and does nothing more),
  // stops and joins the reader thread, and re-arms both failure reports.
  // After Close() returns, no listener call is running or will run. Same
  // threading rule as the destructor.
  void Close();

  // The pipe name given at construction.
  std::string PipeName();

  // One synchronous read of at most the read buffer's size (4096 bytes for
  // message pipelines); what arrives goes to the listener on this thread.
  // Blocks until data, the peer's end or a failure; failures are only
  // logged.
  void Read();

 protected:
  CPipeLineImpl* m_pImpl;  // owned
};

// The implementation base. Derived classes create or open the pipe in their
// constructor, provide the three operations below, and own any buffers of
// their own.
class OSKABASE_API CPipeLine::CPipeLineImpl {
 public:
  CPipeLineImpl(const CPipeLineImpl&) = delete;
  CPipeLineImpl& operator=(const CPipeLineImpl&) = delete;

  // Closes the handle if open, stops and joins the reader, re-arms the
  // failure reports and releases the read buffer and the flags.
  virtual ~CPipeLineImpl();

  // Called with the bytes of every read that delivered at least one byte
  // (`length` >= 1, at most the read buffer's size), on the thread that
  // read: the caller of Read(), or the reader thread.
  virtual void OnReceiveData(const char* data, int length) = 0;

  // Called once, on the reader thread, when the background reader ends.
  virtual void OnPipeClosed() = 0;

  // Waits for a client to connect to a server pipe.
  virtual bool ServerSideConnect() = 0;

  // Where the background reader puts its next read, and at most how many
  // bytes (stored in *size, at least 1). By default the read buffer, whole.
  // A derived class may direct reads into its own storage; OnReceiveData then
  // receives a pointer into that storage.
  virtual char* ReceiveTarget(int* size);

  // One synchronous read: clears the read buffer, reads once, and hands what
  // arrived to OnReceiveData. A failure is logged once per run of failures
  // ("QRN", level 5) and nothing is delivered.
  void Read();

  // The background reader's loop (runs on the reader thread): reads until the
  // stop flag is set, the handle is closed, or the peer goes away; then calls
  // OnPipeClosed() exactly once. Failures other than those, and other than
  // ERROR_IO_PENDING, are sent to the debug channel and retried after 10 ms.
  void AsynReceiveData();

  // Clears the stop flag and starts the reader thread. A pipeline starts its
  // reader at most once (a second start would end the process).
  void StartReceiveThread();

  // Sets the stop flag and joins the reader thread if there is one. The
  // reader notices the flag at its next pass; a reader blocked on the pipe
  // is woken by closing the handle first (see CloseAndStop). Not from the
  // reader thread.
  void StopReceiveThread();

  // Closes the handle if open (atomically: concurrent or repeated calls close
  // it once), stops and joins the reader, and re-arms both failure reports.
  void CloseAndStop();

  // The pipe handle (a Windows HANDLE; INVALID_HANDLE_VALUE while closed).
  void* PipeHandle() const { return m_hPipe.load(std::memory_order_acquire); }
  bool IsOpen() const;
  const std::string& Name() const { return m_strPipeName; }
  CPipeLine::Mode GetMode() const { return m_eMode; }

  // Re-arms the read and write failure reports.
  void ResetReportFlags();

 protected:
  // Handle closed, no thread, no read buffer (size 0), flags {stop: false,
  // report reads: true, report writes: true}.
  CPipeLineImpl(const std::string& name, CPipeLine::Mode mode);

  // The three flags shared by the owner's threads and the reader.
  struct Flags {
    std::atomic<bool> stop_reader{false};
    std::atomic<bool> report_read_error{true};
    std::atomic<bool> report_write_error{true};
  };

  std::atomic<void*> m_hPipe;                // a Windows HANDLE
  std::string m_strPipeName;                 // passed unchanged to the pipe calls
  CPipeLine::Mode m_eMode;
  std::thread m_thread;                      // the reader; empty unless it runs
  std::unique_ptr<char[]> m_pReadBuffer;     // allocated by the derived constructor
  int m_nReadBufferSize;                     // 4096 (message) or 102400 (stream)
  std::unique_ptr<Flags> m_pFlags;
};

}  // namespace Base
}  // namespace Oska
