// The simulator's parts that sit between the wire and the controller: the command tokenizer,
// the broker's frame reader and writer, the fault plan, the storage file and the options.
#include "AnswerCounter.h"
#include "AnswerShaper.h"
#include "BrokerFrames.h"
#include "CommandTokenizer.h"
#include "FaultPlan.h"
#include "FlashImage.h"
#include "FrameAssembler.h"
#include "SimOptions.h"
#include "StorageMemory.h"
#include "TargetedFault.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// "VER" for hardware id 1, written out byte by byte.
QByteArray verFrame() {
    return QByteArray::fromHex("01410100000003000300564552DD17");
}

QList<QByteArray> feedAll(devsim::CommandTokenizer& tokenizer, const QByteArray& bytes,
                          bool bytewise) {
    QList<QByteArray> commands;
    if (bytewise) {
        for (char c : bytes) {
            commands += tokenizer.feed(QByteArray(1, c));
        }
    } else {
        commands = tokenizer.feed(bytes);
    }
    return commands;
}

} // namespace

class DevsimPartsTest : public QObject {
    Q_OBJECT
private slots:
    void tokenizerCutsAtLineEnds_data();
    void tokenizerCutsAtLineEnds();
    void tokenizerBoundsAnEndlessLine();
    void assemblerTakesFramesHoweverTheyArrive_data();
    void assemblerTakesFramesHoweverTheyArrive();
    void assemblerRecoversAfterDamage_data();
    void assemblerRecoversAfterDamage();
    void notFoundFrameHasBitSevenAndNoPayload();
    void frameFaultsDamageSplitAndDouble();
    void faultPlanIsRepeatableAndCountsEveryNth();
    void answerIsSplitIntoPiecesThatJoinToTheText();
    void targetedFaultShapesItsAnswer_data();
    void targetedFaultShapesItsAnswer();
    void targetedFaultHitsTheNthAnswerToItsCommand();
    void storageFileKeepsTheContentAcrossRestarts();
    void storageFileOfTheWrongSizeIsRefused();
    void flashImageTextListsRunsInAddressOrder();
    void optionsAreCheckedAndDefaulted_data();
    void optionsAreCheckedAndDefaulted();
};

void DevsimPartsTest::tokenizerCutsAtLineEnds_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<QByteArray>("pending");
    QTest::newRow("record with CR")
        << QByteArray("S10500001234B4\r") << QList<QByteArray>{"S10500001234B4"} << QByteArray();
    QTest::newRow("CR LF counts once")
        << QByteArray("VER\r\nRESET\r\n") << QList<QByteArray>{"VER", "RESET"} << QByteArray();
    QTest::newRow("LF alone") << QByteArray("VER\nPASSWORD") << QList<QByteArray>{"VER"}
                              << QByteArray("PASSWORD");
    QTest::newRow("no line end stays pending")
        << QByteArray("PAGEWRITE S1 2") << QList<QByteArray>{} << QByteArray("PAGEWRITE S1 2");
    QTest::newRow("empty lines ignored")
        << QByteArray("\r\n\r\n\ri\r\r") << QList<QByteArray>{"i"} << QByteArray();
}

void DevsimPartsTest::tokenizerCutsAtLineEnds() {
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, commands);
    QFETCH(QByteArray, pending);
    for (const bool bytewise : {false, true}) {
        devsim::CommandTokenizer tokenizer;
        QCOMPARE(feedAll(tokenizer, bytes, bytewise), commands);
        QCOMPARE(tokenizer.hasPending(), !pending.isEmpty());
        QCOMPARE(tokenizer.flush(), pending);
        QVERIFY(!tokenizer.hasPending());
    }
}

void DevsimPartsTest::tokenizerBoundsAnEndlessLine() {
    devsim::CommandTokenizer tokenizer;
    const QList<QByteArray> commands =
        tokenizer.feed(QByteArray(devsim::CommandTokenizer::kMaxCommand * 2 + 5, 'x'));
    QCOMPARE(commands.size(), 2);
    QCOMPARE(tokenizer.flush().size(), 5);
}

