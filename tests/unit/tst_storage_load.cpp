// Loading into storage memory in virtual time against a scripted command interpreter: the
// logins, the start position and resume, piece writing with its confirmations and roll-back,
// the descriptor, the finalisation, and how each kind of end is reported.
#include "Ending.h"
#include "SRecordText.h"
#include "ScriptedInterpreter.h"
#include "TestLoader.h"
#include "core/Cp1251.h"
#include "core/Crc16.h"
#include "procedures/Procedures.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>
#include <optional>

// The ends of a store the tests tell apart.
namespace Ended {
const Ending Completed{};
const Ending Cancelled{Outcome::Cancelled, Cause::None};
const Ending LinkLost{Outcome::LinkLost, Cause::None};
const Ending NoAnswer{Outcome::NoAnswer, Cause::None};
const Ending Error{Outcome::Error, Cause::None};
const Ending NoSignature{Outcome::FileRefused, Cause::NoUpdateSignature};
const Ending AccessDenied{Outcome::Refused, Cause::AccessDenied};
const Ending LoginRefused{Outcome::Refused, Cause::LoginRefused};
const Ending PieceRefused{Outcome::Refused, Cause::PieceUnconfirmed};
const Ending DescriptorRefused{Outcome::Refused, Cause::DescriptorRefused};
const Ending DescriptorMisplaced{Outcome::Unconfirmed, Cause::DescriptorMisplaced};
const Ending VerifyFailed{Outcome::Unconfirmed, Cause::VerifyDiffers};
const Ending FinalisationFailed{Outcome::Refused, Cause::FinalisationUnconfirmed};
const Ending FinalisationUnconfirmed{Outcome::Unconfirmed, Cause::FinalisationUnconfirmed};
const Ending NoAnswerAfterReset{Outcome::NoAnswer, Cause::NoVersionAfterRestart};
} // namespace Ended

namespace {

using TestRecords::record;

// A header with the remote-update signature and `count` data records of 16 bytes; with
// longRecord, the second line is a record of 200 characters.
QList<QByteArray> firmware(int count, bool longRecord = false,
                           const QByteArray& header = "UNIT:ABC5 v2.1") {
    QList<QByteArray> lines{record('0', QByteArray::fromHex("0000") + header)};
    for (int i = 0; i < count; ++i) {
        const int size = longRecord && i == 0 ? 93 : 16;
        QByteArray data(size, char(i));
        lines.append(record(
            '3',
            QByteArray::fromHex(QByteArray::number(0x1000 + i * 16, 16).rightJustified(8, '0')) +
                data));
    }
    lines.append(record('7', QByteArray::fromHex("00001000")));
    return lines;
}

QByteArray joined(const QList<QByteArray>& lines) {
    QByteArray text;
    for (const QByteArray& line : lines) {
        text += line;
    }
    return text;
}

// The pieces an upload sends for these lines: each line cut every 150 bytes of line and end.
QList<QByteArray> piecesOf(const QList<QByteArray>& lines) {
    QList<QByteArray> pieces;
    for (const QByteArray& line : lines) {
        for (qsizetype at = 0; at < line.size(); at += 150) {
            pieces.append(line.mid(at, 150));
        }
    }
    return pieces;
}

struct Store : TestLoader {
    Store() : procedures(loader), interpreter(device) {
        state().OperationMode = Operation::Store;
        loader.onStatus = [this](int panel, const QString& text) {
            if (panel == 3) {
                statuses.append(text);
            }
        };
    }

