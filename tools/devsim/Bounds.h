#pragma once

#include <QtGlobal>

namespace devsim {

// How much one connection can make the simulator hold, whatever its peer does.
//
// Unread output: what waits in a connection's output queue and what its way out still holds
// (a socket's write buffer). The loader's longest answer is about 2 KB, and it reads each answer
// before it sends the next command; a peer that has left 4 MiB unread does not read, and is
// dropped (the pty, which has no peer to drop, restarts its controller instead).
constexpr qsizetype kMaxUnreadOutput = 4 * 1024 * 1024;
// What keeping one piece of bytes (an answer, a frame, a read) costs besides its bytes: its entry
// in a list, the array's header and the allocation's rounding. A flood of tiny answers (the
// broker's 12-byte not-found frame) costs far more than its bytes, so every bound counts it.
constexpr qsizetype kPieceCost = 128;
// Input waiting to cross a paced line (--pace): 1 MiB is a minute and a half at 115200 baud.
// A TCP or broker client that sends more than that ahead is dropped; on the pty the bytes that
// find no room are lost, as in a serial receiver that overruns.
constexpr qsizetype kMaxInputInFlight = 1024 * 1024;
// What one read takes from a socket or the pty before the simulator turns to its other work; a
// socket buffers no more than this, so a peer that sends faster than the simulator reads is
// held back by TCP itself.
constexpr qsizetype kReadChunk = 64 * 1024;

} // namespace devsim
