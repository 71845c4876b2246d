// The dispatch table of _DOrvanta: the same members, ids and types as the
// type library that control/orvanta.idl describes.
#pragma once

#include "framework/automation.h"

namespace orvanta {

const framework::AutoTable& OrvantaMembers();

}  // namespace orvanta
