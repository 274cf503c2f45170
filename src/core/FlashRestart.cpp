#include "FlashRestart.h"

namespace {

const char* const kNames[] = {"none", "command", "dtr", "rts"};

} // namespace

QString FlashRestart::name(int kind) {
    if (kind <= None || kind > Rts) {
        return QString();
    }
    return QString::fromLatin1(kNames[kind]);
}

std::optional<FlashRestart::Kind> FlashRestart::parse(const QString& name) {
    for (int kind = None; kind <= Rts; ++kind) {
        if (name == QLatin1String(kNames[kind])) {
            return Kind(kind);
        }
    }
    return std::nullopt;
}

QStringList FlashRestart::captions() {
    return {QStringLiteral("Перезапуск вручную"), QStringLiteral("Перезапуск командой RESET"),
            QStringLiteral("Перезапуск импульсом DTR"), QStringLiteral("Перезапуск импульсом RTS")};
}
