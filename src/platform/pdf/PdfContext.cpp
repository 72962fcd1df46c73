// One base MuPDF context for the process, with real locks, and a clone of it per thread.
#include <array>
#include <atomic>
#include <mutex>
#include <thread>

#include "platform/SysLog.h"
#include "platform/Threads.h"
#include "platform/pdf/PdfInternal.h"
#include "platform/pdf/PdfPrivateContext.h"

namespace cvl::pdf {
namespace {

// MuPDF takes its allocation lock for every allocation and reference count change, millions
// of times per document; that lock is held only for a few instructions, so it spins instead
// of going through a mutex. The other locks guard longer work and stay mutexes.
class SpinLock {
  public:
    void lock() {
        for (int spins = 0; held_.exchange(true, std::memory_order_acquire);) {
            while (held_.load(std::memory_order_relaxed))
                if (++spins > 64) std::this_thread::yield();
        }
    }
    void unlock() { held_.store(false, std::memory_order_release); }

  private:
    std::atomic<bool> held_{false};
};

SpinLock allocLock;
std::array<std::mutex, FZ_LOCK_MAX> lockTable;

void lockFn(void*, int lock) {
    if (lock == FZ_LOCK_ALLOC)
        allocLock.lock();
    else
        lockTable[size_t(lock)].lock();
}
void unlockFn(void*, int lock) {
    if (lock == FZ_LOCK_ALLOC)
        allocLock.unlock();
    else
        lockTable[size_t(lock)].unlock();
}

// MuPDF reports recoverable problems of damaged files as warnings; they are expected and not
// worth a log line each.
void quietFn(void*, const char*) {}

void silence(fz_context* c) {
    fz_set_warning_callback(c, quietFn, nullptr);
    fz_set_error_callback(c, quietFn, nullptr);
}

// The base context lives for the whole process: thread-local clones may outlive any static
// destructor order, so it is never dropped.
fz_context* baseContext() {
    static fz_context* base = [] {
        static fz_locks_context locks{nullptr, lockFn, unlockFn};
        fz_context* c = fz_new_context(nullptr, &locks, FZ_STORE_DEFAULT);
        if (c) silence(c);
        return c;
    }();
    return base;
}

struct ThreadContext {
    fz_context* context = nullptr;
    ~ThreadContext() {
        if (context) fz_drop_context(context);
    }
};

// The thread's private context and how many PdfPrivateContext scopes are open on it.
struct PrivateContext {
    fz_context* context = nullptr;
    int depth = 0;
    ~PrivateContext() {
        if (context) fz_drop_context(context);
    }
};
thread_local PrivateContext privateContext;

}  // namespace

fz_context* ctx() {
    if (privateContext.depth > 0) return privateContext.context;
    thread_local ThreadContext local;
    if (!local.context) {
        fz_context* base = baseContext();
        if (!base) {
            cvlLog("pdf: MuPDF context could not be created");
            std::abort();
        }
        local.context = fz_clone_context(base);
        if (!local.context) {
            cvlLog("pdf: MuPDF context could not be cloned");
            std::abort();
        }
        silence(local.context);
        // Document work belongs on the large work stack (see Threads.h); say so when it is not.
        const std::size_t stack = Threads::currentStackBytes();
        if (stack && stack < Threads::kWorkStackBytes / 2)
            cvlLog("pdf: document work on a thread with a %zu KB stack", stack / 1024);
    }
    return local.context;
}

void throwCaught(fz_context* c) {
    throw MuError(fz_caught_message(c));
}

}  // namespace cvl::pdf

namespace cvl {

PdfPrivateContext::PdfPrivateContext() {
    auto& p = pdf::privateContext;
    if (!p.context) {
        // Used by this thread only and never cloned, so it needs no locks.
        p.context = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
        if (!p.context) {
            cvlLog("pdf: MuPDF context could not be created");
            std::abort();
        }
        pdf::silence(p.context);
    }
    ++p.depth;
}

PdfPrivateContext::~PdfPrivateContext() {
    auto& p = pdf::privateContext;
    // The documents of the scope are closed: what they left in the store is of no further use.
    if (--p.depth == 0) fz_empty_store(p.context);
}

}  // namespace cvl
