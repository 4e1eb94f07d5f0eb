<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Localizable</name>
    <message>
        <source>necessaryToRestart</source>
        <translation>Your computer will need to restart after the uninstall.</translation>
    </message>
    <message>
        <source>chanceToSave</source>
        <translation>The Quillon MIDI devices stop working while Quillon is removed. Save your work in programs that use them, and close those programs before you continue.</translation>
    </message>
    <message>
        <source>proceedButton</source>
        <translation>Continue</translation>
    </message>
    <message>
        <source>cancelButton</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>sharedWarningTitle</source>
        <translation>Shared audio settings may be changed.</translation>
    </message>
    <message>
        <source>sharedWarningMessage</source>
        <translation>When the MIDI devices are removed too, Quillon’s entries are taken out of the shared ALSA configuration (/etc/asound.conf and your ~/.asoundrc). Everything else in those files stays as it is.</translation>
    </message>
    <message>
        <source>okButton</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>errorTemplate</source>
        <translation>The operation could not be completed (error %d).</translation>
    </message>
    <message>
        <source>tryAgain</source>
        <translation>Please try again. If the error persists, contact Quillon support and quote the error number.</translation>
    </message>
    <message>
        <source>restartButton</source>
        <translation>Restart</translation>
    </message>
    <message>
        <source>quitButton</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>uninstallSucceeded</source>
        <translation>Quillon has been uninstalled.</translation>
    </message>
    <message>
        <source>restartMessage</source>
        <translation>Restart your computer to finish removing the Quillon MIDI drivers.</translation>
    </message>
    <message>
        <source>notInstalledTitle</source>
        <translation>Quillon is not installed on this computer.</translation>
    </message>
    <message>
        <source>notInstalledMessage</source>
        <translation>The uninstaller found no receipts of Quillon, neither the system’s nor yours, so there is nothing to remove.</translation>
    </message>
    <message>
        <source>alreadyRunningTitle</source>
        <translation>The uninstaller is already running.</translation>
    </message>
    <message>
        <source>alreadyRunningMessage</source>
        <translation>Another Quillon Uninstaller window is removing Quillon. Wait until it has finished, or continue in that window.</translation>
    </message>
    <message>
        <source>userPartOnlyTitle</source>
        <translation>Only your own Quillon settings are left.</translation>
    </message>
    <message>
        <source>userPartOnlyMessage</source>
        <translation>Quillon itself has already been removed from this computer. The uninstaller now removes your own settings and login item. This needs no administrator password and no restart.</translation>
    </message>
    <message>
        <source>userPartRemoved</source>
        <translation>Your own Quillon settings have been removed. No restart is needed.</translation>
    </message>
    <message>
        <source>waitingForAuthorization</source>
        <translation>Waiting for administrator authorization…</translation>
    </message>
    <message>
        <source>removingQuillon</source>
        <translation>Removing Quillon…</translation>
    </message>
    <message>
        <source>closeRefused</source>
        <translation>The uninstaller cannot be closed while it removes Quillon. It can be closed as soon as it has finished.</translation>
    </message>
    <message>
        <source>deniedTitle</source>
        <translation>The administrator’s policy does not allow this.</translation>
    </message>
    <message>
        <source>deniedMessage</source>
        <translation>Your account may not remove Quillon from this computer. Ask an administrator to remove it, or to allow your account to do so. Nothing was removed.</translation>
    </message>
    <message>
        <source>noAgentTitle</source>
        <translation>No password prompt could be shown.</translation>
    </message>
    <message>
        <source>noAgentMessage</source>
        <translation>Removing Quillon needs an administrator password, but no authentication agent runs in this session to ask for it. Start your desktop’s authentication agent (a full desktop session starts one) and try again, or run quillon-uninstall in a terminal. Nothing was removed.</translation>
    </message>
    <message>
        <source>logFileNote</source>
        <translation>The log of this run is saved in %1.</translation>
    </message>
    <message>
        <source>statusNotPrivileged</source>
        <translation>The helper tool could not run with administrator rights.</translation>
    </message>
    <message>
        <source>statusDenied</source>
        <translation>The administrator’s policy does not allow this.</translation>
    </message>
    <message>
        <source>statusCanceled</source>
        <translation>The administrator authorization was canceled.</translation>
    </message>
    <message>
        <source>statusFailed</source>
        <translation>The part of the uninstall that needs administrator rights failed: a removal step failed, or the helper tool could not run. The details below say more.</translation>
    </message>
    <message>
        <source>statusUntrustedInstall</source>
        <translation>The uninstaller is not installed where only the administrator can change it, so it may not remove anything with administrator rights. Install it as the administrator (root) and try again.</translation>
    </message>
    <message>
        <source>statusLimits</source>
        <translation>The resource limits of this session would stop the removal half-way, so nothing was removed. Start the uninstaller from a normal desktop session.</translation>
    </message>
    <message>
        <source>statusFolderUnsuitable</source>
        <translation>No folder was found that can safely hold the uninstaller’s helper tool.</translation>
    </message>
    <message>
        <source>statusNoAgent</source>
        <translation>No password prompt could be shown: no authentication agent runs in this session.</translation>
    </message>
    <message>
        <source>statusDamaged</source>
        <translation>A part of the uninstaller is missing or damaged. Install the uninstaller again.</translation>
    </message>
    <message>
        <source>rootRefusedTitle</source>
        <translation>The uninstaller does not run as root.</translation>
    </message>
    <message>
        <source>rootRefusedMessage</source>
        <translation>Started as root, it would look for your own Quillon settings in root’s home folder and leave yours behind. Start it as yourself: it asks for the administrator password it needs. To remove Quillon as root, use quillon-uninstall in a terminal.</translation>
    </message>
    <message>
        <source>midiQuestion</source>
        <translation>Also remove the Quillon MIDI devices and their ALSA settings?</translation>
    </message>
    <message>
        <source>proceedQuestion</source>
        <translation>Do you want to continue?</translation>
    </message>
    <message>
        <source>yesNoDefaultYes</source>
        <translation>[Y/n]</translation>
    </message>
    <message>
        <source>yesNoDefaultNo</source>
        <translation>[y/N]</translation>
    </message>
    <message>
        <source>yesLetters</source>
        <translation>y</translation>
    </message>
    <message>
        <source>restartQuestion</source>
        <translation>Restart the computer now?</translation>
    </message>
    <message>
        <source>terminalCancelled</source>
        <translation>Cancelled. Nothing more was removed.</translation>
    </message>
    <message>
        <source>terminalNeedsYes</source>
        <translation>Standard input is not a terminal, so nothing can be asked. Run with --yes to answer yes to the warnings.</translation>
    </message>
    <message>
        <source>terminalNoAgent</source>
        <translation>No password prompt could be shown: there is no terminal to ask on, and no authentication agent runs in this session. Run quillon-uninstall in a terminal, or as root (sudo quillon-uninstall).</translation>
    </message>
    <message>
        <source>summaryTemplate</source>
        <translation>Removed: %1, kept: %2, refused: %3.</translation>
    </message>
    <message>
        <source>userHasNoPart</source>
        <translation>%1 has no Quillon settings of their own.</translation>
    </message>
    <message>
        <source>previewHeading</source>
        <translation>The following will be REMOVED:</translation>
    </message>
    <message>
        <source>previewNothing</source>
        <translation>Nothing that the receipts list is left to remove.</translation>
    </message>
    <message>
        <source>previewSystemPart</source>
        <translation>From the system (files: %1, folders: %2):</translation>
    </message>
    <message>
        <source>previewUserPart</source>
        <translation>From your home folder (files: %1, folders: %2):</translation>
    </message>
    <message>
        <source>previewUserPartOf</source>
        <translation>From the home folder of %1 (files: %2, folders: %3):</translation>
    </message>
    <message>
        <source>previewLoginItem</source>
        <translation>%1 (login item)</translation>
    </message>
    <message>
        <source>previewAlsaBlock</source>
        <translation>the Quillon block in %1 (the rest of the file stays)</translation>
    </message>
    <message>
        <source>previewMore</source>
        <translation>… and %1 more: quillon-uninstall --dry-run lists them all.</translation>
    </message>
    <message>
        <source>previewFoldersNote</source>
        <translation>A folder goes only when nothing else is left in it.</translation>
    </message>
    <message>
        <source>previewNote</source>
        <translation>Note: %1</translation>
    </message>
    <message>
        <source>previewUserLeftOut</source>
        <translation>Stays: the own part of %1: %2</translation>
    </message>
    <message>
        <source>dryRunNote</source>
        <translation>Dry run: nothing was changed.</translation>
    </message>
    <message>
        <source>previewSummary</source>
        <translation>Files and folders to be removed: %1 of the system part and %2 of your own.</translation>
    </message>
    <message>
        <source>previewSummaryUserPart</source>
        <translation>Files and folders of your own to be removed: %1.</translation>
    </message>
    <message>
        <source>previewSummaryLoginItem</source>
        <translation>Among them is the login item %1.</translation>
    </message>
    <message>
        <source>previewSummaryAlsa</source>
        <translation>The Quillon block is also taken out of %1; the rest of that file stays.</translation>
    </message>
    <message>
        <source>previewUnavailable</source>
        <translation>The list of what will be removed is not available.</translation>
    </message>
    <message>
        <source>passwordTryAgain</source>
        <translation>Sorry, try again: the password was not accepted.</translation>
    </message>
    <message>
        <source>terminalPasswordRefused</source>
        <translation>Authentication failed: the password was not accepted. Nothing was removed.</translation>
    </message>
    <message>
        <source>terminalPolicyDenied</source>
        <translation>The administrator’s policy does not allow this: your account may not remove Quillon from this computer, and no password changes that. Ask an administrator to remove it, or to allow your account to do so. Nothing was removed.</translation>
    </message>
    <message>
        <source>passwordRefusedTitle</source>
        <translation>The password was not accepted.</translation>
    </message>
    <message>
        <source>passwordRefusedMessage</source>
        <translation>The administrator password that was typed was not accepted, so nothing was removed. Try again with the password of an administrator account.</translation>
    </message>
    <message>
        <source>terminalReadMeNote</source>
        <translation>In this terminal, the questions after this page take the place of the window’s controls: “Uninstall…” is answering them with yes, and the box “Also remove the Quillon MIDI devices and their ALSA settings” is the MIDI question (or --keep-midi-devices). The log of the run is printed at the end and kept in the log file.</translation>
    </message>
    <message>
        <source>terminalPagerHint</source>
        <translation>The read-me opens in the pager: press q to leave it and go on to the questions.</translation>
    </message>
    <message>
        <source>userNotHandledTemplate</source>
        <translation>The own Quillon settings of %1 were not removed: %2</translation>
    </message>
    <message>
        <source>reasonNotChosen</source>
        <translation>run with --user %1 or --all-users to remove them.</translation>
    </message>
    <message>
        <source>reasonHomeNotOwn</source>
        <translation>the home folder is not the user’s own.</translation>
    </message>
    <message>
        <source>reasonUnreadable</source>
        <translation>the home folder could not be examined safely.</translation>
    </message>
    <message>
        <source>reasonSystemPartFailed</source>
        <translation>the removal of the system’s part failed first.</translation>
    </message>
    <message>
        <source>reasonSkipped</source>
        <translation>skipped by the administrator.</translation>
    </message>
    <message>
        <source>ctrlCSkips</source>
        <translation>(Ctrl-C skips this user’s part)</translation>
    </message>
    <message>
        <source>skippingUserPart</source>
        <translation>Skipping the part of %1…</translation>
    </message>
    <message>
        <source>linesLeftOut</source>
        <translation>[… %1 lines of this user’s part left out; the log file keeps more …]</translation>
    </message>
    <message>
        <source>reasonNoGroups</source>
        <translation>the user’s groups could not be read.</translation>
    </message>
    <message>
        <source>terminalDenied</source>
        <translation>The administrator authorization was refused: the password was not accepted, or the administrator’s policy does not allow this. Nothing was removed.</translation>
    </message>
    <message>
        <source>terminalUsage</source>
        <translation>Usage: quillon-uninstall [OPTION]...
