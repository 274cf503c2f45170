#include "InitCommandsWindow.h"

#include "FormModel.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

InitCommandsWindow::InitCommandsWindow(FormModel& form, QWidget* parent)
    : QWidget(parent, Qt::Window), form_(form), memo_(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("TForm4"));
    setWindowTitle(QStringLiteral("Команды сопутствующей инициализации"));
    resize(444, 186);
    memo_->setObjectName(QStringLiteral("DopCmdMemo"));
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(memo_);
    connect(memo_, &QPlainTextEdit::textChanged, this, &InitCommandsWindow::writeBack);
    syncFromModel();
}

void InitCommandsWindow::syncFromModel() {
    if (form_.DopCmdMemo == shown_) {
        return;
    }
    shown_ = form_.DopCmdMemo;
    syncing_ = true;
    memo_->setPlainText(shown_.join(QLatin1Char('\n')));
    syncing_ = false;
}

void InitCommandsWindow::writeBack() {
    if (syncing_) {
        return;
    }
    // The lines as a memo counts them: an empty text has none, a final line break adds none.
    QStringList lines = memo_->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty()) {
        lines.removeLast();
    }
    form_.DopCmdMemo = lines;
    shown_ = lines;
}
