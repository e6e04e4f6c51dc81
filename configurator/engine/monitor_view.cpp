#include "monitor_view.h"

#include <mutex>

namespace {

std::mutex viewMutex;
std::shared_ptr<MonitorView> installedView;

} // namespace

std::shared_ptr<MonitorView> monitorView() {
    std::lock_guard lock(viewMutex);
    if (!installedView)
        installedView = std::make_shared<MonitorView>();
    return installedView;
}

void setMonitorView(std::shared_ptr<MonitorView> view) {
    std::lock_guard lock(viewMutex);
    installedView = std::move(view);
}