Removes the Quillon MIDI driver suite from this computer, from a terminal.

  -y, --yes              answer yes to the warnings (needed without a terminal)
      --keep-midi-devices  keep the MIDI devices and their ALSA settings
      --restart          restart the computer when the removal needs it
      --no-restart       do not restart, and do not ask
      --json             print one JSON document on standard output
  -q, --quiet            print nothing but questions and errors
      --user NAME        as root: remove NAME's own part too (repeatable)
      --all-users        as root: remove every user's own part
  -n, --dry-run          list what would be removed, change nothing, ask nothing
  -h, --help             show this help
      --version          show the version

Exit status: 0 removed or nothing to do, 1 failure, 2 usage error,
3 cancelled or denied, 4 no authentication was possible.
See quillon-uninstall(1).
</translation>
    </message>
    <message>
        <source>terminalNeedsRoot</source>
        <translation>--user and --all-users need root; run: sudo quillon-uninstall</translation>
    </message>
    <message>
        <source>terminalNoSuchUser</source>
        <translation>no such user: %1</translation>
    </message>
    <message>
        <source>moreInformationButton</source>
        <translation>More Information</translation>
    </message>
    <message>
        <source>lessInformationButton</source>
        <translation>Less Information</translation>
    </message>
    <message>
        <source>failedTitle</source>
        <translation>Quillon could not be removed.</translation>
    </message>
    <message>
        <source>failedSystemPartTitle</source>
        <translation>The removal of Quillon did not finish.</translation>
    </message>
    <message>
        <source>failedUserPartTitle</source>
        <translation>Your own Quillon settings could not be removed.</translation>
    </message>
    <message>
        <source>diskFullTitle</source>
        <translation>Quillon could not be removed: the disk is full.</translation>
    </message>
    <message>
        <source>diskFullCause</source>
        <translation>There is no space left on the disk that holds %1 (the file system mounted at %2).</translation>
    </message>
    <message>
        <source>diskFreeNote</source>
        <translation>Free space there: %1.</translation>
    </message>
    <message>
        <source>diskFullAdvice</source>
        <translation>Free some space on that disk, for instance by emptying the trash, then run the uninstaller again.</translation>
    </message>
    <message>
        <source>userPartTimeout</source>
        <translation>The removal of your own settings took too long and was stopped.</translation>
    </message>
    <message>
        <source>stateNothingRemoved</source>
        <translation>Nothing was removed.</translation>
    </message>
    <message>
        <source>stateMaybePartlyRemoved</source>
        <translation>Part of Quillon may have been removed from the system; your own settings were not.</translation>
    </message>
    <message>
        <source>stateSystemRemoved</source>
        <translation>Quillon was removed from the system; your own settings were not.</translation>
    </message>
    <message>
        <source>systemPartAdvice</source>
        <translation>The details say which step failed. Once its cause is mended, run the uninstaller again to remove the rest.</translation>
    </message>
    <message>
        <source>userPartAdvice</source>
        <translation>Run the uninstaller again to remove your own settings; it needs no administrator password for that.</translation>
    </message>
    <message>
        <source>alreadyOpenTitle</source>
        <translation>The uninstaller is already open.</translation>
    </message>
    <message>
        <source>alreadyOpenMessage</source>
        <translation>Another Quillon Uninstaller window is open and has been brought to the front. Continue in that window; this one closes when you press OK.</translation>
    </message>
    <message>
        <source>optionUnknown</source>
        <translation>unknown option %1</translation>
    </message>
    <message>
        <source>optionNeedsUserName</source>
        <translation>--user needs a user name</translation>
    </message>
    <message>
        <source>optionsRestartConflict</source>
        <translation>--restart and --no-restart exclude each other</translation>
    </message>
    <message>
        <source>optionsUserConflict</source>
        <translation>--user and --all-users exclude each other</translation>
    </message>
    <message>
        <source>tryHelp</source>
        <translation>Try '%1 --help' for more information.</translation>
    </message>
    <message>
        <source>setUserIDRefused</source>
        <translation>must not be set-user-ID; run it as yourself, or as root</translation>
    </message>
    <message>
        <source>logNotWritten</source>
        <translation>cannot write the log %1: %2</translation>
    </message>
    <message>
        <source>windowUsage</source>
        <translation>Usage: quillon-uninstaller [--verbose | --help | --version]
