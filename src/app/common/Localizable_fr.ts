<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr" sourcelanguage="en">
<context>
    <name>Localizable</name>
    <message>
        <source>necessaryToRestart</source>
        <translation>L’ordinateur devra redémarrer après la désinstallation.</translation>
    </message>
    <message>
        <source>chanceToSave</source>
        <translation>Les périphériques MIDI Quillon cessent de fonctionner pendant la suppression de Quillon. Enregistrez votre travail dans les programmes qui les utilisent, et quittez ces programmes avant de continuer.</translation>
    </message>
    <message>
        <source>proceedButton</source>
        <translation>Continuer</translation>
    </message>
    <message>
        <source>cancelButton</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>sharedWarningTitle</source>
        <translation>Des réglages audio partagés peuvent être modifiés.</translation>
    </message>
    <message>
        <source>sharedWarningMessage</source>
        <translation>Si les périphériques MIDI sont supprimés eux aussi, les entrées de Quillon sont retirées de la configuration ALSA partagée (/etc/asound.conf et votre ~/.asoundrc). Tout le reste de ces fichiers demeure tel quel.</translation>
    </message>
    <message>
        <source>okButton</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>errorTemplate</source>
        <translation>L’opération n’a pas pu aboutir (erreur %d).</translation>
    </message>
    <message>
        <source>tryAgain</source>
        <translation>Veuillez réessayer. Si l’erreur persiste, contactez l’assistance Quillon en indiquant le numéro d’erreur.</translation>
    </message>
    <message>
        <source>restartButton</source>
        <translation>Redémarrer</translation>
    </message>
    <message>
        <source>quitButton</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>uninstallSucceeded</source>
        <translation>Quillon a été désinstallé.</translation>
    </message>
    <message>
        <source>restartMessage</source>
        <translation>Redémarrez l’ordinateur pour achever la suppression des pilotes MIDI Quillon.</translation>
    </message>
    <message>
        <source>notInstalledTitle</source>
        <translation>Quillon n’est pas installé sur cet ordinateur.</translation>
    </message>
    <message>
        <source>notInstalledMessage</source>
        <translation>Le programme de désinstallation n’a trouvé aucun reçu d’installation de Quillon, ni celui du système ni le vôtre : il n’y a donc rien à supprimer.</translation>
    </message>
    <message>
        <source>alreadyRunningTitle</source>
        <translation>Le programme de désinstallation est déjà en cours d’exécution.</translation>
    </message>
    <message>
        <source>alreadyRunningMessage</source>
        <translation>Une autre fenêtre du programme de désinstallation de Quillon est en train de supprimer Quillon. Attendez qu’elle ait terminé, ou poursuivez dans cette fenêtre-là.</translation>
    </message>
    <message>
        <source>userPartOnlyTitle</source>
        <translation>Il ne reste que vos propres réglages Quillon.</translation>
    </message>
    <message>
        <source>userPartOnlyMessage</source>
        <translation>Quillon lui-même a déjà été supprimé de cet ordinateur. Le programme de désinstallation supprime maintenant vos propres réglages et l’élément lancé à l’ouverture de session. Ni mot de passe d’administrateur ni redémarrage ne sont nécessaires.</translation>
    </message>
    <message>
        <source>userPartRemoved</source>
        <translation>Vos propres réglages Quillon ont été supprimés. Aucun redémarrage n’est nécessaire.</translation>
    </message>
    <message>
        <source>waitingForAuthorization</source>
        <translation>En attente de l’autorisation de l’administrateur…</translation>
    </message>
    <message>
        <source>removingQuillon</source>
        <translation>Suppression de Quillon…</translation>
    </message>
    <message>
        <source>closeRefused</source>
        <translation>Le programme de désinstallation ne peut pas être fermé pendant qu’il supprime Quillon. Il pourra l’être dès qu’il aura terminé.</translation>
    </message>
    <message>
        <source>deniedTitle</source>
        <translation>La politique de l’administrateur ne le permet pas.</translation>
    </message>
    <message>
        <source>deniedMessage</source>
        <translation>Votre compte n’est pas autorisé à supprimer Quillon de cet ordinateur. Demandez à un administrateur de le supprimer, ou d’autoriser votre compte à le faire. Rien n’a été supprimé.</translation>
    </message>
    <message>
        <source>noAgentTitle</source>
        <translation>Impossible d’afficher une demande de mot de passe.</translation>
    </message>
    <message>
        <source>noAgentMessage</source>
        <translation>La suppression de Quillon nécessite un mot de passe d’administrateur, mais aucun agent d’authentification ne tourne dans cette session pour le demander. Lancez l’agent d’authentification de votre bureau (une session de bureau complète en lance un) et réessayez, ou exécutez quillon-uninstall dans un terminal. Rien n’a été supprimé.</translation>
    </message>
    <message>
        <source>logFileNote</source>
        <translation>Le journal de cette exécution est enregistré dans %1.</translation>
    </message>
    <message>
        <source>statusNotPrivileged</source>
        <translation>L’outil auxiliaire n’a pas pu s’exécuter avec les droits d’administrateur.</translation>
    </message>
    <message>
        <source>statusDenied</source>
        <translation>La politique de l’administrateur ne le permet pas.</translation>
    </message>
    <message>
        <source>statusCanceled</source>
        <translation>L’autorisation de l’administrateur a été annulée.</translation>
    </message>
    <message>
        <source>statusFailed</source>
        <translation>La partie de la désinstallation qui nécessite les droits d’administrateur a échoué : une étape de la suppression a échoué, ou l’outil auxiliaire n’a pas pu s’exécuter. Les détails ci-dessous en disent plus.</translation>
    </message>
    <message>
        <source>statusUntrustedInstall</source>
        <translation>Le programme de désinstallation n’est pas installé à un endroit que seul l’administrateur peut modifier ; il ne peut donc rien supprimer avec les droits d’administrateur. Installez-le en tant qu’administrateur (root) et réessayez.</translation>
    </message>
    <message>
        <source>statusLimits</source>
        <translation>Les limites de ressources de cette session interrompraient la suppression en cours de route ; rien n’a donc été supprimé. Lancez le programme de désinstallation depuis une session de bureau normale.</translation>
    </message>
    <message>
        <source>statusFolderUnsuitable</source>
        <translation>Aucun dossier pouvant accueillir en toute sécurité l’outil auxiliaire du programme de désinstallation n’a été trouvé.</translation>
    </message>
    <message>
        <source>statusNoAgent</source>
        <translation>Impossible d’afficher une demande de mot de passe : aucun agent d’authentification ne tourne dans cette session.</translation>
    </message>
    <message>
        <source>statusDamaged</source>
        <translation>Une partie du programme de désinstallation est manquante ou endommagée. Réinstallez le programme de désinstallation.</translation>
    </message>
    <message>
        <source>rootRefusedTitle</source>
        <translation>Le programme de désinstallation ne s’exécute pas en tant que root.</translation>
    </message>
    <message>
        <source>rootRefusedMessage</source>
        <translation>Lancé en tant que root, il chercherait vos propres réglages Quillon dans le dossier personnel de root et laisserait les vôtres en place. Lancez-le sous votre propre compte : il demande le mot de passe d’administrateur dont il a besoin. Pour supprimer Quillon en tant que root, utilisez quillon-uninstall dans un terminal.</translation>
    </message>
    <message>
        <source>midiQuestion</source>
        <translation>Supprimer aussi les périphériques MIDI Quillon et leurs réglages ALSA ?</translation>
    </message>
    <message>
        <source>proceedQuestion</source>
        <translation>Voulez-vous continuer ?</translation>
    </message>
    <message>
        <source>yesNoDefaultYes</source>
        <translation>[O/n]</translation>
    </message>
    <message>
        <source>yesNoDefaultNo</source>
        <translation>[o/N]</translation>
    </message>
    <message>
        <source>yesLetters</source>
        <translation>oy</translation>
    </message>
    <message>
        <source>restartQuestion</source>
        <translation>Redémarrer l’ordinateur maintenant ?</translation>
    </message>
    <message>
        <source>terminalCancelled</source>
        <translation>Annulé. Rien de plus n’a été supprimé.</translation>
    </message>
    <message>
        <source>terminalNeedsYes</source>
        <translation>L’entrée standard n’est pas un terminal : aucune question ne peut être posée. Utilisez --yes pour répondre oui aux avertissements.</translation>
    </message>
    <message>
        <source>terminalNoAgent</source>
        <translation>Impossible d’afficher une demande de mot de passe : il n’y a pas de terminal où la poser, et aucun agent d’authentification ne tourne dans cette session. Exécutez quillon-uninstall dans un terminal, ou en tant que root (sudo quillon-uninstall).</translation>
    </message>
    <message>
        <source>summaryTemplate</source>
        <translation>Supprimés : %1, conservés : %2, refusés : %3.</translation>
    </message>
    <message>
        <source>userHasNoPart</source>
        <translation>%1 n’a pas de réglages Quillon qui lui soient propres.</translation>
    </message>
    <message>
        <source>previewHeading</source>
        <translation>Les éléments suivants seront SUPPRIMÉS :</translation>
    </message>
    <message>
        <source>previewNothing</source>
        <translation>Il ne reste plus rien à supprimer de ce que listent les reçus d’installation.</translation>
    </message>
    <message>
        <source>previewSystemPart</source>
        <translation>Du système (fichiers : %1, dossiers : %2) :</translation>
    </message>
    <message>
        <source>previewUserPart</source>
        <translation>De votre dossier personnel (fichiers : %1, dossiers : %2) :</translation>
    </message>
    <message>
        <source>previewUserPartOf</source>
        <translation>Du dossier personnel de %1 (fichiers : %2, dossiers : %3) :</translation>
    </message>
    <message>
        <source>previewLoginItem</source>
        <translation>%1 (lancé à l’ouverture de session)</translation>
    </message>
    <message>
        <source>previewAlsaBlock</source>
        <translation>le bloc Quillon dans %1 (le reste du fichier est conservé)</translation>
    </message>
    <message>
        <source>previewMore</source>
        <translation>… et %1 de plus : quillon-uninstall --dry-run les liste tous.</translation>
    </message>
    <message>
        <source>previewFoldersNote</source>
        <translation>Un dossier n’est supprimé que s’il ne contient plus rien d’autre.</translation>
    </message>
    <message>
        <source>previewNote</source>
        <translation>Remarque : %1</translation>
    </message>
    <message>
        <source>previewUserLeftOut</source>
        <translation>Conservée : la partie propre à %1 : %2</translation>
    </message>
    <message>
        <source>dryRunNote</source>
        <translation>Simulation : rien n’a été modifié.</translation>
    </message>
    <message>
        <source>reasonSkipped</source>
        <translation>l’administrateur a passé cette partie.</translation>
    </message>
    <message>
        <source>ctrlCSkips</source>
        <translation>(Ctrl-C passe la partie de cet utilisateur)</translation>
    </message>
    <message>
        <source>skippingUserPart</source>
        <translation>La partie de %1 est passée…</translation>
    </message>
    <message>
        <source>linesLeftOut</source>
        <translation>[… %1 lignes de la partie de cet utilisateur omises ; le fichier journal en garde davantage …]</translation>
    </message>
    <message>
        <source>failedTitle</source>
        <translation>Quillon n’a pas pu être supprimé.</translation>
    </message>
    <message>
        <source>failedSystemPartTitle</source>
        <translation>La suppression de Quillon ne s’est pas terminée.</translation>
    </message>
    <message>
        <source>failedUserPartTitle</source>
        <translation>Vos propres réglages Quillon n’ont pas pu être supprimés.</translation>
    </message>
    <message>
        <source>diskFullTitle</source>
        <translation>Quillon n’a pas pu être supprimé : le disque est plein.</translation>
    </message>
    <message>
        <source>diskFullCause</source>
        <translation>Il n’y a plus d’espace libre sur le disque qui contient %1 (le système de fichiers monté sur %2).</translation>
    </message>
    <message>
        <source>diskFreeNote</source>
        <translation>Espace libre à cet endroit : %1.</translation>
    </message>
    <message>
        <source>diskFullAdvice</source>
        <translation>Libérez de l’espace sur ce disque, par exemple en vidant la corbeille, puis relancez le programme de désinstallation.</translation>
    </message>
    <message>
        <source>userPartTimeout</source>
        <translation>La suppression de vos propres réglages a pris trop de temps et a été interrompue.</translation>
    </message>
    <message>
        <source>stateNothingRemoved</source>
        <translation>Rien n’a été supprimé.</translation>
    </message>
    <message>
        <source>stateMaybePartlyRemoved</source>
        <translation>Une partie de Quillon a peut-être été supprimée du système ; vos propres réglages ne l’ont pas été.</translation>
    </message>
    <message>
        <source>stateSystemRemoved</source>
        <translation>Quillon a été supprimé du système ; vos propres réglages ne l’ont pas été.</translation>
    </message>
    <message>
        <source>systemPartAdvice</source>
        <translation>Les détails indiquent l’étape qui a échoué. Une fois sa cause corrigée, relancez le programme de désinstallation pour supprimer le reste.</translation>
    </message>
    <message>
        <source>userPartAdvice</source>
        <translation>Relancez le programme de désinstallation pour supprimer vos propres réglages ; il ne demande pas pour cela de mot de passe administrateur.</translation>
    </message>
    <message>
        <source>alreadyOpenTitle</source>
        <translation>Le programme de désinstallation est déjà ouvert.</translation>
    </message>
    <message>
        <source>alreadyOpenMessage</source>
        <translation>Une autre fenêtre du programme de désinstallation de Quillon est ouverte et a été mise au premier plan. Continuez dans cette fenêtre ; celle-ci se ferme lorsque vous cliquez sur OK.</translation>
    </message>
    <message>
        <source>previewSummary</source>
        <translation>Fichiers et dossiers à supprimer : %1 de la partie système et %2 des vôtres.</translation>
    </message>
    <message>
        <source>previewSummaryUserPart</source>
        <translation>Fichiers et dossiers personnels à supprimer : %1.</translation>
    </message>
    <message>
        <source>previewSummaryLoginItem</source>
        <translation>Parmi eux figure l’élément lancé à l’ouverture de session %1.</translation>
    </message>
    <message>
        <source>previewSummaryAlsa</source>
        <translation>Le bloc Quillon est aussi retiré de %1 ; le reste de ce fichier est conservé.</translation>
    </message>
    <message>
        <source>previewUnavailable</source>
        <translation>La liste de ce qui sera supprimé n’est pas disponible.</translation>
    </message>
    <message>
        <source>passwordTryAgain</source>
        <translation>Désolé, veuillez réessayer : le mot de passe n’a pas été accepté.</translation>
    </message>
    <message>
        <source>terminalPasswordRefused</source>
        <translation>Échec de l’authentification : le mot de passe n’a pas été accepté. Rien n’a été supprimé.</translation>
    </message>
    <message>
        <source>terminalPolicyDenied</source>
        <translation>La politique de l’administrateur ne le permet pas : votre compte ne peut pas supprimer Quillon de cet ordinateur, et aucun mot de passe n’y change rien. Demandez à un administrateur de le supprimer, ou d’autoriser votre compte à le faire. Rien n’a été supprimé.</translation>
    </message>
    <message>
        <source>passwordRefusedTitle</source>
        <translation>Le mot de passe n’a pas été accepté.</translation>
    </message>
    <message>
        <source>passwordRefusedMessage</source>
        <translation>Le mot de passe administrateur saisi n’a pas été accepté ; rien n’a donc été supprimé. Réessayez avec le mot de passe d’un compte administrateur.</translation>
    </message>
    <message>
        <source>terminalReadMeNote</source>
        <translation>Dans ce terminal, les questions qui suivent cette page remplacent les commandes de la fenêtre : « Désinstaller… » revient à y répondre oui, et la case « Supprimer aussi les périphériques MIDI Quillon et leurs réglages ALSA » correspond à la question MIDI (ou à --keep-midi-devices). Le journal de l’exécution est affiché à la fin et conservé dans le fichier journal.</translation>
    </message>
    <message>
        <source>terminalPagerHint</source>
        <translation>Le fichier Lisez-moi s’ouvre dans le visualiseur : appuyez sur q pour le quitter et passer aux questions.</translation>
    </message>
    <message>
        <source>userNotHandledTemplate</source>
        <translation>Les réglages Quillon propres à %1 n’ont pas été supprimés : %2</translation>
    </message>
    <message>
        <source>reasonNotChosen</source>
        <translation>exécutez avec --user %1 ou --all-users pour les supprimer.</translation>
    </message>
    <message>
        <source>reasonHomeNotOwn</source>
        <translation>le dossier personnel n’appartient pas à cet utilisateur.</translation>
    </message>
    <message>
        <source>reasonUnreadable</source>
        <translation>le dossier personnel n’a pas pu être examiné en toute sécurité.</translation>
    </message>
    <message>
        <source>reasonSystemPartFailed</source>
        <translation>la suppression de la partie système a d’abord échoué.</translation>
    </message>
    <message>
        <source>reasonNoGroups</source>
        <translation>les groupes de l’utilisateur n’ont pas pu être lus.</translation>
    </message>
    <message>
        <source>terminalDenied</source>
        <translation>L’autorisation de l’administrateur a été refusée : le mot de passe n’a pas été accepté, ou la politique de l’administrateur ne le permet pas. Rien n’a été supprimé.</translation>
    </message>
    <message>
        <source>terminalUsage</source>
        <translation>Utilisation : quillon-uninstall [OPTION]...
