// Resource identifiers of portrelay's GUI test program.
#pragma once

// An empty dialog in portrelay's font: its dialog units are the main
// window's.
#define IDD_MEASURE 100