    void useFile(const QList<QByteArray>& fileLines) {
        lines = fileLines;
        const QString path = QDir(dataDir.path()).filePath(QStringLiteral("fw.s37"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const QByteArray& line : fileLines) {
            file.write(line + "\r\n");
        }
        state().FirmwareFilePath = path;
    }

    // Presses the button with "Yes" to the start-position question.
    void runFromStart() {
        dialogs.queueConfirm(true);
        press();
    }

    QByteArrayList textWrites() const {
        QByteArrayList writes;
        bool hex = false;
        for (const QByteArray& c : interpreter.commands) {
            if (c.startsWith("PAGEHEXMODE ")) {
                hex = c.endsWith("TRUE");
            } else if (c.startsWith("PAGEWRITE ") && !hex) {
                writes.append(c.mid(10));
            }
        }
        return writes;
    }
    qsizetype count(const QByteArray& command) const { return interpreter.commands.count(command); }
    qsizetype indexOf(const QByteArray& command, qsizetype from = 0) const {
        return interpreter.commands.indexOf(command, from);
    }

    // The whole file is stored from address 10, with its descriptor in front.
    void verifyStored() {
        const QByteArray text = joined(lines);
        QCOMPARE(interpreter.stored(10, int(text.size())), text);
        const std::uint16_t crc = Crc16::compute(text);
        const std::uint32_t n = std::uint32_t(text.size());
        const QByteArray descriptor = QByteArray::fromHex(
            QByteArray::number(n & 0xFF, 16).rightJustified(2, '0') +
            QByteArray::number((n >> 8) & 0xFF, 16).rightJustified(2, '0') + "0000" +
            QByteArray::number(crc & 0xFF, 16).rightJustified(2, '0') +
            QByteArray::number(crc >> 8, 16).rightJustified(2, '0') + "00000000");
        QCOMPARE(interpreter.stored(0, 10), descriptor);
    }

    StorageLoadProcedure& procedure() { return procedures.store; }

    Procedures procedures;
    ScriptedInterpreter interpreter;
    QList<QByteArray> lines;
    QStringList statuses;
};

QString failed(const char* cause) {
    return QStringLiteral("Операция не выполнена - ") + QString::fromUtf8(cause);
}
const QString kFailed = failed("нет ответа от устройства");

} // namespace

class StorageLoadTest : public QObject {
    Q_OBJECT
private slots:
    void fromStartStoresTextAndDescriptor();
    void startPositionQueries_data();
    void startPositionQueries();
    void entryThatIsNoNumberEndsTheRunThroughTheDriver();
    void resumeSkipsStoredPiecesButCountsThemInTheChecksum_data();
    void resumeSkipsStoredPiecesButCountsThemInTheChecksum();
    void longLineIsWrittenInTwoPieces();
    void unconfirmedWritesRollBackAndSendThePieceAgain_data();
    void unconfirmedWritesRollBackAndSendThePieceAgain();
    void confirmationsWithoutAPlace_data();
    void confirmationsWithoutAPlace();
    void oversizedLineCounterEndsTheUploadAsAnError();
    void earlyEndsAreReportedAsFailures_data();
    void earlyEndsAreReportedAsFailures();
    void uploadLoginUsesTheBuiltInPasswordThenTheUsers_data();
    void uploadLoginUsesTheBuiltInPasswordThenTheUsers();
    void uploadLoginWaitsForTheControllerWithoutLimit();
    void cancelDuringUploadKeepsTheConfirmedPositionForResume();
    void closedConnectionStopsTheUploadAndAResumeCompletesIt();
    void descriptorWriteAnswers_data();
    void descriptorWriteAnswers();
    void verifyReadsTheStoredTextBack_data();
    void verifyReadsTheStoredTextBack();
    void finalisation_data();
    void finalisation();
    void progressTextsAndPositionLine();
};

void StorageLoadTest::fromStartStoresTextAndDescriptor() {
    Store t;
    t.useFile(firmware(12));
    const QString captionBefore = t.form().mnuTimeOut.caption;
    QList<PhaseEvent> phases;
    t.loader.output.onPhase = [&](const PhaseEvent& phase) { phases.append(phase); };
    t.runFromStart();
    // The phases carry what their words name: the page positioned to, the text's progress.
    const auto last = [&](Phase phase) {
        const auto found = std::find_if(phases.rbegin(), phases.rend(),
                                        [phase](const PhaseEvent& e) { return e.phase == phase; });
        return found != phases.rend() ? *found : PhaseEvent();
    };
    QCOMPARE(last(Phase::SettingStartPage).page, 70);
    QCOMPARE(last(Phase::StoringText).lines, int(t.lines.size()));
    QCOMPARE(last(Phase::StoringText).done, last(Phase::StoringText).total);
    QCOMPARE(phases.constLast().phase, Phase::Message); // the outcome
    const QByteArrayList expectedStart{"PASSWORD",   "MODEM_CON TRUE", "DEBUG 0",
                                       "PASSWORD",   "WRITECOUNTER 0", "PAGEHEXMODE FALSE",
                                       "PAGENUM 70", "PAGEADDR 10"};
    QCOMPARE(t.interpreter.commands.mid(0, 8), expectedStart);
    QCOMPARE(t.textWrites(), QByteArrayList(piecesOf(t.lines)));
    QVERIFY(t.device.written.size() > 8);
    QCOMPARE(t.dialogs.calls[0].text, QStringLiteral("Загрузка прошивки с начального адреса?"));
    t.verifyStored();
    // On a friendly link the descriptor stretch is exactly the five commands it always was.
    const qsizetype descriptorAt = t.indexOf("PAGENUM 70", 8);
    QCOMPARE(t.interpreter.commands.mid(descriptorAt),
             (QByteArrayList{"PAGENUM 70", "PAGEADDR 0", "PAGEHEXMODE TRUE",
                             "PAGEWRITE " + t.interpreter.stored(0, 6).toHex().toUpper(),
                             "PAGEWRITE 00000000"}));
    QCOMPARE(t.dialogs.calls.constLast().kind, QStringLiteral("information"));
    QCOMPARE(t.dialogs.calls.constLast().text,
             QStringLiteral("Прошивка загружена. Проведите финализацию обновления следующими "
                            "командами:\r\nREPROGRAM W\r\nRESET"));
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::Completed);
    QVERIFY(t.statuses.contains(QStringLiteral("Загрузчик:Операция завершена")));
    QVERIFY(t.status(3).startsWith(QStringLiteral("Операция выполнена за ")));
    QCOMPARE(t.state().AnswerTimeoutMs, 30000);
    QCOMPARE(t.form().mnuTimeOut.caption, captionBefore);
    QCOMPARE(t.state().LinesSent, std::uint16_t(t.lines.size()));
}

