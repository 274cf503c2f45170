// The simulated controller without sockets: the bootloader dialogue, the command interpreter,
// the storage memory and the check of a stored firmware.
#include "Controller.h"
#include "Device.h"
#include "FirmwareArea.h"
#include "RecordLine.h"
#include "SRecordText.h"

#include <QTest>

using devsim::Controller;

namespace {

using TestRecords::srec;

devsim::ControllerOptions plainOptions() {
    devsim::ControllerOptions options;
    options.unitType = "ABC5";
    options.version = "3.21";
    options.pages = 128;
    return options;
}

} // namespace

class DevsimControllerTest : public QObject {
    Q_OBJECT
private slots:
    void recordLinesAreCheckedByFormAndChecksum_data();
    void recordLinesAreCheckedByFormAndChecksum();
    void bannerCarriesUnitAndBiosLines();
    void bootloaderProgramsTheRecordsIntoTheImage();
    void badRecordsGetAnAnswerWithoutAnyAcknowledgeToken_data();
    void badRecordsGetAnAnswerWithoutAnyAcknowledgeToken();
    void recordsBeforeStartCommandAreRefused();
    void countRecordIsCheckedAgainstTheDataRecords();
    void firstCommandOtherThanIStartsTheInterpreter();
    void interpreterAnswers_data();
    void interpreterAnswers();
    void passwordIsAskedForWhenConfigured();
    void pageWritesAdvanceAcrossPageEndsAndCountLines();
    void hexModeWritesAndReadsTwoDigitsPerByte();
    void writePastTheEndOfStorageStoresNothing();
    void reprogramChecksLengthAndCrcOfTheStoredText_data();
    void reprogramChecksLengthAndCrcOfTheStoredText();
    void restartForgetsTheSessionButKeepsTheStorage();
};

void DevsimControllerTest::recordLinesAreCheckedByFormAndChecksum_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("error");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<QByteArray>("data");
    using E = devsim::RecordError;
    QTest::newRow("S1") << QByteArray("S10500001234B4") << int(E::None) << 0u
                        << QByteArray::fromHex("1234");
    QTest::newRow("S1 lower-case hex")
        << QByteArray("S1050000abcd82") << int(E::None) << 0u << QByteArray::fromHex("abcd");
    QTest::newRow("S2") << srec(2, 0x123456, 3, "\x01\x02") << int(E::None) << 0x123456u
                        << QByteArray("\x01\x02");
    QTest::newRow("S3") << srec(3, 0x80001000, 4, "AB") << int(E::None) << 0x80001000u
                        << QByteArray("AB");
    QTest::newRow("S0 header") << QByteArray("S00600004844521B") << int(E::None) << 0u
                               << QByteArray("HDR");
    QTest::newRow("S9 without data")
        << QByteArray("S9030000FC") << int(E::None) << 0u << QByteArray();
    QTest::newRow("checksum off by one")
        << QByteArray("S10500001234B5") << int(E::Checksum) << 0u << QByteArray();
    QTest::newRow("count too big")
        << QByteArray("S10600001234B3") << int(E::Length) << 0u << QByteArray();
    QTest::newRow("odd digits") << QByteArray("S10500001234B") << int(E::Form) << 0u
                                << QByteArray();
    QTest::newRow("not hex") << QByteArray("S1050000123GB4") << int(E::Form) << 0u << QByteArray();
    QTest::newRow("S4 does not exist")
        << QByteArray("S4030000FC") << int(E::Type) << 0u << QByteArray();
    QTest::newRow("no S") << QByteArray("X10500001234B4") << int(E::Form) << 0u << QByteArray();
    QTest::newRow("trailing blank")
        << QByteArray("S10500001234B4 ") << int(E::Form) << 0u << QByteArray();
    QTest::newRow("address cut short")
        << QByteArray("S302010000FC") << int(E::Length) << 0u << QByteArray();
}

void DevsimControllerTest::recordLinesAreCheckedByFormAndChecksum() {
    QFETCH(QByteArray, line);
    QFETCH(int, error);
    QFETCH(quint32, address);
    QFETCH(QByteArray, data);
    const devsim::RecordResult result = devsim::parseRecordLine(line);
    QCOMPARE(int(result.error), error);
    QCOMPARE(result.record.has_value(), error == int(devsim::RecordError::None));
    if (result.record) {
        QCOMPARE(result.record->address, address);
        QCOMPARE(result.record->data, data);
    }
}

