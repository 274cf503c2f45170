#include "Dialect.h"

#include <array>
#include <utility>

namespace devsim {

QByteArray Dialect::line(const QByteArray& text) const {
    return text + lineEnd;
}

QByteArray Dialect::lineBefore(const QByteArray& text) const {
    return text + (lineEnd.isEmpty() ? QByteArray(" ") : lineEnd);
}

QByteArray Dialect::lines(const QList<QByteArray>& texts) const {
    QByteArray printed;
    for (const QByteArray& text : texts) {
        if (!lineEnd.isEmpty()) {
            printed += text + lineEnd;
        } else if (!text.isEmpty()) {
            printed += (printed.isEmpty() ? QByteArray() : QByteArray(" ")) + text;
        }
    }
    return printed;
}

QByteArray Dialect::setting(const QByteArray& keyword, const QByteArray& value) const {
    return line(bare ? value : keyword + "=" + value);
}

QByteArray Dialect::setting(const QByteArray& keyword, long number) const {
    QByteArray digits = QByteArray::number(number);
    if (padded && digits.size() < 4) {
        digits.prepend(QByteArray(4 - digits.size(), '0'));
    }
    return setting(keyword, digits);
}

QByteArray Dialect::interpreterError(const QByteArray& what) const {
    return line((tokenErrors ? "ERROR: " : "ERR: ") + what);
}

namespace {

const std::array<std::pair<const char*, const char*>, 4> kLineEnds{{
    {"cr", "\r"},
    {"lf", "\n"},
    {"crlf", "\r\n"},
    {"noeol", ""},
}};

using Switch = void (*)(Dialect&);

const std::array<std::pair<const char*, Switch>, 8> kSwitches{{
    {"echo", [](Dialect& d) { d.echo = true; }},
    {"prompt", [](Dialect& d) { d.prompt = true; }},
    {"progress", [](Dialect& d) { d.progress = true; }},
    {"padded", [](Dialect& d) { d.padded = true; }},
    {"bare", [](Dialect& d) { d.bare = true; }},
    {"str-only", [](Dialect& d) { d.strOnly = true; }},
    {"page-end", [](Dialect& d) { d.pageEnd = true; }},
    {"token-errors", [](Dialect& d) { d.tokenErrors = true; }},
}};

const QString kPagePrefix = QStringLiteral("page=");

// What the features chose that only one of them may choose.
struct Chosen {
    QString lineEnd;
    QString pageSize;
};

struct DialectProblem {
    QString text;
};

// A choice only one feature may make: a second, different one contradicts the first.
void choose(QString& chosen, const QString& feature, const char* what) {
    if (!chosen.isEmpty() && chosen != feature) {
        throw DialectProblem{QStringLiteral("--dialect: \"%1\" and \"%2\" both choose the %3; "
                                            "give one")
                                 .arg(chosen, feature, QLatin1String(what))};
    }
    chosen = feature;
}

int pageSizeOf(const QString& feature) {
    bool ok = false;
    const int size = feature.mid(kPagePrefix.size()).toInt(&ok);
    if (!ok || size < Dialect::kMinPageSize || size > Dialect::kMaxPageSize) {
        throw DialectProblem{QStringLiteral("--dialect: page=N needs a page size N from %1 to "
                                            "%2, not \"%3\"")
                                 .arg(Dialect::kMinPageSize)
                                 .arg(Dialect::kMaxPageSize)
                                 .arg(feature)};
    }
    return size;
}

void applyFeature(const QString& feature, Dialect& dialect, Chosen& chosen) {
    for (const auto& [name, end] : kLineEnds) {
        if (feature == QLatin1String(name)) {
            choose(chosen.lineEnd, feature, "line end");
            dialect.lineEnd = end;
            return;
        }
    }
    for (const auto& [name, apply] : kSwitches) {
        if (feature == QLatin1String(name)) {
            apply(dialect);
            return;
        }
    }
    if (feature.startsWith(kPagePrefix)) {
        dialect.pageSize = pageSizeOf(feature);
        choose(chosen.pageSize, QStringLiteral("page=%1").arg(dialect.pageSize), "page size");
        return;
    }
    throw DialectProblem{QStringLiteral("--dialect: unknown feature \"%1\"; the known ones are %2")
                             .arg(feature, dialectFeatureNames())};
}

} // namespace

QString dialectFeatureNames() {
    QStringList names;
    for (const auto& [name, end] : kLineEnds) {
        names << QLatin1String(name);
    }
    for (const auto& [name, apply] : kSwitches) {
        names << QLatin1String(name);
    }
    names << QStringLiteral("page=N");
    return names.join(QStringLiteral(", "));
}

std::optional<Dialect> parseDialect(const QStringList& features, Dialect dialect, QString* error) {
    Chosen chosen;
    try {
        for (const QString& feature : features) {
            applyFeature(feature, dialect, chosen);
        }
    } catch (const DialectProblem& problem) {
        *error = problem.text;
        return std::nullopt;
    }
    return dialect;
}

} // namespace devsim
