#include "TerminalWindow.h"

#include "TerminalLog.h"
#include "app/ElidedLabel.h"
#include "core/Cp1251.h"
#include "core/Links.h"
#include "core/Loader.h"
#include "core/LoaderError.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>

namespace {

constexpr int kPanelHeight = 31;
constexpr int kEditLeft = 104;
constexpr int kEditMargin = 109;

QFont terminalFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(16);
    return font;
}

} // namespace

TerminalWindow::TerminalWindow(Loader& loader, QWidget* parent)
    : QWidget(parent, Qt::Window), loader_(loader), sends_(loader.runtime),
      Memo1(new QPlainTextEdit(this)), Panel1(new QWidget(this)), Label1(new QLabel(Panel1)),
      Edit1(new QLineEdit(Panel1)), linkState_(new ElidedLabel(this)) {
    setObjectName(QStringLiteral("TForm2"));
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    linkState_->setObjectName(QStringLiteral("linkState"));
    linkState_->setContentsMargins(6, 4, 6, 4);

    Memo1->setFont(terminalFont());
    // An undo history would keep every line the bounded view drops.
    Memo1->setUndoRedoEnabled(false);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A double click selects a word, as in any text; clearing the view is a menu item of its
    // own, so that nobody loses the exchange by reaching for a word.
    Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
    clearView_ = new QAction(QStringLiteral("&Очистить окно терминала"), this);
    clearView_->setObjectName(QStringLiteral("mnuClearView"));
    Panel1->setFixedHeight(kPanelHeight);
    Panel1->installEventFilter(this);
    Label1->setText(QStringLiteral("Строка посылки:\n(отправка  оп Enter)"));
    QFont small = Label1->font();
    small.setPixelSize(10);
    // The two lines fit left of the send line, as its position requires.
    small.setLetterSpacing(QFont::PercentageSpacing, 94);
    Label1->setFont(small);
    Label1->setGeometry(2, 0, kEditLeft - 3, kPanelHeight);
    Edit1->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Memo1, 1);
    layout->addWidget(Panel1);
    layout->addWidget(linkState_);

    connect(Memo1, &QPlainTextEdit::textChanged, this, &TerminalWindow::writeBackLines);
    connect(clearView_, &QAction::triggered, this, [this] { Memo1DblClick(); });
    connect(Memo1, &QWidget::customContextMenuRequested, this, &TerminalWindow::showViewMenu);
    connect(Memo1->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this](int, int maximum) { keepShowingEnd(maximum); });
    connect(Edit1, &QLineEdit::textEdited, this,
            [this](const QString& text) { loader_.terminal.edit1 = text; });

    resize(590, 312);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    syncFromModel();
}

TerminalWindow::~TerminalWindow() {
    // A line still awaiting its answer gives up its wait, as a click on the wait bar ends it.
    if (sends_.running()) {
        loader_.exchange.pbWaitAnswerMouseDown();
        sends_.awaitAll();
    }
    FormDestroy();
}

void TerminalWindow::FormDestroy() {
    if (saved_) {
        return;
    }
    saved_ = true;
    QString error;
    if (!TerminalLog::SaveTerminalLog(loader_.dataDir(), loader_.terminal.lines, &error)) {
        // At program end there is no window left to show it in.
        loader_.runtime.debugLine(QStringLiteral("velkor.log: ") + error);
    }
}

void TerminalWindow::handled() {
    if (onHandled) {
        onHandled();
    } else {
        syncFromModel();
    }
}

void TerminalWindow::syncFromModel() {
    const TerminalModel& t = loader_.terminal;
    syncing_ = true;
    if (windowTitle() != t.caption()) {
        setWindowTitle(t.caption());
    }
    if (Panel1->isHidden() == t.sendPanelVisible) {
        Panel1->setVisible(t.sendPanelVisible);
    }
    if (Edit1->isEnabled() != t.commandInputEnabled) {
        Edit1->setEnabled(t.commandInputEnabled);
    }
    if (Edit1->text() != t.edit1) {
        Edit1->setText(t.edit1);
    }
    syncLines();
    syncLinkState();
    syncing_ = false;
    if (isVisible() != t.visible) {
        setVisible(t.visible);
    }
}

