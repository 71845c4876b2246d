// The dispatch table of _DOrvanta: the same members, ids and types as the
// type library that control/orvanta.idl describes.
#pragma once

#include "platform/automation.h"

namespace orvanta {

const platform::AutoTable& OrvantaMembers();

}  // namespace orvanta