void StorageLoadTest::startPositionQueries_data() {
    QTest::addColumn<QStringList>("entries"); // "-": cancelled (Escape)
    QTest::addColumn<QList<int>>("expected"); // page, address, line
    QTest::newRow("offered values")
        << QStringList{QStringLiteral("80"), QStringLiteral("20"), QStringLiteral("0")}
        << QList<int>{80, 20, 0};
    QTest::newRow("page below 70")
        << QStringList{QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("0")}
        << QList<int>{70, 10, 0};
    QTest::newRow("address above 525")
        << QStringList{QStringLiteral("70"), QStringLiteral("600"), QStringLiteral("0")}
        << QList<int>{70, 0, 0};
    QTest::newRow("address 525 kept")
        << QStringList{QStringLiteral("70"), QStringLiteral("525"), QStringLiteral("0")}
        << QList<int>{70, 525, 0};
    // A cancelled box cancels the store: the position given stays for a later resume.
    QTest::newRow("cancelled at the address")
        << QStringList{QStringLiteral("90"), QStringLiteral("-"), QStringLiteral("-")}
        << QList<int>{80, 20, 0};
    QTest::newRow("low 16 bits") << QStringList{QStringLiteral("65606"), QStringLiteral("65546"),
                                                QStringLiteral("0")}
                                 << QList<int>{70, 10, 0};
}

void StorageLoadTest::startPositionQueries() {
    QFETCH(QStringList, entries);
    QFETCH(QList<int>, expected);
    Store t;
    t.useFile(firmware(3));
    t.state().StartPage = 80;
    t.state().PageAddr = 20;
    t.state().LastLoadedLine = 0;
    t.dialogs.queueConfirm(false);
    for (const QString& entry : entries) {
        t.dialogs.queueInput(entry == QStringLiteral("-") ? std::nullopt
                                                          : std::optional<QString>(entry));
    }
    t.press();
    const qsizetype cancelledAt = entries.indexOf(QStringLiteral("-"));
    if (cancelledAt >= 0) {
        QCOMPARE(t.dialogs.calls.size(), cancelledAt + 2); // question, queries to the cancelled
        QCOMPARE(t.count("WRITECOUNTER " + QByteArray::number(expected[2])), 0);
        QCOMPARE(endingOf(t.procedure().verdict()), Ended::Cancelled);
        QCOMPARE(t.loader.driver.lastResult().resume,
                 (ResumePosition{std::uint16_t(expected[0]), std::uint16_t(expected[1]),
                                 std::uint16_t(expected[2])}));
        return;
    }
    QCOMPARE(t.dialogs.calls.size(), 5); // question, three queries, information
    const QStringList captions{QStringLiteral("Начальная страница"),
                               QStringLiteral("Адрес на странице"),
                               QStringLiteral("Последняя загруженная строка")};
    const QStringList prompts{QStringLiteral("Номер: 70..)"), QStringLiteral("Адрес: (0..525)"),
                              QStringLiteral("Номер:")};
    const QStringList offered{QStringLiteral("80"), QStringLiteral("20"), QStringLiteral("0")};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(t.dialogs.calls[i + 1].caption, captions[i]);
        QCOMPARE(t.dialogs.calls[i + 1].text, prompts[i]);
        QCOMPARE(t.dialogs.calls[i + 1].initial, offered[i]);
    }
    QVERIFY(t.count("PAGENUM " + QByteArray::number(expected[0])) >= 1);
    QVERIFY(t.count("PAGEADDR " + QByteArray::number(expected[1])) >= 1);
    QCOMPARE(t.interpreter.commands.at(4), "WRITECOUNTER " + QByteArray::number(expected[2]));
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::Completed);
}

void StorageLoadTest::entryThatIsNoNumberEndsTheRunThroughTheDriver() {
    Store t;
    t.useFile(firmware(3));
    t.dialogs.queueConfirm(false);
    t.dialogs.queueInput(QStringLiteral("7O"));
    t.press();
    QCOMPARE(t.status(3), QStringLiteral("\"7O\" - недопустимое целое значение"));
    QCOMPARE(t.count("WRITECOUNTER 0"), 0);
    QVERIFY(!QFile::exists(t.loader.journal.path()));
    QVERIFY(!t.state().OperationActive);
}

void StorageLoadTest::resumeSkipsStoredPiecesButCountsThemInTheChecksum_data() {
    QTest::addColumn<int>("lastLoaded");
    QTest::addColumn<int>("writesExpected");
    // 25 records with the header and end record: 27 pieces.
    QTest::newRow("20 skipped") << 20 << 7;
    QTest::newRow("all skipped") << 27 << 0;
    QTest::newRow("beyond the file") << 40 << 0;
}

void StorageLoadTest::resumeSkipsStoredPiecesButCountsThemInTheChecksum() {
    QFETCH(int, lastLoaded);
    QFETCH(int, writesExpected);
    Store t;
    t.useFile(firmware(25));
    const int skipped = std::min<int>(lastLoaded, int(t.lines.size()));
    const QByteArray before = joined(t.lines.mid(0, skipped));
    t.interpreter.store(10, before); // what the interrupted run stored
    t.dialogs.queueConfirm(false);
    const int resumeAt = 10 + int(before.size());
    t.dialogs.queueInput(QString::number(70 + resumeAt / ScriptedInterpreter::kPageSize));
    t.dialogs.queueInput(QString::number(resumeAt % ScriptedInterpreter::kPageSize));
    t.dialogs.queueInput(QString::number(lastLoaded));
    t.press();
    QCOMPARE(t.interpreter.commands.at(4), "WRITECOUNTER " + QByteArray::number(lastLoaded));
    QCOMPARE(t.textWrites(), QByteArrayList(t.lines.mid(skipped)));
    if (writesExpected > 0) {
        const qsizetype first = t.indexOf("PAGEWRITE " + t.lines.at(skipped));
        QVERIFY(first > 0);
        // Two more writes for the descriptor and the zeros after it.
        QCOMPARE(t.interpreter.lineCounter, std::uint32_t(t.lines.size() + 2));
    }
    t.verifyStored();
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::Completed);
}