void TerminalWindow::syncLines() {
    const std::optional<QString> added = mirror_.update(loader_.terminal.lines, *Memo1);
    if (!added) {
        return;
    }
    const QScrollBar* bar = Memo1->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    Memo1->appendPlainText(*added);
    // The view follows the exchange while it shows its end, and always shows a line just
    // sent (the text cursor, which the view would follow, may sit anywhere after a click).
    if (atEnd || showSent_) {
        showEnd();
    }
    showSent_ = false;
}

// A view that showed the end of the exchange goes on showing it when the range changes: when
// lines come, and when the view becomes shorter (the send line shows again as a link opens),
// which leaves the position short of the new maximum. A view the user scrolled up stays put.
void TerminalWindow::keepShowingEnd(int maximum) {
    QScrollBar* bar = Memo1->verticalScrollBar();
    const bool showedEnd = bar->value() >= scrollMaximum_;
    scrollMaximum_ = maximum;
    if (showedEnd) {
        bar->setValue(maximum);
    }
}

void TerminalWindow::showEnd() {
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
    Memo1->horizontalScrollBar()->setValue(0);
}

void TerminalWindow::syncLinkState() {
    const bool shown = !loader_.terminal.sendPanelVisible;
    if (linkState_->isHidden() == shown) {
        linkState_->setVisible(shown);
    }
    linkState_->setFullText(loader_.output.status(2));
}

void TerminalWindow::writeBackLines() {
    if (syncing_) {
        return;
    }
    // The user edited the view: its lines, as shown, become the terminal's lines.
    QList<QByteArray> lines;
    const QString text = Memo1->toPlainText();
    if (!text.isEmpty()) {
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            lines.append(Cp1251::encode(line));
        }
    }
    loader_.terminal.lines = lines;
    mirror_.adopt(loader_.terminal.lines);
}

void TerminalWindow::Edit1KeyDown(int key) {
    if (key != 13 || !loader_.state.ConnectionOpen) {
        return;
    }
    showSent_ = true;
    sends_.launch(sendLine(Cp1251::encode(loader_.terminal.edit1)));
    handled();
}

// One line's exchange, run on by the event loop: the key that sent it has long returned.
Task<void> TerminalWindow::sendLine(QByteArray text) {
    QString failure;
    const AnswerExpectation anything; // a line typed by hand awaits no particular answer
    try {
        co_await loader_.exchange.send(std::move(text), anything);
    } catch (const std::exception& e) {
        failure = errorText(e);
    }
    if (!failure.isEmpty()) {
        handled();
        loader_.dialogs.showError(failure);
    }
    handled();
}

void TerminalWindow::Memo1DblClick() {
    loader_.terminal.lines.clear();
    handled();
}

// The view's own menu (copy, select all ...) and, after it, the item that clears the view.
void TerminalWindow::showViewMenu(QPoint at) {
    std::unique_ptr<QMenu> menu(Memo1->createStandardContextMenu(at));
    menu->addSeparator();
    menu->addAction(clearView_);
    menu->exec(Memo1->viewport()->mapToGlobal(at));
}

void TerminalWindow::FormCanResize() {
    Edit1->setGeometry(kEditLeft, 4, Panel1->width() - kEditMargin, kPanelHeight - 8);
}

void TerminalWindow::FormClose() {
    Links* links = loader_.links;
    if (links != nullptr && !loader_.state.OperationActive) {
        try {
            links->releaseDevices();
        } catch (const std::exception&) {
            // A port that will not close is left as it is.
        }
    }
    loader_.terminal.visible = false;
    handled();
}

void TerminalWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showEnd(); // lines added while it was hidden
    // The engineer opens the terminal to type: the send line has the focus where it shows.
    if (loader_.terminal.sendPanelVisible && Edit1->isEnabled()) {
        Edit1->setFocus();
    }
}

void TerminalWindow::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

bool TerminalWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel1 && event->type() == QEvent::Resize) {
        FormCanResize();
    }
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Edit1KeyDown(13);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
