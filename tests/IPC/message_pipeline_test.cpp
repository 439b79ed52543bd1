// Message pipelines between this process (the server) and oska-pipe-peer
// (the client), both on the real library.
#include <OskaBase/OskaBase.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "IPC/PeerProcess.h"

namespace {

using Oska::Base::CMessagePipeLine;
using Oska::Base::CPipeLine;
using pipe_test::PeerProcess;
using pipe_test::UniquePipeName;

class Inbox : public CMessagePipeLine::CListener {
 public:
  void OnPipeMessage(const std::string& message) override { messages.push_back(message); }
  std::vector<std::string> messages;
};

// The message the next Read() delivers, or "<nothing>".
std::string NextMessage(CMessagePipeLine& pipe, Inbox& inbox) {
  const size_t before = inbox.messages.size();
  pipe.Read();
  return inbox.messages.size() > before ? inbox.messages.back() : "<nothing>";
}

TEST(MessagePipeLine, CarriesTextsBothWaysAsTextPlusOneZeroByteCutAt4095) {
  const std::string name = UniquePipeName("msg");
  Inbox inbox;
  CMessagePipeLine server(name, CPipeLine::Server, &inbox);
  ASSERT_TRUE(server.IsConnect());
  EXPECT_EQ(server.PipeName(), name);
  PeerProcess peer({"message-client", name});
  ASSERT_TRUE(peer.started());
  server.Connect();  // false when the peer was quicker (ERROR_PIPE_CONNECTED); usable either way

  EXPECT_TRUE(server.TransMessage("hello"));
  EXPECT_EQ(NextMessage(server, inbox), "got 5 hello");
  EXPECT_TRUE(server.TransMessage(""));
  EXPECT_EQ(NextMessage(server, inbox), "got 0 ");
  EXPECT_TRUE(server.TransMessage(std::string(5000, 'a')));
  EXPECT_EQ(NextMessage(server, inbox), "got 4095 aaaaaaaa");
  EXPECT_TRUE(server.TransMessage(std::string("abc\0def", 7)));
  EXPECT_EQ(NextMessage(server, inbox), "got 3 abc");
  // The other direction with a text too long to send whole.
  EXPECT_TRUE(server.TransMessage("send-long"));
  EXPECT_EQ(NextMessage(server, inbox), std::string(4095, 'b'));

  EXPECT_TRUE(server.TransMessage("quit"));
  EXPECT_EQ(peer.Wait(), 0);
  // The peer is gone: nothing is delivered, and a write fails sooner or later.
  EXPECT_EQ(NextMessage(server, inbox), "<nothing>");
  bool failed = false;
  for (int i = 0; i < 100 && !failed; ++i) failed = !server.TransMessage("anyone?");
  EXPECT_TRUE(failed);
  EXPECT_TRUE(server.IsConnect());
}

TEST(MessagePipeLine, AClientStartedBeforeItsServerKeepsTryingAndConnects) {
  const std::string name = UniquePipeName("late");
  PeerProcess peer({"message-client", name});
  ASSERT_TRUE(peer.started());
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  Inbox inbox;
  CMessagePipeLine server(name, CPipeLine::Server, &inbox);
  ASSERT_TRUE(server.IsConnect());
  server.Connect();
  EXPECT_TRUE(server.TransMessage("late"));
  EXPECT_EQ(NextMessage(server, inbox), "got 4 late");
  server.TransMessage("quit");
  EXPECT_EQ(peer.Wait(), 0);
}

TEST(MessagePipeLine, AClosedPipelineRefusesEverythingAndClosesTwice) {
  const std::string name = UniquePipeName("closed");
  Inbox inbox;
  CMessagePipeLine server(name, CPipeLine::Server, &inbox);
  ASSERT_TRUE(server.IsConnect());
  server.Close();
  EXPECT_FALSE(server.IsConnect());
  server.Close();
  EXPECT_FALSE(server.IsConnect());
  EXPECT_FALSE(server.TransMessage("x"));
  EXPECT_FALSE(server.TransMessage("y"));
  EXPECT_FALSE(server.Connect());
  EXPECT_EQ(NextMessage(server, inbox), "<nothing>");
  // The name is free again.
  CMessagePipeLine again(name, CPipeLine::Server, nullptr);
  EXPECT_TRUE(again.IsConnect());
}

TEST(MessagePipeLine, ASecondServerOfOneNameStaysClosedAndAClientCannotConnect) {
  const std::string name = UniquePipeName("second");
  CMessagePipeLine first(name, CPipeLine::Server, nullptr);
  ASSERT_TRUE(first.IsConnect());
  CMessagePipeLine second(name, CPipeLine::Server, nullptr);
  EXPECT_FALSE(second.IsConnect());

  CMessagePipeLine client(name, CPipeLine::Client, nullptr);
  ASSERT_TRUE(client.IsConnect());
  EXPECT_FALSE(client.Connect());
  EXPECT_TRUE(client.IsConnect());
  // No listener: a received message is dropped without harm.
  EXPECT_TRUE(first.TransMessage("dropped"));
  client.Read();
}

}  // namespace
