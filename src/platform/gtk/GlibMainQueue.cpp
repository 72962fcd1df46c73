#include "platform/gtk/GlibMainQueue.h"

#include <glib.h>

namespace cvl {
namespace {

gboolean runTask(gpointer data) {
    (*static_cast<Dispatch::Task*>(data))();
    return G_SOURCE_REMOVE;
}

// GLib owns the task while its source exists.
gpointer holdTask(Dispatch::Task task) {
    return std::make_unique<Dispatch::Task>(std::move(task)).release();
}
void dropTask(gpointer data) {
    std::unique_ptr<Dispatch::Task>(static_cast<Dispatch::Task*>(data));
}

class GlibMainQueue : public Dispatch::Queue {
  public:
    // The task is owned by the GLib source and freed when the source goes.
    void async(Dispatch::Task task) override {
        g_idle_add_full(G_PRIORITY_DEFAULT, runTask, holdTask(std::move(task)), dropTask);
    }
    void asyncAfter(Dispatch::Millis delay, Dispatch::Task task) override {
        g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(delay.count()), runTask,
                           holdTask(std::move(task)), dropTask);
    }
};

}  // namespace

void installGlibMainQueue() {
    Dispatch::setMain(std::make_shared<GlibMainQueue>());
}

}  // namespace cvl
