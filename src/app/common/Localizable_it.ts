<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it" sourcelanguage="en">
<context>
    <name>Localizable</name>
    <message>
        <source>necessaryToRestart</source>
        <translation>Dopo la disinstallazione sarà necessario riavviare il computer.</translation>
    </message>
    <message>
        <source>chanceToSave</source>
        <translation>I dispositivi MIDI Quillon smettono di funzionare mentre Quillon viene rimosso. Salvare il lavoro nei programmi che li usano e chiudere quei programmi prima di continuare.</translation>
    </message>
    <message>
        <source>proceedButton</source>
        <translation>Continua</translation>
    </message>
    <message>
        <source>cancelButton</source>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>sharedWarningTitle</source>
        <translation>Alcune impostazioni audio condivise potrebbero cambiare.</translation>
    </message>
    <message>
        <source>sharedWarningMessage</source>
        <translation>Se vengono rimossi anche i dispositivi MIDI, le voci di Quillon vengono tolte dalla configurazione ALSA condivisa (/etc/asound.conf e il proprio ~/.asoundrc). Tutto il resto di quei file rimane com’è.</translation>
    </message>
    <message>
        <source>okButton</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>errorTemplate</source>
        <translation>Impossibile completare l’operazione (errore %d).</translation>
    </message>
    <message>
        <source>tryAgain</source>
        <translation>Riprovare. Se l’errore persiste, contattare l’assistenza Quillon indicando il numero di errore.</translation>
    </message>
    <message>
        <source>restartButton</source>
        <translation>Riavvia</translation>
    </message>
    <message>
        <source>quitButton</source>
        <translation>Esci</translation>
    </message>
    <message>
        <source>uninstallSucceeded</source>
        <translation>Quillon è stato disinstallato.</translation>
    </message>
    <message>
        <source>restartMessage</source>
        <translation>Riavviare il computer per completare la rimozione dei driver MIDI Quillon.</translation>
    </message>
    <message>
        <source>notInstalledTitle</source>
        <translation>Quillon non è installato su questo computer.</translation>
    </message>
    <message>
        <source>notInstalledMessage</source>
        <translation>Il programma di disinstallazione non ha trovato alcuna ricevuta di installazione di Quillon, né quella del sistema né la propria: non c’è quindi nulla da rimuovere.</translation>
    </message>
    <message>
        <source>alreadyRunningTitle</source>
        <translation>Il programma di disinstallazione è già in esecuzione.</translation>
    </message>
    <message>
        <source>alreadyRunningMessage</source>
        <translation>Un’altra finestra del programma di disinstallazione di Quillon sta rimuovendo Quillon. Attendere che abbia finito, oppure continuare in quella finestra.</translation>
    </message>
    <message>
        <source>userPartOnlyTitle</source>
        <translation>Rimangono solo le proprie impostazioni di Quillon.</translation>
    </message>
    <message>
        <source>userPartOnlyMessage</source>
        <translation>Quillon stesso è già stato rimosso da questo computer. Il programma di disinstallazione rimuove ora le proprie impostazioni e l’elemento di avvio all’accesso. Non servono né una password di amministratore né un riavvio.</translation>
    </message>
    <message>
        <source>userPartRemoved</source>
        <translation>Le proprie impostazioni di Quillon sono state rimosse. Non è necessario riavviare.</translation>
    </message>
    <message>
        <source>waitingForAuthorization</source>
        <translation>In attesa dell’autorizzazione dell’amministratore…</translation>
    </message>
    <message>
        <source>removingQuillon</source>
        <translation>Rimozione di Quillon…</translation>
    </message>
    <message>
        <source>closeRefused</source>
        <translation>Il programma di disinstallazione non può essere chiuso mentre rimuove Quillon. Potrà essere chiuso non appena avrà finito.</translation>
    </message>
    <message>
        <source>deniedTitle</source>
        <translation>La politica dell’amministratore non lo consente.</translation>
    </message>
    <message>
        <source>deniedMessage</source>
        <translation>Questo account non può rimuovere Quillon da questo computer. Chiedere a un amministratore di rimuoverlo o di consentirlo a questo account. Non è stato rimosso nulla.</translation>
    </message>
    <message>
        <source>noAgentTitle</source>
        <translation>Impossibile mostrare una richiesta di password.</translation>
    </message>
    <message>
        <source>noAgentMessage</source>
        <translation>Per rimuovere Quillon serve una password di amministratore, ma in questa sessione non è in esecuzione alcun agente di autenticazione che possa chiederla. Avviare l’agente di autenticazione del proprio desktop (una sessione desktop completa ne avvia uno) e riprovare, oppure eseguire quillon-uninstall in un terminale. Non è stato rimosso nulla.</translation>
    </message>
    <message>
        <source>logFileNote</source>
        <translation>Il registro di questa esecuzione è salvato in %1.</translation>
    </message>
    <message>
        <source>statusNotPrivileged</source>
        <translation>Lo strumento ausiliario non ha potuto essere eseguito con i privilegi di amministratore.</translation>
    </message>
    <message>
        <source>statusDenied</source>
        <translation>La politica dell’amministratore non lo consente.</translation>
    </message>
    <message>
        <source>statusCanceled</source>
        <translation>L’autorizzazione dell’amministratore è stata annullata.</translation>
    </message>
    <message>
        <source>statusFailed</source>
        <translation>La parte della disinstallazione che richiede i privilegi di amministratore non è riuscita: un passo della rimozione non è riuscito, oppure lo strumento ausiliario non ha potuto essere eseguito. I dettagli qui sotto dicono di più.</translation>
    </message>
    <message>
        <source>statusUntrustedInstall</source>
        <translation>Il programma di disinstallazione non è installato in una posizione che solo l’amministratore può modificare, quindi non può rimuovere nulla con i privilegi di amministratore. Installarlo come amministratore (root) e riprovare.</translation>
    </message>
    <message>
        <source>statusLimits</source>
        <translation>I limiti di risorse di questa sessione interromperebbero la rimozione a metà, quindi non è stato rimosso nulla. Avviare il programma di disinstallazione da una normale sessione desktop.</translation>
    </message>
    <message>
        <source>statusFolderUnsuitable</source>
        <translation>Non è stata trovata alcuna cartella in grado di ospitare in modo sicuro lo strumento ausiliario del programma di disinstallazione.</translation>
    </message>
    <message>
        <source>statusNoAgent</source>
        <translation>Impossibile mostrare una richiesta di password: in questa sessione non è in esecuzione alcun agente di autenticazione.</translation>
    </message>
    <message>
        <source>statusDamaged</source>
        <translation>Una parte del programma di disinstallazione manca o è danneggiata. Installare di nuovo il programma di disinstallazione.</translation>
    </message>
    <message>
        <source>rootRefusedTitle</source>
        <translation>Il programma di disinstallazione non viene eseguito come root.</translation>
    </message>
    <message>
        <source>rootRefusedMessage</source>
        <translation>Avviato come root, cercherebbe le impostazioni personali di Quillon nella cartella home di root, lasciando al loro posto quelle dell’utente. Avviarlo con il proprio utente: chiederà la password di amministratore necessaria. Per rimuovere Quillon come root, usare quillon-uninstall in un terminale.</translation>
    </message>
    <message>
        <source>midiQuestion</source>
        <translation>Rimuovere anche i dispositivi MIDI Quillon e le loro impostazioni ALSA?</translation>
    </message>
    <message>
        <source>proceedQuestion</source>
        <translation>Continuare?</translation>
    </message>
    <message>
        <source>yesNoDefaultYes</source>
        <translation>[S/n]</translation>
    </message>
    <message>
        <source>yesNoDefaultNo</source>
        <translation>[s/N]</translation>
    </message>
    <message>
        <source>yesLetters</source>
        <translation>sy</translation>
    </message>
    <message>
        <source>restartQuestion</source>
        <translation>Riavviare il computer adesso?</translation>
    </message>
    <message>
        <source>terminalCancelled</source>
        <translation>Annullato. Non è stato rimosso nient’altro.</translation>
    </message>
    <message>
        <source>terminalNeedsYes</source>
        <translation>Lo standard input non è un terminale, quindi non è possibile chiedere nulla. Usare --yes per rispondere sì agli avvisi.</translation>
    </message>
    <message>
        <source>terminalNoAgent</source>
        <translation>Impossibile mostrare una richiesta di password: non c’è alcun terminale su cui chiederla e in questa sessione non è in esecuzione alcun agente di autenticazione. Eseguire quillon-uninstall in un terminale, oppure come root (sudo quillon-uninstall).</translation>
    </message>
    <message>
        <source>summaryTemplate</source>
        <translation>Rimossi: %1, mantenuti: %2, rifiutati: %3.</translation>
    </message>
    <message>
        <source>userHasNoPart</source>
        <translation>%1 non ha impostazioni di Quillon proprie.</translation>
    </message>
    <message>
        <source>previewHeading</source>
        <translation>Verrà RIMOSSO quanto segue:</translation>
    </message>
    <message>
        <source>previewNothing</source>
        <translation>Non resta nulla da rimuovere di quanto elencano le ricevute di installazione.</translation>
    </message>
    <message>
        <source>previewSystemPart</source>
        <translation>Dal sistema (file: %1, cartelle: %2):</translation>
    </message>
    <message>
        <source>previewUserPart</source>
        <translation>Dalla propria cartella home (file: %1, cartelle: %2):</translation>
    </message>
    <message>
        <source>previewUserPartOf</source>
        <translation>Dalla cartella home di %1 (file: %2, cartelle: %3):</translation>
    </message>
    <message>
        <source>previewLoginItem</source>
        <translation>%1 (avviato all’accesso)</translation>
    </message>
    <message>
        <source>previewAlsaBlock</source>
        <translation>il blocco di Quillon in %1 (il resto del file resta invariato)</translation>
    </message>
    <message>
        <source>previewMore</source>
        <translation>… e altri %1: quillon-uninstall --dry-run li elenca tutti.</translation>
    </message>
    <message>
        <source>previewFoldersNote</source>
        <translation>Una cartella viene rimossa solo quando non contiene nient’altro.</translation>
    </message>
    <message>
        <source>previewNote</source>
        <translation>Nota: %1</translation>
    </message>
    <message>
        <source>previewUserLeftOut</source>
        <translation>Resta: la parte propria di %1: %2</translation>
    </message>
    <message>
        <source>dryRunNote</source>
        <translation>Prova: non è stato modificato nulla.</translation>
    </message>
    <message>
        <source>reasonSkipped</source>
        <translation>l’amministratore ha saltato questa parte.</translation>
    </message>
    <message>
        <source>ctrlCSkips</source>
        <translation>(Ctrl-C salta la parte di questo utente)</translation>
    </message>
    <message>
        <source>skippingUserPart</source>
        <translation>Salto della parte di %1…</translation>
    </message>
    <message>
        <source>linesLeftOut</source>
        <translation>[… %1 righe della parte di questo utente omesse; il file di registro ne conserva di più …]</translation>
    </message>
    <message>
        <source>failedTitle</source>
        <translation>Non è stato possibile rimuovere Quillon.</translation>
    </message>
    <message>
        <source>failedSystemPartTitle</source>
        <translation>La rimozione di Quillon non è stata completata.</translation>
    </message>
    <message>
        <source>failedUserPartTitle</source>
        <translation>Non è stato possibile rimuovere le proprie impostazioni di Quillon.</translation>
    </message>
    <message>
        <source>diskFullTitle</source>
        <translation>Non è stato possibile rimuovere Quillon: il disco è pieno.</translation>
    </message>
    <message>
        <source>diskFullCause</source>
        <translation>Non c’è più spazio sul disco che contiene %1 (il file system montato in %2).</translation>
    </message>
    <message>
        <source>diskFreeNote</source>
        <translation>Spazio libero lì: %1.</translation>
    </message>
    <message>
        <source>diskFullAdvice</source>
        <translation>Liberare spazio su quel disco, per esempio svuotando il cestino, quindi eseguire di nuovo il programma di disinstallazione.</translation>
    </message>
    <message>
        <source>userPartTimeout</source>
        <translation>La rimozione delle proprie impostazioni ha richiesto troppo tempo ed è stata interrotta.</translation>
    </message>
    <message>
        <source>stateNothingRemoved</source>
        <translation>Non è stato rimosso nulla.</translation>
    </message>
    <message>
        <source>stateMaybePartlyRemoved</source>
        <translation>Una parte di Quillon potrebbe essere stata rimossa dal sistema; le proprie impostazioni no.</translation>
    </message>
    <message>
        <source>stateSystemRemoved</source>
        <translation>Quillon è stato rimosso dal sistema; le proprie impostazioni no.</translation>
    </message>
    <message>
        <source>systemPartAdvice</source>
        <translation>I dettagli indicano quale passaggio non è riuscito. Una volta risolta la causa, eseguire di nuovo il programma di disinstallazione per rimuovere il resto.</translation>
    </message>
    <message>
        <source>userPartAdvice</source>
        <translation>Eseguire di nuovo il programma di disinstallazione per rimuovere le proprie impostazioni; per questo non serve la password di amministratore.</translation>
    </message>
    <message>
        <source>alreadyOpenTitle</source>
        <translation>Il programma di disinstallazione è già aperto.</translation>
    </message>
    <message>
        <source>alreadyOpenMessage</source>
        <translation>È aperta un’altra finestra del programma di disinstallazione di Quillon, che è stata portata in primo piano. Continuare in quella finestra; questa si chiude quando si preme OK.</translation>
    </message>
    <message>
        <source>previewSummary</source>
        <translation>File e cartelle da rimuovere: %1 della parte di sistema e %2 dei propri.</translation>
    </message>
    <message>
        <source>previewSummaryUserPart</source>
        <translation>File e cartelle propri da rimuovere: %1.</translation>
    </message>
    <message>
        <source>previewSummaryLoginItem</source>
        <translation>Tra questi c’è l’elemento avviato all’accesso %1.</translation>
    </message>
    <message>
        <source>previewSummaryAlsa</source>
        <translation>Anche il blocco di Quillon viene tolto da %1; il resto di quel file resta invariato.</translation>
    </message>
    <message>
        <source>previewUnavailable</source>
        <translation>L’elenco di ciò che verrà rimosso non è disponibile.</translation>
    </message>
    <message>
        <source>passwordTryAgain</source>
        <translation>Riprovare: la password non è stata accettata.</translation>
    </message>
    <message>
        <source>terminalPasswordRefused</source>
        <translation>Autenticazione non riuscita: la password non è stata accettata. Non è stato rimosso nulla.</translation>
    </message>
    <message>
        <source>terminalPolicyDenied</source>
        <translation>I criteri dell’amministratore non lo consentono: il proprio account non può rimuovere Quillon da questo computer, e nessuna password cambia questo. Chiedere a un amministratore di rimuoverlo o di consentirlo al proprio account. Non è stato rimosso nulla.</translation>
    </message>
    <message>
        <source>passwordRefusedTitle</source>
        <translation>La password non è stata accettata.</translation>
    </message>
    <message>
        <source>passwordRefusedMessage</source>
        <translation>La password di amministratore digitata non è stata accettata, quindi non è stato rimosso nulla. Riprovare con la password di un account amministratore.</translation>
    </message>
    <message>
        <source>terminalReadMeNote</source>
        <translation>In questo terminale, le domande dopo questa pagina prendono il posto dei controlli della finestra: «Disinstalla…» corrisponde a rispondere sì, e la casella «Rimuovi anche i dispositivi MIDI Quillon e le loro impostazioni ALSA» è la domanda sul MIDI (o --keep-midi-devices). Il registro dell’esecuzione viene mostrato alla fine e conservato nel file di registro.</translation>
    </message>
    <message>
        <source>terminalPagerHint</source>
        <translation>Il file Leggimi si apre nel paginatore: premere q per uscire e passare alle domande.</translation>
    </message>
    <message>
        <source>userNotHandledTemplate</source>
        <translation>Le impostazioni di Quillon proprie di %1 non sono state rimosse: %2</translation>
    </message>
    <message>
        <source>reasonNotChosen</source>
        <translation>eseguire con --user %1 o --all-users per rimuoverle.</translation>
    </message>
    <message>
        <source>reasonHomeNotOwn</source>
        <translation>la cartella home non appartiene a questo utente.</translation>
    </message>
    <message>
        <source>reasonUnreadable</source>
        <translation>non è stato possibile esaminare la cartella home in modo sicuro.</translation>
    </message>
    <message>
        <source>reasonSystemPartFailed</source>
        <translation>prima non è riuscita la rimozione della parte di sistema.</translation>
    </message>
    <message>
        <source>reasonNoGroups</source>
        <translation>non è stato possibile leggere i gruppi dell’utente.</translation>
    </message>
    <message>
        <source>terminalDenied</source>
        <translation>L’autorizzazione dell’amministratore è stata negata: la password non è stata accettata, oppure la politica dell’amministratore non lo consente. Non è stato rimosso nulla.</translation>
    </message>
    <message>
        <source>terminalUsage</source>
        <translation>Uso: quillon-uninstall [OPZIONE]...
