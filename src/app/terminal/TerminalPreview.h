// What quillon-uninstall says will be removed, before the [Y/n] questions
// and for --dry-run: the preview of each part (UninstallerPreview.h), as
// text for a person and as JSON.
#pragma once

#include "TerminalSupport.h"

#include <UninstallerPreview.h>

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

struct TerminalPreviewPart {
  bool system = false;  // the system's part; else a user's own part
  std::string user;     // whose own part, empty for the running user's own or the system's
  uid_t uid = 0;
  UninstallerPreviewPart preview;
};

// An account whose own part stays, and why, in a sentence.
struct TerminalLeftOut {
  std::string name;
  uid_t uid = 0;
  std::string reason;
};

// The strings table: key to localized text.
using TerminalTextLookup = std::function<std::string(const char*)>;

// The list in the way apt shows what it will remove: a heading, then per
// part one line with its counts and its paths indented below, the login
// items and ALSA blocks named as such, then what could not be told and the
// accounts left out. With |maxPaths| > 0 each part shows at most that many
// paths and says how many more there are; 0 shows them all.
std::string TerminalPreviewText(const std::vector<TerminalPreviewPart>& parts,
                                const std::vector<TerminalLeftOut>& leftOut, size_t maxPaths,
                                const TerminalTextLookup& text);

// Whether any part has anything to remove.
bool TerminalPreviewRemovesSomething(const std::vector<TerminalPreviewPart>& parts);

// Adds "parts" and "usersLeftOut" to an open JSON object: per part
// {"part": "system"|"user", "user", "uid", "files", "folders", "items":
// [{"kind", "path"}], "notes": [...]}.
void TerminalPreviewJSON(const std::vector<TerminalPreviewPart>& parts, const std::vector<TerminalLeftOut>& leftOut,
                         TerminalJSON* json);
