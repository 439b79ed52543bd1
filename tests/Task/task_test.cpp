// Tasks on their own: the delay flag and its copies.
#include <OskaBase/Task.h>

#include <gtest/gtest.h>

namespace {

using Oska::Base::CDelayTask;

class Finishing : public CDelayTask {
 public:
  void Execute() override { still_delay_ = false; }
};

TEST(DelayTask, StartsStillDelayingAndCopiesCarryTheFlag) {
  Finishing task;
  EXPECT_TRUE(task.IsStillDelay());
  task.Execute();
  EXPECT_FALSE(task.IsStillDelay());
  Finishing copy(task);
  EXPECT_FALSE(copy.IsStillDelay());
  Finishing fresh;
  fresh = task;
  EXPECT_FALSE(fresh.IsStillDelay());
}

}  // namespace
