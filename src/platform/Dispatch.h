// The three concurrency primitives of the program: the main queue, named serial queues and
// a global pool for user-initiated background work. Nothing else starts threads.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace cvl::Dispatch {

using Task = std::function<void()>;
using Millis = std::chrono::milliseconds;

class Queue {
public:
    virtual ~Queue() = default;
    virtual void async(Task task) = 0;
    virtual void asyncAfter(Millis delay, Task task) = 0;
};

// A main queue that nobody runs until it is drained: the default in tests and command-line
// modes. The application installs a queue backed by its GLib main context instead.
class ManualQueue : public Queue {
public:
    ManualQueue();
    ~ManualQueue() override;
    void async(Task task) override;
    void asyncAfter(Millis delay, Task task) override;
    // Runs every task that is due now (including tasks they post); returns how many ran.
    int drain();
    // Drains repeatedly until `done` is true or the timeout passes; returns `done()`.
    bool runUntil(const std::function<bool()>& done, Millis timeout);

private:
    struct State;
    std::shared_ptr<State> state_;
};

Queue& main();
void setMain(std::shared_ptr<Queue> queue);
// The main queue as a ManualQueue when no other main queue was installed, else null.
ManualQueue* manualMain();

// A serial queue with one worker thread, created on first use and kept for the process.
Queue& serial(const std::string& name);

// The global pool for background work of user-initiated priority.
Queue& global();

}  // namespace cvl::Dispatch
