// Editing the firmware header and writing it back, and the signature rule that decides whether
// a file fits a device. Expected records are written out by hand.
#include "TestLoader.h"
#include "app/FileChoice.h"
#include "app/HeaderEditing.h"
#include "core/LoaderError.h"
#include "firmware/CheckFirmwareLines.h"
#include "firmware/FirmwareImage.h"
#include "firmware/UnitSignature.h"

#include <QDir>
#include <QFile>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

const QString kEdit = QStringLiteral("Редактировать");
const QString kSave = QStringLiteral("Сохранить");

const QByteArray kS1 = "S1050000AABB95";
const QByteArray kS9 = "S9030000FC";

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Chooses the file as the user would, then edits its header to text and saves.
void chooseEditAndSave(TestLoader& t, const QString& path, const QString& text) {
    t.dialogs.queueFile(path);
    btnOpenClick(t.form(), t.loader, true);
    btnHeaderEditClick(t.form());
    QCOMPARE(t.form().btnHeaderEdit.caption, kSave);
    QVERIFY(t.form().edtUnitSign.enabled);
    t.form().edtUnitSign.text = text;
    btnHeaderEditClick(t.form());
}

} // namespace

class HeaderEditingTest : public QObject {
    Q_OBJECT
private slots:
    void savingWritesTheHeaderRecord_data();
    void savingWritesTheHeaderRecord();
    void longHeaderIsSplitAndReadsBackWhole();
    void staleHeaderIndexNeverOverwritesData();
    void fileCutByANulIsNeverSaved();
    void savingWhenTheFileHasGoneDoesNothing();
    void failedSaveLeavesTheFileUntouched();
    void signatureRule_data();
    void signatureRule();
};

void HeaderEditingTest::savingWritesTheHeaderRecord_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("headerIndex");
    QTest::addColumn<QString>("readBack");
    const QByteArray tail = kS1 + "\r\n" + kS9 + "\r\n";
    QTest::newRow("ABC over a standard S0")
        << QByteArray("S0060000585858F1\n") + kS1 + "\n" + kS9 << QStringLiteral("ABC")
        << QByteArray("S00441424335\r\n") + tail << 0 << QStringLiteral("ABC");
    QTest::newRow("file without S0 gains it as its last line")
        << tail << QStringLiteral("ABC") << tail + "S00441424335\r\n"
        << 2 << QStringLiteral("ABC");
    QTest::newRow("empty text rewrites the lines unchanged")
        << QByteArray("S00441424335\n") + kS1 + "\r" + kS9 << QString()
        << QByteArray("S00441424335\r\n") + tail << 0 << QStringLiteral("ABC");
    // The text shown was joined from both records; it is saved as one, so it reads back as
    // exactly what was saved rather than repeating the second record's text.
    QTest::newRow("two S0 records become one")
        << kS1 + "\r\nS00441424335\r\nS0044445462C\r\n" + kS9 << QStringLiteral("ABCDEF")
        << kS1 + "\r\nS00741424344454663\r\n" + kS9 + "\r\n"
        << 1 << QStringLiteral("ABCDEF");
    QTest::newRow("Cyrillic in Windows-1251")
        << kS1 + "\r\n"
        << QStringLiteral("Я z") << kS1 + "\r\nS004DF207A82\r\n"
        << 1 << QStringLiteral("Я z");
}

void HeaderEditingTest::savingWritesTheHeaderRecord() {
    QFETCH(QByteArray, before);
    QFETCH(QString, text);
    QFETCH(QByteArray, after);
    QFETCH(int, headerIndex);
    QFETCH(QString, readBack);
    TestLoader t;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.s28"));
    writeFile(path, before);
    const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(path, permissions));

    chooseEditAndSave(t, path, text);

    QCOMPARE(readFile(path), after);
    QCOMPARE(t.form().btnHeaderEdit.caption, kEdit);
    QVERIFY(!t.form().edtUnitSign.enabled);
    QCOMPARE(t.form().edtUnitSign.tag, headerIndex);
    // The reader finds the saved text where the record was put.
    const FirmwareVerdict verdict = CheckFirmwareLines(FirmwareImage::load(path));
    QVERIFY(verdict.sound());
    QCOMPARE(verdict.header, readBack);
    QCOMPARE(verdict.headerLine, qsizetype(headerIndex));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("fw.s28")});
    // Owner, group and others as before (the user bits repeat the owner bits).
    QCOMPARE(QFile::permissions(path) & 0x7077, permissions);
}

