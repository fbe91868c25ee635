#pragma once

// A rendered sound that many may play at once: 16-bit linear samples that never change
// once made, shared rather than copied.

#include <QVector>

#include <memory>

namespace orvane {

using Sound = std::shared_ptr<const QVector<qint16>>;

} // namespace orvane
