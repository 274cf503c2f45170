#pragma once

class QAbstractEventDispatcher;
class QThread;

// The event loop for threads that carry many sockets (a fleet's workers, the simulator): the
// epoll dispatcher, or Qt's own when the environment says VELKOR_EVENT_LOOP=qt (to tell a fault
// of the event loop from others).
namespace DispatcherChoice {

// A new epoll dispatcher, or null for Qt's own.
QAbstractEventDispatcher* manySocketsDispatcher();
// Gives the thread, not started yet, the event loop for many sockets.
void useForManySockets(QThread& thread);
// The same for the main thread, before the application object is made.
void useForManySocketsInMainThread();

} // namespace DispatcherChoice
