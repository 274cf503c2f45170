#pragma once

#include <QStringList>
#include <QWidget>

class QPlainTextEdit;
struct FormModel;

// The window of accompanying-initialisation commands (TForm4): one command per line, sent by
// the storage load after the upload. It mirrors FormModel::DopCmdMemo.
class InitCommandsWindow : public QWidget {
    Q_OBJECT
public:
    explicit InitCommandsWindow(FormModel& form, QWidget* parent = nullptr);

    void syncFromModel();
    QPlainTextEdit* memo() const { return memo_; }

private:
    void writeBack();

    FormModel& form_;
    QPlainTextEdit* memo_;
    QStringList shown_;
    bool syncing_ = false;
};