void DevsimPartsTest::assemblerTakesFramesHoweverTheyArrive_data() {
    QTest::addColumn<int>("chunk");
    QTest::newRow("whole") << 0;
    QTest::newRow("byte by byte") << 1;
    QTest::newRow("seven bytes at a time") << 7;
}

void DevsimPartsTest::assemblerTakesFramesHoweverTheyArrive() {
    QFETCH(int, chunk);
    // Two frames back to back: "VER" for id 1 and an empty payload for id 0x07060504.
    const QByteArray second = QByteArray::fromHex("01410405060700000300FC34");
    const QByteArray stream = verFrame() + second;
    QVERIFY(BrokerFrame::decode(second).has_value()); // the hand-made frame is sound
    devsim::FrameAssembler assembler;
    QList<BrokerFrame::Frame> frames;
    const int step = chunk == 0 ? int(stream.size()) : chunk;
    for (qsizetype i = 0; i < stream.size(); i += step) {
        frames += assembler.feed(stream.mid(i, step)).frames;
    }
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0].hardwareId, 1u);
    QCOMPARE(frames[0].payload, QByteArray("VER"));
    QCOMPARE(frames[1].hardwareId, 0x07060504u);
    QVERIFY(frames[1].payload.isEmpty());
    QCOMPARE(assembler.pending(), 0);
}

void DevsimPartsTest::assemblerRecoversAfterDamage_data() {
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<int>("skipped");
    QByteArray badCrc = verFrame();
    badCrc[14] = char(0x18);
    QTest::newRow("noise") << QByteArray("\x7f\xfe\x00", 3) << 3;
    QTest::newRow("bad crc") << badCrc << 15;
    QTest::newRow("truncated frame") << verFrame().left(9) << 9;
    QTest::newRow("length beyond buffer") << QByteArray::fromHex("014101000000FFFF0300") << 10;
}

void DevsimPartsTest::assemblerRecoversAfterDamage() {
    QFETCH(QByteArray, prefix);
    QFETCH(int, skipped);
    devsim::FrameAssembler assembler;
    const devsim::FrameAssembler::Output out = assembler.feed(prefix + verFrame());
    QCOMPARE(out.frames.size(), 1);
    QCOMPARE(out.frames[0].payload, QByteArray("VER"));
    QCOMPARE(out.skippedBytes, skipped);
}

void DevsimPartsTest::notFoundFrameHasBitSevenAndNoPayload() {
    QCOMPARE(devsim::notFoundFrame(3), QByteArray::fromHex("01C103000000000003003CB2"));
    const auto frame = BrokerFrame::decode(devsim::notFoundFrame(3));
    QVERIFY(frame.has_value());
    QCOMPARE(int(frame->code), 0xC1);
    QCOMPARE(frame->hardwareId, 3u);
    QVERIFY(frame->payload.isEmpty());
}

void DevsimPartsTest::frameFaultsDamageSplitAndDouble() {
    devsim::FaultOptions options;
    options.badCrcEvery = 2;
    options.splitFrameEvery = 3;
    options.doubleFrameEvery = 4;
    options.frameGapMs = 40;
    devsim::FaultPlan faults(options, 0);
    QList<devsim::Pieces> sent;
    for (int i = 0; i < 4; ++i) {
        sent.append(devsim::framePiece(1, "OK STR:1", faults));
    }
    QCOMPARE(sent[0].size(), 1);
    QVERIFY(BrokerFrame::decode(sent[0][0].bytes).has_value());
    QVERIFY(!BrokerFrame::decode(sent[1][0].bytes).has_value()); // second frame: bad CRC
    QCOMPARE(sent[2].size(), 2);                                 // third frame: two writes
    QCOMPARE(sent[2][1].delayMs, 40);
    QCOMPARE(sent[2][0].bytes + sent[2][1].bytes, BrokerFrame::encode({0x41, 1, "OK STR:1"}));
    // Fourth answer piece: two frames in one write, frames 4 (bad CRC) and 5 (sound), each
    // with half of the piece.
    const QByteArray both = sent[3][0].bytes;
    QCOMPARE(both.size(), 2 * 12 + 8);
    devsim::FrameAssembler assembler;
    const devsim::FrameAssembler::Output out = assembler.feed(both);
    QCOMPARE(out.frames.size(), 1);
    QCOMPARE(out.frames[0].payload, QByteArray("TR:1"));
}

