#include "MainWindow.h"

#include "ElidedLabel.h"
#include "FormBinding.h"
#include "FormModel.h"
#include "Icons.h"
#include "MainWindowTexts.h"
#include "WaitBar.h"
#include "core/Loader.h"
#include "core/OperationTable.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>
#include <climits>

namespace {

constexpr int kClientWidth = 727;
constexpr int kClientHeight = 155;
constexpr int kUnitSignWidth = 130;
// How often the wait bar moves during a wait: a few times a second, a wake each.
constexpr int kWaitBarStepMs = 250;

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QToolButton* iconButton(const char* name, QWidget* parent) {
    auto* button = named(new QToolButton(parent), name);
    button->setIconSize(QSize(20, 20));
    button->setAutoRaise(true);
    return button;
}

constexpr int kFieldHeight = 20;
constexpr int kOptionHeight = 15;

QCheckBox* optionBox(const char* name, QWidget* parent) {
    auto* box = named(new QCheckBox(parent), name);
    box->setFixedHeight(kOptionHeight);
    return box;
}

QLabel* textLabel(const QString& text, QWidget* parent) {
    return new QLabel(MainWindowTexts::display(text), parent);
}

// A two-line label with its lines set close, so that its row is no taller than the field
// beside it.
QLabel* compactLabel(const QString& text, QWidget* parent) {
    const QStringList lines = MainWindowTexts::display(text).split(QLatin1Char('\n'));
    QStringList escaped;
    for (const QString& line : lines) {
        escaped.append(line.toHtmlEscaped());
    }
    auto* label = new QLabel(QStringLiteral("<div style='line-height:85%'>%1</div>")
                                 .arg(escaped.join(QStringLiteral("<br>"))),
                             parent);
    label->setTextFormat(Qt::RichText);
    return label;
}

QSpinBox* numberField(const char* name, int maximum, QWidget* parent) {
    auto* spin = named(new QSpinBox(parent), name);
    spin->setRange(0, maximum);
    spin->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    return spin;
}

// A field with its label before it, at row and column of the page's grid.
void addLabelled(QGridLayout* grid, int row, int column, const QString& label, QWidget* field,
                 int columnSpan = 1) {
    grid->addWidget(textLabel(label, field->parentWidget()), row, column);
    grid->addWidget(field, row, column + 1, 1, columnSpan);
}

struct AddressFields {
    QLineEdit* host;
    QSpinBox* port;
};

// A network page's host field and, under it, its port field, each after its label; the host
// spans hostColumns columns.
AddressFields addAddressFields(QGridLayout* grid, QWidget* page,
                               const std::array<const char*, 2>& names,
                               const std::array<QString, 2>& labels, int hostColumns) {
    auto* host = named(new QLineEdit(page), names[0]);
    QSpinBox* port = numberField(names[1], 65535, page);
    addLabelled(grid, 0, 0, labels[0], host, hostColumns);
    addLabelled(grid, 1, 0, labels[1], port);
    return {host, port};
}

QWidget* page(const char* name, const QString& heading, QGridLayout*& grid) {
    auto* widget = named(new QWidget, name);
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(2);
    auto* title = new QLabel(heading, widget);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    layout->addLayout(grid);
    layout->addStretch(1);
    return widget;
}

} // namespace

MainWindow::MainWindow(Loader& loader, FormModel& form, FormBinding& binding,
                       const AppSettings& settings, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                              Qt::MSWindowsFixedSizeDialogHint),
      loader_(loader), form_(form), binding_(binding), settings_(settings),
      openLink_(loader, form) {
    setObjectName(QStringLiteral("TForm1"));
    QFont compact = font();
    compact.setPixelSize(11);
    setFont(compact);
    setWindowIcon(Icons::icon(Icons::Application));
    setWindowTitle(MainWindowTexts::captionPrefix() + QStringLiteral("Версия 1.97)"));
    MainWindowTexts::applyHints(form_);
    FormCreate();

    buildMenus();
    buildToolBar();
    auto* central = new QWidget(this);
    auto* groups = new QHBoxLayout(central);
    groups->setContentsMargins(2, 0, 2, 0);
    groups->setSpacing(4);
    groups->addWidget(buildConnectionGroup(), 0);
    groups->addWidget(buildFirmwareGroup(), 1);
    setCentralWidget(central);
    buildStatusBar();
    waitBarClock_ = new QTimer(this);
    waitBarClock_->setInterval(kWaitBarStepMs);
    // Each step shows the wait's position; the wait itself sleeps until something happens.
    connect(waitBarClock_, &QTimer::timeout, this, [this] { loader_.exchange.poke(); });
    connectEdits();
    connectClicks();
    loader_.driver.onFinished = [this](const OperationResult&) { operationEnded(); };
    setFixedSize(kClientWidth, kClientHeight);
    fixConnectButtonWidth();
    orderTabs();
    syncFromModel();
}