Désinstalle de cet ordinateur la suite de pilotes MIDI Quillon, depuis un terminal.

  -y, --yes              répondre oui aux avertissements (nécessaire sans terminal)
      --keep-midi-devices  conserver les périphériques MIDI et leurs réglages ALSA
      --restart          redémarrer l’ordinateur si la suppression l’exige
      --no-restart       ne pas redémarrer, et ne pas le demander
      --json             écrire un document JSON sur la sortie standard
  -q, --quiet            n’afficher que les questions et les erreurs
      --user NOM         en tant que root : supprimer aussi la partie propre
                         à NOM (peut être répété)
      --all-users        en tant que root : supprimer la partie propre à
                         chaque utilisateur
  -n, --dry-run          lister ce qui serait supprimé, sans rien
                         modifier ni rien demander
  -h, --help             afficher cette aide
      --version          afficher la version

Code de sortie : 0 supprimé ou rien à faire, 1 échec, 2 erreur d’utilisation,
3 annulé ou refusé, 4 aucune authentification n’a été possible.
Voir quillon-uninstall(1).
</translation>
    </message>
    <message>
        <source>terminalNeedsRoot</source>
        <translation>--user et --all-users nécessitent root ; lancez : sudo quillon-uninstall</translation>
    </message>
    <message>
        <source>terminalNoSuchUser</source>
        <translation>utilisateur inconnu : %1</translation>
    </message>
    <message>
        <source>moreInformationButton</source>
        <translation>Plus d’informations</translation>
    </message>
    <message>
        <source>lessInformationButton</source>
        <translation>Moins d’informations</translation>
    </message>
    <message>
        <source>optionUnknown</source>
        <translation>option inconnue %1</translation>
    </message>
    <message>
        <source>optionNeedsUserName</source>
        <translation>--user demande un nom d’utilisateur</translation>
    </message>
    <message>
        <source>optionsRestartConflict</source>
        <translation>--restart et --no-restart s’excluent mutuellement</translation>
    </message>
    <message>
        <source>optionsUserConflict</source>
        <translation>--user et --all-users s’excluent mutuellement</translation>
    </message>
    <message>
        <source>tryHelp</source>
        <translation>Saisissez « %1 --help » pour plus d’informations.</translation>
    </message>
    <message>
        <source>setUserIDRefused</source>
        <translation>ne doit pas être lancé en set-user-ID ; lancez-le sous votre propre compte ou en tant que root</translation>
    </message>
    <message>
        <source>logNotWritten</source>
        <translation>impossible d’écrire le journal %1 : %2</translation>
    </message>
    <message>
        <source>windowUsage</source>
        <translation>Utilisation : quillon-uninstaller [--verbose | --help | --version]
