// What every test of the test host shares: the testkit's hosts and dialog
// watcher, and where the built module lies.
#pragma once

#include <string>

#include "testkit/host.h"

namespace orvanta::testing {

// The path of ORVANTA.OCX under test (from --ocx= or ORVANTA_OCX).
const std::string& OcxPath();

}  // namespace orvanta::testing