// The start and the cancel caption take the same room, so that nothing on the tool bar moves
// when one replaces the other: the wait bar would move under the mouse about to click it.
void MainWindow::fixConnectButtonWidth() {
    btnConnect->setIcon(Icons::icon(kIconFlash)); // every operation's icon has this size
    int widest = 0;
    const std::pair<QString, QMenu*> looks[] = {{UiTexts::startButton(), popupMenu1_},
                                                {UiTexts::cancelButton(), nullptr}};
    for (const auto& [caption, menu] : looks) {
        btnConnect->setText(MainWindowTexts::buttonText(caption));
        btnConnect->setMenu(menu);
        btnConnect->setPopupMode(menu != nullptr ? QToolButton::MenuButtonPopup
                                                 : QToolButton::DelayedPopup);
        widest = std::max(widest, btnConnect->sizeHint().width());
    }
    btnConnect->setFixedWidth(widest);
}

// Tab goes along the tool bar, then through the connection page on show, then through the
// firmware group; hidden and disabled controls are passed over.
void MainWindow::orderTabs() {
    QWidget* const chain[] = {ToolButton1,   btnConnect,     ToolButton5,    ToolButton9,
                              pbWaitAnswer,  btnExit,        cmbComPort,     cmbBaudRate,
                              tbAutoComList, IPEdit,         PortNum,        BrokerIPEdt,
                              BrokerPortEdt, HARDWARE_IDEdt, edName,         btnOpen,
                              edtUnitSign,   btnHeaderEdit,  cbFinalization, cbWaitConnectLUMET,
                              cbDopInitCmd,  cbVerifyStored, cmbRestart};
    for (std::size_t i = 0; i + 1 < std::size(chain); ++i) {
        QWidget::setTabOrder(chain[i], chain[i + 1]);
    }
}

MainWindow::~MainWindow() {
    loader_.driver.onFinished = nullptr;
}

void MainWindow::FormCreate() {
    LoaderState& s = loader_.state;
    FormModel& f = form_;
    s.DebugMode = settings_.readDebugMode();
    s.FirstActivation = true;
    s.AttemptLimit = 3;
    s.ConnectionOpen = false;
    f.setConnectionKind(LinkKind::Serial);
    s.StartPage = 70;
    s.PageAddr = 10;
    s.LastLoadedLine = 0;
}

void MainWindow::setSecondaryWindows(TerminalWindow* terminal, AboutBox* about,
                                     InitCommandsWindow* init) {
    terminal_ = terminal;
    about_ = about;
    init_ = init;
}

void MainWindow::buildMenus() {
    popupMenu1_ = named(new QMenu(this), "PopupMenu1");
    for (const OperationRow& row : OperationTable::rows()) {
        if (row.icon == 0) {
            continue; // a query of the shell
        }
        if (row.separatorBefore) {
            popupMenu1_->addSeparator()->setObjectName(QStringLiteral("N4"));
        }
        QAction* item =
            popupMenu1_->addAction(Icons::icon(row.icon), MainWindowTexts::menuText(row.caption));
        item->setObjectName(QLatin1String(row.menuItem));
        const Operation chosen = row.operation;
        connect(item, &QAction::triggered, this,
                [this, chosen] { run([this, chosen] { binding_.N1Click(chosen); }); });
    }
    popupMenu2_ = named(new QMenu(this), "PopupMenu2");
    mnuTimeOut = popupMenu2_->addAction(form_.mnuTimeOut.caption);
    mnuTimeOut->setObjectName(QStringLiteral("mnuTimeOut"));
    mnuDebug = popupMenu2_->addAction(form_.mnuDebug.caption);
    mnuDebug->setObjectName(QStringLiteral("mnuDebug"));
    mnuDebug->setCheckable(true);
    mnuFastExchange = popupMenu2_->addAction(form_.mnuFastExchange.caption);
    mnuFastExchange->setObjectName(QStringLiteral("mnuFastExchange"));
    mnuFastExchange->setCheckable(true);
    mnuAnswerGap = popupMenu2_->addAction(form_.mnuAnswerGap.caption);
    mnuAnswerGap->setObjectName(QStringLiteral("mnuAnswerGap"));
}

void MainWindow::buildToolBar() {
    auto* bar = named(new QToolBar(this), "ToolBar1");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->setIconSize(QSize(20, 20));
    bar->setContentsMargins(0, 0, 0, 0);
    bar->layout()->setSpacing(1);
    connectKindLabel_ = named(textLabel(MainWindowTexts::connectKindLabel(), bar), "Label2");
    connectKindLabel_->setContextMenuPolicy(Qt::CustomContextMenu);
    connectKindLabel_->setContentsMargins(4, 0, 4, 0);
    bar->addWidget(connectKindLabel_);
    ToolButton1 = iconButton("ToolButton1", bar);
    bar->addWidget(ToolButton1);
    btnConnect = iconButton("btnConnect", bar);
    btnConnect->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->addWidget(btnConnect);
    bar->addSeparator();
    bar->addWidget(buildUnitSignPanel(bar));
    bar->addSeparator();
    addToolButtons(bar);
    addToolBar(Qt::TopToolBarArea, bar);
}

