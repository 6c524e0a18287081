#include "render/XmpToolkit.h"

#include <exiv2/exiv2.hpp>

#include <mutex>

namespace XmpToolkit {

bool ready()
{
    // Batch workers read and write XMP at once, and decoding XMP registers the namespaces a file
    // brings in the toolkit, which is not safe across threads unless given this hook of its own.
    // Nothing of this program's state is behind it.
    static std::mutex registry;
    static const bool initialised = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        return Exiv2::XmpParser::initialize(
            [](void* mutex, bool lock) {
                lock ? static_cast<std::mutex*>(mutex)->lock() : static_cast<std::mutex*>(mutex)->unlock();
            },
            &registry);
    }();
    return initialised;
}

} // namespace XmpToolkit
