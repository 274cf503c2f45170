#include "OpenLink.h"

#include "FormModel.h"
#include "FormRequest.h"
#include "core/Links.h"
#include "core/Loader.h"
#include "core/LoaderError.h"

QString OpenLink::address(const FormModel& form) {
    switch (form.TypeOfConnectGrpPage) {
    case LinkKind::Tcp:
        return form.IPEdit.text + QLatin1Char(':') + form.PortNum.text;
    case LinkKind::Broker:
        return form.BrokerIPEdt.text + QLatin1Char(':') + form.BrokerPortEdt.text;
    default:
        return form.cmbComPort.text;
    }
}

QString OpenLink::closedState(const FormModel& form) {
    const QString separator =
        form.TypeOfConnectGrpPage == LinkKind::Serial ? QStringLiteral(":") : QStringLiteral(" ");
    return address(form) + separator + QStringLiteral("закрыт");
}

QString OpenLink::chosen(const FormModel& form) {
    switch (form.TypeOfConnectGrpPage) {
    case LinkKind::Tcp:
        return QStringLiteral("TCP/IP ") + address(form);
    case LinkKind::Broker:
        return QStringLiteral("брокер ") + address(form);
    default:
        // The hardware id is no part of a link: every frame carries the id in the field.
        return QStringLiteral("порт ") + address(form) + QStringLiteral(", ") +
               form.cmbBaudRate.text + QStringLiteral(" бит/с");
    }
}

void OpenLink::remember() {
    description_ = chosen(form_);
    address_ = address(form_);
}

void OpenLink::opening() {
    remember();
}

bool OpenLink::isOpen() const {
    return loader_.state.ConnectionOpen;
}

void OpenLink::follow() {
    const bool open = isOpen();
    const bool cameUp = open && !seenOpen_;
    seenOpen_ = open;
    if (cameUp) {
        // The open steps complete the choice (the first port when none was selected, the
        // default speed), and a link may be opened by a way the window did not see.
        remember();
    }
    if (loader_.state.OperationActive || description_.isEmpty()) {
        return; // during an operation the controls are locked
    }
    if (open && loader_.links != nullptr) {
        // The terminal's frames go to the hardware id the field holds now.
        loader_.links->use(FormRequest::link(form_));
    }
    if (chosen(form_) != description_) {
        close();
    }
}

void OpenLink::close() {
    const bool wasOpen = isOpen();
    const QString closed = description_;
    description_.clear();
    address_.clear();
    Links* links = loader_.links;
    if (links == nullptr) {
        return;
    }
    try {
        // Also a client still connecting: it would come up at the old address.
        links->closeAll();
    } catch (const std::exception& e) {
        loader_.setStatus(3, errorText(e));
        return;
    }
    if (wasOpen) {
        loader_.setStatus(
            3, QStringLiteral("Прежнее соединение закрыто (%1): выбрано другое").arg(closed));
    }
}
