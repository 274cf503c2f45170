// The broker's frames over the byte stream: reassembly of split and joined frames, recovery
// from damage, and the broker branch of the receive handler with its status texts, the
// not-found answer and the frames sent. Frames are written out as bytes here.
#include "ConnectionsRig.h"
#include "connections/BrokerLink.h"
#include "connections/BrokerReceiver.h"
#include "core/Cp1251.h"
#include "core/LoaderError.h"

#include <QTest>
#include <random>

class BrokerTest : public QObject {
    Q_OBJECT
private slots:
    void streamIsCutIntoFrames_data();
    void streamIsCutIntoFrames();
    void bytewiseDeliveryMatchesBulkDelivery();
    void cleanStreamOfBinaryFramesComesOutWhole();
    void sentFramesCarryTheIdLengthAndCrc_data();
    void sentFramesCarryTheIdLengthAndCrc();
    void commandTooLongForAFrameIsRefusedAndNothingSent();
    void receivedFramesReachTheAnswer_data();
    void receivedFramesReachTheAnswer();
    void otherControllersFramesStayOutOfTheAnswer_data();
    void otherControllersFramesStayOutOfTheAnswer();
    void notFoundWithoutWaitingShowsTheBoxAndEndsTheWait();
    void notFoundWhileWaitingRepeatsTheCommand();
    void incompleteFrameIsDroppedWhenTheNextCommandGoesOut();
    void staleFrameKeepsItsPlaceInTheStream_data();
    void staleFrameKeepsItsPlaceInTheStream();
    void answerWaitsForTheRestOfASplitFrame();
    void frameSplitAcrossTheNextCommandStaysOutOfItsAnswer();
    void framesSplitAcrossSeveralCommandsInARow();
};

namespace {

// "3.14" from hardware id 1.
const QByteArray kAnswer = QByteArray::fromHex("01410100000004000300332E3134D088");
// An empty payload.
const QByteArray kEmpty = QByteArray::fromHex("01410100000000000300DCAD");
// The broker has no controller 1, empty payload.
const QByteArray kNotFound = QByteArray::fromHex("01C10100000000000300BD6B");

QByteArray frame(const QByteArray& payload, std::uint8_t code = 0x41) {
    return BrokerFrame::encode({code, 1, payload});
}

// A frame with other header bytes than the loader sends, and a good CRC.
QByteArray foreignFrame(const QByteArray& payload) {
    QByteArray bytes = frame(payload);
    bytes[0] = char(0x7E);
    bytes[1] = char(0x05);
    bytes[8] = char(0xAA);
    bytes[9] = char(0x55);
    BrokerFrame::AppendCrc16(bytes.data(), int(bytes.size()) - 2);
    return bytes;
}

QByteArray damaged(QByteArray bytes) {
    bytes[10] = char(bytes.at(10) ^ 0x20);
    return bytes;
}

// The answer a fake broker gives to each command: a first frame at once, a second frame whose
// half comes at once and whose other half comes only after the next command (the wait for the
// answer runs out in between).
struct SplittingBroker {
    explicit SplittingBroker(FakeTcpLayer& link) : tcp(link) {}
    void answer(const QByteArray& command) {
        if (!rest.isEmpty()) {
            tcp.receive(rest, 10);
        }
        const QByteArray second = frame(command + "-2");
        tcp.receive(frame(command + "-1"), 15);
        tcp.receive(second.left(8), 16);
        rest = second.mid(8);
    }
    FakeTcpLayer& tcp;
    QByteArray rest;
};

// Consecutive broken pieces of the same staleness joined, as chunk boundaries may cut them.
QList<BrokerReceiver::Piece> joinBroken(const QList<BrokerReceiver::Piece>& pieces) {
    QList<BrokerReceiver::Piece> joined;
    for (const auto& p : pieces) {
        if (!p.frame && !joined.isEmpty() && !joined.last().frame &&
            joined.last().stale == p.stale) {
            joined.last().raw += p.raw;
        } else {
            joined.append(p);
        }
    }
    return joined;
}

QString describe(const QList<BrokerReceiver::Piece>& pieces) {
    QStringList parts;
    for (const auto& p : pieces) {
        parts << QString(p.stale ? "~" : "") + (p.frame
                                                    ? "F:" + QString::fromLatin1(p.frame->payload)
                                                    : "B:" + QString::number(p.raw.size()));
    }
    return parts.join(' ');
}

} // namespace

