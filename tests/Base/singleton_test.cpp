// CSingleton for a client's own type: one instance under racing threads, and
// a throwing constructor that leaves the slot empty for the next try.
#include <OskaBase/Singleton.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

std::atomic<int> g_constructed{0};
std::atomic<int> g_failures_left{0};

class Registry : public Oska::Base::CSingleton<Registry> {
 public:
  virtual ~Registry() = default;

 private:
  friend class Oska::Base::CSingleton<Registry>;
  Registry() {
    if (g_failures_left.load() > 0) {
      --g_failures_left;
      throw std::runtime_error("not yet");
    }
    ++g_constructed;
  }
};

TEST(Singleton, AThrowingConstructorLeavesItEmptyAndUnlocked) {
  g_failures_left = 1;
  EXPECT_THROW(Registry::Instance(), std::runtime_error);
  EXPECT_EQ(Registry::s_instance_.get(), nullptr);

  // Racing first uses after the failure: exactly one construction.
  std::vector<Registry*> seen(6, nullptr);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &Registry::Instance(); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(g_constructed.load(), 1);
  for (auto* p : seen) EXPECT_EQ(p, Registry::s_instance_.get());
}

}  // namespace
