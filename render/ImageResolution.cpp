#include "render/ImageResolution.h"

namespace ImageResolution {

std::optional<QSizeF> dotsPerInch(const QString&)
{
    return std::nullopt;
}

} // namespace ImageResolution
