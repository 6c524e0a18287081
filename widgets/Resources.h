#pragma once

namespace Resources {

// Registers the application's compiled-in resources (icons, the sample document). They live
// in a static library, whose registration the linker would otherwise drop. Safe to call often.
void ensureRegistered();

} // namespace Resources
