// Posts a few tasks to a work-thread loop of the installed library and waits
// for them: the smallest complete use of OskaBase.
#include <OskaBase/OskaBase.h>

#include <atomic>
#include <cstdio>
#include <memory>

namespace {

class Count : public Oska::Base::CTask {
 public:
  explicit Count(std::atomic<int>& counter) : counter_(counter) {}
  void Execute() override { ++counter_; }

 private:
  std::atomic<int>& counter_;
};

}  // namespace

int main() {
  std::atomic<int> counter{0};
  Oska::Base::CMessageLoopWorkThread loop;
  if (!loop.Start()) return 1;
  for (int i = 0; i < 100; ++i) loop.PostTask(std::make_shared<Count>(counter));
  loop.Quit();  // runs the 100 tasks first, then joins
  std::printf("consumer: %d tasks ran\n", counter.load());
  return counter.load() == 100 ? 0 : 1;
}