// The device type the controller reported (UnitSign) under its caption. The panel keeps its
// width whatever the controller reports, so that nothing after it on the tool bar moves: a
// device type too long for it is cut with an ellipsis and shown whole in its tooltip.
QWidget* MainWindow::buildUnitSignPanel(QWidget* parent) {
    auto* unitPanel = named(new QWidget(parent), "pnlUnitSign");
    auto* unitLayout = new QVBoxLayout(unitPanel);
    unitLayout->setContentsMargins(6, 0, 6, 0);
    unitLayout->setSpacing(0);
    unitLayout->addWidget(textLabel(MainWindowTexts::unitSignLabel(), unitPanel));
    UnitSign = named(new ElidedLabel(unitPanel), "UnitSign");
    UnitSign->setStyleSheet(QStringLiteral("color: red;"));
    unitPanel->setFixedWidth(kUnitSignWidth);
    unitLayout->addWidget(UnitSign);
    return unitPanel;
}

// The terminal and About buttons, the wait bar and, at the far end, the exit button.
void MainWindow::addToolButtons(QToolBar* bar) {
    ToolButton5 = iconButton("ToolButton5", bar);
    ToolButton5->setIcon(Icons::icon(Icons::Terminal));
    ToolButton5->setToolTip(MainWindowTexts::terminalHint());
    bar->addWidget(ToolButton5);
    ToolButton9 = iconButton("ToolButton9", bar);
    ToolButton9->setIcon(Icons::icon(Icons::About));
    ToolButton9->setToolTip(MainWindowTexts::aboutHint());
    bar->addWidget(ToolButton9);
    pbWaitAnswer = named(new WaitBar(bar), "pbWaitAnswer");
    pbWaitAnswer->setTextVisible(false);
    pbWaitAnswer->setFixedSize(130, 16);
    pbWaitAnswer->setContextMenuPolicy(Qt::CustomContextMenu);
    bar->addWidget(pbWaitAnswer);
    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    btnExit = iconButton("btnExit", bar);
    btnExit->setIcon(Icons::icon(Icons::Exit));
    btnExit->setToolTip(MainWindowTexts::exitHint());
    bar->addWidget(btnExit);
}

QWidget* MainWindow::buildConnectionGroup() {
    Panel1 = named(new QGroupBox(this), "Panel1");
    auto* layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(4, 2, 4, 2);
    TypeOfConnectGrp = named(new QStackedWidget(Panel1), "TypeOfConnectGrp");
    TypeOfConnectGrp->addWidget(buildSerialPage());
    TypeOfConnectGrp->addWidget(buildTcpPage());
    TypeOfConnectGrp->addWidget(buildBrokerPage());
    layout->addWidget(TypeOfConnectGrp);
    Panel1->setFixedWidth(246);
    return Panel1;
}

QWidget* MainWindow::buildSerialPage() {
    QGridLayout* grid = nullptr;
    QWidget* widget = page("tsCOMPort", QStringLiteral("последовательный порт"), grid);
    cmbComPort = named(new QComboBox(widget), "cmbComPort");
    cmbComPort->setEditable(true);
    cmbComPort->setInsertPolicy(QComboBox::NoInsert);
    // Device paths are long ("/dev/ttyUSB7", "/dev/serial/by-id/..."): the port takes the
    // whole row, and its list opens as wide as its longest entry.
    cmbComPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbComPort->setMinimumContentsLength(8);
    cmbComPort->view()->setTextElideMode(Qt::ElideNone);
    tbAutoComList = named(new QCheckBox(widget), "tbAutoComList");
    cmbBaudRate = named(new QComboBox(widget), "cmbBaudRate");
    cmbBaudRate->setEditable(true);
    cmbBaudRate->setInsertPolicy(QComboBox::NoInsert);
    cmbBaudRate->setFixedWidth(74);
    addLabelled(grid, 0, 0, QStringLiteral("Порт:"), cmbComPort, 2);
    addLabelled(grid, 1, 0, QStringLiteral(" Скорость:"), cmbBaudRate);
    grid->addWidget(tbAutoComList, 1, 2);
    grid->setColumnStretch(2, 1);
    return widget;
}

