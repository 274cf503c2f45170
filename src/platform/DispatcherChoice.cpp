#include "DispatcherChoice.h"

#include "EpollDispatcher.h"

#include <QCoreApplication>
#include <QThread>

namespace DispatcherChoice {

QAbstractEventDispatcher* manySocketsDispatcher() {
    if (qEnvironmentVariable("VELKOR_EVENT_LOOP") == QLatin1String("qt")) {
        return nullptr;
    }
    return new EpollDispatcher;
}

void useForManySockets(QThread& thread) {
    if (QAbstractEventDispatcher* dispatcher = manySocketsDispatcher()) {
        thread.setEventDispatcher(dispatcher);
    }
}

void useForManySocketsInMainThread() {
    if (QAbstractEventDispatcher* dispatcher = manySocketsDispatcher()) {
        QCoreApplication::setEventDispatcher(dispatcher);
    }
}

} // namespace DispatcherChoice
