// Flashing in virtual time against a scripted bootloader: the banner and signature rules, the
// entry with "i", record-by-record programming with its answer tokens, deadlines and cancel.
#include "Ending.h"
#include "SRecordText.h"
#include "TestLoader.h"
#include "procedures/FlashProcedure.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <algorithm>

namespace {

using TestRecords::record;

// The ends of a flash the tests tell apart.
namespace Ended {
const Ending Success{};
const Ending Mismatch{Outcome::Refused, Cause::DeviceMismatch};
const Ending NoAnswer{Outcome::NoAnswer, Cause::None};
const Ending BadFile{Outcome::FileRefused, Cause::FileInvalid};
const Ending FileError{Outcome::FileError, Cause::None};
} // namespace Ended

QList<QByteArray> sampleLines() {
    return {
        record('0', QByteArray::fromHex("0000") + "UNIT:ABC5 test"),
        record('3', QByteArray::fromHex("00001000") + QByteArray("\x01\x02\x03\x04", 4)),
        record('3', QByteArray::fromHex("00001004") + QByteArray("\x05\x06\x07\x08", 4)),
        record('7', QByteArray::fromHex("00001000")),
    };
}

struct Flash : TestLoader {
    Flash() : procedure(loader) {
        loader.driver.setProcedure(Operation::Flash, [this](const OperationRequest& request) {
            return procedure.EnterBootloader(request);
        });
        loader.setAnswerTimeout(2000);
        loader.onStatus = [this](int panel, const QString& text) {
            if (panel == 3) {
                statuses.append(text);
            }
        };
        device.onWrite = [this](const QByteArray& text) { reply(text); };
    }