QWidget* MainWindow::buildTcpPage() {
    QGridLayout* grid = nullptr;
    QWidget* widget = page("tsTCPServer", QStringLiteral("соединение TCP/IP"), grid);
    const AddressFields fields = addAddressFields(
        grid, widget, {"IPEdit", "PortNum"}, {QStringLiteral("IP:"), QStringLiteral("Порт:")}, 1);
    IPEdit = fields.host;
    PortNum = fields.port;
    grid->setColumnStretch(1, 1);
    return widget;
}

QWidget* MainWindow::buildBrokerPage() {
    QGridLayout* grid = nullptr;
    QWidget* widget = page("tsBroker", QStringLiteral("соединение Korve БРОКЕР "), grid);
    const AddressFields fields =
        addAddressFields(grid, widget, {"BrokerIPEdt", "BrokerPortEdt"},
                         {QStringLiteral("IP"), QStringLiteral("Порт")}, 3);
    BrokerIPEdt = fields.host;
    BrokerPortEdt = fields.port;
    HARDWARE_IDEdt = numberField("HARDWARE_IDEdt", INT_MAX, widget);
    addLabelled(grid, 1, 2, QStringLiteral("ID"), HARDWARE_IDEdt);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return widget;
}

QWidget* MainWindow::buildFirmwareGroup() {
    Panel3 = named(new QGroupBox(this), "Panel3");
    auto* grid = new QGridLayout(Panel3);
    grid->setContentsMargins(4, 0, 4, 0);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(0);
    edName = named(new QLineEdit(Panel3), "edName");
    edName->setReadOnly(true);
    btnOpen = named(new QToolButton(Panel3), "btnOpen");
    btnOpen->setToolButtonStyle(Qt::ToolButtonTextOnly);
    edtUnitSign = named(new QLineEdit(Panel3), "edtUnitSign");
    btnHeaderEdit = named(new QToolButton(Panel3), "btnHeaderEdit");
    btnHeaderEdit->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (QToolButton* button : {btnOpen, btnHeaderEdit}) {
        button->setMinimumWidth(100);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    grid->addWidget(compactLabel(MainWindowTexts::fileLabel(), Panel3), 0, 0);
    grid->addWidget(edName, 0, 1);
    grid->addWidget(btnOpen, 0, 2);
    grid->addWidget(compactLabel(MainWindowTexts::headerLabel(), Panel3), 1, 0);
    grid->addWidget(edtUnitSign, 1, 1);
    grid->addWidget(btnHeaderEdit, 1, 2);
    // The storage-load options: the accompanying initialisation sits under the finalisation
    // it depends on. The two rows fit under the file rows only when every row is compact.
    for (QWidget* field :
         std::initializer_list<QWidget*>{edName, btnOpen, edtUnitSign, btnHeaderEdit}) {
        field->setFixedHeight(kFieldHeight);
    }
    auto* options = new QGridLayout;
    options->setHorizontalSpacing(12);
    options->setVerticalSpacing(0);
    cbFinalization = optionBox("cbFinalization", Panel3);
    cbWaitConnectLUMET = optionBox("cbWaitConnectLUMET", Panel3);
    cbDopInitCmd = optionBox("cbDopInitCmd", Panel3);
    cbVerifyStored = optionBox("cbVerifyStored", Panel3);
    options->addWidget(cbFinalization, 0, 0);
    options->addWidget(cbWaitConnectLUMET, 0, 1);
    options->addWidget(cbDopInitCmd, 1, 0);
    options->addWidget(cbVerifyStored, 1, 1);
    // The flash's restart choice shows in the flash mode only, where the storage options do not.
    cmbRestart = named(new QComboBox(Panel3), "cmbRestart");
    cmbRestart->setFixedHeight(kFieldHeight);
    options->addWidget(cmbRestart, 2, 0);
    options->setColumnStretch(2, 1);
    grid->addLayout(options, 2, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    return Panel3;
}

void MainWindow::buildStatusBar() {
    QStatusBar* bar = named(new QStatusBar(this), "Status");
    bar->setSizeGripEnabled(false);
    const int widths[4] = {100, 150, 100, 0};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new ElidedLabel(bar);
        panel->setObjectName(QStringLiteral("Status%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (widths[i] > 0) {
            panel->setFixedWidth(widths[i]);
        }
        statusPanels_[i] = panel;
    }
    statusPanels_[0]->setAlignment(Qt::AlignCenter);
    // The operation progress bar sits over panel 1.
    ProgressBar1 = named(new QProgressBar(statusPanels_[1]), "ProgressBar1");
    ProgressBar1->setTextVisible(false);
    auto* overPanel = new QHBoxLayout(statusPanels_[1]);
    overPanel->setContentsMargins(1, 1, 1, 1);
    overPanel->addWidget(ProgressBar1);
    bar->addWidget(statusPanels_[0]);
    bar->addWidget(statusPanels_[1]);
    bar->addWidget(statusPanels_[2]);
    bar->addWidget(statusPanels_[3], 1);
    setStatusBar(bar);
}
