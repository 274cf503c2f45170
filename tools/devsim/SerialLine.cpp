#include "SerialLine.h"

#include <algorithm>

namespace devsim {

qint64 SerialLine::send(qsizetype bytes, qint64 nowNs) {
    busyUntilNs_ = std::max(busyUntilNs_, nowNs) + qint64(bytes) * byteNs();
    return busyUntilNs_;
}

} // namespace devsim
