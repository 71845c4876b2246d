// The dispatch table of _DOrvanta, made from the member list: the same
// members, ids and types as the type library that control/orvanta.idl
// describes, each with its call on the control object (OrvantaControl).
#pragma once

#include "framework/automation.h"

namespace orvanta {

const framework::AutoTable& OrvantaMembers();

}  // namespace orvanta
