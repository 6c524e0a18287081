#pragma once

#include <QIcon>
#include <QString>

namespace Icons {

// The application's own icon for a symbol name: "house", "seal.fill", "checkmark.seal.fill",
// "arrow.down.doc", "trash", "plus". Null for an unknown name.
QIcon icon(const QString& name);

} // namespace Icons