Désinstalle de cet ordinateur la suite de pilotes MIDI Quillon, dans une fenêtre.
Sans session graphique, utilisez %1 dans un terminal.
</translation>
    </message>
    <message>
        <source>windowNeedsDisplay</source>
        <translation>une session graphique est nécessaire ; dans un terminal, utilisez plutôt %1.</translation>
    </message>
    <message>
        <source>windowRootRefused</source>
        <translation>n’exécutez pas le programme de désinstallation en tant que root : lancez-le sous votre propre compte et il demandera le mot de passe d’administrateur dont il a besoin. Pour supprimer Quillon en tant que root, utilisez %1 dans un terminal.</translation>
    </message>
</context>
<context>
    <name>Uninstaller</name>
    <message>
        <source>Quillon Uninstaller</source>
        <translation>Désinstaller Quillon</translation>
    </message>
    <message>
        <source>This program removes the Quillon MIDI driver suite from this computer.</source>
        <translation>Ce programme supprime de cet ordinateur la suite de pilotes MIDI Quillon.</translation>
    </message>
    <message>
        <source>Also remove the Quillon MIDI devices and their ALSA settings</source>
        <translation>Supprimer aussi les périphériques MIDI Quillon et leurs réglages ALSA</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Uninstall…</source>
        <translation>Désinstaller…</translation>
    </message>
    <message>
        <source>Quillon has been uninstalled.</source>
        <translation>Quillon a été désinstallé.</translation>
    </message>
    <message>
        <source>Restart your computer to finish removing the Quillon MIDI drivers.</source>
        <translation>Redémarrez l’ordinateur pour achever la suppression des pilotes MIDI Quillon.</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Redémarrer</translation>
    </message>
    <message>
        <source>Read me</source>
        <translation>Lisez-moi</translation>
    </message>
    <message>
        <source>Uninstall log</source>
        <translation>Journal de la désinstallation</translation>
    </message>
</context>
<context>
    <name>NSAlert</name>
    <message>
        <source>Details</source>
        <translation>Détails</translation>
    </message>
    <message>
        <source>Show Details…</source>
        <translation>Afficher les détails…</translation>
    </message>
    <message>
        <source>Hide Details…</source>
        <translation>Masquer les détails…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copier</translation>
    </message>
</context>
</TS>
