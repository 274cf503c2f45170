// Files the loader reads and writes. Every file it writes (a saved header, a read-back file, the
// terminal log, a sample file, the simulator's image) goes through one writer that must leave
// either the complete new file or the old one untouched, and say why when it could not write.
// Every text it reads (a firmware file, a list of commands) goes through one bounded reader.
// The data folder is the executable's only when that is a folder of the user's own, never an
// installation folder.
#include "core/DataDir.h"
#include "core/FileText.h"
#include "core/LoaderError.h"
#include "core/SafeFile.h"
#include "firmware/FirmwareImage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray bytesOf(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = char('A' + i % 26);
    }
    return bytes;
}

#ifdef Q_OS_UNIX
// A file size limit makes a write fail part way, as a full disk would; it also works for root,
// whom folder permissions do not stop.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*oldHandler_)(int);
};
#endif

} // namespace

class FileIoTest : public QObject {
    Q_OBJECT

private slots:
    void writesWholeFile_data();
    void writesWholeFile();
    void shortWriteKeepsTheOldFile_data();
    void shortWriteKeepsTheOldFile();
    void unwritablePlaces_data();
    void unwritablePlaces();
    void writesThroughSymbolicLinks_data();
    void writesThroughSymbolicLinks();
    void firmwareSaveRaisesWithTheReason();
    void readsTextUpToNulAndLimit_data();
    void readsTextUpToNulAndLimit();
    void unreadablePlaces_data();
    void unreadablePlaces();
    void dataFolderOnlyInAFolderOfOurOwn_data();
    void dataFolderOnlyInAFolderOfOurOwn();
};

void FileIoTest::writesWholeFile_data() {
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("one byte") << 1;
    QTest::newRow("several megabytes") << 5 * 1024 * 1024 + 7;
}

void FileIoTest::writesWholeFile() {
    QFETCH(int, size);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.bin"));
    QFile::remove(path);
    QVERIFY(writeFileSafely(path, "old contents"));
    const QByteArray bytes = bytesOf(size);
    QString error;
    QVERIFY2(writeFileSafely(path, bytes, &error), qPrintable(error));
    QCOMPARE(readFile(path), bytes);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("out.bin")});
}

void FileIoTest::shortWriteKeepsTheOldFile_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("limit");
    // Small writes are the ones a buffered writer keeps until commit, where a short write used
    // to pass unnoticed.
    QTest::newRow("small file, limit below it") << 3000 << 1024;
    QTest::newRow("limit one byte short") << 4096 << 4095;
    QTest::newRow("large file") << 3 * 1024 * 1024 << 1024 * 1024;
}

void FileIoTest::shortWriteKeepsTheOldFile() {
#ifdef Q_OS_UNIX
    QFETCH(int, size);
    QFETCH(int, limit);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("velkor.log"));
    const QByteArray original = "the old log\r\n";
    QVERIFY(writeFileSafely(path, original));
    QString error;
    bool written = false;
    {
        const FileSizeLimit limited{rlim_t(limit)};
        written = writeFileSafely(path, bytesOf(size), &error);
    }
    QVERIFY(!written);
    QVERIFY2(error.contains(path) && error.contains(QStringLiteral("оставлен без изменений")),
             qPrintable(error));
    QCOMPARE(readFile(path), original);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("velkor.log")});
#else
    QSKIP("needs a file size limit");
#endif
}

void FileIoTest::unwritablePlaces_data() {
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("missing folder") << QStringLiteral("no-such-folder/out.s28");
    QTest::newRow("a folder's name") << QStringLiteral("folder");
    QTest::newRow("no name") << QString();
}

void FileIoTest::unwritablePlaces() {
    QFETCH(QString, relativePath);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString path = relativePath.isEmpty() ? QString() : dir.filePath(relativePath);
    QString error;
    QVERIFY(!writeFileSafely(path, "data", &error));
    QVERIFY2(error.startsWith(QStringLiteral("Не удается записать файл")), qPrintable(error));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder"))).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{});
}

void FileIoTest::writesThroughSymbolicLinks_data() {
    QTest::addColumn<QString>("target"); // relative to the folder; where the link points
    QTest::addColumn<bool>("written");
    QTest::newRow("a file") << QStringLiteral("old.s28") << true;
    QTest::newRow("a name not yet there") << QStringLiteral("new.s28") << true;
    QTest::newRow("a link to a file") << QStringLiteral("via.s28") << true;
    QTest::newRow("a missing folder") << QStringLiteral("missing/new.s28") << false;
    QTest::newRow("a loop: the link names itself") << QStringLiteral("out.s28") << false;
}

// A write through a link replaces the file it points to and leaves the link a link; the check
// before a long read-back asks writeTarget where the write will end up.
void FileIoTest::writesThroughSymbolicLinks() {
    QFETCH(QString, target);
    QFETCH(bool, written);
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("old.s28"));
    QVERIFY(writeFileSafely(old, "old"));
    QVERIFY(QFile::link(old, dir.filePath(QStringLiteral("via.s28"))));
    const QString link = dir.filePath(QStringLiteral("out.s28"));
    QVERIFY(QFile::link(dir.filePath(target), link));
    const QString end = target == QStringLiteral("via.s28")   ? old
                        : target == QStringLiteral("out.s28") ? QString()
                                                              : dir.filePath(target);
    QCOMPARE(writeTarget(link), end);
    QCOMPARE(writeFileSafely(link, "new"), written);
    QVERIFY(QFileInfo(link).isSymLink());
    if (!end.isEmpty()) {
        QCOMPARE(readFile(end), written ? QByteArray("new") : QByteArray("<unreadable>"));
    }
}

