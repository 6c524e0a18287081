#pragma once

#include <QIcon>
#include <QString>

namespace Icons {

// The application's own icon for a symbol name: "house", "seal.fill", "checkmark.seal.fill",
// "exclamationmark.seal.fill", "arrow.down.doc", "trash", "plus", and the per-file outcomes
// "checkmark.circle.fill" (written), "xmark.circle.fill" (not written), "minus.circle" (skipped).
// Null for an unknown name.
QIcon icon(const QString& name);

// The application's own icon, for its windows and its information.
QIcon applicationIcon();

} // namespace Icons
