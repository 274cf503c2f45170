#pragma once

#include "Dialogs.h"
#include "Operation.h"
#include "ScrollBack.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <cmath>

// Plain data for every control the loader's logic reads or writes. The procedures and the
// driver change the model; the window mirrors it and writes the user's edits back. Tests read
// it directly: "after a cancel, ToolButton1 is enabled and btnConnect shows image 18".

struct Control {
    bool enabled = true;
    bool visible = true;
    QString caption;
    QString hint;
    int imageIndex = -1;
    int tag = 0;
};

struct ButtonControl : Control {
    bool dropDown = false; // drawn with the drop-down arrow of its menu
};

struct EditControl : Control {
    QString text;
    int maxLength = 0; // 0: no limit on typing
};

struct CheckControl : Control {
    bool checked = false;
};

struct ComboControl : Control {
    QStringList items;
    int itemIndex = -1;
    QString text;

    void select(int index) {
        itemIndex = (index >= 0 && index < items.size()) ? index : -1;
        if (itemIndex >= 0) {
            text = items.at(itemIndex);
        }
    }
    QString selectedText() const { return itemIndex >= 0 ? items.at(itemIndex) : QString(); }
};

// A numeric spin field; its text is what the connection code takes, its value is the text as a
// number.
struct SpinControl : Control {
    QString text;

    int roundedValue() const { return int(wholeValue()); }
    // The value in full: a hardware id goes up to 4294967295.
    qint64 wholeValue() const {
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        return ok && std::fabs(value) < 9.0e18 ? qint64(std::llround(value)) : 0;
    }
};

struct ProgressControl : Control {
    int maximum = 100;
    int position = 0;
    QString text; // shown on the bar when not empty (percentage and remaining time)

    // The bar holds its position between 0 and its maximum.
    void setPosition(int value) { position = value < 0 ? 0 : (value > maximum ? maximum : value); }
    void setMaximum(int value) {
        maximum = value;
        setPosition(position);
    }
};

struct MenuItem : Control {
    bool checked = false;
};

// The terminal window (TForm2): the raw exchange and the hand-typed send line.
struct TerminalModel {
    bool visible = false;
    QString caption = QStringLiteral("Терминальное окно");
    ScrollBack lines;                // Memo1, bytes as received or sent
    QString edit1;                   // the send line
    bool sendPanelVisible = false;   // Panel1, shown while a connection is open
    bool commandInputEnabled = true; // disabled while the bootloader is programmed
    int receiveCounter = 0;          // counted by the TCP receive handler, never reset
};

struct FormModel {
    FormModel();

    // The named changes of the controls' states: each rule about which controls are enabled
    // lives in one of these.
    // An operation runs: the connection, the file and the exit are locked, and the main
    // button is the cancel button.
    void lockForOperation();
    // The operation is over: everything is enabled again and the main button starts the
    // operation of the mode.
    void releaseAfterOperation(Operation operation);
    // A link is open: the terminal's send line shows, the port and its speed are fixed.
    void showLinkOpen();
    // The link closed: the send line goes, the connection settings can be changed again.
    void showLinkClosed();

    // The connection kind is the visible page; ToolButton1's icon is derived from it and
    // written nowhere else.
    LinkKind connectionKind() const { return TypeOfConnectGrpPage; }
    void setConnectionKind(LinkKind kind);
    static int iconOfKind(LinkKind kind);

    // Tool bar.
    ButtonControl ToolButton1;
    ButtonControl btnConnect;
    Control UnitSign;
    ProgressControl pbWaitAnswer;
    ButtonControl btnExit;

    // Connection group and its three pages.
    Control Panel1;
    LinkKind TypeOfConnectGrpPage = LinkKind::Serial;
    ComboControl cmbComPort;
    CheckControl tbAutoComList;
    ComboControl cmbBaudRate;
    EditControl IPEdit;
    SpinControl PortNum;
    EditControl BrokerIPEdt;
    SpinControl BrokerPortEdt;
    SpinControl HARDWARE_IDEdt;

    // Firmware group.
    Control Panel3;
    EditControl edName;
    ButtonControl btnOpen;
    EditControl edtUnitSign; // header text; tag holds HeaderLineIndex
    ButtonControl btnHeaderEdit;
    CheckControl cbFinalization;
    CheckControl cbWaitConnectLUMET;
    CheckControl cbDopInitCmd;
    CheckControl cbVerifyStored; // read the stored text back and compare it with the file
    // How the flash restarts the controller before it waits for the banner (FlashRestart).
    ComboControl cmbRestart;
    FileDialogState OpenDialog1; // the firmware file dialog

    // Status bar.
    std::array<QString, 4> Status;
    ProgressControl ProgressBar1;

    // Menus.
    MenuItem mnuTimeOut;
    MenuItem mnuDebug;
    // The fast exchange: an answer whole by what its command awaits ends the wait at once.
    MenuItem mnuFastExchange;
    // The longest pause awaited inside an answer (its tag holds AnswerGapMs).
    MenuItem mnuAnswerGap;

    // The accompanying-initialisation window (TForm4).
    QStringList DopCmdMemo;

    TerminalModel terminal;

private:
    // The captions, hints and first values of each part of the window.
    void setUpToolBar();
    void setUpConnectionGroup();
    void setUpFirmwareGroup();
    void setUpStatusAndMenus();
    // The controls an operation locks: the kind, the port, the file, the options and the exit.
    void enableOutsideOperation(bool enabled);

    bool operationRunning_ = false;
};
