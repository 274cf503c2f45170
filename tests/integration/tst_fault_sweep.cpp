// The loader against single faults aimed at one answer of the simulated controller: a flash, a
// store with finalisation, a store without it and a read-back, over TCP and through the broker, in
// the normal and the fast exchange, with every command the operation sends hit by every kind of
// fault (lost after it took effect, never heard, late, doubled, cut, damaged, refused; a late
// answer either just after the loader gave up waiting, ahead of the controller's next answer, or
// some exchanges later), each row against a controller that answers in one of the manners the
// family has (line ends, echoes, prompts, progress lines, setting answers, confirmations, page
// sizes, error texts). A run may fail, but never wrongly: it ends with exit 0 exactly when the
// controller (for a read-back, the file written) holds exactly the firmware; a failure names its
// cause; a failed store gives the position to resume from, and a second run from there, without
// the fault, leaves the text and its descriptor byte for byte as they should be. Every run without
// a fault succeeds, in every manner.
//
// VELKOR_SWEEP=full runs every row (scripts/fault-sweep): every fault row in turn against each
// manner, and every operation without a fault in every manner; otherwise one row per operation
// and kind of fault, spread over the links, exchanges, commands and manners, and a clean run of
// each manner. VELKOR_SWEEP_SHARD=I/N runs every Nth row from the Ith (from 0);
// VELKOR_SWEEP_RESULTS=FILE appends one line per row: name, verdict, exit code, outcome, detail.
#include "CliRun.h"
#include "DevsimProcess.h"
#include "SRecordText.h"
#include "StorageArea.h"
#include "connections/BrokerFrame.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every answer wait of the loader, so that a late answer can come right after any of them.
constexpr int kWaitMs = 400;
// A "late" answer comes just after the loader gave up waiting: every answer takes the
// controller kProcessingMs, and the late one is sent kEarlierMs before the wait ends, so that
// it arrives first in the exchange that follows. A "later" one comes kLaterMs after the wait.
constexpr int kProcessingMs = 60;
constexpr int kEarlierMs = 30;
constexpr int kLaterMs = 150;
// A cut answer's halves come closer together than the pause the loader awaits inside an answer.
constexpr int kCutGapMs = 100;
constexpr int kAnswerGapMs = 200;
// A slow answer's progress line comes this long before it: past the pause inside an answer,
// within the answer wait.
constexpr int kProgressMs = 250;
constexpr int kPages = 100;
constexpr int kCliLimitMs = 60000;
const QString kResetPrompt = QStringLiteral("Ожидание сброса устройства...");

// What each operation sends, as the faults name it: COMMAND:N is the Nth answer to COMMAND.
// A store sends PAGEWRITE nine times: seven text lines, the descriptor and its zero trailer;
// with finalisation ("store") the controller then checks the stored firmware against its
// descriptor and installs it (the firmware counts as arrived once installed), which a store
// without it ("store-plain") leaves to later. A read-back reads the
// descriptor and then the text in two reads.
struct Operation {
    QString name;
    QStringList commands;
};

const QList<Operation>& operations() {
    static const QStringList store{"PASSWORD:1",     "MODEM_CON:1",   "DEBUG:1",     "PASSWORD:2",
                                   "WRITECOUNTER:1", "PAGEHEXMODE:1", "PAGENUM:1",   "PAGEADDR:1",
                                   "PAGEWRITE:1",    "PAGEWRITE:4",   "PAGEWRITE:7", "PAGENUM:2",
                                   "PAGEADDR:2",     "PAGEHEXMODE:2", "PAGEWRITE:8", "PAGEWRITE:9"};
    static const QList<Operation> list{
        {"flash", {"i:1", "f:1", "S0:1", "S1:1", "S3:1", "S3:4", "S7:1"}},
        {"store", store + QStringList{"REPROGRAMM:1", "RESET:1", "VER:1"}},
        {"store-plain", store},
        {"readback",
         {"PAGENUM:1", "PAGEADDR:1", "PAGEHEXMODE:1", "PASSWORD:1", "PAGECOUNT:1", "PAGEREAD:1",
          "PAGEADDR:2", "PAGECOUNT:2", "PAGEHEXMODE:2", "PAGEREAD:2", "PAGEREAD:3"}},
    };
    return list;
}

