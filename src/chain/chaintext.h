// The chain text record: sites written "x,y,z;" one after another, origin first, and the
// record search, which finds a site by a plain substring search of its record (so the
// record of (1,0,0) is found inside those of (-1,0,0) and (11,0,0)).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chain/lattice.h"

namespace polychain {

// Appends the record of `p` ("x,y,z;") to `text`.
void appendRecord(std::string& text, const Point& p);

// The record of `p`, ";" included.
std::string recordOf(const Point& p);

// The chain text of `sites`, in order.
std::string chainTextOf(std::span<const Point> sites);

// True when the record of `p` occurs anywhere in `text`. Linear in the text's length.
bool recordFound(std::string_view text, const Point& p);

// How many of the six unit neighbours of `p` the record search finds in `text` (0 to 6),
// tested in the order +x, -x, -y, +y, +z, -z.
int StrTestXYZ(std::string_view text, const Point& p);

// Reads a chain text of whole records back into sites. Coordinates are 32-bit. Stops at
// the first piece that is not a record "a,b,c;" of decimal integers.
std::vector<Point> parseChainText(std::string_view text);

// The export text: `header` (its lines already ending with '\n'), the line "x,y,z", then
// one line "x,y,z" per site. Long chains are written by `threads` threads (0: as many as
// OpenMP offers); the text is the same whatever their number.
std::string chainExportText(std::string_view header, std::span<const Point> sites, int threads = 0);

}  // namespace polychain