    // Writes the firmware file and selects it, with its header in the header field.
    void useFile(const QList<QByteArray>& lines, const QString& header) {
        const QString path = QDir(dataDir.path()).filePath(QStringLiteral("fw.s37"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (const QByteArray& line : lines) {
            file.write(line + "\r\n");
        }
        state().FirmwareFilePath = path;
        form().edtUnitSign.text = header;
    }

    void reply(const QByteArray& text) {
        if (text == "i") {
            device.deliver(iAnswers.isEmpty() ? QByteArray("i\r\nBIOS>") : iAnswers.takeFirst(), 5);
        } else if (text == "f") {
            device.deliver("f\r\n", 5);
        } else if (text.endsWith('\r') && !recordAnswers.isEmpty()) {
            const QByteArray answer = recordAnswers.takeFirst();
            if (!answer.isNull()) {
                device.deliver(answer, 5);
            }
        }
    }

    QList<QByteArray> records() const {
        QList<QByteArray> sent;
        for (const QByteArray& w : device.written) {
            if (w.endsWith('\r')) {
                sent.append(w.chopped(1));
            }
        }
        return sent;
    }

    bool wrote(const QByteArray& text) const { return device.written.contains(text); }

    FlashProcedure procedure;
    QStringList statuses;
    QList<QByteArray> iAnswers;
    QList<QByteArray> recordAnswers{"w", "w", "w", "OK"};
};

} // namespace

class FlashTest : public QObject {
    Q_OBJECT
private slots:
    void bannerSignatureDecidesTheEntry_data();
    void bannerSignatureDecidesTheEntry();
    void mismatchRestoresTheControlsAndJournalsAFailure();
    void deviceWithoutSignatureLineIsEnteredWithoutCheck();
    void lateBiosLineIsAwaitedBeforeEntering();
    void answerToIWithoutTokensIsJudgedAgain();
    void recordsAreSentUntilTheAnswerFinishesProgramming_data();
    void recordsAreSentUntilTheAnswerFinishesProgramming();
    void endRecordWithoutCapitalOFailsOnItsDeadline();
    void noAnswerToTheStartCommandClosesTheConnection();
    void startAnswerBehindALatePromptIsNotTakenForARecordsAnswer();
    void stopAtEveryStageIsAFailure_data();
    void stopAtEveryStageIsAFailure();
    void unusableFileLeavesTheOperationOpen_data();
    void unusableFileLeavesTheOperationOpen();
    void noBannerWaitsUntilCancelled_data();
    void noBannerWaitsUntilCancelled();
};

void FlashTest::bannerSignatureDecidesTheEntry_data() {
    QTest::addColumn<QByteArray>("banner");
    QTest::addColumn<QString>("header");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<QString>("deviceSignature");
    const QByteArray bios = "BIOS: 2.01\r\n";
    QTest::newRow("ended by blank")
        << "UNIT:ABC5 v3.1\r\n" + bios << QStringLiteral("UNIT:ABC5 main board") << true
        << QStringLiteral("UNIT:ABC5");
    QTest::newRow("ended by CR") << "UNIT:ABC5\r\n" + bios << QStringLiteral("UNIT:ABC5") << true
                                 << QStringLiteral("UNIT:ABC5");
    QTest::newRow("ended by LF") << bios + "UNIT:ABC5\n"
                                 << QStringLiteral("UNIT:ABC5 x") << true
                                 << QStringLiteral("UNIT:ABC5");
    QTest::newRow("ended by a blank at the buffer end")
        << bios + "UNIT:ABC5 " << QStringLiteral("UNIT:ABC5") << true
        << QStringLiteral("UNIT:ABC5");
    QTest::newRow("HDR fits every device") << "UNIT:XYZ9 1\r\n" + bios << QStringLiteral("HDR any")
                                           << true << QStringLiteral("UNIT:XYZ9");
    QTest::newRow("longer type") << "UNIT:ABC5 v3\r\n" + bios << QStringLiteral("UNIT:ABC50 x")
                                 << false << QStringLiteral("UNIT:ABC5");
    QTest::newRow("lower-case marker") << "UNIT:ABC5 v3\r\n" + bios << QStringLiteral("unit:ABC5 x")
                                       << false << QStringLiteral("UNIT:ABC5");
    QTest::newRow("description word first")
        << "UNIT:ABC5 v3\r\n" + bios << QStringLiteral("board UNIT:ABC5") << false
        << QStringLiteral("UNIT:ABC5");
    QTest::newRow("empty header") << "UNIT:ABC5 v3\r\n" + bios << QString() << false
                                  << QStringLiteral("UNIT:ABC5");
}

void FlashTest::bannerSignatureDecidesTheEntry() {
    QFETCH(QByteArray, banner);
    QFETCH(QString, header);
    QFETCH(bool, fits);
    QFETCH(QString, deviceSignature);
    Flash t;
    t.useFile(sampleLines(), header);
    t.device.deliver(banner, 300);
    t.press();
    QCOMPARE(t.loader.output.deviceType(), deviceSignature);
    QCOMPARE(t.wrote("i"), fits);
    if (fits) {
        QCOMPARE(t.records(), sampleLines());
        QVERIFY(t.statuses.contains(QStringLiteral("Программирование закончено успешно.")));
        QCOMPARE(endingOf(t.procedure.verdict()), Ended::Success);
        // The share done follows the records, in the status line and on the bar.
        QVERIFY(t.statuses.contains(QStringLiteral("Идет программирование устройства... 50.0 %")));
        QVERIFY(t.loader.output.progressBar().text.startsWith(QStringLiteral("100 %")));
    } else {
        QCOMPARE(t.device.written.size(), 0);
        QCOMPARE(endingOf(t.procedure.verdict()), Ended::Mismatch);
    }
}

void FlashTest::mismatchRestoresTheControlsAndJournalsAFailure() {
    Flash t;
    t.useFile(sampleLines(), QStringLiteral("UNIT:OTHER x"));
    t.device.deliver("UNIT:ABC5 v1\r\nBIOS: 1\r\n", 100);
    t.press();
    QCOMPARE(t.dialogs.calls.size(), 1);
    QCOMPARE(t.dialogs.calls[0].kind, QStringLiteral("error"));
    QCOMPARE(t.dialogs.calls[0].text,
             QStringLiteral("Несовместимость прошивки...\r\nСигнатура файла не совпадает с "
                            "переданной устройством!\r\nУстройство: UNIT:ABC5\r\nФайл: "
                            "UNIT:OTHER"));
    QVERIFY(t.statuses.contains(QStringLiteral("Несовместимость прошивки...")));
    QCOMPARE(t.status(3), QStringLiteral("Операция не выполнена - тип устройства "
                                         "UNIT:ABC5 не совпадает с сигнатурой файла "
                                         "UNIT:OTHER"));
    QVERIFY(t.form().ToolButton1.enabled && t.form().btnOpen.enabled);
    QCOMPARE(t.form().btnConnect.imageIndex, 18);
    QVERIFY(!t.device.isOpen());
}

void FlashTest::deviceWithoutSignatureLineIsEnteredWithoutCheck() {
    Flash t;
    t.useFile(sampleLines(), QString());
    t.device.deliver("BIOS: 1.0\r\n", 200);
    t.press();
    QVERIFY(t.wrote("i"));
    QVERIFY(!t.statuses.contains(QStringLiteral("Разбор сигнатуры...")));
    QCOMPARE(t.records().size(), 4);
}

void FlashTest::lateBiosLineIsAwaitedBeforeEntering() {
    Flash t;
    t.useFile(sampleLines(), QStringLiteral("UNIT:ABC5"));
    t.device.deliver("UNIT:ABC5 v1\r\n", 100);
    t.device.deliver("BIOS: 1.0\r\n", 800);
    t.press();
    QVERIFY(t.statuses.count(QStringLiteral("Сигнатура принята...")) >= 3);
    QCOMPARE(t.device.written.first(), QByteArray("i"));
    QCOMPARE(endingOf(t.procedure.verdict()), Ended::Success);
}

void FlashTest::answerToIWithoutTokensIsJudgedAgain() {
    Flash t;
    t.useFile(sampleLines(), QStringLiteral("UNIT:ABC5"));
    // "BIOS" without ">" and without a small "i": the banner is gone from the buffer, so the
    // next pass sees "BIOS" without "UNIT:" and sends "i" again.
    t.iAnswers = {"BIOS", "BIOS>"};
    t.device.deliver("UNIT:ABC5 v1\r\nBIOS: 1.0\r\n", 100);
    t.press();
    QCOMPARE(t.device.written.count("i"), 2);
    QCOMPARE(endingOf(t.procedure.verdict()), Ended::Success);
}

void FlashTest::recordsAreSentUntilTheAnswerFinishesProgramming_data() {
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QList<QByteArray>>("answers");
    QTest::addColumn<int>("recordsSent");
    QTest::addColumn<QList<QByteArray>>("replacement"); // the file's lines during the banner wait
    const QList<QByteArray> base = sampleLines();
    QTest::newRow("OK to the end record")
        << base << QList<QByteArray>{"w", "@", ".N", "OK"} << 4 << QList<QByteArray>{};
    QTest::newRow("w and OK count as taken")
        << base << QList<QByteArray>{"w", "OK w", ".SE", "OK"} << 4 << QList<QByteArray>{};
    // After the last data record an "OK" ends programming; before it, it would leave the
    // controller without the file (a failure, in the fault sweep).
    QTest::newRow("OK to the last data record ends there")
        << base << QList<QByteArray>{"w", "w", "OK", "OK"} << 3 << QList<QByteArray>{};
    QList<QByteArray> withCount = base;
    withCount.insert(3, record('5', QByteArray::fromHex("0002")));
    QTest::newRow("success at the count record")
        << withCount << QList<QByteArray>{"w", "w", "w", "O"} << 4 << QList<QByteArray>{};
    // The records programmed are those of the file whose header was checked, not what the file
    // holds by the time the controller has restarted.
    QList<QByteArray> otherDevice = base;
    otherDevice[0] = record('0', QByteArray::fromHex("0000") + "UNIT:DORN77 other");
    otherDevice[1] = record('3', QByteArray::fromHex("00002000") + QByteArray(4, '\x55'));
    QTest::newRow("the file replaced while the controller restarts")
        << base << QList<QByteArray>{"w", "w", "w", "OK"} << 4 << otherDevice;
}

void FlashTest::recordsAreSentUntilTheAnswerFinishesProgramming() {
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QList<QByteArray>, answers);
    QFETCH(int, recordsSent);
    QFETCH(QList<QByteArray>, replacement);
    Flash t;
    t.useFile(lines, QStringLiteral("UNIT:ABC5"));
    t.recordAnswers = answers;
    if (!replacement.isEmpty()) {
        t.runtime.post(50, [&] { t.useFile(replacement, QStringLiteral("UNIT:ABC5")); });
    }
    t.device.deliver("UNIT:ABC5 v1\r\nBIOS: 1.0\r\n", 100);
    t.press();
    QCOMPARE(t.records(), lines.mid(0, recordsSent));
    QCOMPARE(t.status(0), QStringLiteral("%1:%1").arg(lines.size()));
    QCOMPARE(t.loader.output.progressBar().position, int(lines.size()));
    QCOMPARE(endingOf(t.procedure.verdict()), Ended::Success);
    QVERIFY(t.status(3).startsWith(QStringLiteral("Операция выполнена за ")));
}

void FlashTest::endRecordWithoutCapitalOFailsOnItsDeadline() {
    Flash t;
    t.useFile(sampleLines(), QStringLiteral("UNIT:ABC5"));
    t.recordAnswers = {"w", "w", "w", "ok"};
    t.device.deliver("UNIT:ABC5 v1\r\nBIOS: 1.0\r\n", 100);
    // The operation stays open after the failure until the engineer cancels it.
    t.dialogs.onCall = [&](const ScriptedDialogs::Call&) {
        t.runtime.post(1000, [&] { t.binding.btnConnectClick(); });
    };
    t.press();
    QCOMPARE(t.dialogs.calls.size(), 1);
    QCOMPARE(t.dialogs.calls[0].text, QStringLiteral("Ошибка: нет ответа от устройства!"));
    QCOMPARE(t.dialogs.calls[0].caption, QStringLiteral("Ошибка"));
    QCOMPARE(endingOf(t.procedure.verdict()), Ended::NoAnswer);
    QCOMPARE(t.status(3), QStringLiteral("Операция не выполнена - нет ответа от устройства"));
}

// On a starved link the banner's last piece answers "i" (it holds an "i"), the prompt comes
// only after "f", and "f"'s own line and every record's answer each after the answer's pauses:
// programming starts once "f"'s line is whole, so it is not read as the first record's refusal.
void FlashTest::startAnswerBehindALatePromptIsNotTakenForARecordsAnswer() {
    Flash t;
    t.useFile(sampleLines(), QStringLiteral("UNIT:ABC5"));
    t.iAnswers = {", i - loader\r\n"};
    t.loader.setAnswerTimeout(10000);
    t.device.onWrite = [&](const QByteArray& text) {
        if (text == "f") {
            t.device.deliver("\r\nBIOS>", 5);
            t.device.deliver("f ready\r\n", 1500);
        } else if (text.endsWith('\r')) {
            t.device.deliver(t.recordAnswers.takeFirst(), 2500);
        } else {
            t.reply(text);
        }
    };
    t.device.deliver("UNIT:ABC5 v1\r\nBIOS: 1.0", 100);
    t.press();
    QCOMPARE(endingOf(t.procedure.verdict()), Ended::Success);
    QCOMPARE(t.records(), sampleLines());
}

void FlashTest::noAnswerToTheStartCommandClosesTheConnection() {
    Flash t;
    t.useFile(sampleLines(), QStringLiteral("UNIT:ABC5"));
    t.loader.setAnswerTimeout(500);
    t.device.onWrite = [&](const QByteArray& text) {
        if (text == "i") {
            t.device.deliver("BIOS>", 5);
        }
    };
    t.device.deliver("UNIT:ABC5 v1\r\nBIOS: 1.0\r\n", 100);
    t.press();
    // The attempt count carried over from "i" leaves one attempt for "f".
    QCOMPARE(t.device.written.count("f"), 1);
    QVERIFY(!t.device.isOpen());
    QCOMPARE(t.dialogs.calls.size(), 1);
    QCOMPARE(endingOf(t.procedure.verdict()), Ended::NoAnswer);
}

void FlashTest::stopAtEveryStageIsAFailure_data() {
    QTest::addColumn<int>("silentFrom"); // 0 banner, 1 "i", 2 "f", 3 the second record
    QTest::addColumn<bool>("dropped");   // the connection drops instead of a cancel
    QTest::addColumn<QByteArrayList>("written");
    QTest::addColumn<QString>("counter"); // status panel 0
    QTest::addColumn<int>("bar");
    const QByteArray first = sampleLines().at(0) + '\r';
    const QByteArray second = sampleLines().at(1) + '\r';
    const QString none = QStringLiteral("0:0");
    QTest::newRow("waiting for reset") << 0 << false << QByteArrayList{} << none << 0;
    QTest::newRow("bootloader entry") << 1 << false << QByteArrayList{"i"} << none << 0;
    QTest::newRow("\"f\"") << 2 << false << QByteArrayList{"i", "f"} << none << 0;
    QTest::newRow("mid-records") << 3 << false << QByteArrayList{"i", "f", first, second}
                                 << QStringLiteral("2:4") << 1;
    QTest::newRow("link lost mid-records")
        << 3 << true << QByteArrayList{"i", "f", first, second} << QStringLiteral("2:4") << 1;
}

// A flash stopped at any stage, by the user or by the connection, is a failure that says why;
// nothing more is sent, and the counter and the bar keep how far programming really got.
void FlashTest::stopAtEveryStageIsAFailure() {
    QFETCH(int, silentFrom);
    QFETCH(bool, dropped);
    QFETCH(QByteArrayList, written);
    QFETCH(QString, counter);
    QFETCH(int, bar);
    Flash t;
    t.useFile(sampleLines(), QStringLiteral("UNIT:ABC5"));
    t.recordAnswers = {"w", QByteArray()};
    t.loader.setAnswerTimeout(60000);
    t.device.onWrite = [&](const QByteArray& text) {
        const int stage = text == "i" ? 1 : text == "f" ? 2 : 3;
        if (stage < silentFrom) {
            t.reply(text);
        } else if (stage == 3 && silentFrom == 3) {
            t.reply(text); // the first record is answered, the second is not
        }
    };
    if (silentFrom > 0) {
        t.device.deliver("UNIT:ABC5 v1\r\nBIOS: 1.0\r\n", 100);
    }
    if (dropped) {
        t.device.dropConnection(2000);
    } else {
        t.runtime.post(2000, [&] { t.binding.btnConnectClick(); });
    }
    t.press();
    QCOMPARE(QByteArrayList(t.device.written), written);
    const Outcome outcome = dropped ? Outcome::LinkLost : Outcome::Cancelled;
    QCOMPARE(t.loader.driver.lastResult().outcome, outcome);
    QCOMPARE(t.status(3),
             dropped ? QStringLiteral("Операция не выполнена - связь с устройством потеряна")
                     : QStringLiteral("Операция не выполнена - отменено пользователем"));
    QCOMPARE(t.status(0), counter);
    QCOMPARE(t.loader.output.progressBar().position, bar);
    if (!dropped) {
        QVERIFY(t.runtime.elapsed() < 3000); // a cancel ends the answer wait at once
    }
}

void FlashTest::unusableFileLeavesTheOperationOpen_data() {
    QTest::addColumn<bool>("deleted"); // else a checksum error in line 2
    QTest::addColumn<Ending>("outcome");
    QTest::addColumn<QString>("status");
    QTest::newRow("refused file") << false << Ended::BadFile
                                  << QStringLiteral("Не совпадает контрольная сумма строки:2");
    // Deleted while the restart was awaited: a file error, journalled, not the device's silence.
    QTest::newRow("file deleted") << true << Ended::FileError
                                  << QStringLiteral("Операция не выполнена - ошибка файла: ");
}

void FlashTest::unusableFileLeavesTheOperationOpen() {
    QFETCH(bool, deleted);
    QFETCH(Ending, outcome);
    QFETCH(QString, status);
    Flash t;
    QList<QByteArray> lines = sampleLines();
    if (!deleted) {
        lines[2][lines[2].size() - 1] = lines[2].back() == '0' ? '1' : '0';
    }
    t.useFile(lines, QStringLiteral("UNIT:ABC5"));
    if (deleted) {
        QVERIFY(QFile::remove(t.state().FirmwareFilePath));
    }
    t.device.deliver("UNIT:ABC5 v1\r\nBIOS: 1.0\r\n", 100);
    t.press([](OperationRequest& request) { request.flash.endOnFailure = true; });
    QVERIFY2(std::any_of(t.statuses.cbegin(), t.statuses.cend(),
                         [&](const QString& s) { return s.startsWith(status); }),
             qPrintable(t.statuses.join(QLatin1Char('|'))));
    QCOMPARE(endingOf(t.procedure.verdict()), outcome);
    QCOMPARE(t.device.written, QList<QByteArray>{"i"});
    const OperationResult& result = t.loader.driver.lastResult();
    QCOMPARE(result.outcome, deleted ? Outcome::FileError : Outcome::FileRefused);
    QVERIFY(result.journalWritten);
}

void FlashTest::noBannerWaitsUntilCancelled_data() {
    QTest::addColumn<int>("resetWaitMs"); // 0: without a bound, as the window waits
    QTest::addColumn<QString>("status");
    QTest::newRow("the window: until cancelled")
        << 0 << QStringLiteral("Операция не выполнена - отменено пользователем");
    QTest::newRow("a script: bounded")
        << 120000
        << QStringLiteral("Операция не выполнена - нет ответа от устройства: контроллер не "
                          "перезапустился за 120 с; перезапустите его (питание или сброс) сразу "
                          "после запуска прошивки");
}

void FlashTest::noBannerWaitsUntilCancelled() {
    QFETCH(int, resetWaitMs);
    QFETCH(QString, status);
    Flash t;
    t.useFile(sampleLines(), QStringLiteral("UNIT:ABC5"));
    t.runtime.post(600000, [&] { t.binding.btnConnectClick(); });
    t.press([&](OperationRequest& request) { request.flash.resetWaitMs = resetWaitMs; });
    const std::uint64_t waited = resetWaitMs == 0 ? 600000 : std::uint64_t(resetWaitMs);
    QVERIFY(t.runtime.elapsed() >= waited && t.runtime.elapsed() < waited + 1000);
    QVERIFY(t.device.written.isEmpty());
    QVERIFY(t.statuses.contains(QStringLiteral("Ожидание сброса устройства... 60 с")));
    QCOMPARE(t.status(3), status);
    QVERIFY(t.form().ToolButton1.enabled);
    QCOMPARE(t.form().btnConnect.caption, QStringLiteral("Загрузить прошивку"));
}

QTEST_GUILESS_MAIN(FlashTest)
#include "tst_flash.moc"