void HeaderEditingTest::longHeaderIsSplitAndReadsBackWhole() {
    TestLoader t;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.s37"));
    writeFile(path, "S00441424335\r\n" + kS1 + "\r\n" + kS9 + "\r\n");
    const QString text = QStringLiteral("UNIT:ABC5 ") + QString(290, QLatin1Char('x'));

    chooseEditAndSave(t, path, text);

    const FirmwareImage image = FirmwareImage::load(path);
    QCOMPARE(image.size(), 4);
    // 254 characters fill one record: count FF, 2 + 2 + 508 + 2 characters.
    QCOMPARE(image.line(0).size(), 514);
    QVERIFY(image.line(0).startsWith("S0FF554E49543A"));
    QVERIFY(image.line(1).startsWith("S02F78"));
    QCOMPARE(image.line(2), QByteArrayView(kS1));
    const FirmwareVerdict verdict = CheckFirmwareLines(image);
    QVERIFY(verdict.sound());
    QCOMPARE(verdict.header, text);
}

void HeaderEditingTest::staleHeaderIndexNeverOverwritesData() {
    TestLoader t;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.s28"));
    writeFile(path, "S00441424335\r\n" + kS1 + "\r\n");
    t.dialogs.queueFile(path);
    btnOpenClick(t.form(), t.loader, true);
    btnHeaderEditClick(t.form());
    // Meanwhile the file is replaced by one whose header moved and whose line 0 is data.
    writeFile(path, kS1 + "\r\nS00441424335\r\n" + kS9 + "\r\n");
    t.form().edtUnitSign.text = QStringLiteral("DEF");
    btnHeaderEditClick(t.form());
    QCOMPARE(readFile(path), kS1 + "\r\nS0044445462C\r\n" + kS9 + "\r\n");
    QCOMPARE(t.form().edtUnitSign.tag, 1);
}

void HeaderEditingTest::fileCutByANulIsNeverSaved() {
    TestLoader t;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.s28"));
    writeFile(path, "S00441424335\r\n" + kS1 + "\r\n");
    t.dialogs.queueFile(path);
    btnOpenClick(t.form(), t.loader, true);
    btnHeaderEditClick(t.form());
    // Meanwhile a NUL gets into the file: saving the lines before it would drop the rest.
    const QByteArray changed = "S00441424335\r\n" + kS1 + QByteArray("\r\n\0", 3) + kS9 + "\r\n";
    writeFile(path, changed);
    t.form().edtUnitSign.text = QStringLiteral("DEF");
    QVERIFY_THROWS_EXCEPTION(LoaderError, btnHeaderEditClick(t.form()));
    QCOMPARE(readFile(path), changed);
}

void HeaderEditingTest::savingWhenTheFileHasGoneDoesNothing() {
    TestLoader t;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.s28"));
    writeFile(path, "S00441424335\r\n");
    t.dialogs.queueFile(path);
    btnOpenClick(t.form(), t.loader, true);
    btnHeaderEditClick(t.form());
    QVERIFY(QFile::remove(path));
    t.form().edtUnitSign.text = QStringLiteral("DEF");
    btnHeaderEditClick(t.form());
    QCOMPARE(t.form().btnHeaderEdit.caption, kSave);
    QVERIFY(t.form().edtUnitSign.enabled);
    QVERIFY(!QFile::exists(path));
    QVERIFY(t.dialogs.calls.size() == 1); // the file dialog only; no message
}

