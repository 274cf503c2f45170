#pragma once

#include "Device.h"
#include "SimOptions.h"

#include <QHash>
#include <QList>
#include <QTcpServer>
#include <memory>

namespace devsim {

class SessionRunner;
class BrokerClient;

// The broker: TCP clients send frames; each frame goes to the controller of its hardware id.
// The controllers behind the broker live as long as the simulator and are already running when
// it starts (a client connecting does not restart them; "RESET" does); a client hears a
// controller's answers and banners once it has sent it a frame.
// A frame for an id without a controller gets the not-found frame.
class BrokerFrontEnd : public QObject {
    Q_OBJECT
public:
    BrokerFrontEnd(const SimOptions& options, QObject* parent = nullptr);
    ~BrokerFrontEnd() override;

    // Creates the controllers (with their storage files); false with a message on failure.
    bool createControllers(QString* error);
    bool listen(int port, QString* error);
    QString address() const;

private:
    struct Station;
    void accept();
    void route(BrokerClient* client, std::uint32_t hardwareId, const QByteArray& payload);
    // A damaged answer piece goes in a frame with a bad CRC.
    void deliver(std::uint32_t hardwareId, const QByteArray& bytes, bool damaged);
    // A restart banner also reaches the clients that have not addressed any controller yet: a
    // loader that waits for a banner before it sends anything listens to every controller.
    void announce(std::uint32_t hardwareId, const QByteArray& bytes);
    // A copy: dropping or closing a client may take it off the list.
    QList<BrokerClient*> clientsOf(std::uint32_t hardwareId) const;
    void closeClients(std::uint32_t hardwareId);
    void dropClients(std::uint32_t hardwareId, const QString& why);

    const SimOptions& options_;
    QTcpServer server_;
    QHash<std::uint32_t, std::shared_ptr<Station>> controllers_;
    QList<BrokerClient*> clients_;
    std::uint32_t connections_ = 0;
};

} // namespace devsim
