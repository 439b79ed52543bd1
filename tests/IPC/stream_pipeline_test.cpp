// Stream pipelines: this process is the client, oska-pipe-peer the server,
// sending through the real library ("pipeline") or writing bytes of its own
// choosing on a bare pipe ("raw") to play a broken or hostile sender.
#include <OskaBase/OskaBase.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "IPC/PeerProcess.h"

namespace {

using Oska::Base::CPipeLine;
using Oska::Base::CStreamPipeLine;
using pipe_test::PatternByte;
using pipe_test::PeerProcess;
using pipe_test::UniquePipeName;

struct Frame {
  int type;
  std::string data;
  bool operator==(const Frame& o) const { return type == o.type && data == o.data; }
};

void PrintTo(const Frame& f, std::ostream* os) { *os << f.type << ":" << f.data.size() << " bytes"; }

class Recorder : public CStreamPipeLine::CListener {
 public:
  void OnPipeStream(int type, const char* data, unsigned int length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.push_back({type, std::string(data, length)});
    changed_.notify_all();
  }
  void OnPipeClosed() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++closed_;
    changed_.notify_all();
  }
  // Waits up to 30 s for `count` frames (or, with count 0, for the end).
  bool Wait(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30),
                             [&] { return count ? frames_.size() >= count : closed_ > 0; });
  }
  std::vector<Frame> frames() {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }
  int closed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Frame> frames_;  // guarded by mutex_
  int closed_ = 0;             // guarded by mutex_
};

std::string Pattern(unsigned long long length, unsigned long long offset = 0,
                    unsigned long long count = ~0ull) {
  std::string s;
  for (unsigned long long i = offset; i < length && i - offset < count; ++i) s.push_back(PatternByte(i, length));
  return s;
}

// The peer server in `mode` ("pipeline" or "raw") and this process's client on it.
struct Session {
  explicit Session(const char* mode) : name(UniquePipeName(mode)), peer({"stream-server", name, mode}) {
    EXPECT_TRUE(peer.started());
    EXPECT_EQ(peer.ReadLine(), "ready");
    client.reset(new CStreamPipeLine(name, CPipeLine::Client, &recorder));
    EXPECT_TRUE(client->IsConnect());
  }
  void Command(const std::string& line) {
    peer.Send(line);
    EXPECT_EQ(peer.ReadLine(), "done") << line;
  }
  std::string name;
  PeerProcess peer;
  Recorder recorder;
  std::unique_ptr<CStreamPipeLine> client;
};

TEST(StreamPipeLine, DeliversBlocksAsFramesOfAtMost102392BytesWithTheTypesLowByte) {
  Session s("pipeline");
  for (const char* block : {"7 10", "1 102392", "2 102393", "300 5", "-1 6"}) s.Command(std::string("block ") + block);
  ASSERT_TRUE(s.recorder.Wait(6));
  EXPECT_EQ(s.recorder.frames(), (std::vector<Frame>{{7, Pattern(10)},
                                                     {1, Pattern(102392)},
                                                     {2, Pattern(102393, 0, 102392)},
                                                     {2, Pattern(102393, 102392)},
                                                     {44, Pattern(5)},
                                                     {255, Pattern(6)}}));
  s.peer.Send("exit");
  EXPECT_EQ(s.peer.Wait(), 0);
  ASSERT_TRUE(s.recorder.Wait(0));
  EXPECT_EQ(s.recorder.closed(), 1);
}

TEST(StreamPipeLine, ReassemblesAFrameSplitAcrossReadsAndSeveralFramesInOneRead) {
  Session s("raw");
  // Half a header, the rest of it, then the payload in two pieces.
  for (const char* piece : {"706b6705", "03000000", "4142"}) {
    s.Command(std::string("bytes ") + piece);
    s.Command("sleep 150");
  }
  EXPECT_TRUE(s.recorder.frames().empty());
  s.Command("bytes 43");
  // Three frames, the last one empty, in one write.
  s.Command("bytes 706b67010100000058706b670202000000595a706b670300000000");
  ASSERT_TRUE(s.recorder.Wait(4));
  EXPECT_EQ(s.recorder.frames(), (std::vector<Frame>{{5, "ABC"}, {1, "X"}, {2, "YZ"}, {3, ""}}));
}

