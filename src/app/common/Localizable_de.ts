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
    <message>
        <source>notInstalledTitle</source>
        <translation>Quillon ist auf diesem Computer nicht installiert.</translation>
    </message>
    <message>
        <source>notInstalledMessage</source>
        <translation>Das Deinstallationsprogramm hat keine Belege von Quillon gefunden, weder die des Systems noch Ihre eigenen. Es gibt also nichts zu entfernen.</translation>
    </message>
    <message>
        <source>alreadyRunningTitle</source>
        <translation>Das Deinstallationsprogramm läuft bereits.</translation>
    </message>
    <message>
        <source>alreadyRunningMessage</source>
        <translation>Ein anderes Fenster des Quillon-Deinstallationsprogramms entfernt gerade Quillon. Warten Sie, bis es fertig ist, oder fahren Sie in jenem Fenster fort.</translation>
    </message>
    <message>
        <source>userPartOnlyTitle</source>
        <translation>Nur Ihre eigenen Quillon-Einstellungen sind noch vorhanden.</translation>
    </message>
    <message>
        <source>userPartOnlyMessage</source>
        <translation>Quillon selbst wurde bereits von diesem Computer entfernt. Das Deinstallationsprogramm entfernt jetzt Ihre eigenen Einstellungen und Ihr Anmeldeobjekt. Dafür sind weder ein Administratorpasswort noch ein Neustart nötig.</translation>
    </message>
    <message>
        <source>userPartRemoved</source>
        <translation>Ihre eigenen Quillon-Einstellungen wurden entfernt. Ein Neustart ist nicht nötig.</translation>
    </message>
    <message>
        <source>waitingForAuthorization</source>
        <translation>Warten auf die Legitimierung als Administrator …</translation>
    </message>
    <message>
        <source>removingQuillon</source>
        <translation>Quillon wird entfernt …</translation>
    </message>
    <message>
        <source>closeRefused</source>
        <translation>Das Deinstallationsprogramm kann nicht geschlossen werden, während es Quillon entfernt. Sobald es fertig ist, lässt es sich schließen.</translation>
    </message>
    <message>
        <source>deniedTitle</source>
        <translation>Die Richtlinie des Administrators erlaubt dies nicht.</translation>
    </message>
    <message>
        <source>deniedMessage</source>
        <translation>Ihr Konto darf Quillon nicht von diesem Computer entfernen. Bitten Sie einen Administrator, es zu entfernen oder Ihrem Konto dies zu erlauben. Es wurde nichts entfernt.</translation>
    </message>
    <message>
        <source>noAgentTitle</source>
        <translation>Es konnte keine Passwortabfrage angezeigt werden.</translation>
    </message>
    <message>
        <source>noAgentMessage</source>
        <translation>Zum Entfernen von Quillon ist ein Administratorpasswort nötig, aber in dieser Sitzung läuft kein Legitimierungsagent, der danach fragen könnte. Starten Sie den Legitimierungsagenten Ihrer Arbeitsumgebung (eine vollständige Desktop-Sitzung startet ihn) und versuchen Sie es erneut, oder führen Sie quillon-uninstall in einem Terminal aus. Es wurde nichts entfernt.</translation>
    </message>
    <message>
        <source>logFileNote</source>
        <translation>Das Protokoll dieses Durchgangs ist in %1 gespeichert.</translation>
    </message>
    <message>
        <source>statusNotPrivileged</source>
        <translation>Das Hilfsprogramm konnte nicht mit Administratorrechten laufen.</translation>
    </message>
    <message>
        <source>statusDenied</source>
        <translation>Die Richtlinie des Administrators erlaubt dies nicht.</translation>
    </message>
    <message>
        <source>statusCanceled</source>
        <translation>Die Legitimierung als Administrator wurde abgebrochen.</translation>
    </message>
    <message>
        <source>statusFailed</source>
        <translation>Der Teil der Deinstallation, der Administratorrechte braucht, ist fehlgeschlagen: Ein Schritt der Entfernung ist fehlgeschlagen, oder das Hilfsprogramm konnte nicht laufen. Die Details unten sagen mehr.</translation>
    </message>
    <message>
        <source>statusUntrustedInstall</source>
        <translation>Das Deinstallationsprogramm ist nicht so installiert, dass nur der Administrator es ändern kann; daher darf es nichts mit Administratorrechten entfernen. Installieren Sie es als Administrator (root) und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>statusLimits</source>
        <translation>Die Ressourcengrenzen dieser Sitzung würden das Entfernen mittendrin abbrechen; daher wurde nichts entfernt. Starten Sie das Deinstallationsprogramm aus einer normalen Arbeitsumgebung.</translation>
    </message>
    <message>
        <source>statusFolderUnsuitable</source>
        <translation>Es wurde kein Ordner gefunden, der das Hilfsprogramm des Deinstallationsprogramms sicher aufnehmen kann.</translation>
    </message>
    <message>
        <source>statusNoAgent</source>
        <translation>Es konnte keine Passwortabfrage angezeigt werden: In dieser Sitzung läuft kein Legitimierungsagent.</translation>
    </message>
    <message>
        <source>statusDamaged</source>
        <translation>Ein Teil des Deinstallationsprogramms fehlt oder ist beschädigt. Installieren Sie das Deinstallationsprogramm erneut.</translation>
    </message>
    <message>
        <source>rootRefusedTitle</source>
        <translation>Das Deinstallationsprogramm läuft nicht als root.</translation>
    </message>
    <message>
        <source>rootRefusedMessage</source>
        <translation>Als root gestartet, würde es Ihre eigenen Quillon-Einstellungen im Persönlichen Ordner von root suchen und Ihre zurücklassen. Starten Sie es als Sie selbst: Es fragt nach dem nötigen Administratorpasswort. Um Quillon als root zu entfernen, verwenden Sie quillon-uninstall in einem Terminal.</translation>
    </message>
    <message>
        <source>midiQuestion</source>
        <translation>Auch die Quillon-MIDI-Geräte und ihre ALSA-Einstellungen entfernen?</translation>
    </message>
    <message>
        <source>proceedQuestion</source>
        <translation>Möchten Sie fortfahren?</translation>
    </message>
    <message>
        <source>yesNoDefaultYes</source>
        <translation>[J/n]</translation>
    </message>
    <message>
        <source>yesNoDefaultNo</source>
        <translation>[j/N]</translation>
    </message>
    <message>
        <source>yesLetters</source>
        <translation>jy</translation>
    </message>
    <message>
        <source>restartQuestion</source>
        <translation>Den Computer jetzt neu starten?</translation>
    </message>
    <message>
        <source>terminalCancelled</source>
        <translation>Abgebrochen. Es wurde nichts weiter entfernt.</translation>
    </message>
    <message>
        <source>terminalNeedsYes</source>
        <translation>Die Standardeingabe ist kein Terminal, daher kann nichts gefragt werden. Mit --yes werden die Warnungen mit Ja beantwortet.</translation>
    </message>
    <message>
        <source>terminalNoAgent</source>
        <translation>Es konnte keine Passwortabfrage angezeigt werden: Es gibt kein Terminal für die Frage, und in dieser Sitzung läuft kein Authentifizierungsagent. Starten Sie quillon-uninstall in einem Terminal oder als root (sudo quillon-uninstall).</translation>
    </message>
    <message>
        <source>summaryTemplate</source>
        <translation>Entfernt: %1, behalten: %2, abgelehnt: %3.</translation>
    </message>
    <message>
        <source>userHasNoPart</source>
        <translation>%1 hat keine eigenen Quillon-Einstellungen.</translation>
    </message>
    <message>
        <source>previewHeading</source>
        <translation>Folgendes wird ENTFERNT:</translation>
    </message>
    <message>
        <source>previewNothing</source>
        <translation>Von dem, was die Installationsbelege auflisten, ist nichts mehr zu entfernen.</translation>
    </message>
    <message>
        <source>previewSystemPart</source>
        <translation>Vom System (Dateien: %1, Ordner: %2):</translation>
    </message>
    <message>
        <source>previewUserPart</source>
        <translation>Aus Ihrem persönlichen Ordner (Dateien: %1, Ordner: %2):</translation>
    </message>
    <message>
        <source>previewUserPartOf</source>
        <translation>Aus dem persönlichen Ordner von %1 (Dateien: %2, Ordner: %3):</translation>
    </message>
    <message>
        <source>previewLoginItem</source>
        <translation>%1 (Anmeldeobjekt)</translation>
    </message>
    <message>
        <source>previewAlsaBlock</source>
        <translation>der Quillon-Block in %1 (der Rest der Datei bleibt erhalten)</translation>
    </message>
    <message>
        <source>previewMore</source>
        <translation>… und %1 weitere: quillon-uninstall --dry-run listet alle auf.</translation>
    </message>
    <message>
        <source>previewFoldersNote</source>
        <translation>Ein Ordner wird nur entfernt, wenn nichts anderes mehr darin liegt.</translation>
    </message>
    <message>
        <source>previewNote</source>
        <translation>Hinweis: %1</translation>
    </message>
    <message>
        <source>previewUserLeftOut</source>
        <translation>Bleibt erhalten: der eigene Teil von %1: %2</translation>
    </message>
    <message>
        <source>dryRunNote</source>
        <translation>Probelauf: Es wurde nichts verändert.</translation>
    </message>
    <message>
        <source>previewSummary</source>
        <translation>Zu entfernende Dateien und Ordner: %1 des Systemteils und %2 Ihrer eigenen.</translation>
    </message>
    <message>
        <source>previewSummaryUserPart</source>
        <translation>Zu entfernende eigene Dateien und Ordner: %1.</translation>
    </message>
    <message>
        <source>previewSummaryLoginItem</source>
        <translation>Darunter ist das Anmeldeobjekt %1.</translation>
    </message>
    <message>
        <source>previewSummaryAlsa</source>
        <translation>Außerdem wird der Quillon-Block aus %1 entfernt; der Rest dieser Datei bleibt erhalten.</translation>
    </message>
    <message>
        <source>previewUnavailable</source>
        <translation>Die Liste dessen, was entfernt wird, ist nicht verfügbar.</translation>
    </message>
    <message>
        <source>passwordTryAgain</source>
        <translation>Das Passwort wurde nicht angenommen. Bitte versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>terminalPasswordRefused</source>
        <translation>Legitimierung fehlgeschlagen: Das Passwort wurde nicht angenommen. Es wurde nichts entfernt.</translation>
    </message>
    <message>
        <source>terminalPolicyDenied</source>
        <translation>Die Richtlinie des Systemverwalters erlaubt dies nicht: Ihr Konto darf Quillon nicht von diesem Rechner entfernen, und daran ändert auch kein Passwort etwas. Bitten Sie einen Systemverwalter, es zu entfernen oder Ihrem Konto dies zu erlauben. Es wurde nichts entfernt.</translation>
    </message>
    <message>
        <source>passwordRefusedTitle</source>
        <translation>Das Passwort wurde nicht angenommen.</translation>
    </message>
    <message>
        <source>passwordRefusedMessage</source>
        <translation>Das eingegebene Systemverwalter-Passwort wurde nicht angenommen, daher wurde nichts entfernt. Versuchen Sie es erneut mit dem Passwort eines Systemverwalter-Kontos.</translation>
    </message>
    <message>
        <source>terminalReadMeNote</source>
        <translation>In diesem Terminal treten die Fragen nach dieser Seite an die Stelle der Bedienelemente des Fensters: „Deinstallieren …“ bedeutet, sie mit Ja zu beantworten, und das Ankreuzfeld „Auch die Quillon-MIDI-Geräte und ihre ALSA-Einstellungen entfernen“ ist die MIDI-Frage (oder --keep-midi-devices). Das Protokoll des Laufs wird am Ende ausgegeben und in der Protokolldatei aufbewahrt.</translation>
    </message>
    <message>
        <source>terminalPagerHint</source>
        <translation>Die Liesmich-Datei öffnet sich im Textbetrachter: Drücken Sie q, um ihn zu verlassen und zu den Fragen zu gelangen.</translation>
    </message>
    <message>
        <source>userNotHandledTemplate</source>
        <translation>Die eigenen Quillon-Einstellungen von %1 wurden nicht entfernt: %2</translation>
    </message>
    <message>
        <source>reasonNotChosen</source>
        <translation>mit --user %1 oder --all-users werden sie entfernt.</translation>
    </message>
    <message>
        <source>reasonHomeNotOwn</source>
        <translation>der Persönliche Ordner gehört nicht diesem Benutzer.</translation>
    </message>
    <message>
        <source>reasonUnreadable</source>
        <translation>der Persönliche Ordner ließ sich nicht sicher untersuchen.</translation>
    </message>
    <message>
        <source>reasonSystemPartFailed</source>
        <translation>zuvor ist das Entfernen des Systemteils fehlgeschlagen.</translation>
    </message>
    <message>
        <source>reasonSkipped</source>
        <translation>vom Administrator übersprungen.</translation>
    </message>
    <message>
        <source>ctrlCSkips</source>
        <translation>(Strg-C überspringt den Teil dieses Benutzers)</translation>
    </message>
    <message>
        <source>skippingUserPart</source>
        <translation>Der Teil von %1 wird übersprungen …</translation>
    </message>
    <message>
        <source>linesLeftOut</source>
        <translation>[… %1 Zeilen aus dem Teil dieses Benutzers ausgelassen; die Protokolldatei enthält mehr …]</translation>
    </message>
    <message>
        <source>reasonNoGroups</source>
        <translation>die Gruppen des Benutzers ließen sich nicht lesen.</translation>
    </message>
    <message>
        <source>terminalDenied</source>
        <translation>Die Administrator-Autorisierung wurde verweigert: Das Passwort wurde nicht angenommen, oder die Richtlinie des Administrators erlaubt dies nicht. Es wurde nichts entfernt.</translation>
    </message>
    <message>
        <source>terminalUsage</source>
        <translation>Aufruf: quillon-uninstall [OPTION]...
