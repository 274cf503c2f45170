#pragma once

#include "core/Task.h"

#include <QCoreApplication>
#include <QEventLoop>

// Runs a task to its end on the calling thread: the thread's event loop sleeps until something
// happens and runs it, until the task has ended. Its exception is raised again.
template <typename T> T runToEnd(Task<T> task) {
    task.run();
    while (!task.done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return task.result();
}
