// The simulated controller's dialects and the faults that keep a command from it or its answer
// from the loader: commands go into one session, and every byte that comes out is compared.
#include "Device.h"
#include "SRecordText.h"
#include "SessionRunner.h"
#include "SimOptions.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

using TestRecords::srec;

// No banner after the first, so that only answers follow it.
const QStringList kOneBanner{"--banner-interval", "600000", "--reset-delay", "600000"};
constexpr int kProgressMs = 100;

// One session as the front ends run it, with every byte it sends and when.
class Session {
public:
    explicit Session(const QStringList& arguments)
        : parsed_(devsim::parseOptions(kOneBanner + arguments)),
          device_(parsed_.options.controller, {}, parsed_.options.faults.targeted),
          runner_(device_, parsed_.options, 1) {
        QObject::connect(&runner_, &devsim::SessionRunner::output,
                         [this](const QByteArray& bytes, bool) {
                             heard_ += bytes;
                             times_.insert(times_.end(), bytes.size(), clock_.elapsed());
                         });
        clock_.start();
        runner_.start();
        if (QTest::qWaitFor([this] { return !heard_.isEmpty(); }, 3000)) {
            banner_ = heard_;
        }
        heard_.clear();
        times_.clear();
    }

    bool parsed() const { return parsed_.kind == devsim::ParseResult::Kind::Run; }
    const QByteArray& banner() const { return banner_; }
    const devsim::Device& device() const { return device_; }

    // Sends input and returns what came out once `expected` bytes (or more) did.
    QByteArray answer(const QByteArray& input, qsizetype expected) {
        runner_.receive(input);
        if (QTest::qWaitFor([&] { return heard_.size() >= expected; }, 3000)) {
            QTest::qWait(5); // whatever would follow
        }
        return heard_;
    }
    // How long before byte `at` went out the byte before it did.
    qint64 pauseBefore(qsizetype at) const { return times_[at] - times_[at - 1]; }

private:
    devsim::ParseResult parsed_;
    devsim::Device device_;
    devsim::SessionRunner runner_;
    QElapsedTimer clock_;
    QByteArray banner_;
    QByteArray heard_;
    std::vector<qint64> times_;
};

QByteArray badChecksum(QByteArray line) {
    line.back() = line.back() == '0' ? '1' : '0';
    return line;
}

// input: the commands as the loader sends them; none: the row is about the banner.
// output: every byte the controller sends after its banner; "|" stands where the rest of a slow
// answer comes --progress-ms later. stored: "OFFSET:BYTES" the storage memory holds there;
// flashed: the flash as --image-out writes it (each checked when given).
void addColumns() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("flashed");
}

void row(const char* name, const QStringList& options, const QByteArray& input,
         const QByteArray& output, const QByteArray& stored = {}, const QByteArray& flashed = {}) {
    QTest::newRow(name) << options << input << output << stored << flashed;
}

} // namespace

class DevsimDialectsTest : public QObject {
    Q_OBJECT
private slots:
    void controllerSpeaksItsDialect_data();
    void controllerSpeaksItsDialect();
};

