#include "cli/CampaignUrl.h"

#include <QUrl>
#include <QUrlQuery>

std::optional<CampaignUrl> CampaignUrl::parse(const QString& text, QString& error) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QStringLiteral("postgresql") &&
                           url.scheme() != QStringLiteral("postgres"))) {
        error = QStringLiteral("\"%1\" is not postgresql://HOST:PORT/DB?name=NAME").arg(text);
        return std::nullopt;
    }
    CampaignUrl parsed;
    parsed.user = url.userName();
    parsed.password = url.password();
    parsed.host = url.host();
    parsed.port = url.port(-1);
    parsed.database = url.path().mid(1);
    QStringList options;
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (key == QStringLiteral("name")) {
            parsed.name = value;
        } else {
            options << key + QLatin1Char('=') + value;
        }
    }
    parsed.options = options.join(QLatin1Char(';'));
    if (parsed.name.isEmpty() || parsed.name.size() > 200) {
        error = QStringLiteral("\"%1\" names no campaign: add ?name=NAME").arg(text);
        return std::nullopt;
    }
    return parsed;
}

QString CampaignUrl::shown() const {
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty()) {
        text += user + QLatin1Char('@');
    }
    text += host;
    if (port >= 0) {
        text += QLatin1Char(':') + QString::number(port);
    }
    return text + QLatin1Char('/') + database + QStringLiteral("?name=") + name;
}
