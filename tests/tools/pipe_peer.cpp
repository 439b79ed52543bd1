// The other process of the pipeline tests.
//
//   oska-pipe-peer message-client NAME
//     A CMessagePipeLine client (it waits for the server). Answers each
//     message "M" with "got <length> <first 8 bytes of M>"; "send-long" is
//     answered with a 5000-byte text, "quit" ends it. Ends when a read
//     delivers nothing (the server went away).
//   oska-pipe-peer stream-server NAME pipeline|raw
//     A stream server: a CStreamPipeLine (pipeline) or a bare outbound byte
//     pipe written with WriteFile (raw). Prints "ready" once the pipe exists,
//     then runs commands from stdin, one a line:
//       block TYPE LENGTH  send LENGTH pattern bytes as one block (raw: the
//                          frames are built here, the same way)
//       bytes HEX          write these bytes as they are (raw only)
//       sleep MS
//       exit               end normally
//       kill               die of SIGKILL
//     Prints "done" after each command.
//
// Pattern bytes: byte i of a block of length L is (i * 31 + L) & 0xff.
#include <OskaBase/OskaBase.h>

#include <windows.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Oska::Base::CMessagePipeLine;
using Oska::Base::CPipeLine;
using Oska::Base::CStreamPipeLine;

std::vector<char> Pattern(unsigned long long length) {
  std::vector<char> bytes(length);
  for (unsigned long long i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 31 + length) & 0xff);
  return bytes;
}

class Answerer : public CMessagePipeLine::CListener {
 public:
  void OnPipeMessage(const std::string& message) override {
    delivered = true;
    last = message;
  }
  bool delivered = false;
  std::string last;
};

int RunMessageClient(const std::string& name) {
  Answerer listener;
  CMessagePipeLine pipe(name, CPipeLine::Client, &listener);
  if (!pipe.IsConnect()) return 2;
  for (;;) {
    listener.delivered = false;
    pipe.Read();
    if (!listener.delivered) return 0;
    const std::string& m = listener.last;
    if (m == "quit") return 0;
    if (m == "send-long") {
      pipe.TransMessage(std::string(5000, 'b'));
      continue;
    }
    pipe.TransMessage("got " + std::to_string(m.size()) + " " + m.substr(0, 8));
  }
}

bool WriteAll(HANDLE pipe, const char* data, size_t size) {
  DWORD written = 0;
  return WriteFile(pipe, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

// The frames of one block, built by hand as a sender of this wire format
// would.
bool WriteRawBlock(HANDLE pipe, int type, const std::vector<char>& data) {
  size_t offset = 0;
  while (offset < data.size()) {
    const size_t chunk = std::min<size_t>(data.size() - offset, 102392);
    std::vector<char> frame(8 + chunk);
    frame[0] = 'p';
    frame[1] = 'k';
    frame[2] = 'g';
    frame[3] = static_cast<char>(type & 0xff);
    for (int b = 0; b < 4; ++b) frame[4 + b] = static_cast<char>((chunk >> (8 * b)) & 0xff);
    std::copy(data.begin() + offset, data.begin() + offset + chunk, frame.begin() + 8);
    if (!WriteAll(pipe, frame.data(), frame.size())) return false;
    offset += chunk;
  }
  return true;
}

int RunStreamServer(const std::string& name, bool raw) {
  std::unique_ptr<CStreamPipeLine> pipeline;
  HANDLE pipe = INVALID_HANDLE_VALUE;
  if (raw) {
    pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE, 1, 4096, 4096, 5000, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 2;
  } else {
    pipeline.reset(new CStreamPipeLine(name, CPipeLine::Server, nullptr));
    if (!pipeline->IsConnect()) return 2;
  }
  std::cout << "ready" << std::endl;
  // A client may have connected already; either way the pipe is connected
  // once this returns.
  if (raw) {
    ConnectNamedPipe(pipe, nullptr);
  } else {
    pipeline->Connect();
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "block") {
      int type = 0;
      unsigned long long length = 0;
      in >> type >> length;
      const std::vector<char> data = Pattern(length);
      const bool ok = raw ? WriteRawBlock(pipe, type, data)
                          : pipeline->TransStream(type, data.data(), length);
      if (!ok) return 3;
    } else if (command == "bytes") {
      std::string hex;
      in >> hex;
      std::vector<char> bytes;
      for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
      }
      if (!raw || !WriteAll(pipe, bytes.data(), bytes.size())) return 3;
    } else if (command == "sleep") {
      int ms = 0;
      in >> ms;
      Sleep(static_cast<DWORD>(ms));
    } else if (command == "exit") {
      return 0;
    } else if (command == "kill") {
      ::raise(SIGKILL);
    }
    std::cout << "done" << std::endl;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "message-client") return RunMessageClient(argv[2]);
  if (argc >= 4 && std::string(argv[1]) == "stream-server") {
    return RunStreamServer(argv[2], std::string(argv[3]) == "raw");
  }
  std::fprintf(stderr, "usage: oska-pipe-peer message-client NAME | stream-server NAME pipeline|raw\n");
  return 64;
}