void StorageLoadTest::longLineIsWrittenInTwoPieces() {
    Store t;
    t.useFile(firmware(2, true));
    QCOMPARE(t.lines.at(1).size(), 200);
    t.runFromStart();
    const QByteArrayList writes = t.textWrites();
    QCOMPARE(writes.size(), t.lines.size() + 1);
    QCOMPARE(writes.at(1), t.lines.at(1).left(150));
    QCOMPARE(writes.at(2), t.lines.at(1).mid(150));
    QCOMPARE(t.state().LinesSent, std::uint16_t(writes.size()));
    t.verifyStored();
}

// Every fault ends in the same stored image: the piece is sent again after a new login that
// puts the controller back at the last confirmed position.
void StorageLoadTest::unconfirmedWritesRollBackAndSendThePieceAgain_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("write");   // which text write (from 1) misbehaves first
    QTest::addColumn<int>("repeats"); // how many writes in a row misbehave
    QTest::addColumn<int>("sends");   // sends of the piece before the new login
    QTest::newRow("wrong line counter") << QStringLiteral("skew") << 4 << 1 << 1;
    QTest::newRow("first write unconfirmed") << QStringLiteral("skew") << 1 << 1 << 1;
    QTest::newRow("last piece fails") << QStringLiteral("skew") << 7 << 1 << 1;
    QTest::newRow("no OK") << QStringLiteral("no OK") << 3 << 1 << 1;
    QTest::newRow("no STR digits") << QStringLiteral("no STR digits") << 3 << 1 << 1;
    // Cut after "NUM:", its rest never coming: from a controller that ends its lines, the start
    // of an answer, not one without a place.
    QTest::newRow("no NUM digits, the rest lost") << QStringLiteral("no NUM digits") << 3 << 1 << 1;
    // A lost answer: the controller may have stored the piece and counted it, so the piece is
    // never sent blindly again; every loss goes through the login that puts the controller
    // back at the last confirmed position.
    QTest::newRow("answer lost once") << QStringLiteral("lost") << 4 << 1 << 1;
    QTest::newRow("answers lost seven times") << QStringLiteral("lost") << 2 << 7 << 7;
}

void StorageLoadTest::unconfirmedWritesRollBackAndSendThePieceAgain() {
    QFETCH(QString, fault);
    QFETCH(int, write);
    QFETCH(int, repeats);
    QFETCH(int, sends);
    Store t;
    t.useFile(firmware(5)); // 7 pieces
    for (int i = 0; i < repeats; ++i) {
        if (fault == QStringLiteral("skew")) {
            t.interpreter.skewedWrites.insert(write + i);
        } else if (fault == QStringLiteral("lost")) {
            t.interpreter.lostWriteAnswers.insert(write + i);
        }
    }
    if (fault.startsWith(QStringLiteral("no "))) {
        t.interpreter.rewrite = [&, write](const QByteArray& command, QByteArray& answer) {
            if (command.startsWith("PAGEWRITE") && t.interpreter.writes == write) {
                if (fault == QStringLiteral("no OK")) {
                    answer.replace("OK ", "");
                } else if (fault == QStringLiteral("no NUM digits")) {
                    answer.truncate(answer.indexOf("NUM:") + 4);
                } else {
                    answer.replace("STR:", "STR:x");
                }
            }
            return true;
        };
    }
    t.runFromStart();
    t.verifyStored();
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::Completed);
    const QByteArray piece = "PAGEWRITE " + t.lines.at(write - 1);
    const QByteArray counter = "WRITECOUNTER " + QByteArray::number(write - 1);
    // The new login puts the controller back where the last confirmed write left it.
    const qsizetype again = t.interpreter.commands.lastIndexOf(counter);
    QVERIFY(again > 4);
    QCOMPARE(t.interpreter.commands.count("WRITECOUNTER 0") +
                 (write == 1 ? 0 : t.interpreter.commands.count(counter)),
             1 + repeats);
    QCOMPARE(t.interpreter.commands.mid(0, again).count(piece), sends);
    const int confirmedEnd = 10 + int(joined(t.lines.mid(0, write - 1)).size());
    QCOMPARE(t.interpreter.commands.mid(again, 5),
             (QByteArrayList{counter, "PAGEHEXMODE FALSE", "PAGENUM 70",
                             "PAGEADDR " + QByteArray::number(confirmedEnd), piece}));
    QVERIFY(t.status(3).startsWith(QStringLiteral("Операция выполнена за ")));
}

