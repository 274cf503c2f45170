// velkor-cli's flash, store with finalisation and read-back against the simulator speaking as
// other controllers of the family do (--dialect), over TCP and without faults: each row says
// which of the three succeed, and the controller (for a read-back, the file written) must then
// hold exactly the firmware. Runs with VELKOR_DIALECT_CHECK=1 only: it says how far the loader
// gets with each way of answering, and prints what each operation did.
#include "CliRun.h"
#include "DevsimProcess.h"
#include "SRecordText.h"
#include "StorageArea.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

using TestRecords::srec;

constexpr int kPages = 100;
constexpr int kRecords = 12;

// A header that allows a remote update ("2."), kRecords data records of 32 bytes in one run from
// 0x08000000 (the text crosses several pages of any size), the end record; and the flash image the
// simulator writes for it.
struct Firmware {
    QByteArray text;
    QByteArray image;
};

Firmware dialectFirmware() {
    Firmware f;
    f.text = srec(0, 0, 2, "UNIT:LUMET52 dialects v2.0") + "\r\n";
    QByteArray bytes;
    for (int r = 0; r < kRecords; ++r) {
        QByteArray data(32, '\0');
        for (int k = 0; k < 32; ++k) {
            data[k] = char((r * 31 + k * 7) & 0xFF);
        }
        f.text += srec(3, 0x08000000 + 32 * r, 4, data) + "\r\n";
        bytes += data;
    }
    f.text += srec(7, 0x08000000, 4, {}) + "\r\n";
    f.image = "08000000 " + bytes.toHex().toUpper() + "\n";
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

// One dialect: the three operations, each against a fresh simulator.
class DialectRun {
public:
    explicit DialectRun(const QString& dialect) : dialect_(dialect) {
        static const QRegularExpression kPageSize(QStringLiteral("page=(\\d+)"));
        const QRegularExpressionMatch page = kPageSize.match(dialect);
        pageSize_ = page.hasMatch() ? page.captured(1).toInt() : StorageArea::kPageSize;
    }

    bool ready() { return dir_.isValid() && writeFile(path("fw.s37"), firmware_.text); }
    // Empty when the operation succeeded and the controller holds the firmware; otherwise what
    // happened.
    QString flash();
    QString store();
    QString readBack();

private:
    QString path(const QString& name) const { return QDir(dir_.path()).filePath(name); }
    QStringList simulator(const QStringList& files) const;
    RunResult cli(const QStringList& arguments, const DevsimProcess& sim) const;
    static QString failure(const RunResult& run);

    QString dialect_;
    int pageSize_ = StorageArea::kPageSize;
    QTemporaryDir dir_;
    Firmware firmware_ = dialectFirmware();
};

QStringList DialectRun::simulator(const QStringList& files) const {
    QStringList arguments{"--tcp",         "0",   "--pages",           QString::number(kPages),
                          "--reset-delay", "100", "--banner-interval", "200"};
    if (!dialect_.isEmpty()) {
        arguments << "--dialect" << dialect_;
    }
    return arguments + files;
}

// The loader's fixed waits shortened, so that a run the dialect derails ends within seconds.
RunResult DialectRun::cli(const QStringList& arguments, const DevsimProcess& sim) const {
    CliRun cli(arguments + QStringList{"--tcp", sim.tcpAddress(), "--timeout", "3000", "--json"});
    cli.dataDir = dir_.path();
    cli.environment.insert(QStringLiteral("VELKOR_WAITS"),
                           QStringLiteral("page-write=3000,reprogram=3000,restart=3000"));
    cli.limitMs = 180000;
    return cli.run();
}

QString DialectRun::failure(const RunResult& run) {
    if (!run.finished) {
        return QStringLiteral("did not end");
    }
    const QJsonObject json = run.json();
    return QStringLiteral("exit %1 %2: %3")
        .arg(run.exitCode)
        .arg(json.value(QStringLiteral("outcome")).toString(),
             json.value(QStringLiteral("reason")).toString());
}

QString DialectRun::flash() {
    DevsimProcess sim(simulator({"--image-out", path("flash.txt")}));
    if (!sim.isReady()) {
        return QStringLiteral("simulator: ") + sim.errorOutput();
    }
    const RunResult run = cli({"flash", path("fw.s37"), "--reset-wait", "5"}, sim);
    sim.stop();
    if (run.exitCode != 0) {
        return failure(run);
    }
    return readFile(path("flash.txt")) == firmware_.image
               ? QString()
               : QStringLiteral("exit 0, but the flash does not hold the firmware");
}

QString DialectRun::store() {
    DevsimProcess sim(
        simulator({"--storage", path("store.bin"), "--image-out", path("installed.txt")}));
    if (!sim.isReady()) {
        return QStringLiteral("simulator: ") + sim.errorOutput();
    }
    const RunResult run = cli({"store", path("fw.s37"), "--from-start", "--finalize"}, sim);
    sim.stop();
    if (run.exitCode != 0) {
        return failure(run);
    }
    const QString stored = StorageArea::mismatch(
        readFile(path("store.bin")), StorageArea::storedText(firmware_.text), pageSize_);
    if (!stored.isEmpty()) {
        return QStringLiteral("exit 0, but ") + stored;
    }
    return readFile(path("installed.txt")) == firmware_.image
               ? QString()
               : QStringLiteral("exit 0, but the firmware was not installed");
}

QString DialectRun::readBack() {
    const QByteArray storage =
        StorageArea::holding(kPages, StorageArea::storedText(firmware_.text), pageSize_);
    if (!writeFile(path("seed.bin"), storage)) {
        return QStringLiteral("cannot write the storage");
    }
    DevsimProcess sim(simulator({"--storage", path("seed.bin")}));
    if (!sim.isReady()) {
        return QStringLiteral("simulator: ") + sim.errorOutput();
    }
    const RunResult run = cli({"readback", path("back.s37")}, sim);
    sim.stop();
    if (run.exitCode != 0) {
        return failure(run);
    }
    return readFile(path("back.s37")) == firmware_.text
               ? QString()
               : QStringLiteral("exit 0, but the file read back differs");
}

QString verdict(const QString& problem) {
    return problem.isEmpty() ? QStringLiteral("pass") : QStringLiteral("FAIL (%1)").arg(problem);
}

} // namespace

