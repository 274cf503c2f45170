// The command interpreter's shared rules: answer tests, the value after a key, the password
// exchange, the text checksum, the storage descriptor, and the piece reading of the upload.
#include "TestLoader.h"
#include "core/LoaderError.h"
#include "firmware/FirmwareImage.h"
#include "procedures/DialogQuestions.h"
#include "procedures/InterpreterAnswer.h"
#include "procedures/PasswordDialogue.h"
#include "procedures/StorageDescriptor.h"
#include "procedures/TextCrc.h"
#include "procedures/TextStream.h"
#include "procedures/WholeNumber.h"

#include <QTest>
#include <optional>

using OptionalValue = std::optional<int>;
Q_DECLARE_METATYPE(OptionalValue)

class InterpreterTest : public QObject {
    Q_OBJECT
private slots:
    void valueAfterKey_data();
    void valueAfterKey();
    void numberEchoIsFoundAnywhere();
    void textCrcIsModbus();
    void descriptorRoundTrip_data();
    void descriptorRoundTrip();
    void descriptorWithNonHexDigitsRaises();
    void wholeNumbers_data();
    void wholeNumbers();
    void passwordDialogue_data();
    void passwordDialogue();
    void piecesFollowTheLimitAndLineEnds_data();
    void piecesFollowTheLimitAndLineEnds();
};

void InterpreterTest::valueAfterKey_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<OptionalValue>("value"); // empty: absent
    QTest::addColumn<bool>("raises");
    const QByteArray full = "OK STR:17 NUM:71 ADDR:12\r\n";
    QTest::newRow("line") << full << QByteArray("STR:") << OptionalValue(17) << false;
    QTest::newRow("page") << full << QByteArray("NUM:") << OptionalValue(71) << false;
    QTest::newRow("address") << full << QByteArray("ADDR:") << OptionalValue(12) << false;
    QTest::newRow("letter after") << QByteArray("STR:17x") << QByteArray("STR:")
                                  << OptionalValue(17) << false;
    QTest::newRow("first occurrence")
        << QByteArray("STR:3 STR:4") << QByteArray("STR:") << OptionalValue(3) << false;
    QTest::newRow("absent") << QByteArray("OK NUM:1") << QByteArray("STR:") << OptionalValue()
                            << false;
    QTest::newRow("no digit") << QByteArray("OK STR: 5") << QByteArray("STR:") << OptionalValue()
                              << false;
    QTest::newRow("low 16 bits") << QByteArray("STR:65537") << QByteArray("STR:")
                                 << OptionalValue(1) << false;
    QTest::newRow("int32 max") << QByteArray("STR:2147483647") << QByteArray("STR:")
                               << OptionalValue(65535) << false;
    QTest::newRow("beyond int32") << QByteArray("STR:2147483648") << QByteArray("STR:")
                                  << OptionalValue() << true;
    QTest::newRow("only 11 digits taken")
        << QByteArray("STR:000000000019") << QByteArray("STR:") << OptionalValue(1) << false;
    QTest::newRow("case-sensitive")
        << QByteArray("str:5") << QByteArray("STR:") << OptionalValue() << false;
}

void InterpreterTest::valueAfterKey() {
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, key);
    QFETCH(OptionalValue, value);
    QFETCH(bool, raises);
    if (raises) {
        QVERIFY_THROWS_EXCEPTION(LoaderError, InterpreterAnswer::valueAfterKey(answer, key));
        return;
    }
    const auto got = InterpreterAnswer::valueAfterKey(answer, key);
    QCOMPARE(got.has_value(), value.has_value());
    if (value) {
        QCOMPARE(int(*got), *value);
    }
}

void InterpreterTest::numberEchoIsFoundAnywhere() {
    QVERIFY(InterpreterAnswer::containsNumber("PAGENUM 170\r\n", 70));
    QVERIFY(!InterpreterAnswer::containsNumber("PAGENUM 7\r\n", 70));
    QVERIFY(!InterpreterAnswer::contains(QByteArray(), ""));
    QVERIFY(!InterpreterAnswer::contains("access Granted", "granted"));
}

void InterpreterTest::textCrcIsModbus() {
    TextCrc crc;
    for (char c : QByteArray("123456789")) {
        crc.add(std::uint8_t(c));
    }
    QCOMPARE(crc.value, std::uint16_t(0x4B37));
    QCOMPARE(crc.byteCount, 9U);
}

void InterpreterTest::descriptorRoundTrip_data() {
    QTest::addColumn<uint>("length");
    QTest::addColumn<int>("crc");
    QTest::addColumn<QByteArray>("digits");
    QTest::newRow("300") << 300U << 0x1A2B << QByteArray("2C0100002B1A");
    QTest::newRow("zero") << 0U << 0xFFFF << QByteArray("00000000FFFF");
    QTest::newRow("all bytes") << 0x89ABCDEFU << 0x0102 << QByteArray("EFCDAB890201");
}

void InterpreterTest::descriptorRoundTrip() {
    QFETCH(uint, length);
    QFETCH(int, crc);
    QFETCH(QByteArray, digits);
    const StorageDescriptor d{length, std::uint16_t(crc)};
    QCOMPARE(d.encode(), digits);
    const StorageDescriptor back = StorageDescriptor::decode(digits + "\r\n");
    QCOMPARE(back.length, length);
    QCOMPARE(int(back.crc), crc);
    QCOMPARE(StorageDescriptor::decode(digits.toLower()).length, length);
}

