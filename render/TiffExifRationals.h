#pragma once

class QIODevice;

// libtiff keeps a TIFF's EXIF rationals in single precision, so a copied exposure time of 1/250
// comes out as 8589935/2147483648. This puts the input's exact fractions back.
namespace TiffExifRationals {

// Overwrites, in the classic TIFF written into output, the rationals of the first page's main
// and EXIF directories with the exact values the input at inputDescriptor holds (read by Exiv2),
// each only where the written entry has the input's type and count; nothing else is touched, so
// nothing moves or grows, and later pages are left as written. A failed write is left for the
// output to report.
void restore(int inputDescriptor, QIODevice& output);

} // namespace TiffExifRationals
