// Reading the stored firmware back in virtual time against a scripted command interpreter: the
// positioning, access and descriptor, the taking rules that rebuild the records, the checksum
// verdicts, and the file that is written (or left alone).
#include "Ending.h"
#include "ScriptedInterpreter.h"
#include "TestLoader.h"
#include "core/Crc16.h"
#include "firmware/CheckFirmwareLines.h"
#include "firmware/FirmwareImage.h"
#include "procedures/Procedures.h"

#include <QDir>
#include <QFile>
#include <QTest>

// The ends of a read-back the tests tell apart.
namespace Ended {
const Ending Completed{};
const Ending ChecksumMismatch{Outcome::ChecksumMismatch, Cause::None};
const Ending NothingStored{Outcome::NothingStored, Cause::None};
const Ending NoFileChosen{Outcome::Cancelled, Cause::NoFileChosen};
const Ending Refused{Outcome::Refused, Cause::CommandUnconfirmed};
const Ending AccessDenied{Outcome::Refused, Cause::AccessDenied};
const Ending FileError{Outcome::FileError, Cause::FileUnwritable};
} // namespace Ended

namespace {

const QString kMatched = QStringLiteral("Загрузчик:Контрольная сумма файла совпала!");
const QString kMismatch = QStringLiteral("Загрузчик:Контрольная сумма файла ошибочна!!!");
const QString kReadError = QStringLiteral("Загрузчик:Ошибка выгрузки файла");
QString failed(const char* cause) {
    return QStringLiteral("Операция не выполнена - ") + QString::fromUtf8(cause);
}
const QString kFailed = failed("нет ответа от устройства");

// The six descriptor bytes for a text: its length, lowest byte first, then its checksum.
QByteArray descriptorOf(std::uint32_t length, std::uint16_t crc) {
    QByteArray bytes;
    for (int i = 0; i < 4; ++i) {
        bytes.append(char(length >> (8 * i)));
    }
    bytes.append(char(crc & 0xFF)).append(char(crc >> 8));
    return bytes;
}

const QList<QByteArray> kLines{
    "S0110000554E49543A414243352076322E3152",
    "S3150000100000000000000000000000000000000000DA",
    "S3150000101001010101010101010101010101010101BA",
    "S70500001000EA",
};

struct ReadBack : TestLoader {
    ReadBack() : procedures(loader), interpreter(device) {
        state().OperationMode = Operation::ReadBack;
        target = QDir(dataDir.path()).filePath(QStringLiteral("back.s37"));
        loader.onStatus = [this](int panel, const QString& text) {
            if (panel == 3) {
                statuses.append(text);
            }
        };
    }

    // Stores the text with a descriptor of its own length and checksum (unless given).
    void storeText(const QByteArray& text, std::optional<QByteArray> descriptor = std::nullopt) {
        interpreter.store(0, descriptor
                                 ? *descriptor
                                 : descriptorOf(std::uint32_t(text.size()), Crc16::compute(text)));
        interpreter.store(10, text);
    }

    // Replaces the answers to the text reads (those after "PAGEHEXMODE FALSE") in order; a null
    // entry, and every read after the list, keeps the stored text's own answer.
    void scriptTextReads(QByteArrayList answers) {
        interpreter.rewrite = [this, answers](const QByteArray& command,
                                              QByteArray& answer) mutable {
            if (command == "PAGEREAD" && !interpreter.hexMode) {
                const QByteArray next = answers.isEmpty() ? QByteArray() : answers.takeFirst();
                if (!next.isNull()) {
                    answer = next;
                }
            }
            return true;
        };
    }

    QByteArrayList readBackLines(const QString& path) const {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return file.readAll().split('\n');
    }

    qsizetype textReads() const {
        const qsizetype from = interpreter.commands.indexOf("PAGEHEXMODE FALSE");
        return from < 0 ? 0 : interpreter.commands.mid(from).count("PAGEREAD");
    }

    ReadBackProcedure& procedure() { return procedures.readBack; }

