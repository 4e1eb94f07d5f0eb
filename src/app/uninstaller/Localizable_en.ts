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
</context>
</TS>
