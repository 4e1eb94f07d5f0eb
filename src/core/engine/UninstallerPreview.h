// What an uninstall would remove, told before anyone confirms it. The
// product's own tools in the bundle know what they remove; run with --list
// they read the receipts and the shared files exactly as the removal does,
// change nothing and print what they would take away. This routine runs
// them and hands the result to a front end as data, for the window's warning
// and the terminal's list before [Y/n] or --dry-run alike. Nothing here asks
// for a password or starts the helper tool: the preview needs no rights the
// caller does not have, and what the tools cannot read is reported, not
// guessed.
#pragma once

#include "UninstallerEngine.h"

#include <cstddef>
#include <string>
#include <vector>

enum class UninstallerPreviewKind {
  kFile,       // a file the receipts list
  kFolder,     // a folder the receipts list; removed only when it is empty then
  kLink,       // a symbolic link the receipts list (the link goes, not its target)
  kAlsaBlock,  // the product's block, taken out of a shared ALSA file that stays
  kLoginItem,  // a login item (an XDG autostart entry of the product)
};

struct UninstallerPreviewItem {
  UninstallerPreviewKind kind;
  // As the tool printed it: absolute, control bytes and backslashes shown as
  // \xNN, so it is safe on one line of a terminal or a label.
  std::string path;
};

// One part: the system's, or one user's.
struct UninstallerPreviewPart {
  // In the order the tools listed them: the receipted paths parents first,
  // then the login items, then the ALSA block. A path is listed once; a
  // receipted file that is a login item is listed as the login item.
  std::vector<UninstallerPreviewItem> items;
  // What the tools could not tell or would refuse, one sentence each.
  std::vector<std::string> notes;

  size_t Count(UninstallerPreviewKind kind) const;
};

// Fills *part (which must be empty) with what removing the system's part
// (|systemPart|) or the user's part would take away now. The MIDI devices'
// ALSA block is looked for only when |removeMidiDevices| is set, as the
// removal itself does. |account| NULL: the tools run as we are, with our
// environment (a user's own run, or root for the system part); otherwise
// they run as that account (the caller must be root), as the engine runs
// the user-level script. Each tool gets at most a minute and 16 MiB of
// output. Returns 0, or the errno of a tool that could not be started or
// did not end in time, with a note that says so; what the other tools
// listed is kept. A tool missing from the bundle is skipped with a note.
// Synchronous, on the caller's thread, with no Qt: the tools usually end
// within milliseconds. The tools are found in the main bundle
// (CFBundleGetMainBundle), as the engine finds them.
int UninstallerPreview(bool systemPart, Boolean removeMidiDevices, const UninstallerUserAccount* account,
                       UninstallerPreviewPart* part);

// Adds the items and notes of one tool's --list output to *part; lines that
// are not items ("<kind> <path>") or notes are its ordinary log and left
// out. Exposed for the tests.
void UninstallerPreviewParse(const std::string& output, UninstallerPreviewPart* part);
