#pragma once

#include <QString>

class Loader;
struct FormModel;

// The link the loader has open, kept the link the window shows. The loader keeps a link open
// between operations and sends through the kind on show; were the kind or its address changed
// meanwhile, the next operation would go out through the old link while the journal named the
// new one. So when the chosen kind or its settings change while no operation runs, the open
// link is closed, and the next operation (or the terminal) opens the one now chosen.
class OpenLink {
public:
    OpenLink(Loader& loader, const FormModel& form) : loader_(loader), form_(form) {}

    // The link the controls choose, in words: "TCP/IP 127.0.0.1:10001".
    static QString chosen(const FormModel& form);
    // Where it leads, short enough for a status panel: "127.0.0.1:10001", "/dev/ttyUSB0".
    static QString address(const FormModel& form);
    // The connection state of the chosen link while it is not open, as its link says it once
    // closed: "COM1:закрыт", "127.0.0.1:10001 закрыт".
    static QString closedState(const FormModel& form);

    // The window is about to open the chosen link.
    void opening();
    // Run whenever the controls may have changed: closes the open link once the choice has
    // moved away from it.
    void follow();

    bool isOpen() const;
    // The open link in words and its address; empty while none is open.
    QString description() const { return isOpen() ? description_ : QString(); }
    QString shortText() const { return isOpen() ? address_ : QString(); }

private:
    void remember();
    void close();

    Loader& loader_;
    const FormModel& form_;
    QString description_; // of the link last opened, also while it is still connecting
    QString address_;
    bool seenOpen_ = false;
};
