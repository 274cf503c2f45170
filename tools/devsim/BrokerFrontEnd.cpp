#include "BrokerFrontEnd.h"

#include "Bounds.h"
#include "BrokerClient.h"
#include "BrokerFrames.h"
#include "Listening.h"
#include "SessionRunner.h"

namespace devsim {

struct BrokerFrontEnd::Station {
    Station(const SimOptions& options, const QString& imageOut)
        : device(options.controller, imageOut, options.faults.targeted) {}
    Device device;
    SessionRunner* runner = nullptr;
    // The clients that sent it a frame and hear its answers.
    QList<BrokerClient*> clients;
};

namespace {
QString perId(const QString& path, std::uint32_t id) {
    return path.isEmpty() ? QString() : QStringLiteral("%1.id%2").arg(path).arg(id);
}
} // namespace

BrokerFrontEnd::BrokerFrontEnd(const SimOptions& options, QObject* parent)
    : QObject(parent), options_(options) {
    connect(&server_, &QTcpServer::newConnection, this, &BrokerFrontEnd::accept);
}

BrokerFrontEnd::~BrokerFrontEnd() = default;

bool BrokerFrontEnd::createControllers(QString* error) {
    const QSet<std::uint32_t> refusing(options_.refuseIds.cbegin(), options_.refuseIds.cend());
    controllers_.reserve(options_.ids.size());
    for (const std::uint32_t id : options_.ids) {
        auto controller = std::make_shared<Station>(options_, perId(options_.imageOutPath, id));
        controller->device.refusesWrites = refusing.contains(id);
        controller->device.id = id;
        controller->device.programmedPath = options_.programmedPath;
        const QString storage = perId(options_.storagePath, id);
        if (!storage.isEmpty() && !controller->device.storage.attachFile(storage, error)) {
            return false;
        }
        if (!controller->device.imageWritable(error)) {
            return false;
        }
        controller->runner =
            new SessionRunner(controller->device, options_, 0x42520000U + id, this);
        // A thousand controllers answering each record through a pass of the event loop of
        // their own cost the broker more than the answers: an answer due at once is framed and
        // written while its command is routed.
        controller->runner->setAnswersDueAtOnce(true);
        connect(controller->runner, &SessionRunner::output, this,
                [this, id](const QByteArray& bytes, bool damaged) { deliver(id, bytes, damaged); });
        connect(controller->runner, &SessionRunner::bannerOutput, this,
                [this, id](const QByteArray& bytes) { announce(id, bytes); });
        connect(controller->runner, &SessionRunner::closeRequested, this,
                [this, id] { closeClients(id); });
        // Its answers pile up faster than they go out (--pace, --delay): the clients talking to
        // it are dropped, and it goes on for the next ones.
        connect(controller->runner, &SessionRunner::overflowed, this,
                [this, id, runner = controller->runner](const QString& why) {
                    dropClients(id, QStringLiteral("controller %1: %2").arg(id).arg(why));
                    runner->reopen();
                });
        controllers_.insert(id, controller);
        controller->runner->startRunning();
    }
    return true;
}

bool BrokerFrontEnd::listen(int port, QString* error) {
    return listenOn(server_, options_.bindAddress, port, QStringLiteral("broker"), error);
}

QString BrokerFrontEnd::address() const {
    return listeningAddress(server_);
}

void BrokerFrontEnd::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        auto* client = new BrokerClient(socket, options_.faults, ++connections_, this);
        clients_.append(client);
        connect(client, &BrokerClient::frameReceived, this,
                [this, client](std::uint32_t id, const QByteArray& payload) {
                    route(client, id, payload);
                });
        connect(client, &BrokerClient::gone, this, [this, client] {
            clients_.removeOne(client);
            for (const std::uint32_t id : client->attachedIds()) {
                if (const auto station = controllers_.value(id)) {
                    station->clients.removeOne(client);
                }
            }
            client->deleteLater();
        });
    }
}

void BrokerFrontEnd::route(BrokerClient* client, std::uint32_t hardwareId,
                           const QByteArray& payload) {
    const auto found = controllers_.constFind(hardwareId);
    if (found == controllers_.constEnd()) {
        client->sendRaw(notFoundFrame(hardwareId));
        return;
    }
    if (!client->isAttached(hardwareId)) {
        client->attach(hardwareId);
        (*found)->clients.append(client);
    }
    if (!(*found)->runner->receiveCommand(payload)) {
        client->drop(QStringLiteral("more than %1 bytes sent ahead to controller %2 on its paced "
                                    "line")
                         .arg(kMaxInputInFlight)
                         .arg(hardwareId));
    }
}

// Only the controller's own clients are looked at: with a thousand controllers, each behind a
// client of its own, going through every client for every answer cost the simulator more than
// answering.
QList<BrokerClient*> BrokerFrontEnd::clientsOf(std::uint32_t hardwareId) const {
    const auto station = controllers_.value(hardwareId);
    return station ? station->clients : QList<BrokerClient*>();
}

void BrokerFrontEnd::deliver(std::uint32_t hardwareId, const QByteArray& bytes, bool damaged) {
    for (BrokerClient* client : clientsOf(hardwareId)) {
        client->sendPiece(hardwareId, bytes, damaged);
    }
}

void BrokerFrontEnd::announce(std::uint32_t hardwareId, const QByteArray& bytes) {
    for (BrokerClient* client : std::as_const(clients_)) {
        if (!client->isAttachedToAny()) {
            client->sendPiece(hardwareId, bytes);
        }
    }
}

void BrokerFrontEnd::dropClients(std::uint32_t hardwareId, const QString& why) {
    for (BrokerClient* client : clientsOf(hardwareId)) {
        client->drop(why);
    }
}

void BrokerFrontEnd::closeClients(std::uint32_t hardwareId) {
    for (BrokerClient* client : clientsOf(hardwareId)) {
        client->close();
    }
}

} // namespace devsim
