#pragma once

#include "TerminalMirror.h"
#include "core/LaunchedTasks.h"

#include <QWidget>
#include <functional>

class ElidedLabel;
class QAction;
class Loader;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The terminal window (TForm2): the raw exchange with the controller in Memo1, and the send
// line Edit1 on Panel1, shown while a connection is open. It mirrors FormModel::terminal; its
// lines are saved into the rotating terminal log when it is destroyed at program end.
class TerminalWindow : public QWidget {
    Q_OBJECT
public:
    explicit TerminalWindow(Loader& loader, QWidget* parent = nullptr);
    ~TerminalWindow() override;

    // Brings every window in line with the model; run after each handler.
    std::function<void()> onHandled;

    void syncFromModel();

    void Edit1KeyDown(int key);
    // Clears the view (its menu item "Очистить окно терминала").
    void Memo1DblClick();
    void FormCanResize();
    void FormClose();
    void FormDestroy();

    QPlainTextEdit* memo() const { return Memo1; }
    QLineEdit* edit() const { return Edit1; }
    QWidget* sendPanel() const { return Panel1; }
    // Shown instead of the send line while no connection is open: the connection's state,
    // which says why a connection failed.
    ElidedLabel* linkState() const { return linkState_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showViewMenu(QPoint at);
    void syncLines();
    void syncLinkState();
    void keepShowingEnd(int maximum);
    void showEnd();
    void writeBackLines();
    void handled();
    Task<void> sendLine(QByteArray text);

    Loader& loader_;
    LaunchedTasks sends_; // the lines sent, each an exchange of its own until its answer
    QPlainTextEdit* Memo1;
    QWidget* Panel1;
    QLabel* Label1;
    QLineEdit* Edit1;
    ElidedLabel* linkState_;
    QAction* clearView_ = nullptr;
    TerminalMirror mirror_;
    // The user sent a line: the view shows it, wherever the user had scrolled or clicked.
    bool showSent_ = false;
    int scrollMaximum_ = 0; // the vertical scroll bar's maximum before its last change
    bool syncing_ = false;
    bool saved_ = false;
};