// A controller that confirms its writes by the line count alone ("OK STR:n") stores the file; a
// write it does not confirm rolls back to the last place it named (here the start), and a piece
// it never confirms ends the run with that place to resume from instead of logging in for ever.
void StorageLoadTest::confirmationsWithoutAPlace_data() {
    QTest::addColumn<QList<int>>("unconfirmed"); // the writes answered with another line count
    QTest::addColumn<Ending>("outcome");
    QTest::addColumn<int>("logins");
    QTest::newRow("all confirmed") << QList<int>{} << Ended::Completed << 1;
    QTest::newRow("the fifth write unconfirmed: all sent again")
        << QList<int>{5} << Ended::Completed << 2;
    QTest::newRow("the third piece never confirmed")
        << QList<int>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12} << Ended::PieceRefused << 10;
}

void StorageLoadTest::confirmationsWithoutAPlace() {
    QFETCH(QList<int>, unconfirmed);
    QFETCH(Ending, outcome);
    QFETCH(int, logins);
    Store t;
    t.useFile(firmware(5));
    for (const int write : unconfirmed) {
        t.interpreter.skewedWrites.insert(write);
    }
    t.interpreter.rewrite = [](const QByteArray& command, QByteArray& answer) {
        if (command.startsWith("PAGEWRITE") && answer.contains("STR:")) {
            answer = answer.left(answer.indexOf(" NUM:")) + "\r\n";
        }
        return true;
    };
    t.runFromStart();
    QCOMPARE(endingOf(t.procedure().verdict()), outcome);
    QCOMPARE(t.interpreter.commands.count("WRITECOUNTER 0"), logins);
    if (outcome == Ended::Completed) {
        t.verifyStored();
    } else {
        QCOMPARE(t.procedure().verdict().resume, (ResumePosition{70, 10, 0}));
    }
}

void StorageLoadTest::oversizedLineCounterEndsTheUploadAsAnError() {
    Store t;
    t.useFile(firmware(5));
    t.interpreter.rewrite = [&](const QByteArray& command, QByteArray& answer) {
        if (command.startsWith("PAGEWRITE") && t.interpreter.writes == 3) {
            answer = "OK STR:99999999999 NUM:70 ADDR:99\r\n";
        }
        return true;
    };
    t.runFromStart();
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::Error);
    QCOMPARE(t.procedure().errorMessage(),
             QStringLiteral("\"99999999999\" - недопустимое целое значение"));
    QVERIFY(t.statuses.contains(
        QStringLiteral("Ошибка \"99999999999\" - недопустимое целое значение")));
    QCOMPARE(t.status(3), failed("\"99999999999\" - недопустимое целое значение"));
    QCOMPARE(t.state().LastLoadedLine, std::uint16_t(2));
    QCOMPARE(t.count("PAGEHEXMODE TRUE"), 0);
}

void StorageLoadTest::earlyEndsAreReportedAsFailures_data() {
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("command"); // the command answered otherwise
    QTest::addColumn<QByteArray>("answer");  // empty: not answered
    QTest::addColumn<Ending>("outcome");
    QTest::addColumn<int>("sent");
    QTest::addColumn<QString>("status");
    QTest::newRow("no signature")
        << QByteArray("UNIT:ABC5 v1.0") << QByteArray() << QByteArray() << Ended::NoSignature << 0
        << failed("файл прошивки отклонён: Не найдена сигнатура удаленной загрузки!");
    QTest::newRow("password unanswered") << QByteArray("UNIT:ABC5 64") << QByteArray("PASSWORD")
                                         << QByteArray() << Ended::NoAnswer << 1 << kFailed;
    QTest::newRow("access denied")
        << QByteArray("UNIT:ABC5 v2.0") << QByteArray("PASSWORD") << QByteArray("access denied\r\n")
        << Ended::AccessDenied << 1 << failed("отказ в доступе");
    QTest::newRow("modem refused") << QByteArray("UNIT:ABC5 v2.0") << QByteArray("MODEM_CON TRUE")
                                   << QByteArray("MODEM_CON ERROR\r\n") << Ended::LoginRefused << 2
                                   << failed("контроллер отказал в MODEM_CON TRUE: MODEM_CON "
                                             "ERROR");
}

void StorageLoadTest::earlyEndsAreReportedAsFailures() {
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QFETCH(Ending, outcome);
    QFETCH(int, sent);
    QFETCH(QString, status);
    Store t;
    t.useFile(firmware(3, false, header));
    t.state().AnswerTimeoutMs = 1000;
    t.interpreter.rewrite = [&](const QByteArray& c, QByteArray& a) {
        if (c == command) {
            a = answer;
        }
        return !a.isEmpty();
    };
    t.press();
    QCOMPARE(endingOf(t.procedure().verdict()), outcome);
    QCOMPARE(QSet<QByteArray>(t.interpreter.commands.begin(), t.interpreter.commands.end()).size(),
             sent);
    QCOMPARE(t.status(3), status);
    if (outcome == Ended::NoSignature) {
        QCOMPARE(t.dialogs.calls.size(), 1);
        QCOMPARE(t.dialogs.calls[0].kind, QStringLiteral("error"));
        QCOMPARE(t.dialogs.calls[0].text,
                 QStringLiteral("Прошивка не годится для удаленного обновления!\r\nНе найдена "
                                "сигнатура удаленной загрузки!"));
    }
    QVERIFY(QFile::exists(t.loader.journal.path()));
}

