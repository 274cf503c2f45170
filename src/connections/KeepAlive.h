#pragma once

#include <QAbstractSocket>
#include <QVariant>

// Probes an idle TCP connection, so that a link that died without a word (a cable pulled, a
// router restarted, the far side powered off) is noticed within a minute instead of never.
// Where the system allows it (Linux), the probes start after 20 s of silence, go every 5 s,
// and unacknowledged data or probes give the connection up after 45 s; elsewhere the system's
// own keep-alive times apply.
namespace KeepAlive {

constexpr int kIdleSeconds = 20;
constexpr int kIntervalSeconds = 5;
constexpr int kProbes = 4;
constexpr int kGiveUpMs = 45000;

// Switches the probes on for a connected socket.
void enable(QAbstractSocket& socket);

// The keep-alive settings of a socket as the system holds them (-1 where unknown).
struct Settings {
    bool enabled = false;
    int idleSeconds = -1;
    int intervalSeconds = -1;
    int probes = -1;
    int giveUpMs = -1;
};
Settings read(QAbstractSocket& socket);

} // namespace KeepAlive
