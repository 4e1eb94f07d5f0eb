<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es" sourcelanguage="en">
<context>
    <name>Localizable</name>
    <message>
        <source>necessaryToRestart</source>
        <translation>Será necesario reiniciar el equipo después de la desinstalación.</translation>
    </message>
    <message>
        <source>chanceToSave</source>
        <translation>Los dispositivos MIDI Quillon dejan de funcionar mientras se elimina Quillon. Guarde su trabajo en los programas que los usan y cierre esos programas antes de continuar.</translation>
    </message>
    <message>
        <source>proceedButton</source>
        <translation>Continuar</translation>
    </message>
    <message>
        <source>cancelButton</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>sharedWarningTitle</source>
        <translation>Puede que cambien ajustes de audio compartidos.</translation>
    </message>
    <message>
        <source>sharedWarningMessage</source>
        <translation>Si también se eliminan los dispositivos MIDI, las entradas de Quillon se quitan de la configuración compartida de ALSA (/etc/asound.conf y su ~/.asoundrc). Todo lo demás de esos archivos queda como está.</translation>
    </message>
    <message>
        <source>okButton</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>errorTemplate</source>
        <translation>No se pudo completar la operación (error %d).</translation>
    </message>
    <message>
        <source>tryAgain</source>
        <translation>Inténtelo de nuevo. Si el error persiste, póngase en contacto con el soporte de Quillon e indique el número de error.</translation>
    </message>
    <message>
        <source>restartButton</source>
        <translation>Reiniciar</translation>
    </message>
    <message>
        <source>quitButton</source>
        <translation>Salir</translation>
    </message>
    <message>
        <source>uninstallSucceeded</source>
        <translation>Quillon se ha desinstalado.</translation>
    </message>
    <message>
        <source>restartMessage</source>
        <translation>Reinicie el equipo para terminar de eliminar los controladores MIDI Quillon.</translation>
    </message>
    <message>
        <source>notInstalledTitle</source>
        <translation>Quillon no está instalado en este equipo.</translation>
    </message>
    <message>
        <source>notInstalledMessage</source>
        <translation>El desinstalador no encontró ningún recibo de instalación de Quillon, ni el del sistema ni el suyo, así que no hay nada que eliminar.</translation>
    </message>
    <message>
        <source>alreadyRunningTitle</source>
        <translation>El desinstalador ya se está ejecutando.</translation>
    </message>
    <message>
        <source>alreadyRunningMessage</source>
        <translation>Otra ventana del desinstalador de Quillon está eliminando Quillon. Espere a que termine o continúe en esa ventana.</translation>
    </message>
    <message>
        <source>userPartOnlyTitle</source>
        <translation>Solo quedan sus propios ajustes de Quillon.</translation>
    </message>
    <message>
        <source>userPartOnlyMessage</source>
        <translation>Quillon ya se ha eliminado de este equipo. El desinstalador elimina ahora sus propios ajustes y su elemento de inicio de sesión. No hace falta contraseña de administrador ni reiniciar.</translation>
    </message>
    <message>
        <source>userPartRemoved</source>
        <translation>Se han eliminado sus propios ajustes de Quillon. No hace falta reiniciar.</translation>
    </message>
    <message>
        <source>waitingForAuthorization</source>
        <translation>Esperando la autorización del administrador…</translation>
    </message>
    <message>
        <source>removingQuillon</source>
        <translation>Eliminando Quillon…</translation>
    </message>
    <message>
        <source>closeRefused</source>
        <translation>El desinstalador no se puede cerrar mientras elimina Quillon. Podrá cerrarse en cuanto termine.</translation>
    </message>
    <message>
        <source>deniedTitle</source>
        <translation>La política del administrador no lo permite.</translation>
    </message>
    <message>
        <source>deniedMessage</source>
        <translation>Su cuenta no puede eliminar Quillon de este equipo. Pida a un administrador que lo elimine o que permita hacerlo a su cuenta. No se ha eliminado nada.</translation>
    </message>
    <message>
        <source>noAgentTitle</source>
        <translation>No se pudo mostrar ninguna solicitud de contraseña.</translation>
    </message>
    <message>
        <source>noAgentMessage</source>
        <translation>Para eliminar Quillon hace falta una contraseña de administrador, pero en esta sesión no se ejecuta ningún agente de autenticación que la pida. Inicie el agente de autenticación de su escritorio (una sesión de escritorio completa inicia uno) e inténtelo de nuevo, o ejecute quillon-uninstall en un terminal. No se ha eliminado nada.</translation>
    </message>
    <message>
        <source>logFileNote</source>
        <translation>El registro de esta ejecución se ha guardado en %1.</translation>
    </message>
    <message>
        <source>statusNotPrivileged</source>
        <translation>La herramienta auxiliar no pudo ejecutarse con privilegios de administrador.</translation>
    </message>
    <message>
        <source>statusDenied</source>
        <translation>La política del administrador no lo permite.</translation>
    </message>
    <message>
        <source>statusCanceled</source>
        <translation>Se canceló la autorización del administrador.</translation>
    </message>
    <message>
        <source>statusFailed</source>
        <translation>Falló la parte de la desinstalación que necesita privilegios de administrador: falló un paso de la eliminación o no se pudo ejecutar la herramienta auxiliar. Los detalles de abajo dan más información.</translation>
    </message>
    <message>
        <source>statusUntrustedInstall</source>
        <translation>El desinstalador no está instalado donde solo el administrador puede modificarlo, así que no puede eliminar nada con privilegios de administrador. Instálelo como administrador (root) e inténtelo de nuevo.</translation>
    </message>
    <message>
        <source>statusLimits</source>
        <translation>Los límites de recursos de esta sesión interrumpirían la eliminación a medias, así que no se ha eliminado nada. Inicie el desinstalador desde una sesión de escritorio normal.</translation>
    </message>
    <message>
        <source>statusFolderUnsuitable</source>
        <translation>No se encontró ninguna carpeta que pueda alojar de forma segura la herramienta auxiliar del desinstalador.</translation>
    </message>
    <message>
        <source>statusNoAgent</source>
        <translation>No se pudo mostrar ninguna solicitud de contraseña: en esta sesión no se ejecuta ningún agente de autenticación.</translation>
    </message>
    <message>
        <source>statusDamaged</source>
        <translation>Falta una parte del desinstalador o está dañada. Vuelva a instalar el desinstalador.</translation>
    </message>
    <message>
        <source>rootRefusedTitle</source>
        <translation>El desinstalador no se ejecuta como root.</translation>
    </message>
    <message>
        <source>rootRefusedMessage</source>
        <translation>Iniciado como root, buscaría sus propios ajustes de Quillon en la carpeta personal de root y dejaría los suyos. Inícielo con su propio usuario: pedirá la contraseña de administrador que necesite. Para eliminar Quillon como root, use quillon-uninstall en un terminal.</translation>
    </message>
    <message>
        <source>midiQuestion</source>
        <translation>¿Eliminar también los dispositivos MIDI Quillon y sus ajustes de ALSA?</translation>
    </message>
    <message>
        <source>proceedQuestion</source>
        <translation>¿Desea continuar?</translation>
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
        <translation>¿Reiniciar el equipo ahora?</translation>
    </message>
    <message>
        <source>terminalCancelled</source>
        <translation>Cancelado. No se ha eliminado nada más.</translation>
    </message>
    <message>
        <source>terminalNeedsYes</source>
        <translation>La entrada estándar no es un terminal, así que no se puede preguntar nada. Use --yes para responder sí a las advertencias.</translation>
    </message>
    <message>
        <source>terminalNoAgent</source>
        <translation>No se pudo mostrar ninguna solicitud de contraseña: no hay ningún terminal donde preguntar y en esta sesión no se ejecuta ningún agente de autenticación. Ejecute quillon-uninstall en un terminal o como root (sudo quillon-uninstall).</translation>
    </message>
    <message>
        <source>summaryTemplate</source>
        <translation>Eliminados: %1, conservados: %2, rechazados: %3.</translation>
    </message>
    <message>
        <source>userHasNoPart</source>
        <translation>%1 no tiene ajustes de Quillon propios.</translation>
    </message>
    <message>
        <source>previewHeading</source>
        <translation>Se ELIMINARÁ lo siguiente:</translation>
    </message>
    <message>
        <source>previewNothing</source>
        <translation>No queda nada por eliminar de lo que enumeran los recibos de instalación.</translation>
    </message>
    <message>
        <source>previewSystemPart</source>
        <translation>Del sistema (archivos: %1, carpetas: %2):</translation>
    </message>
    <message>
        <source>previewUserPart</source>
        <translation>De su carpeta personal (archivos: %1, carpetas: %2):</translation>
    </message>
    <message>
        <source>previewUserPartOf</source>
        <translation>De la carpeta personal de %1 (archivos: %2, carpetas: %3):</translation>
    </message>
    <message>
        <source>previewLoginItem</source>
        <translation>%1 (se inicia al iniciar la sesión)</translation>
    </message>
    <message>
        <source>previewAlsaBlock</source>
        <translation>el bloque de Quillon en %1 (el resto del archivo se conserva)</translation>
    </message>
    <message>
        <source>previewMore</source>
        <translation>… y %1 más: quillon-uninstall --dry-run los enumera todos.</translation>
    </message>
    <message>
        <source>previewFoldersNote</source>
        <translation>Una carpeta solo se elimina cuando ya no queda nada más en ella.</translation>
    </message>
    <message>
        <source>previewNote</source>
        <translation>Nota: %1</translation>
    </message>
    <message>
        <source>previewUserLeftOut</source>
        <translation>Se conserva: la parte propia de %1: %2</translation>
    </message>
    <message>
        <source>dryRunNote</source>
        <translation>Simulación: no se cambió nada.</translation>
    </message>
    <message>
        <source>reasonSkipped</source>
        <translation>el administrador omitió esta parte.</translation>
    </message>
    <message>
        <source>ctrlCSkips</source>
        <translation>(Ctrl-C omite la parte de este usuario)</translation>
    </message>
    <message>
        <source>skippingUserPart</source>
        <translation>Omitiendo la parte de %1…</translation>
    </message>
    <message>
        <source>linesLeftOut</source>
        <translation>[… se omitieron %1 líneas de la parte de este usuario; el archivo de registro guarda más …]</translation>
    </message>
    <message>
        <source>failedTitle</source>
        <translation>No se pudo eliminar Quillon.</translation>
    </message>
    <message>
        <source>failedSystemPartTitle</source>
        <translation>La eliminación de Quillon no terminó.</translation>
    </message>
    <message>
        <source>failedUserPartTitle</source>
        <translation>No se pudieron eliminar sus propios ajustes de Quillon.</translation>
    </message>
    <message>
        <source>diskFullTitle</source>
        <translation>No se pudo eliminar Quillon: el disco está lleno.</translation>
    </message>
    <message>
        <source>diskFullCause</source>
        <translation>No queda espacio en el disco que contiene %1 (el sistema de archivos montado en %2).</translation>
    </message>
    <message>
        <source>diskFreeNote</source>
        <translation>Espacio libre allí: %1.</translation>
    </message>
    <message>
        <source>diskFullAdvice</source>
        <translation>Libere espacio en ese disco, por ejemplo vaciando la papelera, y vuelva a ejecutar el desinstalador.</translation>
    </message>
    <message>
        <source>userPartTimeout</source>
        <translation>La eliminación de sus propios ajustes tardó demasiado y se detuvo.</translation>
    </message>
    <message>
        <source>stateNothingRemoved</source>
        <translation>No se eliminó nada.</translation>
    </message>
    <message>
        <source>stateMaybePartlyRemoved</source>
        <translation>Puede que parte de Quillon se haya eliminado del sistema; sus propios ajustes, no.</translation>
    </message>
    <message>
        <source>stateSystemRemoved</source>
        <translation>Quillon se eliminó del sistema; sus propios ajustes, no.</translation>
    </message>
    <message>
        <source>systemPartAdvice</source>
        <translation>Los detalles indican qué paso falló. Una vez resuelta su causa, vuelva a ejecutar el desinstalador para eliminar el resto.</translation>
    </message>
    <message>
        <source>userPartAdvice</source>
        <translation>Vuelva a ejecutar el desinstalador para eliminar sus propios ajustes; para ello no necesita la contraseña de administrador.</translation>
    </message>
    <message>
        <source>alreadyOpenTitle</source>
        <translation>El desinstalador ya está abierto.</translation>
    </message>
    <message>
        <source>alreadyOpenMessage</source>
        <translation>Hay otra ventana del desinstalador de Quillon abierta y se ha traído al frente. Continúe en esa ventana; esta se cierra al pulsar Aceptar.</translation>
    </message>
    <message>
        <source>previewSummary</source>
        <translation>Archivos y carpetas que se eliminarán: %1 de la parte del sistema y %2 de los suyos.</translation>
    </message>
    <message>
        <source>previewSummaryUserPart</source>
        <translation>Archivos y carpetas propios que se eliminarán: %1.</translation>
    </message>
    <message>
        <source>previewSummaryLoginItem</source>
        <translation>Entre ellos está el elemento de inicio de sesión %1.</translation>
    </message>
    <message>
        <source>previewSummaryAlsa</source>
        <translation>También se quita el bloque de Quillon de %1; el resto de ese archivo se conserva.</translation>
    </message>
    <message>
        <source>previewUnavailable</source>
        <translation>La lista de lo que se eliminará no está disponible.</translation>
    </message>
    <message>
        <source>passwordTryAgain</source>
        <translation>Lo sentimos, inténtelo de nuevo: no se aceptó la contraseña.</translation>
    </message>
    <message>
        <source>terminalPasswordRefused</source>
        <translation>Falló la autenticación: no se aceptó la contraseña. No se eliminó nada.</translation>
    </message>
    <message>
        <source>terminalPolicyDenied</source>
        <translation>La directiva del administrador no lo permite: su cuenta no puede eliminar Quillon de este equipo, y ninguna contraseña cambia eso. Pida a un administrador que lo elimine o que permita a su cuenta hacerlo. No se eliminó nada.</translation>
    </message>
    <message>
        <source>passwordRefusedTitle</source>
        <translation>No se aceptó la contraseña.</translation>
    </message>
    <message>
        <source>passwordRefusedMessage</source>
        <translation>No se aceptó la contraseña de administrador introducida, así que no se eliminó nada. Inténtelo de nuevo con la contraseña de una cuenta de administrador.</translation>
    </message>
    <message>
        <source>terminalReadMeNote</source>
        <translation>En esta terminal, las preguntas que siguen a esta página ocupan el lugar de los controles de la ventana: «Desinstalar…» equivale a responderlas que sí, y la casilla «Eliminar también los dispositivos MIDI Quillon y sus ajustes de ALSA» es la pregunta sobre MIDI (o --keep-midi-devices). El registro de la ejecución se muestra al final y se guarda en el archivo de registro.</translation>
    </message>
    <message>
        <source>terminalPagerHint</source>
        <translation>El archivo Léame se abre en el paginador: pulse q para salir y pasar a las preguntas.</translation>
    </message>
    <message>
        <source>userNotHandledTemplate</source>
        <translation>No se eliminaron los ajustes de Quillon propios de %1: %2</translation>
    </message>
    <message>
        <source>reasonNotChosen</source>
        <translation>ejecute con --user %1 o --all-users para eliminarlos.</translation>
    </message>
    <message>
        <source>reasonHomeNotOwn</source>
        <translation>la carpeta personal no pertenece a ese usuario.</translation>
    </message>
    <message>
        <source>reasonUnreadable</source>
        <translation>no se pudo examinar la carpeta personal de forma segura.</translation>
    </message>
    <message>
        <source>reasonSystemPartFailed</source>
        <translation>antes falló la eliminación de la parte del sistema.</translation>
    </message>
    <message>
        <source>reasonNoGroups</source>
        <translation>no se pudieron leer los grupos del usuario.</translation>
    </message>
    <message>
        <source>terminalDenied</source>
        <translation>Se denegó la autorización del administrador: no se aceptó la contraseña o la política del administrador no lo permite. No se ha eliminado nada.</translation>
    </message>
    <message>
        <source>terminalUsage</source>
        <translation>Modo de empleo: quillon-uninstall [OPCIÓN]...
