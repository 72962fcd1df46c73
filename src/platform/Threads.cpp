#include "platform/Threads.h"

#include <pthread.h>

#include <memory>

namespace cvl::Threads {
namespace {

void* trampoline(void* arg) {
    std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(arg));
    (*work)();
    return nullptr;
}

bool start(std::function<void()> work, pthread_t& thread) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setstacksize(&attr, kWorkStackBytes);
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    const bool ok = pthread_create(&thread, &attr, trampoline, owned.get()) == 0;
    pthread_attr_destroy(&attr);
    if (ok) owned.release();  // the thread owns it now
    return ok;
}

}  // namespace

bool startDetached(std::function<void()> work) {
    pthread_t thread;
    if (!start(std::move(work), thread)) return false;
    pthread_detach(thread);
    return true;
}

void runOnWorkStack(const std::function<void()>& work) {
    pthread_t thread;
    if (!start(work, thread)) {
        work();
        return;
    }
    pthread_join(thread, nullptr);
}

std::size_t currentStackBytes() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
    std::size_t size = 0;
    pthread_attr_getstacksize(&attr, &size);
    pthread_attr_destroy(&attr);
    return size;
}

}  // namespace cvl::Threads