// The simulator's kinds of fault; "later" is its "late" at another time.
const QStringList kKinds{"lost",    "unheard", "late",    "later",
                         "doubled", "cut",     "damaged", "refused"};
const QStringList kWays{"tcp", "broker"};
// The manners of answering (the simulator's --dialect), the simulator's own first.
const QStringList kDialects{"",
                            "cr,echo,prompt",
                            "lf,padded,str-only",
                            "noeol,bare",
                            "crlf,progress,page-end,page=64",
                            "token-errors,page=264",
                            "lf,echo,prompt,progress,padded,page=1056",
                            "noeol,echo,bare,token-errors,page=512"};

// The page size a manner gives the controller's storage.
int pageSizeOf(const QString& dialect) {
    for (const QString& feature : dialect.split(QLatin1Char(','))) {
        if (feature.startsWith(QStringLiteral("page="))) {
            return feature.mid(5).toInt();
        }
    }
    return StorageArea::kPageSize;
}

// The firmware of every row: a header, one S1 and four S3 data records, the end record; and
// the flash image it programs, as the simulator writes it.
struct Firmware {
    QByteArray text;
    QByteArray image;
};

QByteArray pattern(int length, int seed) {
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i) {
        bytes[i] = char((seed * 29 + i * 7) & 0xFF);
    }
    return bytes;
}

