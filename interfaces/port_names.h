// The machine's serial port names as one list, from whatever sources the
// platform reads them: portable, so the rules have a table test.
#pragma once

#include <string>
#include <vector>

namespace orvanta::interfaces {

// "COM" and a number, in any case ("com5" as Wine's links are named).
bool IsComPortName(const std::string& name);

// The names of all sources merged: upper case, COM ports by their number
// (COM9 before COM10), any other name after them by name, each once.
std::vector<std::string> MergePortNames(std::vector<std::string> names);

}  // namespace orvanta::interfaces