class CliDialectsTest : public QObject {
    Q_OBJECT
private slots:
    void loaderAgainstDialects_data();
    void loaderAgainstDialects();
};

void CliDialectsTest::loaderAgainstDialects_data() {
    QTest::addColumn<QString>("dialect");
    for (const char* dialect :
         {"", "cr,echo,prompt", "lf,padded,str-only", "noeol,bare", "page=64", "page=512,page-end",
          "crlf,progress,page-end,page=64", "token-errors,page=264",
          "lf,echo,prompt,progress,padded,page=1056", "noeol,echo,bare,token-errors"}) {
        QTest::newRow(*dialect == '\0' ? "default" : dialect) << QString::fromLatin1(dialect);
    }
}

void CliDialectsTest::loaderAgainstDialects() {
    if (qEnvironmentVariable("VELKOR_DIALECT_CHECK") != QStringLiteral("1")) {
        QSKIP("the loader against the simulator's dialects runs with VELKOR_DIALECT_CHECK=1");
    }
    QFETCH(QString, dialect);
    DialectRun run(dialect);
    QVERIFY(run.ready());
    const QString flash = run.flash();
    const QString store = run.store();
    const QString readBack = run.readBack();
    qInfo("%s: flash %s; store %s; read-back %s",
          qPrintable(dialect.isEmpty() ? QStringLiteral("default") : dialect),
          qPrintable(verdict(flash)), qPrintable(verdict(store)), qPrintable(verdict(readBack)));
    QVERIFY(flash.isEmpty() && store.isEmpty() && readBack.isEmpty());
}

QTEST_GUILESS_MAIN(CliDialectsTest)
#include "tst_cli_dialects.moc"