void StorageLoadTest::uploadLoginUsesTheBuiltInPasswordThenTheUsers_data() {
    QTest::addColumn<QByteArray>("builtIn"); // what the controller takes besides "abc"
    QTest::addColumn<QByteArrayList>("login");
    QTest::newRow("built-in taken")
        << QByteArray("TOVRIL") << QByteArrayList{"PASSWORD", "PASSWORD TOVRIL", "WRITECOUNTER 0"};
    QTest::newRow("only the user's")
        << QByteArray()
        << QByteArrayList{"PASSWORD", "PASSWORD TOVRIL", "PASSWORD abc", "WRITECOUNTER 0"};
}

void StorageLoadTest::uploadLoginUsesTheBuiltInPasswordThenTheUsers() {
    QFETCH(QByteArray, builtIn);
    QFETCH(QByteArrayList, login);
    Store t;
    t.useFile(firmware(3));
    t.interpreter.password = "abc";
    t.interpreter.builtInPassword = builtIn;
    t.dialogs.queueInput(QStringLiteral("abc"));
    t.runFromStart();
    QCOMPARE(t.dialogs.calls[0].caption, QStringLiteral("Прибор блокирован"));
    QCOMPARE(t.interpreter.commands.mid(0, 5),
             (QByteArrayList{"PASSWORD", "PASSWORD abc", "MODEM_CON TRUE", "DEBUG 0", "PASSWORD"}));
    QCOMPARE(t.interpreter.commands.mid(4, login.size()), login);
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::Completed);
    t.verifyStored();
}

void StorageLoadTest::uploadLoginWaitsForTheControllerWithoutLimit() {
    Store t;
    t.useFile(firmware(2));
    int passwords = 0;
    t.interpreter.rewrite = [&](const QByteArray& c, QByteArray&) {
        // The controller drops off after the first login and comes back much later.
        return c != "PASSWORD" || ++passwords == 1 || passwords > 250;
    };
    t.runFromStart();
    QVERIFY(t.statuses.count(QStringLiteral("Ожидаем подключения к прибору..")) >= 2);
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::Completed);
    t.verifyStored();
}

void StorageLoadTest::cancelDuringUploadKeepsTheConfirmedPositionForResume() {
    Store t;
    t.useFile(firmware(10));
    t.interpreter.rewrite = [&](const QByteArray& c, QByteArray&) {
        if (c.startsWith("PAGEWRITE") && t.interpreter.writes == 5) {
            t.runtime.post(10, [&] { t.press(); }); // the user presses Cancel
            return false;
        }
        return true;
    };
    t.runFromStart();
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::Cancelled);
    QCOMPARE(t.count("PAGEHEXMODE TRUE"), 0);
    QCOMPARE(t.count("REPROGRAMM W"), 0);
    QCOMPARE(t.status(3), failed("отменено пользователем"));
    QCOMPARE(t.state().LastLoadedLine, std::uint16_t(4));
    QCOMPARE(t.loader.driver.lastResult().resume, (ResumePosition{70, t.state().PageAddr, 4}));

    // The next run offers the last confirmed position and completes from it.
    t.interpreter.rewrite = nullptr;
    t.dialogs.calls.clear();
    t.dialogs.queueConfirm(false);
    for (const auto value : {t.state().StartPage, t.state().PageAddr, t.state().LastLoadedLine}) {
        t.dialogs.queueInput(QString::number(value));
    }
    t.press();
    QCOMPARE(t.dialogs.calls[3].initial, QStringLiteral("4"));
    QCOMPARE(t.interpreter.commands.count("WRITECOUNTER 4"), 1);
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::Completed);
    t.verifyStored();
}

void StorageLoadTest::closedConnectionStopsTheUploadAndAResumeCompletesIt() {
    Store t;
    t.useFile(firmware(10));
    t.interpreter.rewrite = [&](const QByteArray& c, QByteArray&) {
        if (c.startsWith("PAGEWRITE") && t.interpreter.writes == 6) {
            t.device.dropConnection(3);
            return false;
        }
        return true;
    };
    t.runFromStart();
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::LinkLost);
    QCOMPARE(t.status(3), failed("связь с устройством потеряна"));
    QCOMPARE(t.state().LastLoadedLine, std::uint16_t(5));

    t.interpreter.rewrite = nullptr;
    t.dialogs.calls.clear();
    t.dialogs.queueConfirm(false);
    for (const auto value : {t.state().StartPage, t.state().PageAddr, t.state().LastLoadedLine}) {
        t.dialogs.queueInput(QString::number(value));
    }
    t.press();
    QCOMPARE(t.dialogs.calls[3].initial, QStringLiteral("5"));
    QCOMPARE(endingOf(t.procedure().verdict()), Ended::Completed);
    t.verifyStored();
}

