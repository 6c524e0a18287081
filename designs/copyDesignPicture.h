#pragma once

#include "model/Result.h"

#include <QString>
#include <QUrl>
#include <QUuid>

// Copies the picture a user chose for a design into documentsFolder (created when missing) as
// "<ID>.jpg", byte for byte, whatever its format, and gives the copy's location. The copy is
// written to a temporary file and renamed over any earlier copy only once complete, so a
// failure leaves the earlier copy whole. Only a regular file holding a PNG, JPEG or TIFF
// picture is copied; the error says why anything else was not.
Result<QUrl> copyDesignPicture(const QString& source, const QUuid& id, const QString& documentsFolder);
