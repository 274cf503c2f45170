#include "cli/FleetWorkers.h"

#include "platform/DispatcherChoice.h"

#include <algorithm>

FleetWorkers::FleetWorkers(int limit) {
    const int count = std::max(1, std::min(limit, QThread::idealThreadCount()));
    for (int i = 0; i < count; ++i) {
        auto worker = std::make_unique<Worker>();
        worker->context = std::make_unique<QObject>();
        worker->context->moveToThread(&worker->thread);
        // A worker carries hundreds of members' sockets: its event loop waits on epoll.
        DispatcherChoice::useForManySockets(worker->thread);
        worker->thread.start();
        workers_.push_back(std::move(worker));
    }
}

FleetWorkers::~FleetWorkers() {
    for (const auto& worker : workers_) {
        worker->thread.quit();
    }
    // A context whose thread has ended runs nothing more: it goes with its worker.
    for (const auto& worker : workers_) {
        worker->thread.wait();
    }
}

int FleetWorkers::take() {
    const auto least =
        std::min_element(workers_.begin(), workers_.end(),
                         [](const auto& a, const auto& b) { return a->members < b->members; });
    ++(*least)->members;
    return int(least - workers_.begin());
}

void FleetWorkers::release(int worker) {
    --workers_[std::size_t(worker)]->members;
}

void FleetWorkers::post(int worker, std::function<void()> function) {
    QMetaObject::invokeMethod(workers_[std::size_t(worker)]->context.get(), std::move(function),
                              Qt::QueuedConnection);
}
