#pragma once

#include "core/Dialogs.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <memory>

// Shared pieces of the benchmarks that run the loader against the simulator.
namespace Bench {

// Dialogs that answer nothing and show nothing: a benchmark asks no questions.
class SilentDialogs : public Dialogs {
public:
    void showError(const QString& text, const QString&) override { errors.append(text); }
    void showInformation(const QString&) override {}
    bool confirm(const QString&) override { return confirmAnswer; }
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    bool openFile(FileDialogState& dialog) override {
        dialog.fileName = fileAnswer;
        return !fileAnswer.isEmpty();
    }
    QStringList errors;
    bool confirmAnswer = true;
    QString fileAnswer;
};

// A running velkor-devsim with the addresses it printed.
struct Simulator {
    std::unique_ptr<QProcess> process;
    quint16 tcpPort = 0;
    quint16 brokerPort = 0;
    Simulator() = default;
    Simulator(Simulator&&) = default;
    ~Simulator();
};
// Starts the simulator with the arguments (add "--tcp 0" and/or "--broker 0").
Simulator startSimulator(const QStringList& arguments);

// An S-record firmware file of `records` data records (32 bytes each) with the header text,
// written to path.
void writeFirmware(const QString& path, int records, const QByteArray& header);

// Processor time (user + system) of this process, in milliseconds.
double cpuMilliseconds();

} // namespace Bench
