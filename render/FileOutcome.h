#pragma once

#include "model/Result.h"

#include <QString>

// What stamping one file came to: the path of the written output, or why nothing was written.
// The batch ignores it (a failed file still counts as handled); tests and tools read it.
using FileOutcome = Result<QString>;
