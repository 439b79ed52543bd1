// The stream pipeline: typed blocks of bytes from a server process to a
// client process over a byte-mode named pipe.
//
// Wire format: a sequence of frames, each
//   offset 0  3 bytes  "pkg" (70 6B 67)
//   offset 3  1 byte   type: the low 8 bits of TransStream's `type`
//   offset 4  4 bytes  payload length, unsigned little-endian, at most 102392
//   offset 8           payload
// so a frame is at most 102400 bytes. TransStream(7, data, 10) writes
//   70 6B 67 07 0A 00 00 00 followed by the 10 bytes,
// and a block of 102393 bytes goes out as two frames of 102392 and 1 bytes
// of payload; the receiver delivers frames one by one and never joins them.
//
// The client runs a reader thread from its constructor on; it reassembles
// frames from the byte stream and calls the listener once per complete frame,
// straight out of its reassembly store.
//
// Hostile senders. The receiver does not check the magic; it trusts only
// what it can verify without overrunning anything. A frame whose header
// announces more than 102392 bytes can never be legitimate and could never
// fit: the reader discards what it holds and ends (OnPipeClosed is called
// once, IsConnect() stays true until Close()). A sender that dies in the
// middle of a frame ends the reader with a broken pipe; the partial frame is
// never delivered. The listener only ever sees frames whose whole payload
// arrived.
#pragma once

#include <OskaBase/Export.h>
#include <OskaBase/PipeLine.h>

#include <cstdint>
#include <string>

namespace Oska {
namespace Base {

class OSKABASE_API CStreamPipeLine : public CPipeLine {
 public:
  // Implemented by the caller; passed as a non-owning pointer that must stay
  // valid while the pipeline exists. Called on the client's reader thread.
  class OSKABASE_API CListener {
   public:
    // Never called by the library; a hook a listener may use for itself.
    virtual void OnPipeConnected() {}
    // One complete frame: its type (0..255), its payload and the payload's
    // length (at most 102392). `data` is valid only during the call.
    virtual void OnPipeStream(int type, const char* data, unsigned int length) = 0;
    // The reader ended (peer gone, Close(), destruction, or a frame that
    // cannot be valid). Called exactly once per reader.
    virtual void OnPipeClosed() = 0;
    virtual ~CListener();
  };

  // Builds the pipeline: a Server creates pipe `name` write-only (the name
  // must not exist yet) and waits for the client in Connect(); a Client opens
  // it read-only, waiting up to 100 s while the instance is busy, failing at
  // once when no server exists, the name is not a valid pipe name or the
  // server's user is one this process may not talk to, and starts its
  // reader. `listener` may be null: received bytes are then discarded.
  CStreamPipeLine(const std::string& name, CPipeLine::Mode mode, CListener* listener);
  ~CStreamPipeLine() override;

  // Sends `length` bytes of `data` with `type` as frames of at most 102392
  // payload bytes. Returns true when everything was written, and also for a
  // length below 1 or of 2^31 or more (nothing is written: a block is at most
  // 2^31 - 1 bytes; longer ones are refused whole rather than sent in part).
  // A null `data` with a positive length writes nothing and returns false.
  // On a failed
  // write, logs it (every time), returns false (true for ERROR_IO_PENDING);
  // frames already written stay sent, and the frame being written may have
  // gone out in part (the receiver never delivers a partial frame). A frame
  // with a payload of 16 KiB or more is written as its header and then its
  // payload straight from `data`, without a copy; smaller ones in one write
  // from the send buffer. On a client the write fails with access denied.
  // Not for concurrent use on one pipeline.
  bool TransStream(int type, const char* data, unsigned long long length);
};

// The stream pipeline's implementation: the listener, a 102400-byte send
// buffer, a 204800-byte reassembly store and its fill, a 102400-byte read
// buffer, all allocated once by the constructor.
class OSKABASE_API CStreamPipeLineImpl : public CPipeLine::CPipeLineImpl {
 public:
  CStreamPipeLineImpl(const std::string& name, CPipeLine::Mode mode,
                      CStreamPipeLine::CListener* listener);
  // Closes the pipe and joins the reader before releasing the buffers it
  // uses, then the base destructor runs.
  ~CStreamPipeLineImpl() override;

  // The reassembly: appends the bytes to the store (nothing to copy when
  // they were read into place, see ReceiveTarget) and delivers every
  // complete frame in order (see the header comment for hostile input).
  // Bytes are dropped without a listener.
  void OnReceiveData(const char* data, int length) override;
  // Forwards to the listener, if any.
  void OnPipeClosed() override;
  // ConnectNamedPipe: true when a client connected during the call; false
  // (logged) when one had connected before it (ERROR_PIPE_CONNECTED, the pipe
  // is usable all the same) or the call failed.
  bool ServerSideConnect() override;
  // The reader reads straight to the end of the reassembly store, so bytes
  // are appended without a copy, and at most up to the end of the frame in
  // progress, so that a large frame ends at the end of a read and no tail
  // has to be moved. (A byte stream may be read in any pieces; frames and
  // their order are unaffected.) Without a listener: the read buffer.
  char* ReceiveTarget(int* size) override;

  // Creates or opens the pipe, and starts the reader of a Client; run once by
  // the constructor.
  void CreatePipeLine();
  bool TransStream(int type, const char* data, unsigned long long length);

  static const int kFrameSize = 102400;
  static const int kHeaderSize = 8;
  static const int kMaxPayload = kFrameSize - kHeaderSize;  // 102392
  static const int kStoreSize = 2 * kFrameSize;             // 204800

 private:
  CStreamPipeLine::CListener* m_pListener;  // not owned
  std::unique_ptr<char[]> m_pSendBuffer;    // kFrameSize bytes
  std::unique_ptr<char[]> m_pStore;         // kStoreSize bytes, reader thread only
  std::uint32_t m_nStoreFill;               // bytes held in m_pStore, reader thread only
};

}  // namespace Base
}  // namespace Oska
