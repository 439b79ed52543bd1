// Stream pipelines: this process is the client, oska-pipe-peer the server,
// sending through the real library ("pipeline") or writing bytes of its own
// choosing on a bare pipe ("raw") to play a broken or hostile sender.
#include <OskaBase/OskaBase.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
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
};

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
  bool WaitFrames(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return frames_.size() >= count; });
  }
  bool WaitClosed() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return closed_ > 0; });
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

// Starts the peer server and waits until its pipe exists.
void StartServer(PeerProcess& peer) {
  ASSERT_TRUE(peer.started());
  ASSERT_EQ(peer.ReadLine(), "ready");
}

void Command(PeerProcess& peer, const std::string& line) {
  peer.Send(line);
  EXPECT_EQ(peer.ReadLine(), "done") << line;
}

TEST(StreamPipeLine, DeliversBlocksAsFramesOfAtMost102392BytesWithTheTypesLowByte) {
  const std::string name = UniquePipeName("blocks");
  PeerProcess peer({"stream-server", name, "pipeline"});
  StartServer(peer);
  Recorder recorder;
  CStreamPipeLine client(name, CPipeLine::Client, &recorder);
  ASSERT_TRUE(client.IsConnect());
  Command(peer, "block 7 10");
  Command(peer, "block 1 102392");
  Command(peer, "block 2 102393");
  Command(peer, "block 300 5");
  Command(peer, "block -1 6");
  ASSERT_TRUE(recorder.WaitFrames(6));
  const std::vector<Frame> frames = recorder.frames();
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(frames[0].type, 7);
  EXPECT_EQ(frames[0].data, Pattern(10));
  EXPECT_EQ(frames[1].type, 1);
  EXPECT_EQ(frames[1].data, Pattern(102392));
  EXPECT_EQ(frames[2].type, 2);
  EXPECT_EQ(frames[2].data, Pattern(102393, 0, 102392));
  EXPECT_EQ(frames[3].type, 2);
  EXPECT_EQ(frames[3].data, Pattern(102393, 102392));
  EXPECT_EQ(frames[4].type, 44);
  EXPECT_EQ(frames[4].data, Pattern(5));
  EXPECT_EQ(frames[5].type, 255);
  EXPECT_EQ(frames[5].data, Pattern(6));
  peer.Send("exit");
  EXPECT_EQ(peer.Wait(), 0);
  ASSERT_TRUE(recorder.WaitClosed());
  EXPECT_EQ(recorder.closed(), 1);
}

TEST(StreamPipeLine, ReassemblesAFrameSplitAcrossReadsAndSeveralFramesInOneRead) {
  const std::string name = UniquePipeName("split");
  PeerProcess peer({"stream-server", name, "raw"});
  StartServer(peer);
  Recorder recorder;
  CStreamPipeLine client(name, CPipeLine::Client, &recorder);
  ASSERT_TRUE(client.IsConnect());
  Command(peer, "bytes 706b6705");  // half a header
  Command(peer, "sleep 150");
  Command(peer, "bytes 03000000");  // the rest of it
  Command(peer, "sleep 150");
  EXPECT_TRUE(recorder.frames().empty());
  Command(peer, "bytes 4142");
  Command(peer, "sleep 150");
  Command(peer, "bytes 43");
  // Three frames, the last one empty, in one write.
  Command(peer, "bytes 706b67010100000058706b670202000000595a706b670300000000");
  ASSERT_TRUE(recorder.WaitFrames(4));
  const std::vector<Frame> frames = recorder.frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].type, 5);
  EXPECT_EQ(frames[0].data, "ABC");
  EXPECT_EQ(frames[1].type, 1);
  EXPECT_EQ(frames[1].data, "X");
  EXPECT_EQ(frames[2].type, 2);
  EXPECT_EQ(frames[2].data, "YZ");
  EXPECT_EQ(frames[3].type, 3);
  EXPECT_EQ(frames[3].data, "");
}

