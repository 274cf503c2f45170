// Reading firmware files into lines, the record check with its status texts and header
// gathering, and the file choice. Record lines are written out by hand, not built by the code.
#include "TestLoader.h"
#include "app/FileChoice.h"
#include "app/HeaderEditing.h"
#include "core/LoaderError.h"
#include "firmware/FirmwareCheckPresenter.h"
#include "firmware/FirmwareImage.h"
#include "firmware/HexPair.h"

#include <QFile>
#include <QTest>

namespace {

const QString kChecking = QStringLiteral("Проверка целостности файла...");
const QString kSound = QStringLiteral("Файл в порядке");
const QString kDamaged = QStringLiteral("Файл поврежден...");
const QString kBadLine = QStringLiteral("Неверный заголовок строки:");
const QString kBadSum = QStringLiteral("Не совпадает контрольная сумма строки:");

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class FirmwareCheckTest : public QObject {
    Q_OBJECT
private slots:
    void linesFollowTheBreakRules_data();
    void linesFollowTheBreakRules();
    void hexPairsUseTheReaderArithmetic_data();
    void hexPairsUseTheReaderArithmetic();
    void checkVerdicts_data();
    void checkVerdicts();
    void loadingAMissingFileNamesItAndTheReason();
    void openFromButton_data();
    void openFromButton();
    void startUpReloadKeepsTheNameThatFailedToOpen();
};

void FirmwareCheckTest::linesFollowTheBreakRules_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("nulLine");
    using L = QList<QByteArray>;
    QTest::newRow("empty") << QByteArray() << L{} << -1;
    QTest::newRow("no final break") << QByteArray("A\r\nB") << L{"A", "B"} << -1;
    QTest::newRow("final break adds no line") << QByteArray("A\r\nB\r\n") << L{"A", "B"} << -1;
    QTest::newRow("extra blank line") << QByteArray("A\r\n\r\n") << L{"A", ""} << -1;
    QTest::newRow("lone break") << QByteArray("\r\n") << L{""} << -1;
    QTest::newRow("LF and CR alone") << QByteArray("A\nB\rC") << L{"A", "B", "C"} << -1;
    QTest::newRow("CR before CR LF") << QByteArray("A\r\r\nB") << L{"A", "", "B"} << -1;
    QTest::newRow("LF CR is two breaks") << QByteArray("A\n\rB") << L{"A", "", "B"} << -1;
    QTest::newRow("8-bit bytes kept") << QByteArray("\xC0\xFF\r\n") << L{"\xC0\xFF"} << -1;
    QTest::newRow("record digits upper case, the rest kept")
        << QByteArray("S1050000aabb95 ab\r\nab\r\nSxab") << L{"S1050000AABB95 ab", "ab", "Sxab"}
        << -1;
    // A NUL ends the text in the line it stands in; the image is never saved.
    QTest::newRow("NUL inside a line") << QByteArray("A\r\nB\0C\r\nD", 10) << L{"A", "B"} << 1;
    QTest::newRow("NUL begins a line") << QByteArray("A\r\n\0C\r\nD", 9) << L{"A"} << 1;
    QTest::newRow("NUL after a lone CR") << QByteArray("A\r\0", 3) << L{"A"} << 1;
    QTest::newRow("NUL first") << QByteArray("\0A", 2) << L{} << 0;
}

void FirmwareCheckTest::linesFollowTheBreakRules() {
    QFETCH(QByteArray, text);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, nulLine);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.s28"));
    writeFile(path, text);
    const FirmwareImage image = FirmwareImage::load(path);
    QCOMPARE(image.lines(), lines);
    QCOMPARE(image.nulLine(), qsizetype(nulLine));
    if (nulLine >= 0) {
        QVERIFY_THROWS_EXCEPTION(LoaderError, image.save(path));
        QFile kept(path);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), text);
        return;
    }
    // Saving ends every line with CR LF and reads back as the same lines.
    image.save(path);
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QByteArray expected;
    for (const QByteArray& line : lines) {
        expected += line + "\r\n";
    }
    QCOMPARE(saved.readAll(), expected);
}

void FirmwareCheckTest::hexPairsUseTheReaderArithmetic_data() {
    QTest::addColumn<QByteArray>("pair");
    QTest::addColumn<int>("value");
    QTest::newRow("00") << QByteArray("00") << 0x00;
    QTest::newRow("9A") << QByteArray("9A") << 0x9A;
    QTest::newRow("FF") << QByteArray("FF") << 0xFF;
    // Lower-case digits count their values, alone and beside capitals.
    QTest::newRow("ff") << QByteArray("ff") << 0xFF;
    QTest::newRow("a0") << QByteArray("a0") << 0xA0;
    QTest::newRow("bE") << QByteArray("bE") << 0xBE;
    // Just past "f" is no digit: 'g' counts 0x67 - 0x41 + 10 = 48, so "g0" wraps to 0.
    QTest::newRow("g0") << QByteArray("g0") << 0x00;
    // 'G' counts 16, so "G0" is 256, which wraps to 0; a blank counts -16.
    QTest::newRow("G0") << QByteArray("G0") << 0x00;
    QTest::newRow("blank 1") << QByteArray(" 1") << 0x01;
    QTest::newRow("8-bit") << QByteArray("\xFF"
                                         "0")
                           << 0x80;
}