    Procedures procedures;
    ScriptedInterpreter interpreter;
    QString target;
    QStringList statuses;
};

QByteArray fileText(const QList<QByteArray>& lines) {
    QByteArray text;
    for (const QByteArray& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class ReadBackTest : public QObject {
    Q_OBJECT
private slots:
    void readsBackTheStoredFile();
    void takingRules_data();
    void takingRules();
    void nothingIsReadWithoutLengthOrFile_data();
    void nothingIsReadWithoutLengthOrFile();
    void mismatchLeavesTheTargetAlone();
    void refusalsEndBeforeTheText_data();
    void refusalsEndBeforeTheText();
    void descriptorThatIsNotHexEndsThroughTheDriver();
    void barrenReadsStopTheRead();
    void unwritableTargetLeavesNoFile();
};

void ReadBackTest::readsBackTheStoredFile() {
    ReadBack t;
    QByteArray text;
    for (const QByteArray& line : kLines) {
        text += line;
    }
    t.storeText(text);
    writeFile(t.target, "an older file\r\n");
    t.dialogs.queueFile(t.target);
    t.press();
    const QByteArrayList start{"PAGENUM 70",  "PAGEADDR 0",    "PAGEHEXMODE TRUE",
                               "PASSWORD",    "PAGECOUNT 6",   "PAGEREAD",
                               "PAGEADDR 10", "PAGECOUNT 250", "PAGEHEXMODE FALSE"};
    QCOMPARE(t.interpreter.commands.mid(0, 9), start);
    QCOMPARE(readFile(t.target), fileText(kLines));
    QVERIFY(t.statuses.contains(kMatched));
    QVERIFY(t.statuses.contains(QStringLiteral("LUMET:Доступ разрешен!")));
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::Completed);
    QCOMPARE(t.procedure().writtenFile(), t.target);
    QVERIFY(t.status(3).startsWith(QStringLiteral("Операция выполнена за ")));
    QCOMPARE(t.loader.fileDialog.fileName, t.target);
    QCOMPARE(t.status(0), QStringLiteral("%1:%1").arg(text.size()));
    const FirmwareImage image = FirmwareImage::load(t.target);
    QVERIFY(CheckFirmwareLines(image).sound());
    QVERIFY(!QFile::exists(ReadBackProcedure::partialFileName(t.target)));
}

void ReadBackTest::takingRules_data() {
    QTest::addColumn<QByteArray>("stored");      // the text the descriptor describes
    QTest::addColumn<QByteArrayList>("answers"); // answers to the text reads
    QTest::addColumn<QByteArrayList>("lines");   // lines written
    QTest::addColumn<int>("reads");              // text reads sent
    QTest::addColumn<bool>("matched");
    QTest::newRow("S splits records")
        << QByteArray("S00600004844521BS10500001234B4")
        << QByteArrayList{"S00600004844521BS10500001234B4\r\n"}
        << QByteArrayList{"S00600004844521B", "S10500001234B4"} << 1 << true;
    QTest::newRow("lower-case letter ends the answer")
        << QByteArray("S10500001234B4") << QByteArrayList{"S1050000ab34\r\n", "1234B4\r\n"}
        << QByteArrayList{"S10500001234B4"} << 2 << true;
    const QByteArray s300 = "S3" + QByteArray(298, '7');
    QTest::newRow("stops at the stored length")
        << s300 << QByteArrayList{s300.left(250) + "\r\n", s300.mid(250) + "S9030000FC\r\n"}
        << QByteArrayList{s300} << 2 << true;
    QTest::newRow("250 characters and CR LF")
        << s300.left(250) << QByteArrayList{s300.left(250) + "\r\n"}
        << QByteArrayList{s300.left(250)} << 1 << true;
    // A read whose line end never came moved the controller by an unknown amount: the text is
    // read again from its start, so no line is stitched across a gap.
    QTest::newRow("answer without its line end is read again")
        << QByteArray("S1234") << QByteArrayList{"S12", "S1234\r\n"} << QByteArrayList{"S1234"} << 2
        << true;
    // Another command's late line came in place of the read's answer, which never came: the
    // text is read again from its start, not skipped.
    QTest::newRow("late line in place of an answer is read again")
        << s300 << QByteArrayList{QByteArray(), "PAGENUM=70\r\n"} << QByteArrayList{s300} << 4
        << true;
    QTest::newRow("a refused read is not text")
        << QByteArray("S1234") << QByteArrayList{"ERR range\r\n"} << QByteArrayList{} << 1 << false;
    QTest::newRow("short answer ends the read")
        << QByteArray("S1234") << QByteArrayList{"S1\r\n", "\r\n", "234\r\n"}
        << QByteArrayList{"S1"} << 2 << false;
    QTest::newRow("control character ends the answer")
        << QByteArray("S1234") << QByteArrayList{"S1\t99\r\n", "234\r\n"} << QByteArrayList{"S1234"}
        << 2 << true;
}

void ReadBackTest::takingRules() {
    QFETCH(QByteArray, stored);
    QFETCH(QByteArrayList, answers);
    QFETCH(QByteArrayList, lines);
    QFETCH(int, reads);
    QFETCH(bool, matched);
    ReadBack t;
    t.storeText(stored);
    t.scriptTextReads(answers);
    t.dialogs.queueFile(t.target);
    t.press();
    QCOMPARE(t.textReads(), qsizetype(reads));
    QVERIFY(t.statuses.contains(matched ? kMatched : kMismatch));
    const QString written = matched ? t.target : ReadBackProcedure::partialFileName(t.target);
    QCOMPARE(readFile(written), fileText(lines));
    QCOMPARE(QFile::exists(t.target), matched);
}

void ReadBackTest::nothingIsReadWithoutLengthOrFile_data() {
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<bool>("chooseFile");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<Ending>("outcome");
    QTest::addColumn<QString>("status");
    const QString empty = failed("в памяти хранения контроллера нет прошивки");
    QTest::newRow("empty text") << QByteArray::fromHex("00000000FFFF") << true << false << kMatched
                                << Ended::NothingStored << empty;
    QTest::newRow("all zero") << QByteArray::fromHex("000000000000") << true << false << kMismatch
                              << Ended::NothingStored << empty;
    QTest::newRow("dialog cancelled")
        << descriptorOf(4, 0x1234) << false << true << kMismatch << Ended::NoFileChosen
        << failed("отменено пользователем: файл для записи не выбран");
}

void ReadBackTest::nothingIsReadWithoutLengthOrFile() {
    QFETCH(QByteArray, descriptor);
    QFETCH(bool, chooseFile);
    QFETCH(bool, asked);
    QFETCH(QString, verdict);
    QFETCH(Ending, outcome);
    QFETCH(QString, status);
    ReadBack t;
    t.storeText("S1234", descriptor);
    if (chooseFile) {
        t.dialogs.queueFile(t.target);
    } else {
        t.dialogs.queueFile(std::nullopt);
    }
    t.press();
    QCOMPARE(t.dialogs.calls.size(), asked ? 1 : 0);
    QCOMPARE(t.textReads(), 0);
    QVERIFY(t.statuses.contains(verdict));
    QCOMPARE(endingOf(t.procedure().verdict()), outcome);
    QVERIFY(!QFile::exists(t.target));
    QCOMPARE(t.status(3), status);
}

void ReadBackTest::mismatchLeavesTheTargetAlone() {
    ReadBack t;
    QByteArray text;
    for (const QByteArray& line : kLines) {
        text += line;
    }
    t.storeText(text, descriptorOf(std::uint32_t(text.size()), Crc16::compute(text) ^ 1));
    writeFile(t.target, "an older file\r\n");
    t.dialogs.queueFile(t.target);
    t.press();
    QVERIFY(t.statuses.contains(kMismatch));
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::ChecksumMismatch);
    QCOMPARE(readFile(t.target), QByteArray("an older file\r\n"));
    QCOMPARE(readFile(ReadBackProcedure::partialFileName(t.target)), fileText(kLines));
    QCOMPARE(t.procedure().writtenFile(), ReadBackProcedure::partialFileName(t.target));
    // The verdict names where the received copy went.
    QCOMPARE(t.status(3),
             failed("контрольная сумма прочитанной прошивки не совпадает, принятая копия "
                    "сохранена в ") +
                 ReadBackProcedure::partialFileName(t.target));
}

void ReadBackTest::refusalsEndBeforeTheText_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<Ending>("outcome");
    // A refusal is named with the controller's words, never as silence.
    QTest::newRow("page not echoed")
        << QByteArray("PAGENUM 70") << QByteArray("PAGENUM 7\r\n") << kReadError << Ended::Refused;
    QTest::newRow("hex mode not echoed")
        << QByteArray("PAGEHEXMODE TRUE") << QByteArray("ERR\r\n") << kReadError << Ended::Refused;
    QTest::newRow("access denied")
        << QByteArray("PASSWORD") << QByteArray("access denied\r\n")
        << QStringLiteral("LUMET:Отказ в доступе!") << Ended::AccessDenied;
    QTest::newRow("short descriptor")
        << QByteArray("PAGEREAD") << QByteArray("2C0100002B\r\n") << kReadError << Ended::Refused;
}

