#pragma once

#include "render/FileOutcome.h"

#include <QString>

// Where a stamped file goes: the output folder plus the input's own file name, letter case and
// extension unchanged. Fails when the output folder does not exist.
FileOutcome outputLocation(const QString& inputFile, const QString& outputFolder);
