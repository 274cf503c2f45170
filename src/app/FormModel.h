#pragma once

#include "core/Operation.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <cmath>

// Plain data for the main window's controls. The window mirrors it and writes the user's edits
// back; FormBinding keeps it in step with the loader (what the loader shows, the choices it
// reads). Tests read it directly: "after a cancel, ToolButton1 is enabled and btnConnect shows
// image 18".

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

struct MenuItem : Control {
    bool checked = false;
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
    // A link is open: the port and its speed are fixed.
    void showLinkOpen();
    // The link closed: the connection settings can be changed again.
    void showLinkClosed();

    // The connection kind is the visible page; ToolButton1's icon is derived from it and
    // written nowhere else.
    LinkKind connectionKind() const { return TypeOfConnectGrpPage; }
    void setConnectionKind(LinkKind kind);
    static int iconOfKind(LinkKind kind);

    // The wait menus' captions name the wait times in force (a storage load sets its own).
    void showAnswerTimeout(int ms);
    void showAnswerGap(int ms);

    // Tool bar.
    ButtonControl ToolButton1;
    ButtonControl btnConnect;
    Control UnitSign;
    Control pbWaitAnswer; // the answer wait bar; its values are the loader's output
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

    // Status bar.
    Control ProgressBar1; // the progress bar; its values are the loader's output

    // Menus.
    MenuItem mnuTimeOut;
    MenuItem mnuDebug;
    // The fast exchange: an answer whole by what its command awaits ends the wait at once.
    MenuItem mnuFastExchange;
    // The longest pause awaited inside an answer (its tag holds AnswerGapMs).
    MenuItem mnuAnswerGap;

    // The accompanying-initialisation window (TForm4).
    QStringList DopCmdMemo;

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
