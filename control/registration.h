// What each class object writes to and removes from the registry.
#pragma once

namespace orvanta::registration {

bool UpdateControlRegistry(bool register_class);
bool UpdatePageRegistry(bool register_class);

}  // namespace orvanta::registration