void FirmwareCheckTest::hexPairsUseTheReaderArithmetic() {
    QFETCH(QByteArray, pair);
    QFETCH(int, value);
    QCOMPARE(int(HexPairValue(pair.at(0), pair.at(1))), value);
}

void FirmwareCheckTest::checkVerdicts_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("sound");
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("headerIndex");
    const QByteArray s3 = "S3090000100011111111A2\r\n";
    const QByteArray s7 = "S70500000000FA\r\n";
    const QString abc = QStringLiteral("ABC");

    QTest::newRow("empty file") << QByteArray() << false << QStringList{} << QString() << -1;
    QTest::newRow("standard S0") << QByteArray("S006000041424333\r\n") + s3 + s7 << true
                                 << QStringList{kChecking, kSound} << abc << 0;
    QTest::newRow("S0 without address") << QByteArray("S00441424335\r\n") + s3 + s7 << true
                                        << QStringList{kChecking, kSound} << abc << 0;
    QTest::newRow("no header") << s3 + s7 << true << QStringList{kChecking, kSound} << QString()
                               << -1;
    QTest::newRow("characters after the checksum")
        << QByteArray("S00441424335 comment\r\n") + s3 + "S70500000000FA  \r\n"
        << true << QStringList{kChecking, kSound} << abc << 0;
    QTest::newRow("two S0 joined")
        << s3 + "S00441424335\r\nS0044445462C\r\n" + s7 << true << QStringList{kChecking, kSound}
        << QStringLiteral("ABCDEF") << 1;
    QTest::newRow("control bytes and Cyrillic")
        << QByteArray("S00500C04109F0\r\n") << true << QStringList{kChecking, kSound}
        << QStringLiteral("АA") << 0;
    QTest::newRow("checksum error in line 0 keeps its message and the header")
        << QByteArray("S00441424336\r\n") + s3 << false
        << QStringList{kChecking, kBadSum + QStringLiteral("0")} << abc << 0;
    QTest::newRow("lower-case hex is read as its values")
        << QByteArray("S00441424335\r\n") + "S3090000100011111111a2\r\nS70500000000fa\r\n"
        << true << QStringList{kChecking, kSound} << abc << 0;
    QTest::newRow("lower-case header text")
        << QByteArray("S0060000616263d3\r\n") + s7 << true << QStringList{kChecking, kSound}
        << QStringLiteral("abc") << 0;
    QTest::newRow("lower-case digit with a wrong checksum")
        << s3 + "S70500000000fb\r\n"
        << false << QStringList{kChecking, kBadSum + QStringLiteral("1")} << QString() << -1;
    QTest::newRow("extra blank line")
        << QByteArray("S00441424335\r\n") + s3 + s7 + "\r\n"
        << false << QStringList{kChecking, kBadLine + "3", kDamaged} << QString() << -1;
    QTest::newRow("five characters")
        << QByteArray("S0030\r\n") << false << QStringList{kChecking, kBadLine + "0", kDamaged}
        << QString() << -1;
    QTest::newRow("type not a digit")
        << s3 + "SX0500000000FA\r\n"
        << false << QStringList{kChecking, kBadLine + "1", kDamaged} << QString() << -1;
    QTest::newRow("no S") << QByteArray("X00441424335\r\n") << false
                          << QStringList{kChecking, kBadLine + "0", kDamaged} << QString() << -1;
    // A count that runs past the end of the line is a bad line, and nothing past it is read.
    QTest::newRow("short line against its count")
        << QByteArray("S00441424335\r\nS1FF0000\r\n") + s7 << false
        << QStringList{kChecking, kBadLine + "1", kDamaged} << QString() << -1;
    QTest::newRow("one pair short")
        << QByteArray("S005414243\r\n") << false << QStringList{kChecking, kBadLine + "0", kDamaged}
        << QString() << -1;
    QTest::newRow("count zero") << QByteArray("S100FFFF\r\n") << false
                                << QStringList{kChecking, kBadSum + "0"} << QString() << -1;
    // A NUL refuses the file at its line, whatever the part before it looks like.
    const QString nul = QStringLiteral("Нулевой байт в строке:");
    QTest::newRow("NUL after sound records")
        << QByteArray("S00441424335\r\n") + s3 + QByteArray("\0", 1) + s7 << false
        << QStringList{kChecking, nul + "2", kDamaged} << QString() << -1;
    QTest::newRow("NUL after the checksum pair")
        << s3 + QByteArray("S70500000000FA\0", 15) + s7 << false
        << QStringList{kChecking, nul + "1", kDamaged} << QString() << -1;
    QTest::newRow("NUL inside a record")
        << s3 + QByteArray("S7050000\0", 9) << false << QStringList{kChecking, nul + "1", kDamaged}
        << QString() << -1;
    QTest::newRow("NUL first") << QByteArray("\0", 1) + s7 << false
                               << QStringList{kChecking, nul + "0", kDamaged} << QString() << -1;
    QTest::newRow("bad line before the NUL")
        << QByteArray("X\r\n\0", 4) << false << QStringList{kChecking, kBadLine + "0", kDamaged}
        << QString() << -1;
}