Disinstalla da questo computer la suite di driver MIDI Quillon, da un terminale.

  -y, --yes              rispondere sì agli avvisi (necessario senza terminale)
      --keep-midi-devices  mantenere i dispositivi MIDI e le loro impostazioni ALSA
      --restart          riavviare il computer se la rimozione lo richiede
      --no-restart       non riavviare e non chiedere
      --json             scrivere un documento JSON sullo standard output
  -q, --quiet            mostrare solo domande ed errori
      --user NOME        come root: rimuovere anche la parte propria di NOME
                         (ripetibile)
      --all-users        come root: rimuovere la parte propria di ogni utente
  -n, --dry-run          elencare ciò che verrebbe rimosso, senza modificare
                         né chiedere nulla
  -h, --help             mostrare questo aiuto
      --version          mostrare la versione

Stato di uscita: 0 rimosso o niente da fare, 1 errore, 2 uso errato,
3 annullato o negato, 4 non è stato possibile autenticarsi.
Vedere quillon-uninstall(1).
</translation>
    </message>
    <message>
        <source>terminalNeedsRoot</source>
        <translation>--user e --all-users richiedono root; eseguire: sudo quillon-uninstall</translation>
    </message>
    <message>
        <source>terminalNoSuchUser</source>
        <translation>utente inesistente: %1</translation>
    </message>
    <message>
        <source>moreInformationButton</source>
        <translation>Più informazioni</translation>
    </message>
    <message>
        <source>lessInformationButton</source>
        <translation>Meno informazioni</translation>
    </message>
    <message>
        <source>optionUnknown</source>
        <translation>opzione sconosciuta %1</translation>
    </message>
    <message>
        <source>optionNeedsUserName</source>
        <translation>--user richiede un nome utente</translation>
    </message>
    <message>
        <source>optionsRestartConflict</source>
        <translation>--restart e --no-restart si escludono a vicenda</translation>
    </message>
    <message>
        <source>optionsUserConflict</source>
        <translation>--user e --all-users si escludono a vicenda</translation>
    </message>
    <message>
        <source>tryHelp</source>
        <translation>Usare '%1 --help' per maggiori informazioni.</translation>
    </message>
    <message>
        <source>setUserIDRefused</source>
        <translation>non deve essere eseguito con set-user-ID; eseguirlo con il proprio utente o come root</translation>
    </message>
    <message>
        <source>logNotWritten</source>
        <translation>impossibile scrivere il registro %1: %2</translation>
    </message>
    <message>
        <source>windowUsage</source>
        <translation>Uso: quillon-uninstaller [--verbose | --help | --version]