void ReadBackTest::refusalsEndBeforeTheText() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QFETCH(QString, message);
    QFETCH(Ending, outcome);
    ReadBack t;
    t.storeText("S1234");
    t.interpreter.rewrite = [&](const QByteArray& c, QByteArray& a) {
        if (c == command) {
            a = answer;
        }
        return true;
    };
    t.press();
    QVERIFY(t.statuses.contains(message));
    QCOMPARE(endingOf(t.procedure().verdict()), outcome);
    QVERIFY(!t.interpreter.commands.contains("PAGECOUNT 250"));
    QVERIFY2(t.status(3).startsWith(outcome == Ended::AccessDenied
                                        ? failed("отказ в доступе")
                                        : failed("контроллер не подтвердил ")),
             qPrintable(t.status(3)));
}

void ReadBackTest::descriptorThatIsNotHexEndsThroughTheDriver() {
    ReadBack t;
    t.storeText("S1234");
    t.interpreter.rewrite = [&](const QByteArray& c, QByteArray& a) {
        if (c == "PAGEREAD") {
            a = "2C01000G2B1A\r\n";
        }
        return true;
    };
    t.press();
    QCOMPARE(t.status(3), QStringLiteral("\"$0G\" - недопустимое целое значение"));
    QVERIFY(!QFile::exists(t.loader.journal.path()));
}

void ReadBackTest::barrenReadsStopTheRead() {
    ReadBack t;
    // A descriptor read from erased memory: a huge length over bytes that are no text.
    t.storeText("S1234", QByteArray::fromHex("FFFFFFFFFFFF"));
    t.dialogs.queueFile(t.target);
    t.press();
    QCOMPARE(t.textReads(), qsizetype(ReadBackText::kBarrenReadLimit + 1)); // the text, then none
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::ChecksumMismatch);
    QVERIFY(!QFile::exists(t.target));
}

void ReadBackTest::unwritableTargetLeavesNoFile() {
    ReadBack t;
    t.storeText(kLines[0]);
    const QString target = QDir(t.dataDir.path()).filePath(QStringLiteral("missing/back.s37"));
    t.dialogs.queueFile(target);
    t.press();
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::FileError);
    QVERIFY(t.status(3).startsWith(failed("ошибка файла: ") + target));
    QVERIFY(!QFile::exists(target));
    // A read-back whose file could not be written is journalled like any failure.
    QVERIFY(QFile::exists(t.loader.journal.path()));
}

QTEST_GUILESS_MAIN(ReadBackTest)
#include "tst_readback.moc"
