#pragma once

#include <QObject>
#include <QThread>
#include <functional>
#include <memory>
#include <vector>

// The threads a fleet's members run on: one event loop per processor core, each carrying many
// members as tasks (a member's waits hold no thread). A member stays on the thread it started
// on; a new one goes to the thread that carries the fewest.
class FleetWorkers {
public:
    // At most `limit` threads (the fleet's --jobs), no more than the processor has cores.
    explicit FleetWorkers(int limit);
    // Ends the threads' event loops and waits for them.
    ~FleetWorkers();
    FleetWorkers(const FleetWorkers&) = delete;
    FleetWorkers& operator=(const FleetWorkers&) = delete;

    // The thread that carries the fewest members; it carries one more from now on.
    int take();
    // The member on the thread has ended.
    void release(int worker);
    // Runs the function on the thread's event loop.
    void post(int worker, std::function<void()> function);

private:
    struct Worker {
        QThread thread;
        std::unique_ptr<QObject> context; // lives on the thread: what is posted runs there
        int members = 0;
    };
    std::vector<std::unique_ptr<Worker>> workers_;
};
