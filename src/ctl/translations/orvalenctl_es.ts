<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>Ctl</name>
    <message>
        <source>TIME</source>
        <translation>FECHA</translation>
    </message>
    <message>
        <source>COMMAND</source>
        <translation>COMANDO</translation>
    </message>
    <message>
        <source>PORT</source>
        <translation>PUERTO</translation>
    </message>
    <message>
        <source>DEVICE</source>
        <translation>DISPOSITIVO</translation>
    </message>
    <message>
        <source>SERIAL</source>
        <translation>SERIE</translation>
    </message>
    <message>
        <source>RESULT</source>
        <translation>RESULTADO</translation>
    </message>
    <message>
        <source>cannot read the journal %1</source>
        <translation>no se puede leer el registro %1</translation>
    </message>
    <message>
        <source>%1: line %2 is damaged and left out</source>
        <translation>%1: la línea %2 está dañada y se omite</translation>
    </message>
    <message>
        <source>the journal %1 holds no jobs yet</source>
        <translation>el registro %1 todavía no tiene trabajos</translation>
    </message>
    <message>
        <source>Try &apos;orvalenctl --help&apos; for more information.
</source>
        <translation>Pruebe &apos;orvalenctl --help&apos; para más información.
</translation>
    </message>
    <message>
        <source>The fiscal printer&apos;s daily jobs without the window.</source>
        <translation>Los trabajos diarios de la impresora fiscal sin la ventana.</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>Mostrar esta ayuda y salir.</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>Mostrar la versión y salir.</translation>
    </message>
    <message>
        <source>The printer&apos;s port, COM1 to COM20.</source>
        <translation>El puerto de la impresora, COM1 a COM20.</translation>
    </message>
    <message>
        <source>The printer&apos;s device file, e.g. /dev/ttyUSB0.</source>
        <translation>El archivo de dispositivo de la impresora, p. ej. /dev/ttyUSB0.</translation>
    </message>
    <message>
        <source>Results as JSON on standard output.</source>
        <translation>Resultados en JSON por la salida estándar.</translation>
    </message>
    <message>
        <source>Append the bytes exchanged to FILE.</source>
        <translation>Agregar a FILE los bytes intercambiados.</translation>
    </message>
    <message>
        <source>z: only when no Z was answered in the last 12 hours.</source>
        <translation>z: solo si no se hizo ningún Z en las últimas 12 horas.</translation>
    </message>
    <message>
        <source>history: comma-separated values with a header.</source>
        <translation>history: valores separados por comas, con encabezado.</translation>
    </message>
    <message>
        <source>The job to do (below).</source>
        <translation>El trabajo a realizar (ver abajo).</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>no se indicó ningún comando</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;</source>
        <translation>argumento inesperado &apos;%1&apos;</translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;</source>
        <translation>comando desconocido &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--port and --device exclude each other</source>
        <translation>--port y --device se excluyen mutuamente</translation>
    </message>
    <message>
        <source>--port takes COM1 to COM20, not &apos;%1&apos;</source>
        <translation>--port admite COM1 a COM20, no &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--device needs a path</source>
        <translation>--device necesita una ruta</translation>
    </message>
    <message>
        <source>--traffic-log needs a file</source>
        <translation>--traffic-log necesita un archivo</translation>
    </message>
    <message>
        <source>--if-due belongs to the z command</source>
        <translation>--if-due corresponde al comando z</translation>
    </message>
    <message>
        <source>--csv belongs to the history command</source>
        <translation>--csv corresponde al comando history</translation>
    </message>
    <message>
        <source>--csv and --json exclude each other</source>
        <translation>--csv y --json se excluyen mutuamente</translation>
    </message>
    <message>
        <source>missing</source>
        <translation>no existe</translation>
    </message>
    <message>
        <source>no UART behind it (no port on this computer)</source>
        <translation>sin UART detrás (este puerto no existe en esta computadora)</translation>
    </message>
    <message>
        <source>%1 UART</source>
        <translation>UART %1</translation>
    </message>
    <message>
        <source>USB adapter, driver %1, %2</source>
        <translation>adaptador USB, controlador %1, %2</translation>
    </message>
    <message>
        <source>a device sysfs does not describe</source>
        <translation>un dispositivo que sysfs no describe</translation>
    </message>
    <message>
        <source>this user can open it</source>
        <translation>este usuario puede abrirlo</translation>
    </message>
    <message>
        <source>permission denied (group %1)</source>
        <translation>permiso denegado (grupo %1)</translation>
    </message>
    <message>
        <source>busy: held by %1</source>
        <translation>ocupado: lo tiene %1</translation>
    </message>
    <message>
        <source>%1 is a USB printer port, not a serial port: this program cannot use it</source>
        <translation>%1 es un puerto de impresora USB, no un puerto serie: este programa no puede usarlo</translation>
    </message>
    <message>
        <source>to open the ports refused for permission, add your user to the group: sudo usermod -aG %1 %2, then log out and in again</source>
        <translation>para abrir los puertos sin permiso, agregue su usuario al grupo: sudo usermod -aG %1 %2, y luego cierre la sesión y vuelva a entrar</translation>
    </message>
    <message>
        <source>a busy port is free once the program holding it ends; ModemManager and brltty often take serial ports</source>
        <translation>un puerto ocupado queda libre cuando termina el programa que lo tiene; ModemManager y brltty suelen tomar los puertos serie</translation>
    </message>
    <message>
        <source>the printer on %1 was not remembered: cannot write %2</source>
        <translation>no se recordó la impresora de %1: no se puede escribir %2</translation>
    </message>
    <message>
        <source>, serial %1</source>
        <translation>, serie %1</translation>
    </message>
    <message>
        <source>, reply %1</source>
        <translation>, respuesta %1</translation>
    </message>
    <message>
        <source>this %1 was not recorded in the journal: %2</source>
        <translation>este %1 no quedó en el registro: %2</translation>
    </message>
    <message>
        <source>%1: permission denied; add your user to the %2 group: sudo usermod -aG %2 %3, then log out and in again</source>
        <translation>%1: permiso denegado; agregue su usuario al grupo %2: sudo usermod -aG %2 %3, luego cierre la sesión y vuelva a entrar</translation>
    </message>
    <message>
        <source>%1: busy: another program holds it; ModemManager and brltty often take serial ports</source>
        <translation>%1: ocupado: otro programa lo tiene abierto; ModemManager y brltty suelen tomar los puertos serie</translation>
    </message>
    <message>
        <source>%1: busy: held by %2; try again once it has ended</source>
        <translation>%1: ocupado: lo tiene %2; vuelva a intentar cuando haya terminado</translation>
    </message>
    <message>
        <source>%1: cannot be opened: %2</source>
        <translation>%1: no se puede abrir: %2</translation>
    </message>
    <message>
        <source>trying %1</source>
        <translation>probando %1</translation>
    </message>
    <message>
        <source>%1 hung up or went away during the job</source>
        <translation>%1 se cortó o desapareció durante el trabajo</translation>
    </message>
    <message>
        <source>%1: the printer there has serial number %2, not %3 as remembered; nothing but the status request was sent (run &apos;orvalenctl find&apos; to use this printer from now on)</source>
        <translation>%1: la impresora allí tiene el número de serie %2, no %3 como el recordado; no se envió más que la consulta de estado (ejecute &apos;orvalenctl find&apos; para usar esta impresora en adelante)</translation>
    </message>
    <message>
        <source>no printer answered on the ports that could be opened; the refused ones are named above</source>
        <translation>ninguna impresora respondió en los puertos que se pudieron abrir; los rechazados se nombran arriba</translation>
    </message>
    <message>
        <source>no printer answered on COM1 to COM20</source>
        <translation>ninguna impresora respondió en COM1 a COM20</translation>
    </message>
    <message>
        <source>%1: no such device; &apos;orvalenctl ports&apos; lists the ports there are</source>
        <translation>%1: el dispositivo no existe; &apos;orvalenctl ports&apos; muestra los puertos que hay</translation>
    </message>
    <message>
        <source>%1 is missing; searching COM1 to COM20 for the printer</source>
        <translation>%1 no existe; se busca la impresora en COM1 a COM20</translation>
    </message>
    <message>
        <source>%1: no reply to the status request</source>
        <translation>%1: no hubo respuesta a la consulta de estado</translation>
    </message>
    <message>
        <source>%1 does not answer; searching COM1 to COM20 for the printer</source>
        <translation>%1 no responde; se busca la impresora en COM1 a COM20</translation>
    </message>
    <message>
        <source>%1: the printer refused it</source>
        <translation>%1: la impresora lo rechazó</translation>
    </message>
    <message>
        <source>%1: no reply</source>
        <translation>%1: no hubo respuesta</translation>
    </message>
    <message>
        <source>the printer on %1 gave no serial number: it was not remembered</source>
        <translation>la impresora de %1 no dio número de serie: no se recordó</translation>
    </message>
    <message>
        <source>cannot read the journal (%1): the Z report is sent as due</source>
        <translation>no se puede leer el registro (%1): el reporte Z se envía como pendiente</translation>
    </message>
    <message>
        <source>answered</source>
        <translation>respondido</translation>
    </message>
    <message>
        <source>accepted</source>
        <translation>aceptado</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>rechazado</translation>
    </message>
    <message>
        <source>no-reply</source>
        <translation>sin respuesta</translation>
    </message>
    <message>
        <source>not-found</source>
        <translation>no encontrada</translation>
    </message>
    <message>
        <source>cannot-open</source>
        <translation>no se pudo abrir</translation>
    </message>
    <message>
        <source>other-printer</source>
        <translation>otra impresora</translation>
    </message>
    <message>
        <source>skipped</source>
        <translation>omitido</translation>
    </message>
    <message>
        <source>sending</source>
        <translation>enviando</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>detenido</translation>
    </message>
    <message>
        <source>interrupted</source>
        <translation>interrumpido</translation>
    </message>
    <message>
        <source>not a serial port</source>
        <translation>no es un puerto serie</translation>
    </message>
    <message>
        <source>the device went away</source>
        <translation>el dispositivo desapareció</translation>
    </message>
    <message>
        <source>%1 has serial number %2</source>
        <translation>%1 tiene el número de serie %2</translation>
    </message>
    <message>
        <source>no printer with serial number %1 answered on COM1 to COM20; %2; nothing but the status request was sent to them (run &apos;orvalenctl find&apos; to use another printer from now on)</source>
        <translation>ninguna impresora con el número de serie %1 respondió en COM1 a COM20; %2; no se les envió más que la consulta de estado (ejecute &apos;orvalenctl find&apos; para usar otra impresora en adelante)</translation>
    </message>
    <message>
        <source>%1: no reply to the status request; no printer answered on COM1 to COM20 either</source>
        <translation>%1: no hubo respuesta a la consulta de estado; tampoco respondió ninguna impresora en COM1 a COM20</translation>
    </message>
    <message>
        <source>the printer on %1 was not remembered: its device path is not text; give it with --device each time</source>
        <translation>no se recordó la impresora de %1: la ruta de su dispositivo no es texto; indíquela con --device cada vez</translation>
    </message>
    <message>
        <source>%1; nothing was sent. Run &apos;orvalenctl find&apos; to find the printer and remember it anew</source>
        <translation>%1; no se envió nada. Ejecute &apos;orvalenctl find&apos; para buscar la impresora y recordarla de nuevo</translation>
    </message>
    <message>
        <source>%1; find goes on as if no printer were remembered</source>
        <translation>%1; find sigue como si no hubiera ninguna impresora recordada</translation>
    </message>
    <message>
        <source>%1 cannot be read: %2</source>
        <translation>no se puede leer %1: %2</translation>
    </message>
    <message>
        <source>%1 is damaged: far too large</source>
        <translation>%1 está dañado: es demasiado grande</translation>
    </message>
    <message>
        <source>%1 cannot be read: no room for a copy</source>
        <translation>no se puede leer %1: no hay lugar para una copia</translation>
    </message>
    <message>
        <source>%1 is damaged: it holds no valid port and serial number</source>
        <translation>%1 está dañado: no contiene un puerto y un número de serie válidos</translation>
    </message>
    <message>
        <source>%1 (not a regular file: left as it is)</source>
        <translation>%1 (no es un archivo común: se dejó como estaba)</translation>
    </message>
    <message>
        <source>; the remembered printer (serial %1)</source>
        <translation>; la impresora recordada (serie %1)</translation>
    </message>
    <message>
        <source>the remembered printer (serial %1) is on %2, which is not one of COM1 to COM20 here</source>
        <translation>la impresora recordada (serie %1) está en %2, que aquí no es ninguno de COM1 a COM20</translation>
    </message>
    <message>
        <source>stopped by %1: the %2 command was not sent</source>
        <translation>detenido por %1: no se envió el comando %2</translation>
    </message>
    <message>
        <source>a Z report of the printer %1 was printed at %2; nothing sent</source>
        <translation>ya se imprimió un Reporte Z de la impresora %1 el %2; no se envió nada</translation>
    </message>
    <message>
        <source>the Z report about to go out could not be recorded in the journal first (%1); it is sent all the same</source>
        <translation>el reporte Z por salir no se pudo anotar antes en el registro (%1); se envía de todos modos</translation>
    </message>
    <message>
        <source>the results could not be written to standard output: %1</source>
        <translation>no se pudieron escribir los resultados en la salida estándar: %1</translation>
    </message>
    <message>
        <source>%1 received: the exchange in progress ends (within 32 s), then the job stops; nothing more is sent</source>
        <translation>se recibió %1: el intercambio en curso termina (en 32 s como máximo) y luego el trabajo se detiene; no se envía nada más</translation>
    </message>
    <message>
        <source>
