// MoreUNIX text: the one reading of UTF-8 that every part of the uninstaller
// shares, and the one way to make text that someone else wrote safe to show.
//
// Text reaches root's terminal, the window and the log files from places we
// do not control: a user's own removal script, a receipt entry, a file name,
// a program's output. A terminal obeys escape sequences in such text (window
// title, clear screen, clipboard writes, hidden text), so before it is shown
// or stored every control character and every byte that is not UTF-8 is
// written out visibly instead.

#ifndef QUILLON_CORE_UNIX_MOREUNIXTEXT_H
#define QUILLON_CORE_UNIX_MOREUNIXTEXT_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>

// Decodes the UTF-8 sequence at the start of |bytes|, of which |length| (at
// least 1) are available. Returns its length, 1 to 4, and stores its code
// point in |*codePoint| when that is not NULL; returns 0, storing nothing,
// when the bytes there are not one well-formed sequence: a continuation byte
// where a sequence should start, a lead byte C0, C1 or F5 to FF, a sequence
// cut short by the end or by a byte that does not continue it, an overlong
// form, a surrogate (U+D800 to U+DFFF), or a value above U+10FFFF. NUL and
// the other ASCII bytes are sequences of length 1. |bytes| must be non-NULL.
size_t MoreUNIXDecodeUTF8(const unsigned char* bytes, size_t length, uint32_t* codePoint);

// The offset of the first byte of |text| at which MoreUNIXDecodeUTF8 finds no
// sequence, or |text.size()| when all of it is well-formed UTF-8.
size_t MoreUNIXFindInvalidUTF8(std::string_view text);

// The length of the longest prefix of |text| that does not end inside a
// UTF-8 sequence: when the last one to four bytes are the start of a sequence
// that the end cut short, they are left out. Use it to cut text by byte
// count without turning good text into bad. Bytes that are not UTF-8 at all
// stay as they are.
size_t MoreUNIXWholeCharacterPrefix(std::string_view text);

// |text| with everything a terminal could act on written out visibly:
//  - control characters U+0000 to U+001F other than newline and tab, and
//    DEL, as "\x1b" (two lower-case hexadecimal digits);
//  - the C1 controls U+0080 to U+009F, well-formed in UTF-8, as "\u009b";
//  - each byte that is not part of well-formed UTF-8 as "\xff", so a lone
//    0x9b byte becomes "\x9b".
// Everything else, backslashes included, is kept as it is, so applying it
// twice changes nothing more. The result is well-formed UTF-8.
std::string MoreUNIXSafeText(std::string_view text);

#endif  // QUILLON_CORE_UNIX_MOREUNIXTEXT_H
