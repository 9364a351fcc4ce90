// An ordered work queue: the thread that owns it hands items in, a second thread works
// them, and the owner takes them back in the order it handed them in. The reader uses it
// to parse runs of sheet rows and to inflate package parts ahead of the parser; the page
// writers use it to write blocks of rows on two threads.
#pragma once

#include <cassert>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace gridwell {

// At most `capacity` items are outstanding (pushed and not yet popped): the owner pops
// before it pushes more, so the memory the items hold stays bounded. `work(item, worker)`
// is called once for each item pushed with work, in push order on the queue's thread;
// `worker` is 1 there and 0 when the owner's thread does the work.
//
// Errors stop the queue one way only: whatever `work` throws is kept, nothing more is
// worked, and Pop rethrows it on the owner's thread once it reaches the item that threw
// (nothing may leave the queue's thread, which would end the process). The owner ends
// the queue early by Stop() or by destroying it; items not yet worked are dropped.
//
// The thread starts at the first Push. When none can be started, Push works each item
// itself, so the owner sees the same results without a second thread. With `ownerHelps`,
// an owner waiting in Pop works the next item nobody has begun, so both threads work;
// without it only the queue's thread works items, strictly in order, as work that reads
// one stream needs. The queue never allocates on its own thread.
template <class Item>
class OrderedWorkQueue {
 public:
  using Work = std::function<void(Item& item, unsigned worker)>;

  OrderedWorkQueue(size_t capacity, Work work, bool ownerHelps = false)
      : slots_(capacity), work_(std::move(work)), ownerHelps_(ownerHelps) {
    assert(capacity > 0);
  }
  ~OrderedWorkQueue() { Stop(); }
  OrderedWorkQueue(const OrderedWorkQueue&) = delete;
  OrderedWorkQueue& operator=(const OrderedWorkQueue&) = delete;

  size_t Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }
  bool Full() const { return Size() == slots_.size(); }

  // Appends an item; with `work` false it keeps its place in the order but is handed back
  // as it was given. The queue must not be full.
  void Push(Item item, bool work = true) {
    StartThread();
    Slot* here = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      assert(count_ < slots_.size());
      Slot& slot = slots_[(head_ + count_) % slots_.size()];
      slot.item = std::move(item);
      slot.failed = false;
      slot.state = !work ? State::Done : threadless_ && !error_ ? State::Working : State::Waiting;
      if (slot.state == State::Working) here = &slot;
      ++count_;
      changed_.notify_all();
    }
    if (here) WorkHere(*here);
  }

  // Waits for the oldest item to be finished and hands it back; rethrows what its work (or
  // an earlier item's) threw. The queue must not be empty, nor stopped.
  Item Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    assert(count_ > 0);
    for (;;) {
      Slot& head = slots_[head_];
      if (head.state == State::Done) break;
      if (error_) std::rethrow_exception(error_);
      Slot* next = ownerHelps_ ? NextWaiting() : nullptr;
      if (next) {
        next->state = State::Working;
        lock.unlock();
        WorkHere(*next);
        lock.lock();
      } else {
        changed_.wait(lock);
      }
    }
    Slot& head = slots_[head_];
    if (head.failed) std::rethrow_exception(error_);
    Item item = std::move(head.item);
    head.state = State::Free;
    head_ = (head_ + 1) % slots_.size();
    --count_;
    changed_.notify_all();
    return item;
  }

  // Lets the queue's thread finish the item it is working and ends it.
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

 private:
  enum class State { Free, Waiting, Working, Done };
  struct Slot {
    Item item{};
    State state = State::Free;
    bool failed = false;
  };

  void StartThread() {
    if (thread_.joinable() || threadless_ || quit_) return;
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      threadless_ = true;
    }
  }

  // The first outstanding item nobody has begun (under the mutex).
  Slot* NextWaiting() {
    for (size_t i = 0; i < count_; ++i) {
      Slot& s = slots_[(head_ + i) % slots_.size()];
      if (s.state == State::Waiting) return &s;
    }
    return nullptr;
  }

  // Works an item whose state this thread has set to Working, outside the mutex.
  void WorkHere(Slot& slot, unsigned worker = 0) {
    std::exception_ptr thrown;
    try {
      work_(slot.item, worker);
    } catch (...) {
      thrown = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (thrown) {
      slot.failed = true;
      if (!error_) error_ = thrown;
    }
    slot.state = State::Done;
    changed_.notify_all();
  }

  void Run() {
    for (;;) {
      Slot* slot = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return quit_ || error_ || (slot = NextWaiting()) != nullptr; });
        if (quit_ || error_) return;
        slot->state = State::Working;
      }
      WorkHere(*slot, 1);
    }
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;  // a ring of `capacity` slots from head_
  size_t head_ = 0;
  size_t count_ = 0;
  Work work_;
  const bool ownerHelps_;
  bool threadless_ = false;
  bool quit_ = false;
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace gridwell
