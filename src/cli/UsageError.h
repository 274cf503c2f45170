#pragma once

#include <QString>
#include <stdexcept>

// A command line that cannot be carried out as given; velkor-cli prints the text and exits 64.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QString& message)
        : std::runtime_error(message.toStdString()), text_(message) {}
    const QString& text() const { return text_; }

private:
    QString text_;
};
