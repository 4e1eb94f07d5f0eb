// The removal tools' log: one line per action on standard output,
// "<tool>: <message>\n", flushed at once so that lines from the tools and
// scripts of one run keep their order in the shared pipe.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// Names the tool in front of every line; call once at the start of main.
void SetLogTool(const char* name);
// The name set there.
const char* LogTool();

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A path or name made safe for one log line: backslashes become \x5c, and
// the rest is MoreUNIXSafeText's (control characters and bytes that are not
// UTF-8 as \xNN, C1 controls as \u00NN); everything else is kept.
std::string Shown(std::string_view text);

// What a tool run with --list would remove: one line "<kind> <path>\n" on
// standard output, the path made safe as by Shown, so that a line always
// holds exactly one item. The kinds: "file", "folder" (removed only when
// empty), "link", "alsa-block" (a block taken out of a shared ALSA file),
// "login-item"; and "note" followed by a sentence, for what the tool could
// not tell.
void Listed(const char* kind, std::string_view path);

}  // namespace quillon