void BrokerTest::streamIsCutIntoFrames_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QString>("pieces");
    QTest::addColumn<int>("pending");
    const QByteArray b = frame("B");
    QTest::newRow("one frame") << QList<QByteArray>{kAnswer} << "F:3.14" << 0;
    QTest::newRow("split in the header")
        << QList<QByteArray>{kAnswer.left(5), kAnswer.mid(5)} << "F:3.14" << 0;
    QTest::newRow("split in the crc")
        << QList<QByteArray>{kAnswer.left(15), kAnswer.mid(15)} << "F:3.14" << 0;
    QTest::newRow("two joined") << QList<QByteArray>{kAnswer + b} << "F:3.14 F:B" << 0;
    QTest::newRow("joined and split")
        << QList<QByteArray>{kAnswer + b.left(3), b.mid(3)} << "F:3.14 F:B" << 0;
    QTest::newRow("empty payload") << QList<QByteArray>{kEmpty} << "F:" << 0;
    QTest::newRow("bad crc then good")
        << QList<QByteArray>{damaged(kAnswer) + b} << "B:16 F:B" << 0;
    QTest::newRow("garbage then frame") << QList<QByteArray>{"xyz" + b} << "B:3 F:B" << 0;
    QTest::newRow("impossible length")
        << QList<QByteArray>{QByteArray::fromHex("0141010000000F100300") + b} << "B:10 F:B" << 0;
    QTest::newRow("frame bigger than the buffer")
        << QList<QByteArray>{frame(QByteArray(4087, 'x')) + b} << "B:4099 F:B" << 0;
    QTest::newRow("largest frame")
        << QList<QByteArray>{frame(QByteArray(4086, 'x')).left(4096)} << "" << 4096;
    QTest::newRow("oversize garbage chunk")
        << QList<QByteArray>{QByteArray(5000, '\0')} << "B:4980" << 20;
    // Nothing marks where a frame starts: a damaged frame is not cut while a frame that starts
    // inside it may still be arriving; what follows decides (or the give-up, flush()).
    QTest::newRow("damaged frame alone") << QList<QByteArray>{damaged(kAnswer)} << "" << 16;
    QTest::newRow("garbage before a split frame")
        << QList<QByteArray>{"junk" + kAnswer.left(9), kAnswer.mid(9)} << "B:4 F:3.14" << 0;
    QTest::newRow("lead bytes everywhere")
        << QList<QByteArray>{QByteArray(6000, '\x01')} << "B:5649" << 351;
    // A frame is its length and its CRC: the lead byte, the code and bytes 8 and 9 may hold
    // anything, and garbage is cut whatever they hold.
    QTest::newRow("other header bytes") << QList<QByteArray>{foreignFrame("3.14")} << "F:3.14" << 0;
    QTest::newRow("other header bytes, joined and split")
        << QList<QByteArray>{foreignFrame("A") + foreignFrame("BC").left(9),
                             foreignFrame("BC").mid(9) + "junk" + foreignFrame("D")}
        << "F:A F:BC B:4 F:D" << 0;
    QTest::newRow("tail of a frame with a small length field")
        << QList<QByteArray>{frame("part2").mid(8) + b} << "B:9 F:B" << 0;
    QTest::newRow("head of a long frame, waited for until it cannot be one")
        << QList<QByteArray>{QByteArray::fromHex("01410100000040000909") + b, QByteArray(53, 'z')}
        << "B:10 F:B B:46" << 7;
    QTest::newRow("damaged frame, then the next")
        << QList<QByteArray>{damaged(kAnswer), b} << "B:16 F:B" << 0;
    QTest::newRow("incomplete") << QList<QByteArray>{kAnswer.left(7)} << "" << 7;
}

void BrokerTest::streamIsCutIntoFrames() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QString, pieces);
    QFETCH(int, pending);
    BrokerReceiver receiver;
    QList<BrokerReceiver::Piece> all;
    for (const QByteArray& chunk : chunks) {
        all += receiver.feed(chunk);
    }
    QCOMPARE(describe(all), pieces);
    QCOMPARE(int(receiver.pendingSize()), pending);
    QByteArray raw;
    for (const auto& p : all) {
        raw += p.raw;
    }
    if (const auto rest = receiver.flush()) {
        raw += rest->raw;
    }
    QCOMPARE(raw, chunks.join()); // every byte comes out once, in order
}

