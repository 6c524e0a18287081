#pragma once

#include "app/AppcastItem.h"

#include <optional>
#include <vector>

// The item to offer: the one with the greatest version above runningVersion among those whose
// minimum system version this system meets; nothing when that is the version the user chose to
// skip. Versions compare as dotted numbers, so 1.10 is newer than 1.9 and 2.0 equals 2.
std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem>& items, const QString& runningVersion,
                                        const QString& skippedVersion);
