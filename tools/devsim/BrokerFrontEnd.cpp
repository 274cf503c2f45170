#include "BrokerFrontEnd.h"

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
    for (const std::uint32_t id : options_.ids) {
        auto controller = std::make_shared<Station>(options_, perId(options_.imageOutPath, id));
        const QString storage = perId(options_.storagePath, id);
        if (!storage.isEmpty() && !controller->device.storage.attachFile(storage, error)) {
            return false;
        }
        if (!controller->device.imageWritable(error)) {
            return false;
        }
        controller->runner =
            new SessionRunner(controller->device, options_, 0x42520000U + id, this);
        connect(controller->runner, &SessionRunner::output, this,
                [this, id](const QByteArray& bytes, bool damaged) { deliver(id, bytes, damaged); });
        connect(controller->runner, &SessionRunner::bannerOutput, this,
                [this, id](const QByteArray& bytes) { announce(id, bytes); });
        connect(controller->runner, &SessionRunner::closeRequested, this,
                [this, id] { closeClients(id); });
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
    client->attach(hardwareId);
    (*found)->runner->receiveCommand(payload);
}

void BrokerFrontEnd::deliver(std::uint32_t hardwareId, const QByteArray& bytes, bool damaged) {
    for (BrokerClient* client : std::as_const(clients_)) {
        if (client->isAttached(hardwareId)) {
            client->sendPiece(hardwareId, bytes, damaged);
        }
    }
}

void BrokerFrontEnd::announce(std::uint32_t hardwareId, const QByteArray& bytes) {
    for (BrokerClient* client : std::as_const(clients_)) {
        if (!client->isAttachedToAny()) {
            client->sendPiece(hardwareId, bytes);
        }
    }
}

void BrokerFrontEnd::closeClients(std::uint32_t hardwareId) {
    for (BrokerClient* client : std::as_const(clients_)) {
        if (client->isAttached(hardwareId)) {
            client->close();
        }
    }
}

} // namespace devsim