Commands:
  ports              COM1..COM20: device file, what is behind it, whether
                     this user can open it
  find               search COM1..COM20; remember the port and serial found
  status             status request; print the serial number and raw reply
  z [--if-due]       the daily closing report (Reporte Z)
  clock              set the printer&apos;s date and time from the computer&apos;s
  history [--csv]    the journal of jobs, newest last
  schedule install|remove|show
                     the daily Z at 23:50 (Windows: a scheduled task; Linux:
                     how to turn on the systemd user timer that does it)

Exit status: 0 done, 1 the printer refused or did not answer, 2 usage error,
3 no printer found, 4 a port could not be opened, 5 another printer answered,
6 schedule changed nothing (task already there, or none; Linux: the timer).
COMn is a device file: COM1-4 /dev/ttyS0-3, COM5-12 /dev/ttyUSB0-7,
COM13-20 /dev/ttyACM0-7, or $ORVALEN_COM_DIR/comn when that is set.
</source>
        <translation>
Comandos:
  ports              COM1..COM20: archivo de dispositivo, qué hay detrás y si
                     este usuario puede abrirlo
  find               buscar en COM1..COM20; recordar el puerto y el número de
                     serie encontrados
  status             pedido de estado; muestra el número de serie y la respuesta
  z [--if-due]       el informe de cierre diario (Reporte Z)
  clock              poner la fecha y la hora de la impresora según la computadora
  history [--csv]    el registro de trabajos, el más reciente al final
  schedule install|remove|show
                     el Z diario a las 23:50 (Windows: una tarea programada;
                     Linux: cómo activar el temporizador de systemd que lo hace)

