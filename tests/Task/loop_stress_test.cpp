// Four producers against a work-thread loop that is quit or stopped at a
// random moment: every task is either run exactly once or released unrun,
// and a refused task never runs. The sanitizer builds check for leaks and
// races on the same run.
#include "Task/loop_test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Oska::Base::CMessageLoopWorkThread;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kTotalTasks = 200000;
#else
constexpr int kTotalTasks = 1000000;
#endif
constexpr int kProducers = 4;
constexpr int kRounds = 20;

struct Ledger {
  explicit Ledger(std::size_t n) : ran(n), destroyed(n), accepted(n) {}
  std::vector<std::atomic<std::uint8_t>> ran;
  std::vector<std::atomic<std::uint8_t>> destroyed;
  std::vector<std::atomic<std::uint8_t>> accepted;
};

class LedgerTask : public Oska::Base::CTask {
 public:
  LedgerTask(Ledger& ledger, std::size_t id) : ledger_(ledger), id_(id) {}
  ~LedgerTask() override { ++ledger_.destroyed[id_]; }
  void Execute() override { ++ledger_.ran[id_]; }

 private:
  Ledger& ledger_;
  std::size_t id_;
};

TEST(LoopStress, EveryTaskRunsOnceOrIsReleasedUnrunUnderRandomQuitAndStop) {
  Ledger ledger(kTotalTasks);
  std::mt19937 random(12345);
  const int per_round = kTotalTasks / kRounds;
  const int per_producer = per_round / kProducers;
  std::size_t next_id = 0;

  for (int round = 0; round < kRounds; ++round) {
    auto loop = std::make_unique<CMessageLoopWorkThread>();
    ASSERT_TRUE(loop->Start());
    const std::size_t base = next_id;
    next_id += static_cast<std::size_t>(per_producer) * kProducers;
    const int ending = static_cast<int>(random() % 5);
    const auto delay = std::chrono::microseconds(random() % 20000);

    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
      producers.emplace_back([&, p] {
        for (int i = 0; i < per_producer; ++i) {
          const std::size_t id = base + static_cast<std::size_t>(p) * per_producer + i;
          const bool ok = (i % 97 == 0) ? loop->PostPriorityTask(new LedgerTask(ledger, id))
                                        : loop->PostTask(new LedgerTask(ledger, id));
          ledger.accepted[id] = ok ? 1 : 0;
        }
      });
    }
    if (ending == 4) {
      // Everything posted, then a quit: all of it must run.
      for (auto& t : producers) t.join();
      loop->Quit();
    } else {
      std::this_thread::sleep_for(delay);
      switch (ending) {
        case 0: loop->Quit(); break;
        case 1: loop->Stop(); break;
        case 2: loop->AsynStop(); break;
        default: break;  // left to the destructor
      }
      for (auto& t : producers) t.join();
    }
    loop.reset();
  }

  std::size_t ran_total = 0;
  for (std::size_t id = 0; id < next_id; ++id) {
    ASSERT_EQ(ledger.destroyed[id].load(), 1) << "task " << id;
    ASSERT_LE(ledger.ran[id].load(), 1) << "task " << id;
    if (!ledger.accepted[id].load()) {
      ASSERT_EQ(ledger.ran[id].load(), 0) << "refused task " << id;
    }
    ran_total += ledger.ran[id].load();
  }
  EXPECT_GT(ran_total, 0u);
}

}  // namespace
