// CRC-16/MODBUS, the broker frame and the Windows-1251 code page: the wire constants are written
// out here rather than taken from the code under test.
#include "connections/BrokerFrame.h"
#include "core/Cp1251.h"
#include "core/Crc16.h"

#include <QTest>

class CodecsTest : public QObject {
    Q_OBJECT
private slots:
    void crcMatchesTheCheckValues_data();
    void crcMatchesTheCheckValues();
    void verCommandForIdOneIsTheKnownFifteenBytes();
    void frameRoundTripsAndRejectsDamage_data();
    void frameRoundTripsAndRejectsDamage();
    void appendCrcOverAnEmptyRangeStoresFFFF();
    void cp1251RoundTripsEveryByte();
    void cp1251KnownLetters_data();
    void cp1251KnownLetters();
};

void CodecsTest::crcMatchesTheCheckValues_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("crc");
    QTest::newRow("check string") << QByteArray("123456789") << 0x4B37;
    QTest::newRow("empty") << QByteArray() << 0xFFFF;
    QTest::newRow("single zero") << QByteArray(1, '\0') << 0x40BF;
}

void CodecsTest::crcMatchesTheCheckValues() {
    QFETCH(QByteArray, input);
    QFETCH(int, crc);
    QCOMPARE(int(Crc16::compute(input)), crc);
    std::uint16_t bytewise = Crc16::kInitial;
    for (char c : input) {
        bytewise = Crc16::update(bytewise, std::uint8_t(c));
    }
    QCOMPARE(int(bytewise), crc);
}

void CodecsTest::verCommandForIdOneIsTheKnownFifteenBytes() {
    const QByteArray frame = BrokerFrame::encode({0x41, 1, QByteArray("VER")});
    QCOMPARE(frame, QByteArray::fromHex("014101000000030003005645 52DD17"));
}

void CodecsTest::frameRoundTripsAndRejectsDamage_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    const QByteArray good = QByteArray::fromHex("01410100000003000300564552DD17");
    QTest::newRow("intact") << good << true;
    QByteArray flipped = good;
    flipped[11] = 'X';
    QTest::newRow("payload byte changed") << flipped << false;
    QTest::newRow("truncated") << good.left(14) << false;
    QTest::newRow("extra byte") << good + '\0' << false;
    QTest::newRow("shorter than a header") << good.left(5) << false;
    QTest::newRow("empty payload") << BrokerFrame::encode({0x41, 7, QByteArray()}) << true;
}

void CodecsTest::frameRoundTripsAndRejectsDamage() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    const auto frame = BrokerFrame::decode(bytes);
    QCOMPARE(frame.has_value(), valid);
    if (frame) {
        QCOMPARE(BrokerFrame::encode(*frame), bytes);
    }
}

void CodecsTest::appendCrcOverAnEmptyRangeStoresFFFF() {
    char buffer[2] = {0, 0};
    BrokerFrame::AppendCrc16(buffer, 0);
    QCOMPARE(QByteArray(buffer, 2), QByteArray::fromHex("FFFF"));
}

void CodecsTest::cp1251RoundTripsEveryByte() {
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        all.append(char(b));
    }
    QCOMPARE(Cp1251::encode(Cp1251::decode(all)), all);
}

void CodecsTest::cp1251KnownLetters_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("cyrillic capitals") << QStringLiteral("АЯ") << QByteArray("\xC0\xDF");
    QTest::newRow("cyrillic small") << QStringLiteral("ая") << QByteArray("\xE0\xFF");
    QTest::newRow("yo") << QStringLiteral("Ёё") << QByteArray("\xA8\xB8");
    QTest::newRow("numero and dash") << QStringLiteral("№—") << QByteArray("\xB9\x97");
    QTest::newRow("outside the code page") << QStringLiteral("€✓") << QByteArray("\x88?");
}

void CodecsTest::cp1251KnownLetters() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Cp1251::encode(text), bytes);
}

QTEST_GUILESS_MAIN(CodecsTest)
#include "tst_codecs.moc"
