#pragma once

#include <memory>

class QPDF;

// A qpdf document object that keeps its warnings to itself: they are still recorded (anyWarnings()
// tells whether the document needed repair) but never printed.
std::unique_ptr<QPDF> newQuietQpdf();
