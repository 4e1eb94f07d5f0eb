<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>Localizable</name>
    <message>
        <source>necessaryToRestart</source>
        <translation>Nach der Deinstallation muss der Computer neu gestartet werden.</translation>
    </message>
    <message>
        <source>chanceToSave</source>
        <translation>Die Quillon-MIDI-Geräte funktionieren nicht, während Quillon entfernt wird. Sichern Sie Ihre Arbeit in Programmen, die sie verwenden, und beenden Sie diese Programme, bevor Sie fortfahren.</translation>
    </message>
    <message>
        <source>proceedButton</source>
        <translation>Fortfahren</translation>
    </message>
    <message>
        <source>cancelButton</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>sharedWarningTitle</source>
        <translation>Gemeinsam genutzte Audio-Einstellungen können sich ändern.</translation>
    </message>
    <message>
        <source>sharedWarningMessage</source>
        <translation>Werden auch die MIDI-Geräte entfernt, verschwinden die Einträge von Quillon aus der gemeinsamen ALSA-Konfiguration (/etc/asound.conf und Ihre ~/.asoundrc). Alles andere in diesen Dateien bleibt, wie es ist.</translation>
    </message>
    <message>
        <source>okButton</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>errorTemplate</source>
        <translation>Der Vorgang konnte nicht abgeschlossen werden (Fehler %d).</translation>
    </message>
    <message>
        <source>tryAgain</source>
        <translation>Bitte versuchen Sie es erneut. Wenn der Fehler bestehen bleibt, wenden Sie sich an den Quillon-Support und nennen Sie die Fehlernummer.</translation>
    </message>
    <message>
        <source>restartButton</source>
        <translation>Neu starten</translation>
    </message>
    <message>
        <source>quitButton</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>uninstallSucceeded</source>
        <translation>Quillon wurde deinstalliert.</translation>
    </message>
    <message>
        <source>restartMessage</source>
        <translation>Starten Sie den Computer neu, um das Entfernen der Quillon-MIDI-Treiber abzuschließen.</translation>
    </message>
</context>
<context>
    <name>Uninstaller</name>
    <message>
        <source>Quillon Uninstaller</source>
        <translation>Quillon deinstallieren</translation>
    </message>
    <message>
        <source>This program removes the Quillon MIDI driver suite from this computer.</source>
        <translation>Dieses Programm entfernt die Quillon-MIDI-Treibersammlung von diesem Computer.</translation>
    </message>
    <message>
        <source>Also remove the Quillon MIDI devices and their ALSA settings</source>
        <translation>Auch die Quillon-MIDI-Geräte und ihre ALSA-Einstellungen entfernen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Uninstall…</source>
        <translation>Deinstallieren …</translation>
    </message>
    <message>
        <source>Quillon has been uninstalled.</source>
        <translation>Quillon wurde deinstalliert.</translation>
    </message>
    <message>
        <source>Restart your computer to finish removing the Quillon MIDI drivers.</source>
        <translation>Starten Sie den Computer neu, um das Entfernen der Quillon-MIDI-Treiber abzuschließen.</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Neu starten</translation>
    </message>
</context>
</TS>