Entfernt die Quillon-MIDI-Treibersammlung von diesem Computer, im Terminal.

  -y, --yes              die Warnungen mit Ja beantworten (nötig ohne Terminal)
      --keep-midi-devices  die MIDI-Geräte und ihre ALSA-Einstellungen behalten
      --restart          den Computer neu starten, wenn die Entfernung es braucht
      --no-restart       nicht neu starten und nicht fragen
      --json             ein JSON-Dokument auf der Standardausgabe ausgeben
  -q, --quiet            nur Fragen und Fehler ausgeben
      --user NAME        als root: auch den eigenen Teil von NAME entfernen
                         (mehrfach angebbar)
      --all-users        als root: den eigenen Teil jedes Benutzers entfernen
  -n, --dry-run          auflisten, was entfernt würde; nichts ändern
                         und nichts fragen
  -h, --help             diese Hilfe anzeigen
      --version          die Version anzeigen

Exit-Status: 0 entfernt oder nichts zu tun, 1 Fehler, 2 falscher Aufruf,
3 abgebrochen oder abgelehnt, 4 keine Legitimierung möglich.
Siehe quillon-uninstall(1).
</translation>
    </message>
    <message>
        <source>terminalNeedsRoot</source>
        <translation>--user und --all-users brauchen root; rufen Sie auf: sudo quillon-uninstall</translation>
    </message>
    <message>
        <source>terminalNoSuchUser</source>
        <translation>kein solcher Benutzer: %1</translation>
    </message>
    <message>
        <source>moreInformationButton</source>
        <translation>Mehr Informationen</translation>
    </message>
    <message>
        <source>lessInformationButton</source>
        <translation>Weniger Informationen</translation>
    </message>
    <message>
        <source>failedTitle</source>
        <translation>Quillon konnte nicht entfernt werden.</translation>
    </message>
    <message>
        <source>failedSystemPartTitle</source>
        <translation>Das Entfernen von Quillon wurde nicht abgeschlossen.</translation>
    </message>
    <message>
        <source>failedUserPartTitle</source>
        <translation>Ihre eigenen Quillon-Einstellungen konnten nicht entfernt werden.</translation>
    </message>
    <message>
        <source>diskFullTitle</source>
        <translation>Quillon konnte nicht entfernt werden: Der Datenträger ist voll.</translation>
    </message>
    <message>
        <source>diskFullCause</source>
        <translation>Auf dem Datenträger mit %1 (dem unter %2 eingehängten Dateisystem) ist kein Platz mehr frei.</translation>
    </message>
    <message>
        <source>diskFreeNote</source>
        <translation>Freier Platz dort: %1.</translation>
    </message>
    <message>
        <source>diskFullAdvice</source>
        <translation>Schaffen Sie auf diesem Datenträger Platz, etwa indem Sie den Papierkorb leeren, und starten Sie das Deinstallationsprogramm dann erneut.</translation>
    </message>
    <message>
        <source>userPartTimeout</source>
        <translation>Das Entfernen Ihrer eigenen Einstellungen dauerte zu lange und wurde abgebrochen.</translation>
    </message>
    <message>
        <source>stateNothingRemoved</source>
        <translation>Es wurde nichts entfernt.</translation>
    </message>
    <message>
        <source>stateMaybePartlyRemoved</source>
        <translation>Ein Teil von Quillon wurde möglicherweise aus dem System entfernt; Ihre eigenen Einstellungen nicht.</translation>
    </message>
    <message>
        <source>stateSystemRemoved</source>
        <translation>Quillon wurde aus dem System entfernt; Ihre eigenen Einstellungen nicht.</translation>
    </message>
    <message>
        <source>systemPartAdvice</source>
        <translation>Die Details nennen den fehlgeschlagenen Schritt. Beheben Sie dessen Ursache und starten Sie das Deinstallationsprogramm dann erneut, um den Rest zu entfernen.</translation>
    </message>
    <message>
        <source>userPartAdvice</source>
        <translation>Starten Sie das Deinstallationsprogramm erneut, um Ihre eigenen Einstellungen zu entfernen; dafür ist kein Administratorpasswort nötig.</translation>
    </message>
    <message>
        <source>alreadyOpenTitle</source>
        <translation>Das Deinstallationsprogramm ist bereits geöffnet.</translation>
    </message>
    <message>
        <source>alreadyOpenMessage</source>
        <translation>Ein anderes Fenster des Quillon-Deinstallationsprogramms ist geöffnet und wurde in den Vordergrund geholt. Fahren Sie in jenem Fenster fort; dieses wird geschlossen, wenn Sie auf OK klicken.</translation>
    </message>
    <message>
        <source>optionUnknown</source>
        <translation>unbekannte Option %1</translation>
    </message>
    <message>
        <source>optionNeedsUserName</source>
        <translation>--user braucht einen Benutzernamen</translation>
    </message>
    <message>
        <source>optionsRestartConflict</source>
        <translation>--restart und --no-restart schließen einander aus</translation>
    </message>
    <message>
        <source>optionsUserConflict</source>
        <translation>--user und --all-users schließen einander aus</translation>
    </message>
    <message>
        <source>tryHelp</source>
        <translation>„%1 --help“ liefert weitere Informationen.</translation>
    </message>
    <message>
        <source>setUserIDRefused</source>
        <translation>darf nicht mit Set-User-ID laufen; starten Sie es als Sie selbst oder als root</translation>
    </message>
    <message>
        <source>logNotWritten</source>
        <translation>das Protokoll %1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>windowUsage</source>
        <translation>Aufruf: quillon-uninstaller [--verbose | --help | --version]
Entfernt die Quillon-MIDI-Treibersammlung von diesem Computer, in einem Fenster.
Ohne grafische Sitzung verwenden Sie %1 im Terminal.
</translation>
    </message>
    <message>
        <source>windowNeedsDisplay</source>
        <translation>eine grafische Sitzung ist nötig; verwenden Sie im Terminal stattdessen %1.</translation>
    </message>
    <message>
        <source>windowRootRefused</source>
        <translation>das Deinstallationsprogramm nicht als root ausführen: Starten Sie es als Sie selbst, dann fragt es nach dem nötigen Administratorpasswort. Um Quillon als root zu entfernen, verwenden Sie %1 in einem Terminal.</translation>
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
    <message>
        <source>Read me</source>
        <translation>Bitte lesen</translation>
    </message>
    <message>
        <source>Uninstall log</source>
        <translation>Protokoll der Deinstallation</translation>
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
        <translation>Details einblenden …</translation>
    </message>
    <message>
        <source>Hide Details…</source>
        <translation>Details ausblenden …</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
</context>
</TS>
