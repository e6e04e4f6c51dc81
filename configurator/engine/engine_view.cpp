#include "engine_view.h"

#include <mutex>

namespace {

std::mutex viewMutex;
std::shared_ptr<EngineView> installedView;

} // namespace

std::shared_ptr<EngineView> engineView() {
    std::lock_guard lock(viewMutex);
    if (!installedView)
        installedView = std::make_shared<EngineView>();
    return installedView;
}

void setEngineView(std::shared_ptr<EngineView> view) {
    std::lock_guard lock(viewMutex);
    installedView = std::move(view);
}