void DevsimControllerTest::bannerCarriesUnitAndBiosLines() {
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    QVERIFY(controller.banner().contains("UNIT:ABC5 3.21\r\n"));
    QVERIFY(controller.banner().contains("\r\nBIOS:"));
    QCOMPARE(controller.mode(), Controller::Mode::Restarting);
}

void DevsimControllerTest::bootloaderProgramsTheRecordsIntoTheImage() {
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    QVERIFY(controller.handle("i").text.contains("BIOS>"));
    QCOMPARE(controller.mode(), Controller::Mode::Bootloader);
    QVERIFY(!controller.handle("f").text.isEmpty());
    const QList<QByteArray> lines{"S00600004844521B", srec(3, 0x1000, 4, "\x11\x22\x33"),
                                  srec(3, 0x1003, 4, "\x44"), srec(2, 0x20000, 3, "\x55"),
                                  srec(1, 0x0010, 2, "\x66\x77")};
    for (const QByteArray& line : lines) {
        const QByteArray answer = controller.handle(line).text;
        QVERIFY2(answer == "w" || answer == "@", answer.constData());
    }
    const devsim::Reply end = controller.handle("S70500001000EA");
    QVERIFY(end.text.contains("OK"));
    QVERIFY(end.restart);
    QCOMPARE(controller.mode(), Controller::Mode::Restarting);
    QCOMPARE(device.flash.toText(), QByteArray("00000010 6677\n"
                                               "00001000 11223344\n"
                                               "00020000 55\n"));
}

void DevsimControllerTest::badRecordsGetAnAnswerWithoutAnyAcknowledgeToken_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("bad checksum") << QByteArray("S10500001234B5");
    QTest::newRow("bad end record") << QByteArray("S70500001000EB");
    QTest::newRow("garbage") << QByteArray("S#!");
    QTest::newRow("S4") << QByteArray("S4030000FC");
}

void DevsimControllerTest::badRecordsGetAnAnswerWithoutAnyAcknowledgeToken() {
    QFETCH(QByteArray, line);
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    controller.handle("i");
    controller.handle("f");
    const QByteArray answer = controller.handle(line).text;
    QVERIFY(!answer.isEmpty());
    for (const char* token : {"w", "@", ".N", ".SE", "O"}) {
        QVERIFY2(!answer.contains(token), answer.constData());
    }
    QCOMPARE(controller.mode(), Controller::Mode::Programming);
    QVERIFY(device.flash.isEmpty());
}

void DevsimControllerTest::recordsBeforeStartCommandAreRefused() {
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    controller.handle("i");
    const QByteArray answer = controller.handle("S10500001234B4").text;
    QVERIFY(!answer.contains('w') && !answer.contains('O'));
    QVERIFY(device.flash.isEmpty());
}

void DevsimControllerTest::countRecordIsCheckedAgainstTheDataRecords() {
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    controller.handle("i");
    controller.handle("f");
    controller.handle(srec(1, 0, 2, "A"));
    controller.handle(srec(1, 1, 2, "B"));
    controller.handle(srec(1, 1, 2, "B")); // sent again: its answer was lost
    QVERIFY(!controller.handle(srec(5, 3, 2, {})).text.contains('O'));
    QVERIFY(controller.handle(srec(5, 2, 2, {})).text.contains('O'));
}

void DevsimControllerTest::firstCommandOtherThanIStartsTheInterpreter() {
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    QVERIFY(controller.handle("VER").text.contains("3.21"));
    QCOMPARE(controller.mode(), Controller::Mode::Interpreter);
    QVERIFY(!controller.handle("i").text.contains("BIOS>"));
    QVERIFY(!controller.handle("f").text.isEmpty());
}