void FileIoTest::firmwareSaveRaisesWithTheReason() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/readback.s28"));
    const FirmwareImage image = FirmwareImage::fromText("S00600004844521B\r\nS9030000FC\r\n");
    try {
        image.save(path);
        QFAIL("saving into a missing folder succeeded");
    } catch (const LoaderError& e) {
        QVERIFY2(e.text().contains(path), qPrintable(e.text()));
    }
}

void FileIoTest::readsTextUpToNulAndLimit_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("refused");
    const QByteArray lines = "S00600004844521B\r\nS9030000FC\r\n";
    QTest::newRow("whole file") << QString() << lines << qint64(1000) << lines << false;
    QTest::newRow("empty file") << QString() << QByteArray() << qint64(1000) << QByteArray()
                                << false;
    QTest::newRow("exactly the limit")
        << QString() << lines << qint64(lines.size()) << lines << false;
    QTest::newRow("one byte over the limit")
        << QString() << lines << qint64(lines.size() - 1) << QByteArray() << true;
    // The NUL stays as the last byte, so the caller knows the file went on.
    QTest::newRow("text ends at a NUL")
        << QString() << QByteArrayLiteral("S9030000FC\r\n\0garbage") << qint64(1000)
        << QByteArrayLiteral("S9030000FC\r\n\0") << false;
    QTest::newRow("NUL past the limit still over it")
        << QString() << QByteArray(2000, 'S') + QByteArray(1, '\0') << qint64(1000) << QByteArray()
        << true;
#ifdef Q_OS_UNIX
    // Endless devices: the read must end, not exhaust memory.
    QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero") << QByteArray() << qint64(1000)
                               << QByteArrayLiteral("\0") << false;
    QTest::newRow("/dev/null") << QStringLiteral("/dev/null") << QByteArray() << qint64(1000)
                               << QByteArray() << false;
#endif
}

void FileIoTest::readsTextUpToNulAndLimit() {
    QFETCH(QString, device);
    QFETCH(QByteArray, contents);
    QFETCH(qint64, limit);
    QFETCH(QByteArray, text);
    QFETCH(bool, refused);
    QTemporaryDir dir;
    QString path = device;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("fw.s28"));
        QVERIFY(writeFileSafely(path, contents));
    }
    try {
        QCOMPARE(readFileText(path, limit), text);
        QVERIFY2(!refused, "a text over the limit was read");
    } catch (const LoaderError& e) {
        QVERIFY2(refused, qPrintable(e.text()));
        QVERIFY2(e.text().contains(path), qPrintable(e.text()));
    }
}

void FileIoTest::unreadablePlaces_data() {
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("missing file") << QStringLiteral("missing.s28");
    QTest::newRow("a folder") << QStringLiteral(".");
    QTest::newRow("no name") << QString();
}

void FileIoTest::unreadablePlaces() {
    QFETCH(QString, relativePath);
    QTemporaryDir dir;
    const QString path = relativePath.isEmpty() ? QString() : dir.filePath(relativePath);
    try {
        readFileText(path);
        QFAIL("an unreadable place was read");
    } catch (const LoaderError& e) {
        QVERIFY2(e.text().startsWith(QStringLiteral("Не удается открыть файл")),
                 qPrintable(e.text()));
    }
}

void FileIoTest::dataFolderOnlyInAFolderOfOurOwn_data() {
    QTest::addColumn<QString>("place"); // relative to a fresh temporary folder, or absolute
    QTest::addColumn<bool>("own");
    QTest::newRow("unpacked folder") << QStringLiteral("velkor-1.97") << true;
    QTest::newRow("PREFIX/bin") << QStringLiteral("prefix/bin") << false;
    QTest::newRow("system folder") << QStringLiteral("/usr/lib") << false;
    QTest::newRow("link into /usr") << QStringLiteral("link") << false;
    QTest::newRow("missing folder") << QStringLiteral("gone") << false;
    QTest::newRow("not the user's to write") << QStringLiteral("foreign") << false;
}

void FileIoTest::dataFolderOnlyInAFolderOfOurOwn() {
    QFETCH(QString, place);
    QFETCH(bool, own);
    QTemporaryDir dir;
    QDir root(dir.path());
    QVERIFY(root.mkpath(QStringLiteral("velkor-1.97")) &&
            root.mkpath(QStringLiteral("prefix/bin")));
    QVERIFY(QFile::link(QStringLiteral("/usr/share"), dir.filePath(QStringLiteral("link"))));
    QVERIFY(root.mkdir(QStringLiteral("foreign")));
#ifdef Q_OS_UNIX
    // Root may write anywhere, so its foreign folder is another user's; others get a read-only one.
    const QByteArray foreign = QFile::encodeName(dir.filePath(QStringLiteral("foreign")));
    QCOMPARE(::geteuid() == 0 ? ::chown(foreign.constData(), 65534, 65534)
                              : ::chmod(foreign.constData(), 0555),
             0);
#endif
    QCOMPARE(DataDir::isOwnFolder(root.absoluteFilePath(place)), own);
}

QTEST_GUILESS_MAIN(FileIoTest)
#include "tst_file_io.moc"
