#pragma once

#include <qpdf/QPDFObjectHandle.hh>

#include <set>
#include <string>

// What a page's resources say about paint being opaque, for judging whether a mark laid under the
// page's content would be hidden. Anything that does not read counts as not opaque.
namespace OpaqueResources {

// The names (without their slash) of the graphics state dictionaries among the resources that
// leave paint as opaque as it is and unblended.
std::set<std::string> plainStatesOf(QPDFObjectHandle resources);

// Whether the resources name as this XObject (without its slash) an image that is opaque
// throughout: no mask of any kind, no optional content, samples of ink that decode whole.
bool isOpaqueImage(QPDFObjectHandle resources, const std::string& name);

} // namespace OpaqueResources
