#pragma once

#include <QString>

// Advice for a serial device the user may not open: which group grants the access (the
// device's own group, "dialout" on Debian) and how to join it. Empty where no such rule applies.
namespace PortPermission {
QString advice(const QString& device);
} // namespace PortPermission
