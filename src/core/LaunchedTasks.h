#pragma once

#include "Task.h"

#include <list>
#include <memory>

class Alarm;
class Runtime;

// Tasks started from an event handler that nobody awaits (a click, a key): each runs on from
// the event loop, and its frame is let go from the event loop once it has ended (not from
// inside itself).
class LaunchedTasks {
public:
    explicit LaunchedTasks(Runtime& runtime);
    ~LaunchedTasks();
    LaunchedTasks(const LaunchedTasks&) = delete;
    LaunchedTasks& operator=(const LaunchedTasks&) = delete;

    // Starts the task; it runs until its first wait before this returns.
    void launch(Task<void> task);
    // A launched task has not ended yet.
    bool running() const { return !tasks_.empty(); }
    // Runs the event loop until every launched task has ended.
    void awaitAll();

private:
    Task<void> runThenRelease(Task<void> task);
    void releaseEnded();

    Runtime& runtime_;
    std::list<Task<void>> tasks_;
    std::unique_ptr<Alarm> release_;
};
