// The module's version, in one place: the version resource, the release
// package's name (scripts/release.sh reads these lines) and the tests.
#pragma once

#define ORVANTA_VERSION_MAJOR 1
#define ORVANTA_VERSION_MINOR 2
#define ORVANTA_VERSION_PATCH 0
#define ORVANTA_VERSION_BUILD 0
#define ORVANTA_VERSION_TEXT "1.2.0.0"

// The maker, as the version resource, the About box, the property page and
// the installer packages name it; and the three lines below the name.
#define ORVANTA_MAKER "Orvanta Projektgruppe Schnittstellen"
#define ORVANTA_MAKER_LINE_2 "Freie Software unter der MIT-Lizenz (LICENSE.txt)"
#define ORVANTA_MAKER_LINE_3 "Anleitung und Installation: README.txt im Release"
#define ORVANTA_MAKER_LINE_4 "Fragen: an den Lieferanten Ihrer Anwendung"