Firmware sweepFirmware() {
    using TestRecords::srec;
    Firmware f;
    f.text = srec(0, 0, 2, "UNIT:LUMET52 sweep v2.0") + "\r\n";
    const QByteArray low = pattern(16, 1);
    f.text += srec(1, 0x0100, 2, low) + "\r\n";
    QByteArray high;
    for (int r = 0; r < 4; ++r) {
        const QByteArray bytes = pattern(32, r + 2);
        f.text += srec(3, 0x08000000 + 32 * r, 4, bytes) + "\r\n";
        high += bytes;
    }
    f.text += srec(7, 0x08000000, 4, {}) + "\r\n";
    f.image = "00000100 " + low.toHex().toUpper() + "\n08000000 " + high.toHex().toUpper() + "\n";
    return f;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Restarts a controller behind the broker, as its reset button would.
void resetBehindBroker(quint16 brokerPort) {
    QTcpSocket engineer;
    engineer.connectToHost(QHostAddress::LocalHost, brokerPort);
    if (engineer.waitForConnected(3000)) {
        engineer.write(BrokerFrame::encode({BrokerFrame::kCommandCode, 1, QByteArray("RESET")}));
        engineer.waitForBytesWritten(3000);
        engineer.waitForReadyRead(300);
    }
}

QString outcomeOf(const RunResult& run) {
    return run.json().value(QStringLiteral("outcome")).toString();
}

// Whether a failure's outcome contradicts the fault that caused it: a refusal called silence or
// damage, a lost or cut answer called a refusal.
bool misnamed(const QString& fault, const QString& outcome) {
    const QString kind = fault.section(QLatin1Char(':'), 2);
    if (kind.isEmpty() || outcome.isEmpty()) {
        return false;
    }
    if (kind == QStringLiteral("refused")) {
        return outcome == QStringLiteral("no-answer") || outcome == QStringLiteral("damaged");
    }
    if (kind == QStringLiteral("damaged")) {
        return outcome == QStringLiteral("refused");
    }
    return kind != QStringLiteral("doubled") &&
           (outcome == QStringLiteral("refused") || outcome == QStringLiteral("damaged"));
}

// What a row found: "ok" and "failed-honestly" pass, and so does a "false-failure" under a fault
// (the answer that would have confirmed the store came after the loader gave up on it: counted,
// not a fault of the loader's); "false-success", "silent-corruption", "unnamed-failure",
// "resume-failed", "failed-without-fault", "hung", "harness" and a false failure without a
// fault do not.
struct Finding {
    QString verdict;
    QString detail;
    int exitCode = -1;
    QString outcome;

    bool passes(bool faulty) const {
        return verdict == QStringLiteral("ok") || verdict == QStringLiteral("failed-honestly") ||
               (faulty && verdict == QStringLiteral("false-failure"));
    }
};

// The test's own set-up failed: the row says nothing of the loader.
Finding harness(const QString& why) {
    return {QStringLiteral("harness"), why, -1, {}};
}

// Exit 0 exactly when the firmware arrived whole; a failure with a named cause.
Finding judge(const RunResult& run, const QString& contentProblem) {
    Finding f{{}, contentProblem, run.exitCode, outcomeOf(run)};
    const bool holds = contentProblem.isEmpty();
    if (!run.finished) {
        f.verdict = QStringLiteral("hung");
    } else if (run.exitCode == 0) {
        f.verdict = holds ? QStringLiteral("ok") : QStringLiteral("false-success");
    } else if (holds) {
        f.verdict = QStringLiteral("false-failure");
        f.detail = QStringLiteral("the controller holds the firmware");
    } else if (f.outcome.isEmpty() || f.outcome == QStringLiteral("error") ||
               f.outcome == QStringLiteral("success")) {
        f.verdict = QStringLiteral("unnamed-failure");
    } else {
        f.verdict = QStringLiteral("failed-honestly");
    }
    return f;
}

// One row: a simulator with the fault, the operation through velkor-cli, and the verdict.
class SweepRow {
public:
    SweepRow(const QString& operation, const QString& way, bool fast, const QString& fault,
             const QString& dialect)
        : operation_(operation), way_(way), fast_(fast), fault_(fault), dialect_(dialect),
          pageSize_(pageSizeOf(dialect)) {}

    Finding run();

private:
    Finding flash();
    Finding store();
    Finding readBack();
    Finding resumeStore(Finding failed, const QString& resume);

    QString path(const QString& name) const { return QDir(dir_.path()).filePath(name); }
    // The file the simulator keeps for the controller (the broker's controller 1 adds ".id1").
    QString deviceFile(const QString& name) const {
        return path(name) + (way_ == QStringLiteral("broker") ? QStringLiteral(".id1") : QString());
    }
    QStringList simulatorArguments(bool withFault) const;
    QStringList faultArguments() const;
    QString imageProblem(const QByteArray& image) const;
    bool finalises() const { return operation_ == QStringLiteral("store"); }
    QString storeProblem() const;
    QStringList cliOptions(const DevsimProcess& sim) const;
    RunResult cli(const QStringList& arguments, const DevsimProcess& sim) const;

    QString operation_;
    QString way_;
    bool fast_;
    QString fault_;
    QString dialect_;
    int pageSize_;
    QTemporaryDir dir_;
    Firmware firmware_ = sweepFirmware();
    QByteArray stored_ = StorageArea::storedText(firmware_.text);
};

Finding SweepRow::run() {
    if (!dir_.isValid() || !writeFile(path("fw.s37"), firmware_.text)) {
        return harness(QStringLiteral("no temporary folder"));
    }
    Finding f = operation_ == QStringLiteral("flash")            ? flash()
                : operation_.startsWith(QStringLiteral("store")) ? store()
                                                                 : readBack();
    if (fault_.isEmpty() && (f.verdict == QStringLiteral("failed-honestly") ||
                             f.verdict == QStringLiteral("false-failure"))) {
        f.verdict = QStringLiteral("failed-without-fault");
    }
    return f;
}

// A flash waits for the answer to "f" or a record twice: in the exchange, and then until its
// own deadline, each as long as the answer wait. A store or a read-back sends the command again
// after one wait, and the late answer comes inside that exchange or a later one.
QStringList SweepRow::faultArguments() const {
    if (fault_.isEmpty()) {
        return {};
    }
    const int waitMs = operation_ == QStringLiteral("flash") ? 2 * kWaitMs : kWaitMs;
    const QString kind = fault_.section(QLatin1Char(':'), 2);
    if (kind == QStringLiteral("late")) {
        return {"--fault",   fault_,
                "--delay",   QString::number(kProcessingMs),
                "--late-ms", QString::number(waitMs - kEarlierMs)};
    }
    if (kind == QStringLiteral("later")) {
        return {"--fault", fault_.section(QLatin1Char(':'), 0, 1) + ":late", "--late-ms",
                QString::number(waitMs + kLaterMs)};
    }
    return {"--fault", fault_};
}

QStringList SweepRow::simulatorArguments(bool withFault) const {
    QStringList arguments{
        "--" + way_,     "0",   "--pages",   QString::number(kPages),   "--banner-interval", "200",
        "--reset-delay", "100", "--cut-gap", QString::number(kCutGapMs)};
    if (!dialect_.isEmpty()) {
        arguments << "--dialect" << dialect_ << "--progress-ms" << QString::number(kProgressMs);
    }
    return withFault ? arguments + faultArguments() : arguments;
}

// Every wait of the loader as long as the answer wait, and the pause after "i" short.
QString shortWaits() {
    return QStringLiteral("page-write=%1,reprogram=%1,restart=%1,programming-start=%1,"
                          "bootloader-pause=50")
        .arg(kWaitMs);
}

QStringList SweepRow::cliOptions(const DevsimProcess& sim) const {
    QStringList options = way_ == QStringLiteral("tcp")
                              ? QStringList{"--tcp", sim.tcpAddress()}
                              : QStringList{"--broker", sim.brokerAddress(), "--id", "1"};
    options << "--timeout" << QString::number(kWaitMs) << "--answer-gap"
            << QString::number(kAnswerGapMs) << "--json"
            << "--data-dir" << dir_.path();
    if (fast_) {
        options << "--fast";
    }
    return options;
}

// velkor-cli against the simulator; a flash through the broker gets its restart once it waits
// for one.
RunResult SweepRow::cli(const QStringList& arguments, const DevsimProcess& sim) const {
    CliRun cli(arguments + cliOptions(sim));
    cli.environment.insert(QStringLiteral("VELKOR_WAITS"), shortWaits());
    cli.limitMs = kCliLimitMs;
    if (arguments.first() == QStringLiteral("flash") && way_ == QStringLiteral("broker")) {
        cli.whenError(kResetPrompt, [&sim] { resetBehindBroker(sim.brokerPort()); });
    }
    return cli.run();
}

// Empty when the simulator's flash image is the firmware's data; otherwise what it is.
QString SweepRow::imageProblem(const QByteArray& image) const {
    if (image == firmware_.image) {
        return {};
    }
    return image.isEmpty() ? QStringLiteral("nothing programmed")
                           : QStringLiteral("flash image \"%1\"")
                                 .arg(QString::fromLatin1(image.left(60).simplified()));
}

Finding SweepRow::flash() {
    DevsimProcess sim(simulatorArguments(true) << "--image-out" << path("image.txt"));
    if (!sim.isReady()) {
        return harness(sim.errorOutput());
    }
    const RunResult run = cli({"flash", path("fw.s37"), "--reset-wait", "3"}, sim);
    sim.stop();
    return judge(run, imageProblem(readFile(deviceFile("image.txt"))));
}

// Empty when the storage holds the text and its descriptor and, after a finalisation, the
// controller installed the firmware; otherwise what is wrong.
QString SweepRow::storeProblem() const {
    const QString stored =
        StorageArea::mismatch(readFile(deviceFile("storage.bin")), stored_, pageSize_);
    if (!stored.isEmpty() || !finalises()) {
        return stored;
    }
    const QString installed = imageProblem(readFile(deviceFile("image.txt")));
    return installed.isEmpty() ? QString() : QStringLiteral("stored, but ") + installed;
}

Finding SweepRow::store() {
    DevsimProcess sim(simulatorArguments(true)
                      << "--storage" << path("storage.bin") << "--image-out" << path("image.txt"));
    if (!sim.isReady()) {
        return harness(sim.errorOutput());
    }
    QStringList store{"store", path("fw.s37"), "--from-start"};
    if (finalises()) {
        store << "--finalize";
    }
    const RunResult run = cli(store, sim);
    sim.stop();
    Finding found = judge(run, storeProblem());
    if (!run.finished || run.exitCode == 0) {
        return found;
    }
    const QString resume = run.json().value(QStringLiteral("resume")).toString();
    if (resume.isEmpty()) {
        found.verdict = QStringLiteral("unnamed-failure");
        found.detail = QStringLiteral("no resume position; ") + found.detail;
        return found;
    }
    found.detail += QStringLiteral("; resume ") + resume;
    return found.verdict == QStringLiteral("unnamed-failure") ? found : resumeStore(found, resume);
}

// A failed store is resumed from the position it gave, without the fault: the text and its
// descriptor must come out byte for byte.
Finding SweepRow::resumeStore(Finding failed, const QString& resume) {
    DevsimProcess sim(simulatorArguments(false) << "--storage" << path("storage.bin"));
    if (!sim.isReady()) {
        return harness(sim.errorOutput());
    }
    const RunResult run = cli({"store", path("fw.s37"), "--resume", resume}, sim);
    sim.stop();
    const QString problem =
        StorageArea::mismatch(readFile(deviceFile("storage.bin")), stored_, pageSize_);
    if (!run.finished || run.exitCode != 0) {
        failed.verdict = QStringLiteral("resume-failed");
        failed.detail += QStringLiteral(": exit %1, %2").arg(run.exitCode).arg(outcomeOf(run));
    } else if (!problem.isEmpty()) {
        failed.verdict = QStringLiteral("silent-corruption");
        failed.detail += QStringLiteral(": resumed with exit 0, ") + problem;
    }
    return failed;
}

Finding SweepRow::readBack() {
    const QByteArray storage = StorageArea::holding(kPages, stored_, pageSize_);
    if (!writeFile(deviceFile("storage.bin"), storage)) {
        return harness(QStringLiteral("cannot write the storage"));
    }
    DevsimProcess sim(simulatorArguments(true) << "--storage" << path("storage.bin"));
    if (!sim.isReady()) {
        return harness(sim.errorOutput());
    }
    const RunResult run = cli({"readback", path("back.s37")}, sim);
    sim.stop();
    const QByteArray back = readFile(path("back.s37"));
    Finding found = judge(run, back == firmware_.text ? QString()
                                                      : QStringLiteral("read back %1 bytes of %2")
                                                            .arg(back.size())
                                                            .arg(firmware_.text.size()));
    if (readFile(deviceFile("storage.bin")) != storage) {
        found.verdict = QStringLiteral("silent-corruption");
        found.detail = QStringLiteral("the read-back changed the storage");
    }
    return found;
}

// One row per operation and kind of fault: its link, exchange and command taken in turn.
bool sampled(int operation, int command, int kind, int way, bool fast, int commands) {
    const int combination = (way * 2 + int(fast)) * commands + command;
    return combination == (operation * 8 + kind * 9) % (4 * commands);
}

// The manner of a fault row: each command's faults meet the manners in turn, and each fault on a
// command meets four of them over the links and exchanges.
const QString& dialectOf(int command, int kind, int way, bool fast) {
    return kDialects[(command * int(kKinds.size()) + kind + 2 * way + int(fast)) %
                     int(kDialects.size())];
}

// The clean runs of the sample: each operation in the simulator's own manner over TCP, and each
// manner once, its operation and link taken in turn.
bool cleanSampled(int operation, int dialect, int way, bool fast) {
    if (fast) {
        return false;
    }
    if (dialect == 0) {
        return way == 0;
    }
    return operation == dialect % 4 && way == (dialect / 4) % 2;
}

bool inShard(int row) {
    const QStringList shard = qEnvironmentVariable("VELKOR_SWEEP_SHARD").split(QLatin1Char('/'));
    return shard.size() != 2 || row % std::max(1, shard[1].toInt()) == shard[0].toInt();
}

void addRow(int& index, const QString& operation, const QString& way, bool fast,
            const QString& fault, const QString& dialect) {
    if (inShard(index++)) {
        QString name =
            QStringLiteral("%1 %2 %3 %4 %5")
                .arg(operation, way, fast ? QStringLiteral("fast") : QStringLiteral("normal"),
                     fault.isEmpty() ? QStringLiteral("clean") : fault,
                     dialect.isEmpty() ? QStringLiteral("plain") : dialect);
        QTest::newRow(qPrintable(name.replace(QLatin1Char(':'), QLatin1Char(' '))))
            << operation << way << fast << fault << dialect;
    }
}

// One line per row: name, verdict, exit code, outcome, what was found, and whether a failure's
// outcome contradicts its fault.
void appendResult(const QString& row, const QString& fault, const Finding& f) {
    const QString path = qEnvironmentVariable("VELKOR_SWEEP_RESULTS");
    QFile file(path);
    if (!path.isEmpty() && file.open(QIODevice::Append)) {
        const bool named = f.exitCode == 0 || !misnamed(fault, f.outcome);
        file.write(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                       .arg(row, f.verdict)
                       .arg(f.exitCode)
                       .arg(f.outcome, QString(f.detail).replace(QLatin1Char('\n'), ' '),
                            named ? QStringLiteral("named") : QStringLiteral("misnamed"))
                       .toUtf8());
    }
}

} // namespace

