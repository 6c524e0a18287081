#pragma once

#include "app/AppcastItem.h"
#include "model/Result.h"

#include <QByteArray>

#include <vector>

// Reads the items of an update feed, in the feed's order. Items without a build version cannot be
// compared and are left out. A document that is not well-formed XML, or not RSS with a channel,
// fails with the reason in words.
Result<std::vector<AppcastItem>> parseAppcast(const QByteArray& feed);
