#pragma once

#include <QByteArray>

namespace devsim {

// Bytes that can never form a token the loader looks for: no letters, digits, '@', '.', ':',
// no line ends.
inline const QByteArray& tokenFreeBytes() {
    static const QByteArray bytes =
        QByteArray::fromHex("0102071b7f232425262a2b2d3c3e3f5b5d5e5f7b7c7d7e809fa0ff");
    return bytes;
}

} // namespace devsim