void DevsimControllerTest::interpreterAnswers_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("absent");
    QTest::newRow("password open")
        << QByteArray("PASSWORD") << QByteArray("granted") << QByteArray("denied");
    QTest::newRow("modem") << QByteArray("MODEM_CON TRUE") << QByteArray("TRUE")
                           << QByteArray("ERR");
    QTest::newRow("debug") << QByteArray("DEBUG 0") << QByteArray("0") << QByteArray("ERR");
    QTest::newRow("counter") << QByteArray("WRITECOUNTER 20") << QByteArray("20")
                             << QByteArray("ERR");
    QTest::newRow("text mode") << QByteArray("PAGEHEXMODE FALSE") << QByteArray("FALSE")
                               << QByteArray("ERR");
    QTest::newRow("hex mode") << QByteArray("PAGEHEXMODE TRUE") << QByteArray("TRUE")
                              << QByteArray("ERR");
    QTest::newRow("page") << QByteArray("PAGENUM 70") << QByteArray("70") << QByteArray("ERR");
    QTest::newRow("address") << QByteArray("PAGEADDR 525") << QByteArray("525")
                             << QByteArray("ERR");
    QTest::newRow("count") << QByteArray("PAGECOUNT 250") << QByteArray("250") << QByteArray("ERR");
    QTest::newRow("version") << QByteArray("VER") << QByteArray("3.") << QByteArray("ERR");
    QTest::newRow("init memo line")
        << QByteArray("SILENCETIME 300") << QByteArray("300") << QByteArray("ERR");
    QTest::newRow("page beyond storage")
        << QByteArray("PAGENUM 128") << QByteArray("ERR") << QByteArray("128");
    QTest::newRow("address beyond page")
        << QByteArray("PAGEADDR 528") << QByteArray("ERR") << QByteArray("528");
    QTest::newRow("negative counter")
        << QByteArray("WRITECOUNTER -1") << QByteArray("ERR") << QByteArray("=");
    QTest::newRow("mode word unknown")
        << QByteArray("PAGEHEXMODE YES") << QByteArray("ERR") << QByteArray("YES");
    QTest::newRow("unknown") << QByteArray("FORMAT C") << QByteArray("ERR") << QByteArray("OK");
    QTest::newRow("lower case keyword")
        << QByteArray("ver") << QByteArray("ERR") << QByteArray("3.");
    QTest::newRow("reprogram without W")
        << QByteArray("REPROGRAMM") << QByteArray("ERR") << QByteArray("GOOD");
    QTest::newRow("empty page write")
        << QByteArray("PAGEWRITE ") << QByteArray("ERR") << QByteArray("OK");
}

void DevsimControllerTest::interpreterAnswers() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, absent);
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    const QByteArray answer = controller.handle(command).text;
    QVERIFY2(answer.contains(expected), answer.constData());
    QVERIFY2(!answer.contains(absent), answer.constData());
    QVERIFY(answer.endsWith("\r\n"));
}

void DevsimControllerTest::passwordIsAskedForWhenConfigured() {
    devsim::ControllerOptions options = plainOptions();
    options.password = "TOVRIL";
    devsim::Device device(options, {});
    Controller controller(device, nullptr);
    QVERIFY(controller.handle("PASSWORD").text.contains("denied"));
    QVERIFY(controller.handle("PAGEWRITE abc").text.contains("ERR"));
    QVERIFY(controller.handle("PASSWORD tovril").text.contains("denied"));
    QVERIFY(controller.handle("PASSWORD TOVRIL").text.contains("granted"));
    QVERIFY(controller.handle("PAGEWRITE abc").text.contains("OK"));
    QVERIFY(controller.handle("PASSWORD").text.contains("denied"));
}

void DevsimControllerTest::pageWritesAdvanceAcrossPageEndsAndCountLines() {
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    controller.handle("WRITECOUNTER 20");
    controller.handle("PAGENUM 70");
    controller.handle("PAGEADDR 520");
    QCOMPARE(controller.handle("PAGEWRITE S1234567").text,
             QByteArray("OK STR:21 NUM:71 ADDR:0\r\n"));
    const devsim::Reply second = controller.handle("PAGEWRITE AB");
    QVERIFY(second.pageWrite);
    QCOMPARE(second.text, QByteArray("OK STR:22 NUM:71 ADDR:2\r\n"));
    QCOMPARE(device.storage.read(70 * 528 + 520, 10), QByteArray("S1234567AB"));
    controller.handle("PAGENUM 70");
    controller.handle("PAGEADDR 524");
    controller.handle("PAGECOUNT 5");
    QCOMPARE(controller.handle("PAGEREAD").text, QByteArray("4567A\r\n"));
    QCOMPARE(controller.handle("PAGEREAD").text, QByteArray("B\xFF\xFF\xFF\xFF\r\n", 7));
}