void DevsimPartsTest::faultPlanIsRepeatableAndCountsEveryNth() {
    devsim::FaultOptions options;
    options.seed = 7;
    options.dropRate = 0.3;
    options.wrongCounterEvery = 3;
    options.jitterMs = 50;
    devsim::FaultPlan first(options, 1);
    devsim::FaultPlan second(options, 1);
    int drops = 0;
    for (int i = 0; i < 1000; ++i) {
        const bool drop = first.dropAnswer();
        QCOMPARE(second.dropAnswer(), drop);
        drops += drop ? 1 : 0;
        const int delay = first.answerDelayMs();
        QCOMPARE(second.answerDelayMs(), delay);
        QVERIFY(delay >= 0 && delay <= 50);
    }
    QVERIFY2(drops > 240 && drops < 360, qPrintable(QString::number(drops)));
    const QList<bool> wrong{first.wrongCounter(), first.wrongCounter(), first.wrongCounter(),
                            first.wrongCounter(), first.wrongCounter(), first.wrongCounter()};
    QCOMPARE(wrong, (QList<bool>{false, false, true, false, false, true}));
}

void DevsimPartsTest::answerIsSplitIntoPiecesThatJoinToTheText() {
    devsim::FaultOptions options;
    options.split = 3;
    options.gapMs = 20;
    options.delayMs = 100;
    options.garbageEvery = 1;
    devsim::FaultPlan faults(options, 0);
    const devsim::Pieces pieces = devsim::shapeAnswer("OK STR:1 NUM:70 ADDR:26\r\n", faults);
    QCOMPARE(pieces.size(), 4);
    QCOMPARE(pieces[0].delayMs, 100);
    QCOMPARE(pieces[1].delayMs, 20);
    QCOMPARE(pieces[0].bytes + pieces[1].bytes + pieces[2].bytes,
             QByteArray("OK STR:1 NUM:70 ADDR:26\r\n"));
    const QByteArray garbage = pieces[3].bytes;
    QVERIFY(garbage.size() >= 1 && garbage.size() <= 8);
    for (const char c : garbage) {
        QVERIFY(!QChar(c).isLetterOrNumber() && c != '@' && c != '.' && c != ':');
    }
    QCOMPARE(devsim::shapeText("ab", 0, options).size(), 2); // never an empty piece
}

void DevsimPartsTest::targetedFaultShapesItsAnswer_data() {
    using Kind = devsim::FaultKind;
    QTest::addColumn<int>("kind");
    QTest::addColumn<QList<QByteArray>>("now");
    QTest::addColumn<QList<int>>("delays");
    QTest::addColumn<QByteArray>("late");
    QTest::addColumn<bool>("damaged");
    const QByteArray a = "OK STR:1\r\n";
    QTest::newRow("lost") << int(Kind::Lost) << QList<QByteArray>{} << QList<int>{} << QByteArray()
                          << false;
    QTest::newRow("late") << int(Kind::Late) << QList<QByteArray>{} << QList<int>{} << a << false;
    QTest::newRow("doubled") << int(Kind::Doubled) << QList<QByteArray>{a, a} << QList<int>{7, 7}
                             << QByteArray() << false;
    QTest::newRow("cut") << int(Kind::Cut) << QList<QByteArray>{"OK ST", "R:1\r\n"}
                         << QList<int>{7, 40} << QByteArray() << false;
    QTest::newRow("damaged") << int(Kind::Damaged) << QList<QByteArray>{a} << QList<int>{7}
                             << QByteArray() << true;
    // The refusal's text replaced the answer before it was shaped.
    QTest::newRow("refused") << int(Kind::Refused) << QList<QByteArray>{a} << QList<int>{7}
                             << QByteArray() << false;
}

