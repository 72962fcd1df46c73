#include "platform/Dispatch.h"

#include <condition_variable>
#include <deque>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>

#include "platform/Threads.h"

namespace cvl::Dispatch {
namespace {

using Clock = std::chrono::steady_clock;

struct Timed {
    Clock::time_point due;
    unsigned long long seq;
    Task task;
};

// Tasks ordered by due time, then by submission order.
class TaskList {
  public:
    void push(Clock::time_point due, Task task) {
        Timed t{due, seq_++, std::move(task)};
        // Most tasks are due no earlier than the last one queued: search from the back, so that
        // a long burst of tasks queues in linear time.
        auto it = items_.end();
        while (it != items_.begin() && std::prev(it)->due > t.due) --it;
        items_.insert(it, std::move(t));
    }
    bool empty() const { return items_.empty(); }
    Clock::time_point nextDue() const { return items_.front().due; }
    Task pop() {
        Task t = std::move(items_.front().task);
        items_.pop_front();
        return t;
    }

  private:
    std::deque<Timed> items_;
    unsigned long long seq_ = 0;
};

// Worker threads that run tasks from one shared list; one thread makes a serial queue.
// Workers are detached and share the list, so a queue that goes away at exit never waits
// for a task that is still running.
class ThreadQueue : public Queue {
  public:
    explicit ThreadQueue(int threads) : state_(std::make_shared<State>()) {
        // Workers read documents, so they get the large work stack.
        for (int i = 0; i < threads; ++i) Threads::startDetached([s = state_] { loop(*s); });
    }
    ~ThreadQueue() override {
        {
            std::lock_guard lock(state_->mutex);
            state_->stopping = true;
        }
        state_->cv.notify_all();
    }
    void async(Task task) override { asyncAt(Clock::now(), std::move(task)); }
    void asyncAfter(Millis delay, Task task) override {
        asyncAt(Clock::now() + delay, std::move(task));
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable cv;
        TaskList tasks;
        bool stopping = false;
    };

    void asyncAt(Clock::time_point due, Task task) {
        {
            std::lock_guard lock(state_->mutex);
            state_->tasks.push(due, std::move(task));
        }
        state_->cv.notify_one();
    }
    static void loop(State& s) {
        std::unique_lock lock(s.mutex);
        for (;;) {
            if (s.stopping) return;
            if (s.tasks.empty()) {
                s.cv.wait(lock);
                continue;
            }
            auto due = s.tasks.nextDue();
            if (due > Clock::now()) {
                s.cv.wait_until(lock, due);
                continue;
            }
            Task t = s.tasks.pop();
            lock.unlock();
            if (t) t();
            lock.lock();
        }
    }

    std::shared_ptr<State> state_;
};

std::mutex gMainMutex;
std::shared_ptr<Queue> gMain;

}  // namespace

struct ManualQueue::State {
    std::mutex mutex;
    std::condition_variable cv;
    TaskList tasks;
};

ManualQueue::ManualQueue() : state_(std::make_shared<State>()) {}
ManualQueue::~ManualQueue() = default;

void ManualQueue::async(Task task) {
    asyncAfter(Millis(0), std::move(task));
}

void ManualQueue::asyncAfter(Millis delay, Task task) {
    {
        std::lock_guard lock(state_->mutex);
        state_->tasks.push(Clock::now() + delay, std::move(task));
    }
    state_->cv.notify_all();
}

int ManualQueue::drain() {
    int ran = 0;
    for (;;) {
        Task t;
        {
            std::lock_guard lock(state_->mutex);
            if (state_->tasks.empty() || state_->tasks.nextDue() > Clock::now()) return ran;
            t = state_->tasks.pop();
        }
        if (t) t();
        ++ran;
    }
}

bool ManualQueue::runUntil(const std::function<bool()>& done, Millis timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        drain();
        if (done()) return true;
        if (Clock::now() >= deadline) return false;
        std::unique_lock lock(state_->mutex);
        auto wakeAt = std::min(deadline, Clock::now() + Millis(20));
        if (!state_->tasks.empty()) wakeAt = std::min(wakeAt, state_->tasks.nextDue());
        state_->cv.wait_until(lock, wakeAt);
    }
}

Queue& main() {
    std::lock_guard lock(gMainMutex);
    if (!gMain) gMain = std::make_shared<ManualQueue>();
    return *gMain;
}

void setMain(std::shared_ptr<Queue> queue) {
    std::lock_guard lock(gMainMutex);
    gMain = std::move(queue);
}

ManualQueue* manualMain() {
    main();
    std::lock_guard lock(gMainMutex);
    return dynamic_cast<ManualQueue*>(gMain.get());
}

Queue& serial(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<ThreadQueue>> queues;
    std::lock_guard lock(mutex);
    auto& q = queues[name];
    if (!q) q = std::make_unique<ThreadQueue>(1);
    return *q;
}

Queue& global() {
    static ThreadQueue pool(std::max(2, static_cast<int>(std::thread::hardware_concurrency())));
    return pool;
}

}  // namespace cvl::Dispatch
