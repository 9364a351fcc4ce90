#include "reader/base/work_queue.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace gridwell {
namespace {

// Items come back in push order, each worked once (or, pushed without work, untouched);
// a queue without the owner's help works them strictly in order on its own thread; the
// first failure comes back at its own item, after every item before it.
TEST(OrderedWorkQueue, HandsItemsBackInOrderAndStopsAtTheFirstFailure) {
  struct Case {
    const char* name;
    size_t capacity;
    bool ownerHelps;
    int throwAt;  // -1: no item fails
  };
  const Case cases[] = {
      {"one slot", 1, false, -1},
      {"three slots", 3, false, -1},
      {"owner helps", 3, true, -1},
      {"failure", 3, false, 40},
      {"failure, owner helps", 4, true, 40},
      {"failure at the first item", 2, false, 0},
  };
  constexpr int kItems = 300;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> workedOnQueueThread;  // touched by the queue's thread only
    OrderedWorkQueue<int> queue(
        c.capacity,
        [&](int& item, unsigned worker) {
          if (item == c.throwAt) throw std::runtime_error("item failed");
          if (worker == 1) workedOnQueueThread.push_back(item);
          item = item * 2 + 1;
        },
        c.ownerHelps);
    int pushed = 0, popped = 0;
    bool failed = false;
    while (popped < kItems && !failed) {
      while (pushed < kItems && !queue.Full()) {
        queue.Push(pushed, pushed % 5 != 4);  // every fifth item passes unworked
        ++pushed;
      }
      try {
        const int item = queue.Pop();
        EXPECT_EQ(item, popped % 5 == 4 ? popped : popped * 2 + 1) << popped;
        ++popped;
      } catch (const std::runtime_error&) {
        failed = true;
      }
    }
    queue.Stop();
    EXPECT_EQ(popped, c.throwAt < 0 ? kItems : c.throwAt);
    EXPECT_EQ(failed, c.throwAt >= 0);
    if (!c.ownerHelps) {
      for (size_t i = 1; i < workedOnQueueThread.size(); ++i) {
        ASSERT_LT(workedOnQueueThread[i - 1], workedOnQueueThread[i]);
      }
    }
  }
}

}  // namespace
}  // namespace gridwell