void BrokerTest::bytewiseDeliveryMatchesBulkDelivery() {
    const QByteArray stream = kAnswer + "junk" + frame("second") + kEmpty + frame("third");
    BrokerReceiver bulk;
    BrokerReceiver bytewise;
    QList<BrokerReceiver::Piece> one;
    for (char c : stream) {
        one += bytewise.feed(QByteArray(1, c));
    }
    const QList<BrokerReceiver::Piece> all = bulk.feed(stream);
    QCOMPARE(describe(one), QStringLiteral("F:3.14 B:4 F:second F: F:third"));
    QCOMPARE(describe(one), describe(all));
}

void BrokerTest::cleanStreamOfBinaryFramesComesOutWhole() {
    // Binary payloads hold, here and there, bytes that pass for a whole frame: a frame still
    // arriving must not be given up for one of them, however the stream is cut.
    std::mt19937 random(11);
    for (int stream = 0; stream < 300; ++stream) {
        QByteArray bytes;
        int frames = 0;
        for (; bytes.size() < 30000; ++frames) {
            QByteArray payload(qsizetype(random() % 4086), '\0');
            for (char& c : payload) {
                c = char(random());
            }
            bytes += foreignFrame(payload);
        }
        BrokerReceiver receiver;
        int whole = 0;
        for (qsizetype at = 0; at < bytes.size();) {
            const QByteArray chunk = bytes.mid(at, 1 + qsizetype(random() % 2000));
            at += chunk.size();
            for (const BrokerReceiver::Piece& piece : receiver.feed(chunk)) {
                QVERIFY2(piece.frame, qPrintable(QStringLiteral("stream %1").arg(stream)));
                ++whole;
            }
        }
        QCOMPARE(whole, frames);
    }
}

void BrokerTest::sentFramesCarryTheIdLengthAndCrc_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("VER for id 1") << "1" << QByteArray("VER")
                                  << QByteArray::fromHex("01410100000003000300564552DD17");
    QTest::newRow("id not a number")
        << "abc" << QByteArray("VER") << QByteArray::fromHex("01410000000003000300564552D9EB");
    QTest::newRow("large id") << "305419896" << QByteArray()
                              << QByteArray::fromHex("014178563412000003009191");
}

void BrokerTest::sentFramesCarryTheIdLengthAndCrc() {
    QFETCH(QString, id);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, bytes);
    ConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    rig.form.HARDWARE_IDEdt.text = id;
    rig.loader.setAnswerTimeout(100);
    rig.operation([&] { rig.loader.exchange.SendCommand(command); });
    QCOMPARE(rig.fakes.tcp->written.first(), bytes);
}

void BrokerTest::commandTooLongForAFrameIsRefusedAndNothingSent() {
    ConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    rig.loader.setAnswerTimeout(100);
    rig.loader.state.AttemptLimit = 1;
    rig.operation([&] { rig.loader.exchange.SendCommand(QByteArray(2037, 'a')); });
    QCOMPARE(rig.fakes.tcp->written.size(), 1);
    QCOMPARE(rig.fakes.tcp->written.first().size(), 2049);
    rig.operation([&] { rig.loader.exchange.SendCommand(QByteArray(2038, 'a')); });
    QCOMPARE(rig.fakes.tcp->written.size(), 1);
    QVERIFY2(rig.loader.output.status(3).contains("2038"), qPrintable(rig.loader.output.status(3)));
    QVERIFY(rig.loader.output.status(3).contains("2037"));
}