void DevsimPartsTest::targetedFaultShapesItsAnswer() {
    QFETCH(int, kind);
    QFETCH(QList<QByteArray>, now);
    QFETCH(QList<int>, delays);
    QFETCH(QByteArray, late);
    QFETCH(bool, damaged);
    devsim::FaultOptions options;
    options.delayMs = 7;
    options.cutGapMs = 40;
    devsim::FaultPlan faults(options, 0);
    const QByteArray text = "OK STR:1\r\n";
    const devsim::TargetedAnswer hit = devsim::shapeTargeted(
        text, devsim::shapeAnswer(text, faults), devsim::FaultKind(kind), options);
    QList<QByteArray> bytes;
    QList<int> pauses;
    for (const devsim::Piece& piece : hit.now) {
        bytes << piece.bytes;
        pauses << piece.delayMs;
        QCOMPARE(piece.damaged, damaged);
    }
    QCOMPARE(bytes, now);
    QCOMPARE(pauses, delays);
    QCOMPARE(hit.late.isEmpty() ? QByteArray() : hit.late.front().bytes, late);
    // On a byte stream a damaged answer keeps its length and loses every token and line end.
    const QByteArray garbled = devsim::garbled(text);
    QCOMPARE(garbled.size(), text.size());
    for (const char c : garbled) {
        QVERIFY(!QChar(c).isLetterOrNumber() && !QByteArray("@.:\r\n").contains(c));
    }
}

void DevsimPartsTest::targetedFaultHitsTheNthAnswerToItsCommand() {
    using Kind = devsim::FaultKind;
    devsim::AnswerCounter counter(
        {{"PAGEWRITE", 2, Kind::Lost}, {"S3", 1, Kind::Cut}, {"record", 3, Kind::Doubled}});
    const QList<std::pair<QByteArray, std::optional<Kind>>> answers{
        {"PAGEWRITE abc", std::nullopt},    {"PAGENUM 70", std::nullopt},
        {"PAGEWRITE def", Kind::Lost},      {"PAGEWRITE ghi", std::nullopt},
        {"S00600004844521B", std::nullopt}, {"S3090000100011223344FF", Kind::Cut},
        {"S10500001234B4", Kind::Doubled},  {"SILENCETIME 300", std::nullopt},
    };
    for (const auto& [command, kind] : answers) {
        QVERIFY2(counter.count(command) == kind, command.constData());
    }
    QCOMPARE(devsim::faultKeys("S3090000100011223344FF"), (QList<QByteArray>{"S3", "record"}));
    QCOMPARE(devsim::faultKeys("SILENCETIME 300"), QList<QByteArray>{"SILENCETIME"});
}

void DevsimPartsTest::storageFileKeepsTheContentAcrossRestarts() {
    QTemporaryDir dir;
    const QString path = dir.filePath("storage.bin");
    QString error;
    {
        devsim::StorageMemory storage(80);
        QVERIFY2(storage.attachFile(path, &error), qPrintable(error));
        QVERIFY(storage.write(70 * 528 + 10, "S0030000FC"));
    }
    QCOMPARE(QFile(path).size(), 80 * 528);
    devsim::StorageMemory again(80);
    QVERIFY2(again.attachFile(path, &error), qPrintable(error));
    QCOMPARE(again.read(70 * 528 + 9, 12), QByteArray("\xFFS0030000FC\xFF"));
}

void DevsimPartsTest::storageFileOfTheWrongSizeIsRefused() {
    QTemporaryDir dir;
    const QString path = dir.filePath("storage.bin");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("short");
    file.close();
    devsim::StorageMemory storage(80);
    QString error;
    QVERIFY(!storage.attachFile(path, &error));
    QVERIFY(error.contains("42240"));
    QCOMPARE(QFile(path).size(), 5); // left as it was
}

void DevsimPartsTest::flashImageTextListsRunsInAddressOrder() {
    devsim::FlashImage image;
    image.write(0x2000, "\x01\x02");
    image.write(0xFF, "\xAA\xBB"); // crosses an internal chunk boundary
    image.write(0x2002, "\x03");
    image.write(0x2000, "\x09"); // overwritten
    QCOMPARE(image.toText(), QByteArray("000000FF AABB\n00002000 090203\n"));
    QTemporaryDir dir;
    QString error;
    QVERIFY(image.save(dir.filePath("image.txt"), &error));
    QFile saved(dir.filePath("image.txt"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), image.toText());
    QVERIFY(!image.save(dir.filePath("missing/dir/image.txt"), &error));
    QVERIFY(!error.isEmpty());
}

