#pragma once

// Exiv2's XMP toolkit, shared by every thread that reads or writes XMP.
namespace XmpToolkit {

// Readies the toolkit once for use from several threads at a time, with Exiv2's messages muted.
// False when it could not be set up, and XMP must then be left alone.
bool ready();

} // namespace XmpToolkit