void BrokerTest::receivedFramesReachTheAnswer_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("lines");
    QTest::newRow("answer") << QList<QByteArray>{kAnswer} << true << QByteArray("3.14")
                            << "Ответ получен [4 байт]" << 1;
    QTest::newRow("split answer") << QList<QByteArray>{kAnswer.left(9), kAnswer.mid(9)} << true
                                  << QByteArray("3.14") << "Ответ получен [4 байт]" << 1;
    QTest::newRow("two in one chunk") << QList<QByteArray>{frame("AB") + frame("CD")} << true
                                      << QByteArray("ABCD") << "Ответ получен [2 байт]" << 2;
    QTest::newRow("empty payload")
        << QList<QByteArray>{kEmpty} << false << QByteArray() << "Ответ получен [0 байт]" << 0;
    QTest::newRow("bad crc") << QList<QByteArray>{damaged(kAnswer)} << true
                             << damaged(kAnswer) + "bad CRC"
                             << "Ошибка CRC пакета [16 байт]" << 1;
    QTest::newRow("never completes")
        << QList<QByteArray>{kAnswer.left(7)} << true << kAnswer.left(7) + "bad CRC"
        << "Ошибка CRC пакета [7 байт]" << 1;
    QTest::newRow("not found, waiting, with text")
        << QList<QByteArray>{frame("offline", 0xC1)} << true << QByteArray("offline")
        << "БРОКЕР:LUMET не найден..." << 1;
}

void BrokerTest::receivedFramesReachTheAnswer() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(bool, answered);
    QFETCH(QByteArray, answer);
    QFETCH(QString, status);
    QFETCH(int, lines);
    ConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    rig.form.cbWaitConnectLUMET.checked = true;
    rig.loader.state.DebugMode = true;
    rig.loader.setAnswerTimeout(5000);
    rig.loader.state.AttemptLimit = 1;
    bool result = !answered;
    QByteArray buffer;
    rig.operation([&] {
        std::uint64_t at = 10;
        for (const QByteArray& chunk : chunks) {
            rig.fakes.tcp->receive(chunk, at);
            at += 20;
        }
        const std::uint64_t start = rig.runtime.elapsed();
        result = rig.loader.exchange.SendCommand("VER");
        // Every answer here, a damaged frame with nothing after it too, ends with its quiet
        // ticks, long before the give-up on a frame that never completes.
        const bool quick = answered && chunks != QList<QByteArray>{kAnswer.left(7)};
        QVERIFY(!quick || rig.runtime.elapsed() - start < 200);
        // A damaged frame is kept apart from the answer, shown but never judged.
        buffer = rig.loader.state.AnswerBuffer + rig.loader.state.DamagedText;
    });
    QCOMPARE(result, answered);
    QCOMPARE(buffer, answer);
    QVERIFY2(rig.status3.contains(status), qPrintable(rig.status3.join('|')));
    QCOMPARE(rig.loader.terminal.lines.size(), 1 + lines); // the command's line first
    QVERIFY(rig.dialogs.calls.isEmpty());
    // The trace shows the answer as it stood before this frame.
    const QString trace = rig.runtime.debugLines.last();
    QVERIFY2(trace.startsWith("TCPClientDataAvailable "), qPrintable(trace));
    QVERIFY(trace.endsWith(" " + QString::number(rig.loader.state.ReceiveTraceTick)));
}

void BrokerTest::otherControllersFramesStayOutOfTheAnswer_data() {
    QTest::addColumn<QByteArray>("other");
    QTest::addColumn<int>("everyMs"); // 0: once, before the answer
    QTest::addColumn<QString>("line");
    QTest::newRow("banner of another id")
        << BrokerFrame::encode({0x41, 2, "UNIT:OTHER"}) << 0 << "[контроллер 2] UNIT:OTHER";
    QTest::newRow("another id not found")
        << BrokerFrame::encode({0xC1, 9, ""}) << 0 << "[контроллер 9: не найден] ";
    // Another controller's chatter does not keep the answer from completing.
    QTest::newRow("chatter all through the wait")
        << BrokerFrame::encode({0x41, 3, "tick"}) << 10 << "[контроллер 3] tick";
}

void BrokerTest::otherControllersFramesStayOutOfTheAnswer() {
    QFETCH(QByteArray, other);
    QFETCH(int, everyMs);
    QFETCH(QString, line);
    ConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    rig.form.HARDWARE_IDEdt.text = "1";
    rig.loader.setAnswerTimeout(3000);
    rig.loader.state.AttemptLimit = 1;
    bool answered = false;
    QByteArray answer;
    std::uint64_t took = 0;
    rig.operation([&] {
        for (int at = 10; at <= (everyMs > 0 ? 3000 : 10); at += std::max(everyMs, 1)) {
            rig.fakes.tcp->receive(other, std::uint64_t(at));
        }
        rig.fakes.tcp->receive(kAnswer, 50);
        const std::uint64_t start = rig.runtime.elapsed();
        answered = rig.loader.exchange.SendCommand("VER");
        took = rig.runtime.elapsed() - start;
        answer = rig.loader.state.AnswerBuffer;
    });
    QVERIFY(answered);
    QCOMPARE(answer, QByteArray("3.14"));
    QVERIFY2(took < 200, qPrintable(QString::number(took)));
    QVERIFY(rig.dialogs.calls.isEmpty());
    QVERIFY(!rig.status3.contains("БРОКЕР:LUMET не найден..."));
    QVERIFY(rig.loader.terminal.lines.contains(Cp1251::encode(line)));
}

