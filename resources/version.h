// The module's version, in one place: the version resource, the release
// package's name (scripts/release.sh reads these lines) and the tests.
#pragma once

#define ORVANTA_VERSION_MAJOR 1
#define ORVANTA_VERSION_MINOR 2
#define ORVANTA_VERSION_PATCH 0
#define ORVANTA_VERSION_BUILD 0
#define ORVANTA_VERSION_TEXT "1.2.0.0"
