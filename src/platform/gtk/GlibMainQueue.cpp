#include "platform/gtk/GlibMainQueue.h"

#include <glib.h>

namespace cvl {
namespace {

gboolean runTask(gpointer data) {
    (*static_cast<Dispatch::Task*>(data))();
    return G_SOURCE_REMOVE;
}

void dropTask(gpointer data) { delete static_cast<Dispatch::Task*>(data); }

class GlibMainQueue : public Dispatch::Queue {
public:
    // The task is owned by the GLib source and freed when the source goes.
    void async(Dispatch::Task task) override {
        g_idle_add_full(G_PRIORITY_DEFAULT, runTask, new Dispatch::Task(std::move(task)),
                        dropTask);
    }
    void asyncAfter(Dispatch::Millis delay, Dispatch::Task task) override {
        g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(delay.count()), runTask,
                           new Dispatch::Task(std::move(task)), dropTask);
    }
};

}  // namespace

void installGlibMainQueue() { Dispatch::setMain(std::make_shared<GlibMainQueue>()); }

}  // namespace cvl
