#pragma once

#include <QString>
#include <stdexcept>

// A failure that carries the message text shown to the user. Procedures and connection layers
// raise it; the operation driver catches it and shows the text in the status bar.
class LoaderError : public std::runtime_error {
public:
    explicit LoaderError(const QString& message)
        : std::runtime_error(message.toStdString()), text_(message) {}
    const QString& text() const { return text_; }

private:
    QString text_;
};

// The text of any exception as the user sees it.
inline QString errorText(const std::exception& e) {
    if (const auto* loaderError = dynamic_cast<const LoaderError*>(&e)) {
        return loaderError->text();
    }
    return QString::fromUtf8(e.what());
}