void DevsimControllerTest::hexModeWritesAndReadsTwoDigitsPerByte() {
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    controller.handle("PAGENUM 70");
    controller.handle("PAGEADDR 0");
    controller.handle("PAGEHEXMODE TRUE");
    QVERIFY(controller.handle("PAGEWRITE 2C0100002B1A").text.contains("ADDR:6"));
    QVERIFY(controller.handle("PAGEWRITE 0A0b").text.contains("ADDR:8"));
    QVERIFY(controller.handle("PAGEWRITE ABC").text.startsWith("ERR"));
    QVERIFY(controller.handle("PAGEWRITE 0G").text.startsWith("ERR"));
    QCOMPARE(device.storage.read(70 * 528, 9), QByteArray::fromHex("2C0100002B1A0A0BFF"));
    controller.handle("PAGEADDR 0");
    controller.handle("PAGECOUNT 6");
    QCOMPARE(controller.handle("PAGEREAD").text, QByteArray("2C0100002B1A\r\n"));
}

void DevsimControllerTest::writePastTheEndOfStorageStoresNothing() {
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    controller.handle("PAGENUM 127");
    controller.handle("PAGEADDR 526");
    const devsim::Reply reply = controller.handle("PAGEWRITE XYZ");
    QVERIFY(reply.text.startsWith("ERR"));
    QVERIFY(!reply.pageWrite);
    QCOMPARE(device.storage.read(127 * 528 + 526, 2), QByteArray("\xFF\xFF"));
    QVERIFY(controller.handle("PAGEWRITE XY").text.contains("STR:1"));
}

void DevsimControllerTest::reprogramChecksLengthAndCrcOfTheStoredText_data() {
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<QByteArray>("expected");
    // The text written (S00600004844521BS10500001234B4) is 30 characters long; its CRC-16/MODBUS,
    // computed independently, is 0x2D45.
    QTest::newRow("good") << QByteArray("1E000000452D") << QByteArray("GOOD");
    QTest::newRow("crc wrong") << QByteArray("1E000000452E") << QByteArray("BAD");
    QTest::newRow("length short") << QByteArray("1D000000452D") << QByteArray("BAD");
    QTest::newRow("length zero") << QByteArray("000000000000") << QByteArray("BAD");
    QTest::newRow("length beyond storage") << QByteArray("FFFFFF7F452D") << QByteArray("BAD");
}

void DevsimControllerTest::reprogramChecksLengthAndCrcOfTheStoredText() {
    QFETCH(QByteArray, descriptor);
    QFETCH(QByteArray, expected);
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    for (const QByteArray& command :
         {QByteArray("PAGENUM 70"), QByteArray("PAGEADDR 10"),
          QByteArray("PAGEWRITE S00600004844521B"), QByteArray("PAGEWRITE S10500001234B4"),
          QByteArray("PAGEADDR 0"), QByteArray("PAGEHEXMODE TRUE"), "PAGEWRITE " + descriptor,
          QByteArray("PAGEWRITE 00000000")}) {
        QVERIFY(!controller.handle(command).text.startsWith("ERR"));
    }
    const QByteArray answer = controller.handle("REPROGRAMM W").text;
    QVERIFY2(answer.contains(expected), answer.constData());
    QCOMPARE(answer.contains("GOOD"), expected == "GOOD");
    QCOMPARE(device.flash.toText(), expected == "GOOD" ? QByteArray("00000000 1234\n") : "");
}

void DevsimControllerTest::restartForgetsTheSessionButKeepsTheStorage() {
    devsim::Device device(plainOptions(), {});
    Controller controller(device, nullptr);
    controller.handle("PAGEHEXMODE TRUE");
    controller.handle("PAGENUM 80");
    controller.handle("PAGEWRITE 41");
    const devsim::Reply reset = controller.handle("RESET");
    QVERIFY(reset.restart);
    QCOMPARE(controller.mode(), Controller::Mode::Restarting);
    QVERIFY(controller.handle("PAGEHEXMODE").text.contains("FALSE"));
    QVERIFY(controller.handle("PAGEWRITE B").text.contains("STR:1 NUM:0 ADDR:1"));
    QCOMPARE(device.storage.read(80 * 528, 1), QByteArray("A"));
}

QTEST_GUILESS_MAIN(DevsimControllerTest)
#include "tst_devsim_controller.moc"
