// The message pipeline: short text messages both ways over one duplex named
// pipe in message mode.
//
// Wire format: one pipe message per TransMessage, the text's bytes followed
// by one zero byte; no header. TransMessage("hello") writes the six bytes
// "hello\0"; the peer's listener gets "hello".
//
// One process builds a Server and waits with Connect(); the other builds a
// Client, whose constructor keeps trying until a server of that name exists.
// Either side sends with TransMessage and receives by calling Read(), which
// hands each message to the listener on the calling thread. There is no
// background reader.
#pragma once

#include <OskaBase/Export.h>
#include <OskaBase/PipeLine.h>

#include <string>

namespace Oska {
namespace Base {

class OSKABASE_API CMessagePipeLine : public CPipeLine {
 public:
  // Implemented by the caller; passed as a non-owning pointer that must stay
  // valid while the pipeline exists.
  class OSKABASE_API CListener {
   public:
    // Never called by the library; a hook a listener may use for itself.
    virtual void OnPipeConnected() {}
    // A received message, cut at its first zero byte, on the thread that
    // called Read().
    virtual void OnPipeMessage(const std::string& message) = 0;
    // Message pipelines have no background reader, so this is not called
    // for them.
    virtual void OnPipeClosed() {}
    virtual ~CListener();
  };

  // Builds the pipeline and creates (Server) or opens (Client) pipe `name`
  // ("\\.\pipe\NAME"). A server pipe fails if the name already exists
  // (IsConnect() is then false). A client does not return until a server of
  // that name exists: it retries every ~50 ms after a failed wait of up to 1
  // second, logging each attempt. It ends unopened (IsConnect() false), and
  // logged, without retrying when a server instance exists but is busy with
  // another client and frees up during the wait, and also at once for a
  // name that can never be opened (not a valid pipe name) or a server of a
  // user this process may not talk to (access denied): waiting could never
  // help there, and a constructor that never returns would be the worse
  // failure. `listener` may be null: received messages are then dropped.
  CMessagePipeLine(const std::string& name, CPipeLine::Mode mode, CListener* listener);
  ~CMessagePipeLine() override;

  // Sends `message` as one pipe message: its first 4095 bytes at most, then a
  // zero byte. A text with an embedded zero arrives cut there. Returns true
  // when written (or when the write reports ERROR_IO_PENDING), false on a
  // closed pipeline or a failed write; a failure is logged once per run of
  // write failures. Two concurrent calls on one pipeline are not allowed.
  bool TransMessage(const std::string& message);
};

// The message pipeline's implementation: a 4096-byte read buffer, the
// listener, and the pipe created or opened by its constructor.
class OSKABASE_API CMessagePipeLineImpl : public CPipeLine::CPipeLineImpl {
 public:
  CMessagePipeLineImpl(const std::string& name, CPipeLine::Mode mode,
                       CMessagePipeLine::CListener* listener);
  ~CMessagePipeLineImpl() override;

  // Makes a text of `data` up to its first zero byte (at most `length`
  // bytes) and passes it to the listener; dropped without a listener.
  void OnReceiveData(const char* data, int length) override;
  // Forwards to the listener, if any.
  void OnPipeClosed() override;
  // ConnectNamedPipe: true when a client connected during the call;
  // false (logged) when one had connected before it (ERROR_PIPE_CONNECTED,
  // the pipe is usable all the same) or the call failed.
  bool ServerSideConnect() override;

  // Creates or opens the pipe; run once by the constructor.
  void CreatePipeLine();
  bool TransMessage(const std::string& message);

  static const int kReadBufferSize = 4096;
  static const int kSendBufferSize = 4096;

 private:
  CMessagePipeLine::CListener* m_pListener;  // not owned
};

}  // namespace Base
}  // namespace Oska
