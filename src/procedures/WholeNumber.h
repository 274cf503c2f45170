#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstdint>

// Whole numbers typed by the user or sent by the controller. A text that is not a decimal number
// fitting a signed 32-bit value raises LoaderError with the conversion error text, which ends the
// running operation through the driver.
namespace WholeNumber {
// A decimal number with an optional sign; blanks around it are allowed.
std::int32_t parse(const QString& text);
// A run of decimal digits (no sign), as the controller sends them after a key.
std::int32_t parseDigits(QByteArrayView digits);
// The message of the conversion error for the text.
QString conversionError(const QString& text);
} // namespace WholeNumber
