// The pipelines on Windows named pipes: the implementation base with its
// synchronous read and background reader, and the message and stream
// implementations. Every log line of the pipelines is written from this file.
#include <OskaBase/MessagePipeLine.h>
#include <OskaBase/PipeLine.h>
#include <OskaBase/StreamPipeLine.h>

#include "Base/LogMacro.h"
#include "IPC/PipeErrorText.h"
#include "IPC/StreamFrames.h"

#include <windows.h>
#include <zel/zel.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace Oska {
namespace Base {

// ---------------------------------------------------------------------------
// CPipeLine::CPipeLineImpl

CPipeLine::CPipeLineImpl::CPipeLineImpl(const std::string& name, CPipeLine::Mode mode)
    : m_hPipe(INVALID_HANDLE_VALUE),
      m_strPipeName(name),
      m_eMode(mode),
      m_nReadBufferSize(0),
      m_pFlags(new Flags) {}

CPipeLine::CPipeLineImpl::~CPipeLineImpl() { CloseAndStop(); }

bool CPipeLine::CPipeLineImpl::IsOpen() const { return PipeHandle() != INVALID_HANDLE_VALUE; }

void CPipeLine::CPipeLineImpl::ResetReportFlags() {
  m_pFlags->report_read_error.store(true);
  m_pFlags->report_write_error.store(true);
}

void CPipeLine::CPipeLineImpl::CloseAndStop() {
  void* handle = m_hPipe.exchange(INVALID_HANDLE_VALUE, std::memory_order_acq_rel);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  StopReceiveThread();
  ResetReportFlags();
}

void CPipeLine::CPipeLineImpl::StartReceiveThread() {
  m_pFlags->stop_reader.store(false);
  m_thread = std::thread(&CPipeLine::CPipeLineImpl::AsynReceiveData, this);
}

void CPipeLine::CPipeLineImpl::StopReceiveThread() {
  m_pFlags->stop_reader.store(true);
  if (m_thread.joinable()) m_thread.join();
}

void CPipeLine::CPipeLineImpl::Read() {
  if (m_nReadBufferSize > 0) std::memset(m_pReadBuffer.get(), 0, m_nReadBufferSize);
  DWORD read = 0;
  if (ReadFile(PipeHandle(), m_pReadBuffer.get(), static_cast<DWORD>(m_nReadBufferSize), &read,
               nullptr)) {
    if (read == 0) return;
    m_pFlags->report_read_error.store(true);
    OnReceiveData(m_pReadBuffer.get(), static_cast<int>(read));
    return;
  }
  const DWORD error = GetLastError();
  if (!m_pFlags->report_read_error.exchange(false)) return;
  if (error == ERROR_IO_PENDING) {
    ZEL_OutputDebug("ReadFile error, ERROR_IO_PENDING.");
    OSKA_LOG(5, "QRN", "ReadFile failed.The error is ERROR_IO_PENDING.");
  } else if (error == ERROR_BROKEN_PIPE) {
    ZEL_OutputDebug("ReadFile error, ERROR_BROKEN_PIPE.");
    OSKA_LOG(5, "QRN", "ReadFile failed.The error is ERROR_BROKEN_PIPE.");
  } else {
    const std::string text = PipeErrorText(error);
    ZEL_OutputDebug("ReadFile error, the error message = [%s].", text.c_str());
    OSKA_LOG(5, "QRN", "ReadFile failed.The error message is [%s].", text.c_str());
  }
}

char* CPipeLine::CPipeLineImpl::ReceiveTarget(int* size) {
  *size = m_nReadBufferSize;
  return m_pReadBuffer.get();
}

void CPipeLine::CPipeLineImpl::AsynReceiveData() {
  if (m_nReadBufferSize > 0) std::memset(m_pReadBuffer.get(), 0, m_nReadBufferSize);
  for (;;) {
    if (m_pFlags->stop_reader.load()) {
      ZEL_OutputDebug("exit thread");
      OSKA_LOG(5, "Base", "exit thread");
      break;
    }
    void* handle = PipeHandle();
    if (handle == INVALID_HANDLE_VALUE) {
      ZEL_OutputDebug("m_hPipe is closed");
      OSKA_LOG(5, "Base", "m_hPipe is closed");
      break;
    }
    int size = 0;
    char* target = ReceiveTarget(&size);
    DWORD read = 0;
    if (ReadFile(handle, target, static_cast<DWORD>(size), &read, nullptr)) {
      if (read == 0) continue;
      m_pFlags->report_read_error.store(true);
      OnReceiveData(target, static_cast<int>(read));
      continue;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      if (m_pFlags->report_read_error.exchange(false)) {
        ZEL_OutputDebug("ReadFile error, ERROR_IO_PENDING.");
        OSKA_LOG(5, "QRN", "ReadFile failed.The error is ERROR_IO_PENDING.");
      }
      continue;
    }
    if (error == ERROR_BROKEN_PIPE) {
      if (m_pFlags->report_read_error.exchange(false)) {
        ZEL_OutputDebug("ReadFile error, ERROR_BROKEN_PIPE.");
        OSKA_LOG(5, "QRN", "ReadFile failed.The error is ERROR_BROKEN_PIPE.");
      }
      break;
    }
    if (error == ERROR_INVALID_HANDLE) {
      if (m_pFlags->report_read_error.exchange(false)) {
        ZEL_OutputDebug("m_hPipe is closed");
        OSKA_LOG(5, "Base", "m_hPipe is closed");
      }
      break;
    }
    ZEL_OutputDebug("ReadFile error, the error message = [%s].", PipeErrorText(error).c_str());
    Sleep(10);
  }
  OnPipeClosed();
}

namespace {

// Payloads from this size on are written without copying them into the send
// buffer (see TransStream).
constexpr std::uint32_t kDirectPayload = 16 * 1024;

// Errors after which waiting for the pipe and trying again cannot help: the
// name can never be opened, or not by this process.
bool IsPermanentOpenError(DWORD error) {
  return error == ERROR_INVALID_NAME || error == ERROR_ACCESS_DENIED;
}

}  // namespace

// ---------------------------------------------------------------------------
// CMessagePipeLineImpl

CMessagePipeLineImpl::CMessagePipeLineImpl(const std::string& name, CPipeLine::Mode mode,
                                           CMessagePipeLine::CListener* listener)
    : CPipeLineImpl(name, mode), m_pListener(listener) {
  m_pReadBuffer.reset(new char[kReadBufferSize]());
  m_nReadBufferSize = kReadBufferSize;
  CreatePipeLine();
}

CMessagePipeLineImpl::~CMessagePipeLineImpl() {
  m_pListener = nullptr;
  CloseAndStop();
}

void CMessagePipeLineImpl::CreatePipeLine() {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  if (m_eMode == CPipeLine::Server) {
    pipe = CreateNamedPipeA(m_strPipeName.c_str(),
                            PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                            kSendBufferSize, kReadBufferSize, 5000, nullptr);
  } else {
    for (;;) {
      pipe = CreateFileA(m_strPipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                         nullptr);
      if (pipe != INVALID_HANDLE_VALUE) break;
      const DWORD open_error = GetLastError();
      if (IsPermanentOpenError(open_error)) break;
      if (WaitNamedPipeA(m_strPipeName.c_str(), 1000)) {
        // An instance is free now, but this attempt is over: reported below
        // with the error of the failed open.
        SetLastError(open_error);
        break;
      }
      if (GetLastError() == ERROR_INVALID_NAME) break;
      OSKA_LOG(5, "QRN", "WaitNamedPipeA timeout.The pipe name is [%s]", m_strPipeName.c_str());
      Sleep(50);
    }
  }
  m_hPipe.store(pipe, std::memory_order_release);
  if (pipe != INVALID_HANDLE_VALUE) {
    if (m_eMode == CPipeLine::Client) {
      ZEL_OutputDebug("Connect pipe [%s] succ.", m_strPipeName.c_str());
      OSKA_LOG(5, "QRN", "Connect pipe [%s] succ.", m_strPipeName.c_str());
    }
    return;
  }
  const std::string text = PipeErrorText(GetLastError());
  ZEL_OutputDebug("CreateFileA pipe [%s] failed, the mode is %d.The error message = [%s].",
                  m_strPipeName.c_str(), static_cast<int>(m_eMode), text.c_str());
  OSKA_LOG(5, "QRN", "CreateFileA pipe [%s] failed, the mode is %d.The error message = [%s].",
           m_strPipeName.c_str(), static_cast<int>(m_eMode), text.c_str());
}

bool CMessagePipeLineImpl::ServerSideConnect() {
  if (ConnectNamedPipe(PipeHandle(), nullptr)) {
    OSKA_LOG(3, "QRN", "ConnectNamedPipe [%s] successfully.", m_strPipeName.c_str());
    return true;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    OSKA_LOG(3, "QRN", "ConnectNamedPipe [%s] successfully.", m_strPipeName.c_str());
    return true;
  }
  const std::string text = PipeErrorText(error);
  ZEL_OutputDebug("ConnectNamedPipe error, %s.", text.c_str());
  OSKA_LOG(3, "QRN", "ConnectNamedPipe [%s] failed.The error message is [%s].",
           m_strPipeName.c_str(), text.c_str());
  return false;
}

bool CMessagePipeLineImpl::TransMessage(const std::string& message) {
  // The text, cut to 4095 bytes, and the zero byte that ends it: the same
  // bytes a cleared 4096-byte buffer would give, without clearing what is
  // never sent.
  char buffer[kSendBufferSize];
  const std::size_t length = std::min<std::size_t>(message.size(), kSendBufferSize - 1);
  std::memcpy(buffer, message.data(), length);
  buffer[length] = '\0';
  DWORD written = 0;
  if (WriteFile(PipeHandle(), buffer, static_cast<DWORD>(length + 1), &written, nullptr)) {
    m_pFlags->report_write_error.store(true);
    ZEL_OutputDebug("WriteFile successfully, size [%d], strMessage size [%d].",
                    static_cast<int>(written), static_cast<int>(message.size() + 1));
    return true;
  }
  const DWORD error = GetLastError();
  if (m_pFlags->report_write_error.exchange(false)) {
    const std::string text = PipeErrorText(error);
    ZEL_OutputDebug("WriteFile error, [%s], [%s].", text.c_str(), message.c_str());
    OSKA_LOG(3, "QRN", "WriteFile error, [%s], [%s].", text.c_str(), message.c_str());
  }
  return error == ERROR_IO_PENDING;
}

void CMessagePipeLineImpl::OnReceiveData(const char* data, int length) {
  if (m_pListener == nullptr || data == nullptr || length <= 0) return;
  const char* end = static_cast<const char*>(std::memchr(data, 0, static_cast<std::size_t>(length)));
  const std::size_t size = end != nullptr ? static_cast<std::size_t>(end - data)
                                          : static_cast<std::size_t>(length);
  m_pListener->OnPipeMessage(std::string(data, size));
}

void CMessagePipeLineImpl::OnPipeClosed() {
  if (m_pListener != nullptr) m_pListener->OnPipeClosed();
}

// ---------------------------------------------------------------------------
// CStreamPipeLineImpl

CStreamPipeLineImpl::CStreamPipeLineImpl(const std::string& name, CPipeLine::Mode mode,
                                         CStreamPipeLine::CListener* listener)
    : CPipeLineImpl(name, mode),
      m_pListener(listener),
      m_pSendBuffer(new char[kFrameSize]()),
      m_pStore(new char[kStoreSize]()),
      m_nStoreFill(0) {
  m_pReadBuffer.reset(new char[kFrameSize]());
  m_nReadBufferSize = kFrameSize;
  CreatePipeLine();
}

CStreamPipeLineImpl::~CStreamPipeLineImpl() {
  // The reader uses the store and the listener: it must be gone first.
  CloseAndStop();
}

void CStreamPipeLineImpl::CreatePipeLine() {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  if (m_eMode == CPipeLine::Server) {
    pipe = CreateNamedPipeA(m_strPipeName.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 5000,
                            nullptr);
  } else {
    for (;;) {
      pipe = CreateFileA(m_strPipeName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                         nullptr);
      if (pipe != INVALID_HANDLE_VALUE) break;
      const DWORD open_error = GetLastError();
      if (IsPermanentOpenError(open_error)) break;
      if (!WaitNamedPipeA(m_strPipeName.c_str(), 100000)) break;
    }
  }
  m_hPipe.store(pipe, std::memory_order_release);
  if (pipe != INVALID_HANDLE_VALUE) {
    if (m_eMode == CPipeLine::Client) {
      OSKA_LOG(5, "QRN", "CreatePipeLine pipe [%s] succ, the mode is %d.", m_strPipeName.c_str(),
               static_cast<int>(m_eMode));
      StartReceiveThread();
    }
    return;
  }
  const std::string text = PipeErrorText(GetLastError());
  ZEL_OutputDebug("CreatePipeLine pipe [%s] failed, the mode is %d.The error message = [%s].",
                  m_strPipeName.c_str(), static_cast<int>(m_eMode), text.c_str());
  OSKA_LOG(5, "QRN", "CreatePipeLine pipe [%s] failed, the mode is %d.The error message = [%s].",
           m_strPipeName.c_str(), static_cast<int>(m_eMode), text.c_str());
}

bool CStreamPipeLineImpl::ServerSideConnect() {
  if (ConnectNamedPipe(PipeHandle(), nullptr)) {
    ZEL_OutputDebug("ConnectNamedPipe [%s] successfully\n", m_strPipeName.c_str());
    OSKA_LOG(5, "QRN", "ConnectNamedPipe [%s] successfully.", m_strPipeName.c_str());
    return true;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    ZEL_OutputDebug("ConnectNamedPipe [%s] successfully.", m_strPipeName.c_str());
    OSKA_LOG(5, "QRN", "ConnectNamedPipe [%s] successfully.", m_strPipeName.c_str());
    return true;
  }
  const std::string text = PipeErrorText(error);
  ZEL_OutputDebug("ConnectNamedPipe error, %s.", text.c_str());
  OSKA_LOG(5, "QRN", "ConnectNamedPipe [%s] failed.The error message is [%s].",
           m_strPipeName.c_str(), text.c_str());
  return false;
}

bool CStreamPipeLineImpl::TransStream(int type, const char* data, unsigned long long length) {
  char* const frame = m_pSendBuffer.get();
  std::memset(frame, 0, kFrameSize);
  // The count is taken as 32-bit signed: a length below 1 or of 2^31 bytes
  // or more sends nothing.
  if (length < 1 || length >= (1ull << 31)) return true;
  if (data == nullptr) return false;
  std::int32_t remaining = static_cast<std::int32_t>(length);
  const char* next = data;
  while (remaining > 0) {
    const std::int32_t chunk = remaining + kHeaderSize > kFrameSize ? kMaxPayload : remaining;
    const std::uint32_t size = static_cast<std::uint32_t>(chunk);
    frame[0] = 'p';
    frame[1] = 'k';
    frame[2] = 'g';
    frame[3] = static_cast<char>(type & 0xff);
    frame[4] = static_cast<char>(size & 0xff);
    frame[5] = static_cast<char>((size >> 8) & 0xff);
    frame[6] = static_cast<char>((size >> 16) & 0xff);
    frame[7] = static_cast<char>((size >> 24) & 0xff);
    // A small frame goes out whole from the send buffer in one write. A large
    // payload is written straight from the caller's data after its header:
    // the byte stream is the same, and copying the payload first would cost
    // as much as a third of the time the write itself takes.
    DWORD written = 0;
    bool ok;
    if (size < kDirectPayload) {
      std::memcpy(frame + kHeaderSize, next, size);
      ok = WriteFile(PipeHandle(), frame, size + kHeaderSize, &written, nullptr) != FALSE;
    } else {
      ok = WriteFile(PipeHandle(), frame, kHeaderSize, &written, nullptr) != FALSE &&
           WriteFile(PipeHandle(), next, size, &written, nullptr) != FALSE;
    }
    if (!ok) {
      const DWORD error = GetLastError();
      const std::string text = PipeErrorText(error);
      ZEL_OutputDebug("WriteFile failed.The error message is %s.", text.c_str());
      OSKA_LOG(5, "QRN", "WriteFile failed.The error message is %s.", text.c_str());
      return error == ERROR_IO_PENDING;
    }
    next += size;
    remaining -= chunk;
  }
  return true;
}

void CStreamPipeLineImpl::OnReceiveData(const char* data, int length) {
  if (m_pListener == nullptr || data == nullptr || length <= 0) return;
  CStreamPipeLine::CListener* listener = m_pListener;
  const bool intact = ReassembleFrames(
      m_pStore.get(), kStoreSize, &m_nStoreFill, data, static_cast<std::size_t>(length),
      [listener](int type, const char* payload, std::uint32_t size) {
        listener->OnPipeStream(type, payload, size);
      });
  // A frame that announces more than any sender may write: the stream
  // cannot be trusted any more, so the reader ends at its next pass.
  if (!intact) m_pFlags->stop_reader.store(true);
}

char* CStreamPipeLineImpl::ReceiveTarget(int* size) {
  if (m_pListener == nullptr) return CPipeLineImpl::ReceiveTarget(size);
  *size = static_cast<int>(NextFrameRead(m_pStore.get(), m_nStoreFill));
  return m_pStore.get() + m_nStoreFill;
}

void CStreamPipeLineImpl::OnPipeClosed() {
  if (m_pListener != nullptr) m_pListener->OnPipeClosed();
}

}  // namespace Base
}  // namespace Oska
