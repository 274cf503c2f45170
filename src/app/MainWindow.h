#pragma once

#include "AppSettings.h"
#include "OpenLink.h"
#include "core/Operation.h"

#include <QMainWindow>
#include <functional>

class AboutBox;
class ElidedLabel;
class FormBinding;
class InitCommandsWindow;
class Loader;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSpinBox;
class QStackedWidget;
class QToolBar;
struct FormModel;
class QTimer;
class QToolButton;
class TerminalWindow;
class WaitBar;

// The handlers of the firmware group, supplied by the firmware file code.
struct FirmwareActions {
    std::function<void(bool fromButton)> btnOpenClick;
    std::function<void()> btnHeaderEditClick;
    std::function<void()> edNameChange;
};

// The port list rule of the serial page, supplied by the connection code.
struct PortListActions {
    std::function<void()> tbAutoComListClick;
};

// The main window (TForm1). It mirrors its form model and what the loader shows: syncFromModel()
// brings every widget in line with the model, the widgets' change signals write the user's edits
// back into the model, and clicks call the loader's handlers. Controls are found by their names
// (objectName), the same names the model uses.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Loader& loader, FormModel& form, FormBinding& binding, const AppSettings& settings,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    void setSecondaryWindows(TerminalWindow* terminal, AboutBox* about, InitCommandsWindow* init);

    FirmwareActions firmware;
    PortListActions ports;
    // Brings every window in line with the model; run after each handler.
    std::function<void()> onHandled;
    // The window has closed; the application ends with it.
    std::function<void()> onClosed;

    void syncFromModel();

    // The window's steps and handlers, named as in the loader's other parts.
    void FormCreate();
    void FormShow();
    void FormActivate();
    bool FormCloseQuery();
    void FormClose();
    void ToolButton5Click();
    void ToolButton9Click();
    void btnExitClick();
    void cbFinalizationClick();
    void cbDopInitCmdClick();

    QMenu* popupMenu1() const { return popupMenu1_; }
    QMenu* popupMenu2() const { return popupMenu2_; }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolBar();
    QWidget* buildUnitSignPanel(QWidget* parent);
    void addToolButtons(QToolBar* bar);
    void buildMenus();
    QWidget* buildConnectionGroup();
    QWidget* buildSerialPage();
    QWidget* buildTcpPage();
    QWidget* buildBrokerPage();
    QWidget* buildFirmwareGroup();
    void buildStatusBar();
    void fixConnectButtonWidth();
    void orderTabs();
    void connectEdits();
    void connectClicks();
    void connectFirmwareClicks();
    void syncToolBar();
    void syncConnectionGroup();
    void syncPortBox();
    void syncFirmwareGroup();
    void syncStatusBar();
    void syncLinkPanel();
    void syncMenus();
    void syncWaitBarClock();
    void followConnectionKind();
    void reloadStoredFile();
    void btnConnectClicked();
    void connectMenuKeys();
    void openOperationMenu();
    void resumeTerminalFlush();
    void operationEnded();
    // Runs a handler; an error it raises is shown in a message box (the default error
    // report), and the windows are brought in line with the model afterwards.
    void run(const std::function<void()>& handler);
    void handled();
    WindowPlacement placement() const;

    Loader& loader_;
    FormModel& form_;
    FormBinding& binding_;
    const AppSettings& settings_;
    TerminalWindow* terminal_ = nullptr;
    AboutBox* about_ = nullptr;
    InitCommandsWindow* init_ = nullptr;
    OpenLink openLink_;
    bool shown_ = false;
    bool syncing_ = false;
    bool closing_ = false;
    LinkKind shownKind_ = LinkKind::Serial; // the page panel 2 speaks of

    QLabel* connectKindLabel_ = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QToolButton* btnConnect = nullptr;
    ElidedLabel* UnitSign = nullptr;
    QToolButton* ToolButton5 = nullptr;
    QToolButton* ToolButton9 = nullptr;
    WaitBar* pbWaitAnswer = nullptr;
    QToolButton* btnExit = nullptr;

    QGroupBox* Panel1 = nullptr;
    QStackedWidget* TypeOfConnectGrp = nullptr;
    QComboBox* cmbComPort = nullptr;
    QCheckBox* tbAutoComList = nullptr;
    QComboBox* cmbBaudRate = nullptr;
    QLineEdit* IPEdit = nullptr;
    QSpinBox* PortNum = nullptr;
    QLineEdit* BrokerIPEdt = nullptr;
    QSpinBox* BrokerPortEdt = nullptr;
    QSpinBox* HARDWARE_IDEdt = nullptr;

    QGroupBox* Panel3 = nullptr;
    QLineEdit* edName = nullptr;
    QToolButton* btnOpen = nullptr;
    QLineEdit* edtUnitSign = nullptr;
    QToolButton* btnHeaderEdit = nullptr;
    QCheckBox* cbFinalization = nullptr;
    QCheckBox* cbWaitConnectLUMET = nullptr;
    QCheckBox* cbDopInitCmd = nullptr;
    QCheckBox* cbVerifyStored = nullptr;
    QComboBox* cmbRestart = nullptr; // how the flash restarts the controller

    ElidedLabel* statusPanels_[4] = {};
    // Wakes the loader's wait a few times a second while an operation runs, so that the wait
    // bar moves on its own through a silent wait (the wait itself sleeps until something
    // happens).
    QTimer* waitBarClock_ = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    QMenu* popupMenu1_ = nullptr;
    QMenu* popupMenu2_ = nullptr;
    QAction* mnuTimeOut = nullptr;
    QAction* mnuDebug = nullptr;
    QAction* mnuFastExchange = nullptr;
    QAction* mnuAnswerGap = nullptr;
};