void FirmwareCheckTest::checkVerdicts() {
    QFETCH(QByteArray, text);
    QFETCH(bool, sound);
    QFETCH(QStringList, statuses);
    QFETCH(QString, header);
    QFETCH(int, headerIndex);
    TestLoader t;
    t.loader.setStatus(3, QStringLiteral("before"));
    t.form().edtUnitSign.text = QStringLiteral("old header");
    t.form().edtUnitSign.tag = 5;
    QStringList seen;
    t.loader.onStatus = [&](int panel, const QString& s) {
        if (panel == 3) {
            seen.append(s);
        }
    };
    const FirmwareImage image = FirmwareImage::fromText(text);
    // The verdict alone, without a form, says what the form is to show.
    const FirmwareVerdict verdict = CheckFirmwareLines(image);
    QCOMPARE(verdict.sound(), sound);
    QCOMPARE(verdict.statusTexts(), statuses);
    QCOMPARE(verdict.keptHeader(), header);
    QCOMPARE(verdict.keptHeaderLine(), qsizetype(headerIndex));
    QCOMPARE(verdict.badLine < 0, sound || text.isEmpty());

    QCOMPARE(CheckFirmwareOnForm(t.loader, image), sound);
    QCOMPARE(seen, statuses);
    QCOMPARE(t.status(3), statuses.isEmpty() ? QStringLiteral("before") : statuses.last());
    QCOMPARE(t.form().edtUnitSign.text, header);
    QCOMPARE(t.form().edtUnitSign.tag, headerIndex);
    // A refusal holds its message for 700 ms; a pass or an empty file takes no time.
    QCOMPARE(t.runtime.elapsed(), std::uint64_t(sound || text.isEmpty() ? 0 : 700));
}

void FirmwareCheckTest::loadingAMissingFileNamesItAndTheReason() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing.s28"));
    try {
        FirmwareImage::load(path);
        QFAIL("no error raised");
    } catch (const LoaderError& e) {
        QVERIFY2(e.text().contains(path), qPrintable(e.text()));
        QVERIFY2(e.text().contains(QStringLiteral("No such file")), qPrintable(e.text()));
    }
    QVERIFY_THROWS_EXCEPTION(LoaderError, FirmwareImage::load(QString()));
    QVERIFY_THROWS_EXCEPTION(LoaderError, FirmwareImage::load(dir.path()));
}

void FirmwareCheckTest::openFromButton_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("sound file") << QByteArray("S00441424335\r\nS70500000000FA\r\n") << false
                                << true;
    QTest::newRow("refused file") << QByteArray("S00441424336\r\n") << false << false;
    QTest::newRow("cancelled") << QByteArray() << true << false;
}

void FirmwareCheckTest::openFromButton() {
    QFETCH(QByteArray, text);
    QFETCH(bool, cancel);
    QFETCH(bool, accepted);
    TestLoader t;
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("old.s28"));
    const QString path = dir.filePath(QStringLiteral("new.s28"));
    writeFile(old, "S00441424335\r\n");
    writeFile(path, text);
    setEdName(t.form(), old);
    t.state().FirmwareFilePath = old;
    QVERIFY(t.form().btnHeaderEdit.enabled);
    t.dialogs.queueFile(cancel ? std::nullopt : std::optional<QString>(path));

    btnOpenClick(t.form(), t.loader, true);

    QCOMPARE(t.dialogs.calls.size(), 1);
    QCOMPARE(t.dialogs.calls[0].text,
             QStringLiteral("Motorola Records S28|*.s28|Motorola Records S37|*.s37"));
    const QString expected = cancel ? old : accepted ? path : QString();
    QCOMPARE(t.form().edName.text, expected);
    QCOMPARE(t.state().FirmwareFilePath, expected);
    QCOMPARE(t.form().btnHeaderEdit.enabled, !expected.isEmpty());
    QCOMPARE(t.loader.fileDialog.fileName, cancel ? QString() : expected);
}

void FirmwareCheckTest::startUpReloadKeepsTheNameThatFailedToOpen() {
    TestLoader t;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gone.s37"));
    setEdName(t.form(), path);
    QVERIFY_THROWS_EXCEPTION(LoaderError, btnOpenClick(t.form(), t.loader, false));
    QCOMPARE(t.form().edName.text, path);
    QCOMPARE(t.state().FirmwareFilePath, path);
    QVERIFY(t.dialogs.calls.isEmpty());
    // Once the file is there the same reload takes it, again without a dialog.
    writeFile(path, "S00441424335\r\n");
    btnOpenClick(t.form(), t.loader, false);
    QCOMPARE(t.form().edtUnitSign.text, QStringLiteral("ABC"));
    QCOMPARE(t.status(3), kSound);
    QVERIFY(t.dialogs.calls.isEmpty());
}

QTEST_GUILESS_MAIN(FirmwareCheckTest)
#include "tst_firmware_check.moc"
