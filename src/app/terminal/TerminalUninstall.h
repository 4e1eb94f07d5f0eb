// quillon-uninstall: the uninstall from a terminal, on the same engine as
// the window. Run by a user it asks on the terminal (the read-me through a
// pager, the MIDI question, the warnings as [Y/n] prompts, the
// administrator's password through pkttyagent); run as root it removes the
// system's part and then each chosen user's own part as that user.
#pragma once

// The whole program: SIGPIPE has already been ignored by main. Returns the
// exit status (see TerminalExit in TerminalSupport.h).
int TerminalUninstallMain(int argc, char* argv[]);
