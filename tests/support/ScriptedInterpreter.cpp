#include "ScriptedInterpreter.h"

#include "ScriptedDevice.h"

namespace {

constexpr int kAreaStart = 70 * ScriptedInterpreter::kPageSize;

QByteArray echo(const QByteArray& command) {
    return command + "\r\n";
}

} // namespace

ScriptedInterpreter::ScriptedInterpreter(ScriptedDevice& device) : device_(device) {
    memory = QByteArray(200 * kPageSize, '\xFF');
    device_.onWrite = [this](const QByteArray& text) {
        commands.append(text);
        QByteArray reply = respond(text);
        if (rewrite && !rewrite(text, reply)) {
            return;
        }
        if (!reply.isEmpty()) {
            device_.deliver(reply, std::uint64_t(answerDelayMs));
        }
    };
}

QByteArray ScriptedInterpreter::stored(int offset, int length) const {
    return memory.mid(kAreaStart + offset, length);
}

void ScriptedInterpreter::store(int offset, const QByteArray& bytes) {
    memory.replace(kAreaStart + offset, bytes.size(), bytes);
}

QByteArray ScriptedInterpreter::respond(const QByteArray& command) {
    const qsizetype blank = command.indexOf(' ');
    const QByteArray keyword = blank < 0 ? command : command.left(blank);
    const QByteArray argument = blank < 0 ? QByteArray() : command.mid(blank + 1);
    if (keyword == "PASSWORD") {
        if (!argument.isEmpty()) {
            unlocked =
                argument == password || (!builtInPassword.isEmpty() && argument == builtInPassword);
        } else {
            // A bare "PASSWORD" asks again: a locked controller takes the access back.
            unlocked = password.isEmpty();
        }
        return echo(command) + (unlocked ? "access granted\r\n" : "access denied\r\n");
    }
    if (keyword == "PAGEWRITE") {
        return writePage(argument);
    }
    if (keyword == "PAGEREAD") {
        return readPage();
    }
    if (keyword == "WRITECOUNTER") {
        lineCounter = argument.toUInt();
    } else if (keyword == "PAGENUM") {
        page = argument.toInt();
    } else if (keyword == "PAGEADDR") {
        addr = argument.toInt();
    } else if (keyword == "PAGEHEXMODE") {
        hexMode = argument == "TRUE";
    } else if (keyword == "PAGECOUNT") {
        readCount = argument.toInt();
    } else if (keyword == "REPROGRAMM") {
        return reprogramAnswer;
    } else if (keyword == "VER") {
        return versionAnswer;
    }
    return echo(command);
}

void ScriptedInterpreter::put(const QByteArray& bytes) {
    const int at = page * kPageSize + addr;
    memory.replace(at, bytes.size(), bytes);
    const int next = at + int(bytes.size());
    page = next / kPageSize;
    addr = next % kPageSize;
}

QByteArray ScriptedInterpreter::writePage(const QByteArray& data) {
    ++writes;
    if (!unlocked) {
        return "ERROR access denied\r\n";
    }
    put(hexMode ? QByteArray::fromHex(data) : data);
    ++lineCounter;
    if (lostWriteAnswers.contains(writes)) {
        return QByteArray();
    }
    const std::uint32_t shown =
        skewedWrites.contains(writes) ? lineCounter + counterSkew : lineCounter;
    return "OK STR:" + QByteArray::number(shown) + " NUM:" + QByteArray::number(page) +
           " ADDR:" + QByteArray::number(addr) + "\r\n";
}

QByteArray ScriptedInterpreter::readPage() {
    const int at = page * kPageSize + addr;
    const QByteArray bytes = memory.mid(at, readCount);
    const int next = at + int(bytes.size());
    page = next / kPageSize;
    addr = next % kPageSize;
    return (hexMode ? bytes.toHex().toUpper() : bytes) + "\r\n";
}