Estado de salida: 0 hecho, 1 la impresora rechazó o no respondió, 2 error de uso,
3 no se encontró la impresora, 4 no se pudo abrir un puerto, 5 respondió otra impresora,
6 schedule no cambió nada (la tarea ya estaba, o no había; Linux: el temporizador).
COMn es un archivo de dispositivo: COM1-4 /dev/ttyS0-3, COM5-12 /dev/ttyUSB0-7,
COM13-20 /dev/ttyACM0-7, o $ORVALEN_COM_DIR/comn si esa variable está definida.
</translation>
    </message>
    <message>
        <source>schedule needs install, remove or show</source>
        <translation>schedule necesita install, remove o show</translation>
    </message>
    <message>
        <source>schedule takes install, remove or show, not &apos;%1&apos;</source>
        <translation>schedule acepta install, remove o show, no &apos;%1&apos;</translation>
    </message>
    <message>
        <source>on Linux the systemd user timer runs the daily Z; turn it off with</source>
        <translation>en Linux el temporizador de usuario de systemd hace el Z diario; se desactiva con</translation>
    </message>
    <message>
        <source>on Linux the systemd user timer runs the daily Z at 23:50 (see &apos;man orvalenctl&apos;); turn it on, and keep it running after logout, with</source>
        <translation>en Linux el temporizador de usuario de systemd hace el Z diario a las 23:50 (vea &apos;man orvalenctl&apos;); se activa, y sigue activo al cerrar la sesión, con</translation>
    </message>
    <message>
        <source>its next run:</source>
        <translation>su próxima ejecución:</translation>
    </message>
    <message>
        <source>the task &apos;%1&apos; is already installed; nothing changed (&apos;orvalenctl schedule remove&apos; first to install it anew)</source>
        <translation>la tarea &apos;%1&apos; ya está instalada; no se cambió nada (primero &apos;orvalenctl schedule remove&apos; para instalarla de nuevo)</translation>
    </message>
    <message>
        <source>cannot write the task&apos;s XML: %1</source>
        <translation>no se puede escribir el XML de la tarea: %1</translation>
    </message>
    <message>
        <source>installed: &apos;%1&apos;, every day at 23:50 (or as soon as the computer is on after a missed run): orvalenctl z --if-due, then orvalenctl clock</source>
        <translation>instalada: &apos;%1&apos;, cada día a las 23:50 (o en cuanto se encienda la computadora si se perdió una ejecución): orvalenctl z --if-due y luego orvalenctl clock</translation>
    </message>
    <message>
        <source>removed: &apos;%1&apos;</source>
        <translation>quitada: &apos;%1&apos;</translation>
    </message>
    <message>
        <source>the Task Scheduler did not add the task &apos;%1&apos;</source>
        <translation>el Programador de tareas no agregó la tarea &apos;%1&apos;</translation>
    </message>
    <message>
        <source>there is no task &apos;%1&apos; to remove; nothing changed</source>
        <translation>no hay ninguna tarea &apos;%1&apos; que quitar; no se cambió nada</translation>
    </message>
    <message>
        <source>the Task Scheduler did not remove the task &apos;%1&apos;</source>
        <translation>el Programador de tareas no quitó la tarea &apos;%1&apos;</translation>
    </message>
    <message>
        <source>the task &apos;%1&apos; is not installed (&apos;orvalenctl schedule install&apos; adds it)</source>
        <translation>la tarea &apos;%1&apos; no está instalada (&apos;orvalenctl schedule install&apos; la agrega)</translation>
    </message>
    <message>
        <source>known to the system by its name only, no device described</source>
        <translation>el sistema solo conoce su nombre, sin describir el dispositivo</translation>
    </message>
    <message>
        <source>a busy port is free once the job holding it ends</source>
        <translation>un puerto ocupado queda libre cuando termina el trabajo que lo tiene</translation>
    </message>
    <message>
        <source>%1: another job is using it; nothing was sent</source>
        <translation>%1: otro trabajo lo está usando; no se envió nada</translation>
    </message>
    <message>
        <source>%1: another job is using it (%2); nothing was sent</source>
        <translation>%1: otro trabajo lo está usando (%2); no se envió nada</translation>
    </message>
</context>
<context>
    <name>Journal</name>
    <message>
        <source>%1: locked by another program</source>
        <translation>%1: bloqueado por otro programa</translation>
    </message>
    <message>
        <source>a FIFO</source>
        <translation>una FIFO</translation>
    </message>
    <message>
        <source>a directory</source>
        <translation>un directorio</translation>
    </message>
    <message>
        <source>a device</source>
        <translation>un dispositivo</translation>
    </message>
    <message>
        <source>a socket</source>
        <translation>un socket</translation>
    </message>
    <message>
        <source>something else</source>
        <translation>otra cosa</translation>
    </message>
    <message>
        <source>%1: %2, not a regular file</source>
        <translation>%1: %2, no un archivo común</translation>
    </message>
</context>
</TS>