TEST(StreamPipeLine, AServerKilledMidFrameEndsTheReaderOnceAndNoPartialFrameArrives) {
  const std::string name = UniquePipeName("killed");
  PeerProcess peer({"stream-server", name, "raw"});
  StartServer(peer);
  Recorder recorder;
  CStreamPipeLine client(name, CPipeLine::Client, &recorder);
  ASSERT_TRUE(client.IsConnect());
  Command(peer, "block 9 4");
  // A frame announcing 1000 bytes, of which 4 arrive.
  Command(peer, "bytes 706b6709e803000001020304");
  peer.Send("kill");
  EXPECT_EQ(peer.Wait(), -SIGKILL);
  ASSERT_TRUE(recorder.WaitClosed());
  const std::vector<Frame> frames = recorder.frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].data, Pattern(4));
  client.Close();
  EXPECT_EQ(recorder.closed(), 1);
}

TEST(StreamPipeLine, AFrameAnnouncingMoreThan102392BytesEndsTheReader) {
  const std::string name = UniquePipeName("oversize");
  PeerProcess peer({"stream-server", name, "raw"});
  StartServer(peer);
  Recorder recorder;
  CStreamPipeLine client(name, CPipeLine::Client, &recorder);
  ASSERT_TRUE(client.IsConnect());
  Command(peer, "bytes 706b6701f98f0100");  // 102393
  Command(peer, "block 1 3");
  ASSERT_TRUE(recorder.WaitClosed());
  EXPECT_TRUE(recorder.frames().empty());
  EXPECT_TRUE(client.IsConnect());
  client.Close();
  EXPECT_EQ(recorder.closed(), 1);
}

TEST(StreamPipeLine, GarbageFromTheServerNeverOverrunsAndEndsTheReaderOnce) {
  std::mt19937 random(20261206);
  for (int round = 0; round < 3; ++round) {
    const std::string name = UniquePipeName("garbage");
    PeerProcess peer({"stream-server", name, "raw"});
    StartServer(peer);
    Recorder recorder;
    CStreamPipeLine client(name, CPipeLine::Client, &recorder);
    ASSERT_TRUE(client.IsConnect());
    for (int burst = 0; burst < 8; ++burst) {
      std::string hex;
      static const char kHex[] = "0123456789abcdef";
      for (int i = 0; i < 4096; ++i) {
        const unsigned byte = random() & 0xff;
        hex.push_back(kHex[byte >> 4]);
        hex.push_back(kHex[byte & 15]);
      }
      Command(peer, "bytes " + hex);
    }
    peer.Send("kill");
    peer.Wait();
    ASSERT_TRUE(recorder.WaitClosed());
    for (const Frame& f : recorder.frames()) {
      EXPECT_LE(f.data.size(), 102392u);
      EXPECT_LE(f.type, 255);
      EXPECT_GE(f.type, 0);
    }
    client.Close();
    EXPECT_EQ(recorder.closed(), 1);
  }
}

TEST(StreamPipeLine, CloseEndsTheReaderWithOneOnPipeClosedAndMayBeRepeated) {
  const std::string name = UniquePipeName("close");
  PeerProcess peer({"stream-server", name, "pipeline"});
  StartServer(peer);
  Recorder recorder;
  {
    CStreamPipeLine client(name, CPipeLine::Client, &recorder);
    ASSERT_TRUE(client.IsConnect());
    EXPECT_FALSE(client.Connect());
    client.Close();
    EXPECT_EQ(recorder.closed(), 1);  // the reader was joined before Close returned
    EXPECT_FALSE(client.IsConnect());
    client.Close();
  }
  EXPECT_EQ(recorder.closed(), 1);
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
  ASSERT_TRUE(recorder.WaitFrames(1));
  const std::vector<Frame> frames = recorder.frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].type, 3);
  EXPECT_EQ(frames[0].data, "abc");

  server.Close();
  ASSERT_TRUE(recorder.WaitClosed());
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