void DevsimDialectsTest::controllerSpeaksItsDialect_data() {
    addColumns();
    const QByteArray start = "i\rf\r";
    const QByteArray header = srec(0, 0, 2, "HDR") + "\r";
    const QByteArray recordA = srec(1, 0, 2, "A") + "\r";
    const QByteArray recordB = srec(1, 1, 2, "B") + "\r";
    const QByteArray end = srec(9, 0, 2, {}) + "\r";
    const QByteArray badSum = badChecksum(srec(3, 0x08000010, 4, "\x01\x02")) + "\r";
    const QByteArray wrongCount = srec(5, 2, 2, {}) + "\r";
    const QByteArray badEnd = badChecksum(srec(7, 0x08000000, 4, {})) + "\r";
    const QStringList progress{"--dialect", "progress", "--progress-ms",
                               QString::number(kProgressMs)};
    const QStringList tokens{"--dialect", "token-errors"};

    row("banner cr", {"--dialect", "cr"}, {}, "\rUNIT:LUMET52 3.14\rBIOS: v2.07, i - loader\r");
    row("banner noeol", {"--dialect", "noeol"}, {}, "UNIT:LUMET52 3.14 BIOS: v2.07, i - loader");
    row("banner without echo or prompt", {"--dialect", "echo,prompt"}, {},
        "\r\nUNIT:LUMET52 3.14\r\nBIOS: v2.07, i - loader\r\n");
    row("bootloader lf", {"--dialect", "lf"}, start + recordA + end, "\nBIOS>f ready\n@\nOK\n");
    row("bootloader noeol", {"--dialect", "noeol"}, start + recordA + end, "BIOS>f ready@OK");
    row("interpreter crlf", {"--dialect", "crlf"}, "VER\rPAGEADDR 528\r",
        "VER 3.14 LUMET52\r\nERR: bad argument\r\n");
    row("echo without the line end it came with", {"--dialect", "echo"}, "VER\r\n",
        "VER\r\nVER 3.14 LUMET52\r\n");
    row("echo before a bare acknowledgement", {"--dialect", "echo"}, start + recordA,
        "i\r\n\r\nBIOS>f\r\nf ready\r\n" + recordA.chopped(1) + "\r\n@");
    row("echo noeol", {"--dialect", "echo", "--dialect", "noeol"}, "VER\rPAGEWRITE AB\r",
        "VER VER 3.14 LUMET52PAGEWRITE AB OK STR:1 NUM:0 ADDR:2");
    row("prompt after every answer", {"--dialect", "prompt"}, start + recordA,
        "\r\nBIOS>> f ready\r\n> @> ");
    row("progress before a page write", progress, "PAGEWRITE AB\rVER\r",
        "Erasing sector\r\n|OK STR:1 NUM:0 ADDR:2\r\nVER 3.14 LUMET52\r\n");
    row("progress before data records alone", progress, start + header + recordA,
        "\r\nBIOS>f ready\r\nwErasing sector\r\n|@");
    row("progress before REPROGRAMM W", progress, "REPROGRAMM W\r",
        "Erasing sector\r\n|BAD LENGTH 4294967295\r\n");
    row("progress echo prompt noeol", progress + QStringList{"--dialect", "echo,prompt,noeol"},
        "PAGEWRITE AB\r", "PAGEWRITE AB Erasing sector |OK STR:1 NUM:0 ADDR:2> ");
    row("padded", {"--dialect", "padded"},
        "PAGENUM 70\rWRITECOUNTER 0\rDEBUG 0\rMODEM_CON TRUE\rSILENCETIME 123456\r",
        "PAGENUM=0070\r\nWRITECOUNTER=0000\r\nDEBUG=0000\r\nMODEM_CON=TRUE\r\n"
        "SILENCETIME=123456\r\n");
    row("bare", {"--dialect", "bare"}, "PAGENUM 70\rPAGEHEXMODE TRUE\r", "70\r\nTRUE\r\n");
    row("bare padded", {"--dialect", "bare,padded"}, "PAGEADDR 10\r", "0010\r\n");
    row("str-only", {"--dialect", "str-only"}, "PAGEWRITE AB\r", "OK STR:1\r\n");
    row("page-end: the next write moves on", {"--dialect", "page-end"},
        "PAGENUM 70\rPAGEADDR 526\rPAGEWRITE AB\rPAGEWRITE C\r",
        "PAGENUM=70\r\nPAGEADDR=526\r\nOK STR:1 NUM:70 ADDR:528\r\nOK STR:2 NUM:71 ADDR:1\r\n",
        "37486:ABC");
    row("page-end: PAGEADDR stays on the page", {"--dialect", "page-end"},
        "PAGENUM 70\rPAGEADDR 526\rPAGEWRITE AB\rPAGEADDR 0\rPAGENUM\rPAGEWRITE C\r",
        "PAGENUM=70\r\nPAGEADDR=526\r\nOK STR:1 NUM:70 ADDR:528\r\nPAGEADDR=0\r\n"
        "PAGENUM=70\r\nOK STR:2 NUM:70 ADDR:1\r\n",
        "36960:C");
    row("page=64", {"--dialect", "page=64"}, "PAGEADDR 64\rPAGEADDR 63\rPAGEWRITE ABC\r",
        "ERR: bad argument\r\nPAGEADDR=63\r\nOK STR:1 NUM:1 ADDR:2\r\n", "63:ABC\xFF");
    row("page=64 page-end", {"--dialect", "page=64,page-end"},
        "PAGEADDR 60\rPAGEWRITE ABCD\rPAGEWRITE E\r",
        "PAGEADDR=60\r\nOK STR:1 NUM:0 ADDR:64\r\nOK STR:2 NUM:1 ADDR:1\r\n", "60:ABCDE");
    row("token-errors: bad checksum", tokens, start + badSum,
        "\r\nBIOS>f ready\r\nERR @08000010\r\n");
    row("token-errors: data record refused", tokens, start + "S1050000123GB4\r",
        "\r\nBIOS>f ready\r\nERR: flash write failed\r\n");
    row("token-errors: record before f", tokens, "i\r" + recordA,
        "\r\nBIOS>ERR: flash write failed\r\n");
    row("token-errors: count record refused", tokens, start + recordA + wrongCount,
        "\r\nBIOS>f ready\r\n@ERROR\r\n");
    row("token-errors: end record refused", tokens, start + badEnd,
        "\r\nBIOS>f ready\r\nERROR\r\n");
    row("token-errors: interpreter", tokens, "FORMAT C\rPAGEADDR 999\r",
        "ERROR: unknown command\r\nERROR: bad argument\r\n");
    row("token-errors noeol prompt", {"--dialect", "token-errors,noeol,prompt"}, "FORMAT C\r",
        "ERROR: unknown command> ");
    // A lost answer's command took effect, an unheard command did not.
    row("lost page write", {"--fault", "PAGEWRITE:1:lost"}, "PAGEWRITE AB\rPAGEWRITE CD\r",
        "OK STR:2 NUM:0 ADDR:4\r\n", "0:ABCD");
    row("unheard page write", {"--fault", "PAGEWRITE:1:unheard"}, "PAGEWRITE AB\rPAGEWRITE CD\r",
        "OK STR:1 NUM:0 ADDR:2\r\n", "0:CD\xFF\xFF");
    row("lost record", {"--fault", "S1:1:lost"}, start + recordA + recordB, "\r\nBIOS>f ready\r\nw",
        {}, "00000000 4142\n");
    row("unheard record", {"--fault", "S1:1:unheard"}, start + recordA + recordB + end,
        "\r\nBIOS>f ready\r\n@\r\nOK\r\n", {}, "00000001 42\n");
    row("lost with its echo", {"--fault", "PAGEWRITE:1:lost", "--dialect", "echo"},
        "PAGEWRITE AB\rPAGEWRITE CD\r", "PAGEWRITE CD\r\nOK STR:2 NUM:0 ADDR:4\r\n");
    row("unheard, not echoed", {"--fault", "PAGEWRITE:1:unheard", "--dialect", "echo"},
        "PAGEWRITE AB\rPAGEWRITE CD\r", "PAGEWRITE CD\r\nOK STR:1 NUM:0 ADDR:2\r\n");
    row("refused lf", {"--fault", "PAGEWRITE:1:refused", "--dialect", "lf"},
        "PAGEWRITE AB\rPAGEWRITE CD\r", "ERR injected\nOK STR:1 NUM:0 ADDR:2\n", "0:CD\xFF\xFF");
    row("refused page write, token-errors", tokens + QStringList{"--fault", "PAGEWRITE:1:refused"},
        "PAGEWRITE AB\r", "ERROR: injected\r\n", "0:\xFF\xFF");
    row("refused data record, token-errors", tokens + QStringList{"--fault", "S1:1:refused"},
        start + recordA, "\r\nBIOS>f ready\r\nERR: flash write failed\r\n");
    row("refused end record, token-errors", tokens + QStringList{"--fault", "S9:1:refused"},
        start + recordA + end, "\r\nBIOS>f ready\r\n@ERROR\r\n");
}

void DevsimDialectsTest::controllerSpeaksItsDialect() {
    QFETCH(QStringList, options);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, flashed);
    Session session(options);
    QVERIFY(session.parsed());
    if (input.isEmpty()) {
        QCOMPARE(session.banner(), output);
        return;
    }
    QByteArray expected = output;
    expected.replace('|', QByteArray());
    QCOMPARE(session.answer(input, expected.size()), expected);
    for (qsizetype at = output.indexOf('|'), marks = 0; at >= 0; at = output.indexOf('|', at + 1)) {
        QVERIFY2(session.pauseBefore(at - marks++) >= kProgressMs - 2,
                 "the slow answer came early");
    }
    if (!stored.isEmpty()) {
        const qsizetype colon = stored.indexOf(':');
        const QByteArray bytes = stored.mid(colon + 1);
        QCOMPARE(session.device().storage.read(stored.left(colon).toLongLong(), bytes.size()),
                 bytes);
    }
    if (!flashed.isEmpty()) {
        QCOMPARE(session.device().flash.toText(), flashed);
    }
}

QTEST_GUILESS_MAIN(DevsimDialectsTest)
#include "tst_devsim_dialects.moc"