void DevsimPartsTest::optionsAreCheckedAndDefaulted_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("problem"); // empty: accepted
    QTest::newRow("nothing: tcp 10001") << QStringList{} << QString();
    QTest::newRow("broker default port") << QStringList{"--broker", "--ids", "1,2,7"} << QString();
    QTest::newRow("inline values")
        << QStringList{"--tcp=0", "--split=3", "--drop-rate=0.5"} << QString();
    QTest::newRow("unknown option") << QStringList{"--colour"} << QString("--colour");
    QTest::newRow("port too big") << QStringList{"--tcp", "70000"} << QString("--tcp");
    QTest::newRow("rate above one") << QStringList{"--drop-rate", "1.5"} << QString("--drop-rate");
    QTest::newRow("bad ids") << QStringList{"--ids", "1,x"} << QString("--ids");
    QTest::newRow("negative count") << QStringList{"--drop-every", "-2"} << QString("--drop-every");
    QTest::newRow("missing value") << QStringList{"--seed"} << QString("--seed");
    QTest::newRow("unit with blank") << QStringList{"--unit", "A B"} << QString("--unit");
    QTest::newRow("flag with value") << QStringList{"--pty=1"} << QString("--pty");
    QTest::newRow("targeted faults")
        << QStringList{"--fault", "PAGEWRITE:3:late", "--fault=S3:1:cut", "--late-ms", "900"}
        << QString();
    QTest::newRow("fault of an unknown kind")
        << QStringList{"--fault", "VER:1:eaten"} << QString("KIND one of lost");
    QTest::newRow("fault before the first answer")
        << QStringList{"--fault", "VER:0:lost"} << QString("N a whole number from 1");
    QTest::newRow("fault without its kind")
        << QStringList{"--fault", "VER:1"} << QString("three parts");
    QTest::newRow("fault without a command")
        << QStringList{"--fault", ":1:lost"} << QString("COMMAND one word");
    QTest::newRow("dialect feature unknown")
        << QStringList{"--dialect", "cr,bold"} << QString("the known ones are cr, lf, crlf");
    QTest::newRow("dialect with two line ends")
        << QStringList{"--dialect", "cr,echo", "--dialect=noeol"}
        << QString("\"cr\" and \"noeol\" both choose the line end");
    QTest::newRow("dialect page too small")
        << QStringList{"--dialect", "page=32"} << QString("page size N from 64 to 4096");
}

void DevsimPartsTest::optionsAreCheckedAndDefaulted() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, problem);
    const devsim::ParseResult result = devsim::parseOptions(arguments);
    if (!problem.isEmpty()) {
        QCOMPARE(result.kind, devsim::ParseResult::Kind::Error);
        QVERIFY2(result.message.contains(problem), qPrintable(result.message));
        return;
    }
    QCOMPARE(result.kind, devsim::ParseResult::Kind::Run);
    const devsim::SimOptions& o = result.options;
    if (arguments.isEmpty()) {
        QCOMPARE(o.tcpPort.value_or(-1), 10001);
        QVERIFY(!o.brokerPort && !o.pty);
    }
    if (arguments.contains("--broker")) {
        QCOMPARE(o.brokerPort.value_or(-1), 10002);
        QCOMPARE(o.ids, (QList<std::uint32_t>{1, 2, 7}));
        QVERIFY(!o.tcpPort);
    }
    if (arguments.contains("--late-ms")) {
        using Kind = devsim::FaultKind;
        const QList<devsim::TargetedFault> expected{{"PAGEWRITE", 3, Kind::Late},
                                                    {"S3", 1, Kind::Cut}};
        QVERIFY(o.faults.targeted == expected);
        QCOMPARE(o.faults.lateMs, 900);
        QCOMPARE(o.faults.cutGapMs, 100);
    }
    if (arguments.contains("--split=3")) {
        QCOMPARE(o.tcpPort.value_or(-1), 0);
        QCOMPARE(o.faults.split, 3);
        QCOMPARE(o.faults.dropRate, 0.5);
    }
}

QTEST_GUILESS_MAIN(DevsimPartsTest)
#include "tst_devsim_parts.moc"