// A server killed mid-frame, or a frame announcing more than 102392 bytes,
// ends the reader once, and no partial frame arrives.
TEST(StreamPipeLine, ABrokenOrOversizedFrameEndsTheReaderOnceWithoutAPartialFrame) {
  {
    Session s("raw");
    s.Command("block 9 4");
    s.Command("bytes 706b6709e803000001020304");  // 1000 bytes announced, 4 arrive
    s.peer.Send("kill");
    EXPECT_EQ(s.peer.Wait(), -SIGKILL);
    ASSERT_TRUE(s.recorder.Wait(0));
    EXPECT_EQ(s.recorder.frames(), (std::vector<Frame>{{9, Pattern(4)}}));
    s.client->Close();
    EXPECT_EQ(s.recorder.closed(), 1);
  }
  Session s("raw");
  s.Command("bytes 706b6701f98f0100");  // 102393
  s.Command("block 1 3");
  ASSERT_TRUE(s.recorder.Wait(0));
  EXPECT_TRUE(s.recorder.frames().empty());
  EXPECT_TRUE(s.client->IsConnect());
  s.client->Close();
  EXPECT_EQ(s.recorder.closed(), 1);
}

TEST(StreamPipeLine, GarbageFromTheServerNeverOverrunsAndEndsTheReaderOnce) {
  std::mt19937 random(20261206);
  for (int round = 0; round < 3; ++round) {
    Session s("raw");
    for (int burst = 0; burst < 8; ++burst) {
      std::string hex;
      for (int i = 0; i < 8192; ++i) hex.push_back("0123456789abcdef"[random() & 15]);
      s.Command("bytes " + hex);
    }
    s.peer.Send("kill");
    s.peer.Wait();
    ASSERT_TRUE(s.recorder.Wait(0));
    for (const Frame& f : s.recorder.frames()) {
      EXPECT_LE(f.data.size(), 102392u);
      EXPECT_TRUE(f.type >= 0 && f.type <= 255) << f.type;
    }
    s.client->Close();
    EXPECT_EQ(s.recorder.closed(), 1);
  }
}

TEST(StreamPipeLine, CloseEndsTheReaderWithOneOnPipeClosedAndMayBeRepeated) {
  Session s("pipeline");
  EXPECT_FALSE(s.client->Connect());
  s.client->Close();
  EXPECT_EQ(s.recorder.closed(), 1);  // the reader was joined before Close returned
  EXPECT_FALSE(s.client->IsConnect());
  s.client->Close();
  s.client.reset();
  EXPECT_EQ(s.recorder.closed(), 1);
}

TEST(StreamPipeLine, OnlyTheServerSendsAndEmptyOrHugeLengthsSendNothing) {
  const std::string name = UniquePipeName("direction");
  CStreamPipeLine server(name, CPipeLine::Server, nullptr);
  ASSERT_TRUE(server.IsConnect());
  Recorder recorder;
  CStreamPipeLine client(name, CPipeLine::Client, &recorder);
  ASSERT_TRUE(client.IsConnect());
  server.Connect();
  EXPECT_FALSE(client.TransStream(1, "x", 1));  // access denied on the read-only end

  const char one = 'q';
  EXPECT_TRUE(server.TransStream(1, &one, 0));
  EXPECT_TRUE(server.TransStream(1, &one, 1ull << 31));
  EXPECT_TRUE(server.TransStream(3, "abc", 3));
  ASSERT_TRUE(recorder.Wait(1));
  EXPECT_EQ(recorder.frames(), (std::vector<Frame>{{3, "abc"}}));

  server.Close();
  ASSERT_TRUE(recorder.Wait(0));
  EXPECT_FALSE(server.TransStream(1, "x", 1));
  EXPECT_EQ(recorder.closed(), 1);
}

TEST(StreamPipeLine, AClientWithoutServerFailsAtOnce) {
  const auto start = std::chrono::steady_clock::now();
  CStreamPipeLine client(UniquePipeName("nobody"), CPipeLine::Client, nullptr);
  EXPECT_FALSE(client.IsConnect());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