void HeaderEditingTest::failedSaveLeavesTheFileUntouched() {
#ifdef Q_OS_UNIX
    // A file size limit makes the write fail part way, as a full disk would (and works for
    // root, whom folder permissions do not stop).
    TestLoader t;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.s28"));
    QByteArray original = "S00441424335\n";
    for (int i = 0; i < 200; ++i) {
        original += kS1 + "\n";
    }
    writeFile(path, original);
    t.dialogs.queueFile(path);
    btnOpenClick(t.form(), t.loader, true);
    btnHeaderEditClick(t.form());
    t.form().edtUnitSign.text = QStringLiteral("DEF");

    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1024;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
    QString error;
    try {
        btnHeaderEditClick(t.form());
    } catch (const LoaderError& e) {
        error = e.text();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY2(error.contains(path), qPrintable(error));
    QCOMPARE(readFile(path), original);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("fw.s28")});
#else
    QSKIP("needs a file size limit");
#endif
}

void HeaderEditingTest::signatureRule_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<QString>("fileWord");
    QTest::addColumn<bool>("fits");
    const QByteArray banner = "\r\nUNIT:ABC5 v2.01\r\nBIOS: 1.3\r\n";
    const QByteArray unit = "UNIT:ABC5";
    QTest::newRow("same type, description after a blank")
        << banner << QStringLiteral("UNIT:ABC5 Котёл 2") << unit << QStringLiteral("UNIT:ABC5")
        << true;
    QTest::newRow("longer type") << banner << QStringLiteral("UNIT:ABC50 x") << unit
                                 << QStringLiteral("UNIT:ABC50") << false;
    QTest::newRow("marker in lower case")
        << banner << QStringLiteral("unit:ABC5") << unit << QStringLiteral("unit:ABC5") << false;
    QTest::newRow("HDR fits any device")
        << banner << QStringLiteral("HDR test") << unit << QStringLiteral("HDR") << true;
    QTest::newRow("HDR must be the whole word")
        << banner << QStringLiteral("HDRX") << unit << QStringLiteral("HDRX") << false;
    QTest::newRow("signature not first")
        << banner << QStringLiteral("Котёл UNIT:ABC5") << unit << QStringLiteral("Котёл") << false;
    QTest::newRow("empty header") << banner << QString() << unit << QString() << false;
    QTest::newRow("tab ends the word")
        << banner << QStringLiteral("UNIT:ABC5\tx") << unit << QStringLiteral("UNIT:ABC5") << true;
    QTest::newRow("answer ends after the type")
        << QByteArray("junk UNIT:ABC5") << QStringLiteral("UNIT:ABC5") << unit
        << QStringLiteral("UNIT:ABC5") << true;
    QTest::newRow("first UNIT: counts")
        << QByteArray("UNIT:A\nUNIT:B\n") << QStringLiteral("UNIT:B") << QByteArray("UNIT:A")
        << QStringLiteral("UNIT:B") << false;
    QTest::newRow("8-bit type") << QByteArray("UNIT:\xC0\r") << QStringLiteral("UNIT:А")
                                << QByteArray("UNIT:\xC0") << QStringLiteral("UNIT:А") << true;
    QTest::newRow("no UNIT: in the answer") << QByteArray("BIOS: 1.3") << QStringLiteral("UNIT:A")
                                            << QByteArray() << QStringLiteral("UNIT:A") << false;
}

void HeaderEditingTest::signatureRule() {
    QFETCH(QByteArray, answer);
    QFETCH(QString, header);
    QFETCH(QByteArray, device);
    QFETCH(QString, fileWord);
    QFETCH(bool, fits);
    QCOMPARE(UnitSignature::DeviceSignature(answer), device);
    QCOMPARE(UnitSignature::HeaderFirstWord(header), fileWord);
    QCOMPARE(UnitSignature::Fits(fileWord, device), fits);
}

QTEST_GUILESS_MAIN(HeaderEditingTest)
#include "tst_header_editing.moc"
