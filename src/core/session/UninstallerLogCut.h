// The head-and-tail cut that keeps a long log's start and end.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>

// The line that stands where a log was cut, "[... N bytes left out ...]",
// always on a line of its own.
std::string UninstallerCutMarker(size_t bytesLeftOut);

// Joins the start and the end of a text whose middle, |leftOut| bytes, is
// gone. The partial line at the end of |head| and the partial line at the
// start of |tail| go too, so that the cut falls on line boundaries, and the
// marker line stands between them. With |leftOut| 0 and no partial lines the
// result is head + tail unchanged. A head or tail that is one single line
// longer than it is is cut at a character boundary instead, never inside a
// UTF-8 sequence.
std::string UninstallerJoinCut(std::string_view head, std::string_view tail, size_t leftOut);

// |text| when it fits in |limit| bytes; otherwise about its first and last
// halves, cut at line boundaries, with the marker line between them. The
// result is never longer than |limit| plus the marker line.
std::string UninstallerCutLog(std::string_view text, size_t limit);