void BrokerTest::notFoundWithoutWaitingShowsTheBoxAndEndsTheWait() {
    ConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    bool result = true;
    std::uint64_t took = 0;
    rig.operation([&] {
        rig.fakes.tcp->receive(kNotFound, 50);
        const std::uint64_t start = rig.runtime.elapsed();
        result = rig.loader.exchange.SendCommand("VER");
        took = rig.runtime.elapsed() - start;
    });
    QVERIFY(!result);
    QVERIFY(took < 100);
    QCOMPARE(rig.dialogs.calls.size(), 1);
    QCOMPARE(rig.dialogs.calls.first().kind, QStringLiteral("error"));
    QCOMPARE(rig.dialogs.calls.first().text,
             QStringLiteral("БРОКЕР:LUMET не найден...\r\nПовторите операцию позже..."));
    QCOMPARE(rig.fakes.tcp->written.size(), 1);
}

void BrokerTest::notFoundWhileWaitingRepeatsTheCommand() {
    ConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    rig.form.cbWaitConnectLUMET.checked = true;
    rig.loader.setAnswerTimeout(1000);
    rig.loader.state.AttemptLimit = 3;
    rig.fakes.onTcpMade = [](FakeTcpLayer& tcp) {
        tcp.onWrite = [&tcp](const QByteArray&) { tcp.receive(kNotFound, 30); };
    };
    bool result = true;
    rig.operation([&] { result = rig.loader.exchange.SendCommand("VER"); });
    QVERIFY(!result);
    QVERIFY(rig.dialogs.calls.isEmpty());
    QCOMPARE(rig.fakes.tcp->written.size(), 3);
    QVERIFY(rig.status3.contains("БРОКЕР:LUMET не найден..."));
}

void BrokerTest::incompleteFrameIsDroppedWhenTheNextCommandGoesOut() {
    ConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    rig.loader.setAnswerTimeout(500);
    rig.loader.state.AttemptLimit = 1;
    QByteArray second;
    rig.operation([&] {
        rig.fakes.tcp->receive(kAnswer.left(6), 10);
        rig.loader.exchange.SendCommand("VER"); // times out before the frame is given up
        rig.fakes.tcp->receive(frame("2.0"), 10);
        rig.loader.exchange.SendCommand("VER");
        second = rig.loader.state.AnswerBuffer;
    });
    QCOMPARE(second, QByteArray("2.0"));
    QVERIFY(rig.status3.contains("Ошибка CRC пакета [6 байт]"));
    QVERIFY(rig.loader.terminal.lines.contains(kAnswer.left(6) + "bad CRC"));
}

void BrokerTest::staleFrameKeepsItsPlaceInTheStream_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("pieces");
    const QByteArray b = frame("B");
    QTest::newRow("completes after the send")
        << kAnswer.left(8) << kAnswer.mid(8) + b << "~F:3.14 F:B";
    QTest::newRow("split in the header") << kAnswer.left(3) << kAnswer.mid(3) + b << "~F:3.14 F:B";
    QTest::newRow("never completes, next frame behind it") << kAnswer.left(6) << b << "~B:6 F:B";
    QTest::newRow("damaged, then a damaged answer")
        << damaged(kAnswer).left(9) << damaged(kAnswer).mid(9) + damaged(b) + b << "~B:16 B:13 F:B";
    QTest::newRow("garbage held, then an answer")
        << QByteArray("\x01\x41junk") << QByteArray("more junk") + b << "~B:15 F:B";
    QTest::newRow("nothing held") << QByteArray() << b << "F:B";
}

