// The product's marked block in a shared ALSA configuration file
// (/etc/asound.conf, ~/.asoundrc). The installer appends it; PruneMIDI takes
// it out again and leaves every other byte of the file exactly as it was.
//
// A block runs from a begin line to the next end line, both included. A
// marker line is recognised only when the whole line (without its "\n" and
// one optional "\r") equals one of the marker texts below. The begin line
// also records what the installer did besides appending, so that removal can
// undo exactly that:
//   kAlsaBeginMarker            the block was appended to the file as it was;
//   kAlsaBeginCreatedMarker     the file did not exist: once no text is left
//                               after pruning, the file is removed;
//   kAlsaBeginLineBreakMarker   the file did not end with "\n": the installer
//                               added one "\n" before the block, and pruning
//                               removes that one byte again.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

inline constexpr char kAlsaBeginMarker[] = "# >>> Quillon MIDI >>>";
inline constexpr char kAlsaBeginCreatedMarker[] = "# >>> Quillon MIDI >>> (this file was created for it)";
inline constexpr char kAlsaBeginLineBreakMarker[] = "# >>> Quillon MIDI >>> (a line break was added before it)";
inline constexpr char kAlsaEndMarker[] = "# <<< Quillon MIDI <<<";

struct AlsaPruneResult {
  size_t blocks = 0;         // blocks removed
  bool removeFile = false;   // nothing is left of a file the installer created
  size_t badLine = 0;        // 1-based line of the first unbalanced marker, or 0
};

// Removes every Quillon block from `in` into *out. Returns false, with
// result->badLine set and *out empty, when the markers are unbalanced (a
// begin inside a block, an end outside one, or a block left open at the end).
bool PruneAlsaBlocks(std::string_view in, std::string* out, AlsaPruneResult* result);

// True when `in` holds at least one begin marker line.
bool HasAlsaBlock(std::string_view in);

// `existing` with a Quillon block holding `body` appended, choosing the begin
// marker as described above. `body` is a sequence of lines; a final "\n" is
// added when it lacks one.
std::string AppendAlsaBlock(std::string_view existing, bool fileExisted, std::string_view body);

}  // namespace quillon