// The answers to the descriptor's writes. Without "OK" it is the controller's refusal, not its
// silence; the text is stored, so the resume position skips all of it. The place where the
// write started, or a line count already taken, is an earlier write's answer come again or
// late: the write is positioned and sent again at its place. Any other place means the bytes
// went elsewhere, perhaps into the text.
void StorageLoadTest::descriptorWriteAnswers_data() {
    QTest::addColumn<QByteArray>("answer"); // the first answer to the write of the zeros
    QTest::addColumn<Ending>("outcome");
    QTest::addColumn<int>("zeroWrites");
    QTest::newRow("refused") << QByteArray("ERROR\r\n") << Ended::DescriptorRefused << 1;
    QTest::newRow("the write before's answer again")
        << QByteArray("OK STR:9 NUM:70 ADDR:6\r\n") << Ended::Completed << 2;
    QTest::newRow("a text write's late answer")
        << QByteArray("OK STR:3 NUM:70 ADDR:14\r\n") << Ended::Completed << 2;
    QTest::newRow("written elsewhere")
        << QByteArray("OK STR:9 NUM:70 ADDR:14\r\n") << Ended::DescriptorMisplaced << 1;
}

void StorageLoadTest::descriptorWriteAnswers() {
    QFETCH(QByteArray, answer);
    QFETCH(Ending, outcome);
    QFETCH(int, zeroWrites);
    Store t;
    t.useFile(firmware(3));
    bool answered = false;
    t.interpreter.rewrite = [&](const QByteArray& c, QByteArray& a) {
        if (c == "PAGEWRITE 00000000" && !std::exchange(answered, true)) {
            a = answer;
        }
        return true;
    };
    t.runFromStart();
    QCOMPARE(endingOf(t.procedure().verdict()), outcome);
    QCOMPARE(t.interpreter.commands.count("PAGEWRITE 00000000"), zeroWrites);
    if (outcome == Ended::Completed) {
        t.verifyStored();
    } else if (outcome == Ended::DescriptorRefused) {
        QCOMPARE(t.status(3), failed("контроллер не подтвердил запись дескриптора: ERROR"));
        QCOMPARE(t.loader.driver.lastResult().resume->line, t.state().LastLoadedLine);
        QVERIFY(t.state().LastLoadedLine > 0);
    } else {
        QCOMPARE(t.loader.driver.lastResult().resume->line, std::uint16_t(0));
    }
}

// Every write confirmed, but the memory holds other text (a byte changed behind the
// confirmations, or a descriptor that does not describe it): only the read-back sees it, and it
// fails the store before the finalisation installs it.
void StorageLoadTest::verifyReadsTheStoredTextBack_data() {
    QTest::addColumn<int>("spoilAt"); // text offset changed before the descriptor; -1: none
    QTest::addColumn<Ending>("outcome");
    QTest::newRow("stored as sent") << -1 << Ended::Completed;
    QTest::newRow("a byte changed") << 17 << Ended::VerifyFailed;
}

void StorageLoadTest::verifyReadsTheStoredTextBack() {
    QFETCH(int, spoilAt);
    QFETCH(Ending, outcome);
    Store t;
    t.useFile(firmware(4));
    t.form().cbVerifyStored.checked = true;
    t.form().cbFinalization.checked = true;
    t.interpreter.rewrite = [&](const QByteArray& c, QByteArray&) {
        if (spoilAt >= 0 && t.interpreter.hexMode && c.startsWith("PAGEWRITE ")) {
            t.interpreter.store(10 + spoilAt, "0");
        }
        return true;
    };
    t.runFromStart();
    QCOMPARE(endingOf(t.procedure().verdict()), outcome);
    QCOMPARE(t.interpreter.commands.contains("REPROGRAMM W"), outcome == Ended::Completed);
    QVERIFY(t.interpreter.commands.contains("PAGECOUNT 250"));
    if (outcome != Ended::Completed) {
        QCOMPARE(t.status(3),
                 failed("устройство не подтвердило записанное: записанный текст не совпадает с "
                        "файлом (символ 18 из %1)")
                     .arg(joined(t.lines).size()));
        QCOMPARE(t.loader.driver.lastResult().resume->line, std::uint16_t(0));
    }
}