Desinstala de este equipo el conjunto de controladores MIDI Quillon, desde un terminal.

  -y, --yes              responder sí a las advertencias (necesario sin terminal)
      --keep-midi-devices  conservar los dispositivos MIDI y sus ajustes de ALSA
      --restart          reiniciar el equipo si la eliminación lo requiere
      --no-restart       no reiniciar ni preguntar
      --json             escribir un documento JSON en la salida estándar
  -q, --quiet            no mostrar más que preguntas y errores
      --user NOMBRE      como root: eliminar también la parte propia de NOMBRE
                         (se puede repetir)
      --all-users        como root: eliminar la parte propia de cada usuario
  -n, --dry-run          mostrar lo que se eliminaría, sin cambiar ni
                         preguntar nada
  -h, --help             mostrar esta ayuda
      --version          mostrar la versión

Estado de salida: 0 eliminado o nada que hacer, 1 fallo, 2 error de uso,
3 cancelado o denegado, 4 no fue posible autenticarse.
Véase quillon-uninstall(1).
</translation>
    </message>
    <message>
        <source>terminalNeedsRoot</source>
        <translation>--user y --all-users necesitan root; ejecute: sudo quillon-uninstall</translation>
    </message>
    <message>
        <source>terminalNoSuchUser</source>
        <translation>no existe el usuario: %1</translation>
    </message>
    <message>
        <source>moreInformationButton</source>
        <translation>Más información</translation>
    </message>
    <message>
        <source>lessInformationButton</source>
        <translation>Menos información</translation>
    </message>
    <message>
        <source>optionUnknown</source>
        <translation>opción desconocida %1</translation>
    </message>
    <message>
        <source>optionNeedsUserName</source>
        <translation>--user necesita un nombre de usuario</translation>
    </message>
    <message>
        <source>optionsRestartConflict</source>
        <translation>--restart y --no-restart se excluyen mutuamente</translation>
    </message>
    <message>
        <source>optionsUserConflict</source>
        <translation>--user y --all-users se excluyen mutuamente</translation>
    </message>
    <message>
        <source>tryHelp</source>
        <translation>Pruebe '%1 --help' para más información.</translation>
    </message>
    <message>
        <source>setUserIDRefused</source>
        <translation>no debe ejecutarse con set-user-ID; ejecútelo con su propio usuario o como root</translation>
    </message>
    <message>
        <source>logNotWritten</source>
        <translation>no se puede escribir el registro %1: %2</translation>
    </message>
    <message>
        <source>windowUsage</source>
        <translation>Modo de empleo: quillon-uninstaller [--verbose | --help | --version]
