#include "LaunchedTasks.h"

#include "Runtime.h"

LaunchedTasks::LaunchedTasks(Runtime& runtime)
    : runtime_(runtime), release_(runtime.createAlarm([this] { releaseEnded(); })) {}

LaunchedTasks::~LaunchedTasks() = default;

void LaunchedTasks::launch(Task<void> task) {
    tasks_.push_back(runThenRelease(std::move(task)));
    tasks_.back().run();
}

Task<void> LaunchedTasks::runThenRelease(Task<void> task) {
    try {
        co_await task;
    } catch (...) {
        // A launched task reports its own failures; one that escapes it ends it here.
    }
    // This frame is still running here: it is let go from the event loop.
    release_->set(0);
}

void LaunchedTasks::releaseEnded() {
    tasks_.remove_if([](const Task<void>& task) { return task.done(); });
}

void LaunchedTasks::awaitAll() {
    while (running()) {
        runtime_.awaitEvents(100);
        releaseEnded();
    }
}