class FaultSweepTest : public QObject {
    Q_OBJECT
private slots:
    void sweep_data();
    void sweep();
};

void FaultSweepTest::sweep_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("fast");
    QTest::addColumn<QString>("fault"); // COMMAND:N:KIND, empty for a clean run
    QTest::addColumn<QString>("dialect");
    const bool full = qEnvironmentVariable("VELKOR_SWEEP") == QStringLiteral("full");
    int index = 0;
    for (int o = 0; o < operations().size(); ++o) {
        const Operation& op = operations()[o];
        for (int w = 0; w < kWays.size(); ++w) {
            for (const bool fast : {false, true}) {
                for (int d = 0; d < kDialects.size(); ++d) {
                    if (full || cleanSampled(o, d, w, fast)) {
                        addRow(index, op.name, kWays[w], fast, {}, kDialects[d]);
                    }
                }
                for (int c = 0; c < op.commands.size(); ++c) {
                    for (int k = 0; k < kKinds.size(); ++k) {
                        if (full || sampled(o, c, k, w, fast, int(op.commands.size()))) {
                            addRow(index, op.name, kWays[w], fast, op.commands[c] + ':' + kKinds[k],
                                   dialectOf(c, k, w, fast));
                        }
                    }
                }
            }
        }
    }
}

void FaultSweepTest::sweep() {
    QFETCH(QString, operation);
    QFETCH(QString, way);
    QFETCH(bool, fast);
    QFETCH(QString, fault);
    QFETCH(QString, dialect);
    SweepRow row(operation, way, fast, fault, dialect);
    const Finding f = row.run();
    appendResult(QString::fromLatin1(QTest::currentDataTag()), fault, f);
    QVERIFY2(f.passes(!fault.isEmpty()),
             qPrintable(QStringLiteral("%1 (exit %2, outcome \"%3\"): %4")
                            .arg(f.verdict)
                            .arg(f.exitCode)
                            .arg(f.outcome, f.detail)));
}

QTEST_GUILESS_MAIN(FaultSweepTest)
#include "tst_fault_sweep.moc"