Desinstala de este equipo el conjunto de controladores MIDI Quillon, en una ventana.
Sin sesión gráfica, use %1 en un terminal.
</translation>
    </message>
    <message>
        <source>windowNeedsDisplay</source>
        <translation>se necesita una sesión gráfica; en un terminal, use %1 en su lugar.</translation>
    </message>
    <message>
        <source>windowRootRefused</source>
        <translation>no ejecute el desinstalador como root: inícielo con su propio usuario y pedirá la contraseña de administrador que necesite. Para eliminar Quillon como root, use %1 en un terminal.</translation>
    </message>
</context>
<context>
    <name>Uninstaller</name>
    <message>
        <source>Quillon Uninstaller</source>
        <translation>Desinstalar Quillon</translation>
    </message>
    <message>
        <source>This program removes the Quillon MIDI driver suite from this computer.</source>
        <translation>Este programa elimina de este equipo el conjunto de controladores MIDI Quillon.</translation>
    </message>
    <message>
        <source>Also remove the Quillon MIDI devices and their ALSA settings</source>
        <translation>Eliminar también los dispositivos MIDI Quillon y sus ajustes de ALSA</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
    <message>
        <source>Uninstall…</source>
        <translation>Desinstalar…</translation>
    </message>
    <message>
        <source>Quillon has been uninstalled.</source>
        <translation>Quillon se ha desinstalado.</translation>
    </message>
    <message>
        <source>Restart your computer to finish removing the Quillon MIDI drivers.</source>
        <translation>Reinicie el equipo para terminar de eliminar los controladores MIDI Quillon.</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Reiniciar</translation>
    </message>
    <message>
        <source>Read me</source>
        <translation>Léame</translation>
    </message>
    <message>
        <source>Uninstall log</source>
        <translation>Registro de la desinstalación</translation>
    </message>
</context>
<context>
    <name>NSAlert</name>
    <message>
        <source>Details</source>
        <translation>Detalles</translation>
    </message>
    <message>
        <source>Show Details…</source>
        <translation>Mostrar detalles…</translation>
    </message>
    <message>
        <source>Hide Details…</source>
        <translation>Ocultar detalles…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copiar</translation>
    </message>
</context>
</TS>