void StorageLoadTest::finalisation_data() {
    QTest::addColumn<bool>("finalize");
    QTest::addColumn<bool>("initLines");
    QTest::addColumn<QByteArray>("reprogram");
    QTest::addColumn<QByteArray>("version");  // empty: "VER" is never answered
    QTest::addColumn<QByteArrayList>("tail"); // the commands after "PAGEWRITE 00000000"
    QTest::addColumn<QString>("information");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<Ending>("outcome");
    QTest::addColumn<QString>("status"); // empty: the success text
    const QString updated = QStringLiteral("Прошивка обновлена. Текущая версия:\r\nVER\r\nLUMET5x "
                                           "v3.12 2026\r\n");
    const QByteArray ver = "VER\r\nLUMET5x v3.12 2026\r\n";
    QTest::newRow("finalised") << true << false << QByteArray("CHECK GOOD\r\n") << ver
                               << QByteArrayList{"REPROGRAMM W", "RESET", "VER"} << updated
                               << 300000 << Ended::Completed << QString();
    QTest::newRow("with init lines")
        << true << true << QByteArray("CHECK GOOD\r\n") << ver
        << QByteArrayList{"SILENCETIME 300", "MODE 2", "REPROGRAMM W", "RESET", "VER"} << updated
        << 300000 << Ended::Completed << QString();
    // Words without an error word (a progress line, perhaps), and no "GOOD" by the wait's end.
    QTest::newRow("check not confirmed")
        << true << false << QByteArray("CHECK BAD\r\n") << ver << QByteArrayList{"REPROGRAMM W"}
        << QString() << 180000 << Ended::FinalisationUnconfirmed
        << failed("устройство не подтвердило записанное: контроллер не подтвердил проверку "
                  "прошивки (REPROGRAMM W без GOOD): CHECK BAD");
    QTest::newRow("check refused")
        << true << false << QByteArray("BAD checksum\r\n") << ver << QByteArrayList{"REPROGRAMM W"}
        << QString() << 180000 << Ended::FinalisationFailed
        << failed(
               "контроллер не подтвердил проверку прошивки (REPROGRAMM W без GOOD): BAD checksum");
    QTest::newRow("another version: stored and installed, nothing shown")
        << true << false << QByteArray("CHECK GOOD\r\n") << QByteArray("ver 4.01\r\n")
        << QByteArrayList{"REPROGRAMM W", "RESET", "VER"} << QString() << 300000 << Ended::Completed
        << QString();
    QTest::newRow("no answer after the restart")
        << true << false << QByteArray("CHECK GOOD\r\n") << QByteArray()
        << QByteArrayList{"REPROGRAMM W", "RESET", "VER", "VER", "VER", "VER", "VER"} << QString()
        << 300000 << Ended::NoAnswerAfterReset
        << failed("нет ответа от устройства: контроллер не ответил на VER после перезапуска");
    QTest::newRow("init lines only")
        << false << true << QByteArray() << ver << QByteArrayList{"SILENCETIME 300", "MODE 2"}
        << QString() << 30000 << Ended::Completed << QString();
}

void StorageLoadTest::finalisation() {
    QFETCH(bool, finalize);
    QFETCH(bool, initLines);
    QFETCH(QByteArray, reprogram);
    QFETCH(QByteArray, version);
    QFETCH(QByteArrayList, tail);
    QFETCH(QString, information);
    QFETCH(int, timeout);
    QFETCH(Ending, outcome);
    QFETCH(QString, status);
    Store t;
    t.useFile(firmware(3));
    t.form().cbFinalization.checked = finalize;
    t.form().cbDopInitCmd.checked = initLines;
    t.form().DopCmdMemo = {QStringLiteral("  SILENCETIME 300\t"), QStringLiteral(" "),
                           QStringLiteral("MODE 2")};
    t.interpreter.reprogramAnswer = reprogram;
    t.interpreter.versionAnswer = version;
    t.runFromStart();
    const qsizetype zero = t.indexOf("PAGEWRITE 00000000");
    QVERIFY(zero > 0);
    QCOMPARE(t.interpreter.commands.mid(zero + 1), tail);
    QCOMPARE(endingOf(t.procedure().verdict()), outcome);
    QCOMPARE(t.state().AnswerTimeoutMs, timeout);
    QCOMPARE(t.procedure().information(), information);
    const bool informed = !information.isEmpty();
    QCOMPARE(t.dialogs.calls.constLast().kind == QStringLiteral("information"), informed);
    if (status.isEmpty()) {
        QVERIFY(t.status(3).startsWith(QStringLiteral("Операция выполнена за ")));
    } else {
        QCOMPARE(t.status(3), status);
    }
}

void StorageLoadTest::progressTextsAndPositionLine() {
    Store t;
    t.useFile(firmware(6));
    t.form().mnuDebug.checked = true;
    t.runFromStart();
    const QByteArray text = joined(t.lines);
    const int end = 70 * ScriptedInterpreter::kPageSize + 10 + int(text.size());
    const QString position = QStringLiteral("Прошивка Num:%1 Addr:%2 Str:%3 CRC:%4")
                                 .arg(end / ScriptedInterpreter::kPageSize)
                                 .arg(end % ScriptedInterpreter::kPageSize)
                                 .arg(t.lines.size())
                                 .arg(QString::number(Crc16::compute(text), 16)
                                          .rightJustified(4, QLatin1Char('0'))
                                          .toUpper());
    QCOMPARE(t.loader.output.firmwareGroupCaption(), position);
    QVERIFY(t.loader.terminal.lines.contains(Cp1251::encode(position)));
    const qint64 size = text.size() + 2 * t.lines.size();
    QCOMPARE(t.status(0), QStringLiteral("%1:%2").arg(size).arg(size));
    const QString sep = QLocale::system().decimalPoint();
    const QString firstShort =
        QStringLiteral("Загружено %1 % байт %2 строк 1")
            .arg(QString::number(double(t.lines[0].size() + 2) / double(size) * 100, 'f', 2)
                     .replace(QLatin1Char('.'), sep))
            .arg(t.lines[0].size());
    QVERIFY2(t.statuses.contains(firstShort), qPrintable(t.statuses.join(QLatin1Char('\n'))));
    // From the third confirmation on, the remaining time is shown.
    bool remaining = false;
    for (const QString& s : t.statuses) {
        remaining = remaining || (s.startsWith(QStringLiteral("Загружено 100")) &&
                                  s.contains(QStringLiteral(" Осталось: ")));
    }
    QVERIFY(remaining);
}

QTEST_GUILESS_MAIN(StorageLoadTest)
#include "tst_storage_load.moc"
