#include "support/sealed.h"

namespace vornask::testing {

// scripts/sealed makes Linux namespaces; nothing seals a test under wine.
bool Sealed() { return false; }

}  // namespace vornask::testing