Removes the Quillon MIDI driver suite from this computer, in a window.
Without a graphical session, use %1 in a terminal.
</translation>
    </message>
    <message>
        <source>windowNeedsDisplay</source>
        <translation>a graphical session is needed; in a terminal, use %1 instead.</translation>
    </message>
    <message>
        <source>windowRootRefused</source>
        <translation>do not run the uninstaller as root: start it as yourself and it asks for the administrator password it needs. To remove Quillon as root, use %1 in a terminal.</translation>
    </message>
</context>
<context>
    <name>Uninstaller</name>
    <message>
        <source>Quillon Uninstaller</source>
        <translation>Quillon Uninstaller</translation>
    </message>
    <message>
        <source>This program removes the Quillon MIDI driver suite from this computer.</source>
        <translation>This program removes the Quillon MIDI driver suite from this computer.</translation>
    </message>
    <message>
        <source>Also remove the Quillon MIDI devices and their ALSA settings</source>
        <translation>Also remove the Quillon MIDI devices and their ALSA settings</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Uninstall…</source>
        <translation>Uninstall…</translation>
    </message>
    <message>
        <source>Quillon has been uninstalled.</source>
        <translation>Quillon has been uninstalled.</translation>
    </message>
    <message>
        <source>Restart your computer to finish removing the Quillon MIDI drivers.</source>
        <translation>Restart your computer to finish removing the Quillon MIDI drivers.</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Restart</translation>
    </message>
    <message>
        <source>Read me</source>
        <translation>Read me</translation>
    </message>
    <message>
        <source>Uninstall log</source>
        <translation>Uninstall log</translation>
    </message>
</context>
<context>
    <name>NSAlert</name>
    <message>
        <source>Details</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Show Details…</source>
        <translation>Show Details…</translation>
    </message>
    <message>
        <source>Hide Details…</source>
        <translation>Hide Details…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
</context>
</TS>