void BrokerTest::staleFrameKeepsItsPlaceInTheStream() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, pieces);
    for (const bool bytewise : {false, true}) { // the stale mark survives partial feeds
        BrokerReceiver receiver;
        QList<BrokerReceiver::Piece> all = receiver.feed(before);
        receiver.markStale();
        QCOMPARE(receiver.holdsStaleFrame(), !before.isEmpty());
        if (bytewise) {
            for (char c : after) {
                all += receiver.feed(QByteArray(1, c));
            }
        } else {
            all += receiver.feed(after);
        }
        QCOMPARE(describe(joinBroken(all)), pieces);
        QCOMPARE(receiver.pendingSize(), 0);
        QVERIFY(!receiver.holdsStaleFrame());
    }
}

void BrokerTest::answerWaitsForTheRestOfASplitFrame() {
    // The pause inside the frame is longer than the quiet time that completes an answer.
    ConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    rig.loader.setAnswerTimeout(3000);
    rig.loader.state.AttemptLimit = 1;
    const QByteArray second = frame("second");
    bool answered = false;
    QByteArray answer;
    std::uint64_t took = 0;
    rig.operation([&] {
        rig.fakes.tcp->receive(frame("first "), 5);
        rig.fakes.tcp->receive(second.left(9), 6);
        rig.fakes.tcp->receive(second.mid(9), 90);
        const std::uint64_t start = rig.runtime.elapsed();
        answered = rig.loader.exchange.SendCommand("ONE");
        took = rig.runtime.elapsed() - start;
        answer = rig.loader.state.AnswerBuffer;
    });
    QVERIFY(answered);
    QCOMPARE(answer, QByteArray("first second"));
    QVERIFY2(took >= 90 && took < 200, qPrintable(QString::number(took)));
}

void BrokerTest::frameSplitAcrossTheNextCommandStaysOutOfItsAnswer() {
    ConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    rig.loader.setAnswerTimeout(60); // runs out while the frame waits for its rest
    rig.loader.state.AttemptLimit = 1;
    const QByteArray late = frame("late");
    QList<QByteArray> answers;
    rig.operation([&] {
        rig.fakes.tcp->receive(frame("first"), 5);
        rig.fakes.tcp->receive(late.left(9), 6);
        rig.loader.exchange.SendCommand("ONE");
        answers << rig.loader.state.AnswerBuffer;
        rig.fakes.tcp->receive(late.mid(9), 10);
        rig.fakes.tcp->receive(frame("second"), 20);
        rig.loader.exchange.SendCommand("TWO");
        answers << rig.loader.state.AnswerBuffer;
    });
    QCOMPARE(answers, (QList<QByteArray>{"first", "second"}));
    QVERIFY2(rig.status3.contains("Запоздавший пакет [4 байт] пропущен"),
             qPrintable(rig.status3.join('|')));
    QVERIFY(rig.loader.terminal.lines.contains("late"));
    QVERIFY(!rig.status3.join('|').contains("Ошибка CRC"));
}

void BrokerTest::framesSplitAcrossSeveralCommandsInARow() {
    ConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    rig.loader.setAnswerTimeout(60);
    rig.loader.state.AttemptLimit = 1;
    std::unique_ptr<SplittingBroker> broker;
    rig.fakes.onTcpMade = [&broker](FakeTcpLayer& tcp) {
        broker = std::make_unique<SplittingBroker>(tcp);
        tcp.onWrite = [&broker](const QByteArray& bytes) {
            broker->answer(BrokerFrame::decode(bytes)->payload);
        };
    };
    QList<QByteArray> answers;
    rig.operation([&] {
        for (const QByteArray command : {"A", "B", "C", "D"}) {
            rig.loader.exchange.SendCommand(command);
            answers << rig.loader.state.AnswerBuffer;
        }
        rig.runtime.runFor(BrokerLink::kIncompleteFrameTimeoutMs + 100);
    });
    QCOMPARE(answers, (QList<QByteArray>{"A-1", "B-1", "C-1", "D-1"}));
    QCOMPARE(rig.status3.filter("Запоздавший пакет [3 байт] пропущен").size(), 3);
    for (const QByteArray late : {"A-2", "B-2", "C-2"}) {
        QVERIFY2(rig.loader.terminal.lines.contains(late), late.constData());
    }
    // The last one never completes: given up as damaged once the link stays quiet.
    QVERIFY(rig.status3.contains("Ошибка CRC пакета [8 байт]"));
}

QTEST_GUILESS_MAIN(BrokerTest)
#include "tst_broker.moc"