void InterpreterTest::descriptorWithNonHexDigitsRaises() {
    QVERIFY_THROWS_EXCEPTION(LoaderError, StorageDescriptor::decode("2C01000G2B1A"));
    QVERIFY_THROWS_EXCEPTION(LoaderError, StorageDescriptor::decode("2C0100002B1 "));
    QVERIFY_THROWS_EXCEPTION(LoaderError, StorageDescriptor::decode("2C01"));
}

void InterpreterTest::wholeNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << QStringLiteral("70") << 70 << true;
    QTest::newRow("blanks") << QStringLiteral(" 42 ") << 42 << true;
    QTest::newRow("negative") << QStringLiteral("-5") << -5 << true;
    QTest::newRow("letters") << QStringLiteral("7O") << 0 << false;
    QTest::newRow("empty") << QString() << 0 << false;
    QTest::newRow("too big") << QStringLiteral("2147483648") << 0 << false;
    QTest::newRow("fraction") << QStringLiteral("1.5") << 0 << false;
}

void InterpreterTest::wholeNumbers() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QFETCH(bool, valid);
    if (valid) {
        QCOMPARE(WholeNumber::parse(text), value);
    } else {
        QVERIFY_THROWS_EXCEPTION(LoaderError, WholeNumber::parse(text));
    }
}

void InterpreterTest::passwordDialogue_data() {
    QTest::addColumn<QByteArray>("first"); // answer to "PASSWORD"; empty: silent
    QTest::addColumn<QVariant>("typed");   // null: cancelled
    QTest::addColumn<QByteArrayList>("sent");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<bool>("granted");
    QTest::newRow("open") << QByteArray("access granted") << QVariant()
                          << QByteArrayList{"PASSWORD"} << false << true << true;
    QTest::newRow("password typed")
        << QByteArray("access denied") << QVariant(QStringLiteral("s3cret"))
        << QByteArrayList{"PASSWORD", "PASSWORD s3cret"} << true << true << true;
    QTest::newRow("wrong password")
        << QByteArray("access denied") << QVariant(QStringLiteral("guess"))
        << QByteArrayList{"PASSWORD", "PASSWORD guess"} << true << true << false;
    QTest::newRow("cancelled") << QByteArray("access denied") << QVariant()
                               << QByteArrayList{"PASSWORD"} << true << true << false;
    QTest::newRow("empty entry") << QByteArray("access denied") << QVariant(QString())
                                 << QByteArrayList{"PASSWORD"} << true << true << false;
    QTest::newRow("silent") << QByteArray() << QVariant() << QByteArrayList{"PASSWORD"} << false
                            << false << false;
}

void InterpreterTest::passwordDialogue() {
    QFETCH(QByteArray, first);
    QFETCH(QVariant, typed);
    QFETCH(QByteArrayList, sent);
    QFETCH(bool, asked);
    QFETCH(bool, answered);
    QFETCH(bool, granted);
    TestLoader t;
    t.openConnection();
    t.state().OperationActive = true;
    t.state().AnswerTimeoutMs = 500;
    if (!first.isEmpty()) {
        t.device.answer("PASSWORD", first + "\r\n");
    }
    t.device.answer("PASSWORD s3cret", "access granted\r\n");
    t.device.answer("PASSWORD guess", "access denied\r\n");
    t.dialogs.queueInput(typed.isNull() ? std::nullopt : std::optional<QString>(typed.toString()));
    DialogQuestions questions(t.dialogs, t.loader.fileDialog);
    const PasswordResult result =
        t.loader.exchange.runNow(PasswordDialogue(t.loader.exchange, 1, questions));
    QCOMPARE(QByteArrayList(t.device.written), sent);
    QCOMPARE(result.firstAnswered, answered);
    QCOMPARE(result.granted, granted);
    QCOMPARE(t.dialogs.calls.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(t.dialogs.calls[0].caption, QStringLiteral("Прибор блокирован"));
        QCOMPARE(t.dialogs.calls[0].text, QStringLiteral("Пароль доступа"));
        QCOMPARE(t.dialogs.calls[0].initial, QString());
    }
}

void InterpreterTest::piecesFollowTheLimitAndLineEnds_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<int>>("pieces"); // lengths of the pieces read, in order
    QTest::newRow("200 characters") << QByteArray(200, 'A') << QList<int>{150, 50};
    QTest::newRow("148 and its line end") << QByteArray(148, 'A') << QList<int>{148};
    QTest::newRow("149: LF left behind") << QByteArray(149, 'A') << QList<int>{149, 0};
    QTest::newRow("150: CR LF left behind") << QByteArray(150, 'A') << QList<int>{150, 0};
    QTest::newRow("empty lines") << QByteArray("S1\r\n\r\nS2") << QList<int>{2, 0, 2};
}

void InterpreterTest::piecesFollowTheLimitAndLineEnds() {
    QFETCH(QByteArray, text);
    QFETCH(QList<int>, pieces);
    const FirmwareImage image = FirmwareImage::fromText(text);
    TextStream stream(image);
    QCOMPARE(stream.size(), text.size() - text.count("\r\n") * 2 + image.size() * 2);
    TextCrc crc;
    QList<int> got;
    QByteArray piece;
    QByteArray kept;
    while (!stream.atEnd()) {
        stream.readPiece(piece, crc);
        got.append(int(piece.size()));
        kept += piece;
    }
    QCOMPARE(got, pieces);
    QByteArray withoutEnds = text;
    withoutEnds.replace("\r\n", "");
    QCOMPARE(kept, withoutEnds);
    QCOMPARE(crc.byteCount, uint(withoutEnds.size()));
    QCOMPARE(crc.value, Crc16::compute(withoutEnds));
}

QTEST_GUILESS_MAIN(InterpreterTest)
#include "tst_interpreter.moc"