Disinstalla da questo computer la suite di driver MIDI Quillon, in una finestra.
Senza una sessione grafica, usare %1 in un terminale.
</translation>
    </message>
    <message>
        <source>windowNeedsDisplay</source>
        <translation>serve una sessione grafica; in un terminale usare invece %1.</translation>
    </message>
    <message>
        <source>windowRootRefused</source>
        <translation>non eseguire il programma di disinstallazione come root: avviarlo con il proprio utente e chiederà la password di amministratore necessaria. Per rimuovere Quillon come root, usare %1 in un terminale.</translation>
    </message>
</context>
<context>
    <name>Uninstaller</name>
    <message>
        <source>Quillon Uninstaller</source>
        <translation>Disinstalla Quillon</translation>
    </message>
    <message>
        <source>This program removes the Quillon MIDI driver suite from this computer.</source>
        <translation>Questo programma rimuove da questo computer la suite di driver MIDI Quillon.</translation>
    </message>
    <message>
        <source>Also remove the Quillon MIDI devices and their ALSA settings</source>
        <translation>Rimuovi anche i dispositivi MIDI Quillon e le loro impostazioni ALSA</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Esci</translation>
    </message>
    <message>
        <source>Uninstall…</source>
        <translation>Disinstalla…</translation>
    </message>
    <message>
        <source>Quillon has been uninstalled.</source>
        <translation>Quillon è stato disinstallato.</translation>
    </message>
    <message>
        <source>Restart your computer to finish removing the Quillon MIDI drivers.</source>
        <translation>Riavviare il computer per completare la rimozione dei driver MIDI Quillon.</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Riavvia</translation>
    </message>
    <message>
        <source>Read me</source>
        <translation>Leggimi</translation>
    </message>
    <message>
        <source>Uninstall log</source>
        <translation>Registro della disinstallazione</translation>
    </message>
</context>
<context>
    <name>NSAlert</name>
    <message>
        <source>Details</source>
        <translation>Dettagli</translation>
    </message>
    <message>
        <source>Show Details…</source>
        <translation>Mostra dettagli…</translation>
    </message>
    <message>
        <source>Hide Details…</source>
        <translation>Nascondi dettagli…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copia</translation>
    </message>
</context>
</TS>
