<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it" sourcelanguage="en">
<context>
    <name>FileView</name>
    <message>
        <source>Nome</source>
        <translation>Nome</translation>
    </message>
    <message>
        <source>Catalogo</source>
        <translation>Catalogo</translation>
    </message>
    <message>
        <source>Byte</source>
        <translation>Byte</translation>
    </message>
    <message>
        <source>File del dispositivo</source>
        <translation>File del dispositivo</translation>
    </message>
    <message>
        <source>Su</source>
        <translation>Su</translation>
    </message>
    <message>
        <source>Importa...</source>
        <translation>Importa...</translation>
    </message>
    <message>
        <source>Esporta...</source>
        <translation>Esporta...</translation>
    </message>
    <message>
        <source>Rinomina</source>
        <translation>Rinomina</translation>
    </message>
    <message>
        <source>Elimina</source>
        <translation>Elimina</translation>
    </message>
    <message>
        <source>Nuova cartella</source>
        <translation>Nuova cartella</translation>
    </message>
    <message>
        <source>Il dispositivo è in questa cartella</source>
        <translation>Il dispositivo è in questa cartella</translation>
    </message>
    <message>
        <source>Il dispositivo è in una sua sottocartella</source>
        <translation>Il dispositivo è in una sua sottocartella</translation>
    </message>
    <message>
        <source>Cartella: %1   %2</source>
        <translation>Cartella: %1   %2</translation>
    </message>
    <message>
        <source>(il dispositivo è qui)</source>
        <translation>(il dispositivo è qui)</translation>
    </message>
    <message>
        <source>(il dispositivo è in %1)</source>
        <translation>(il dispositivo è in %1)</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Importa sul dispositivo</source>
        <translation>Importa sul dispositivo</translation>
    </message>
    <message>
        <source>«%1» non importato</source>
        <translation>«%1» non importato</translation>
    </message>
    <message>
        <source>è una cartella: si importano file.</source>
        <translation>è una cartella: si importano file.</translation>
    </message>
    <message>
        <source>«%1» importato come %2 (%3 byte).</source>
        <translation>«%1» importato come %2 (%3 byte).</translation>
    </message>
    <message>
        <source>Esporta «%1»</source>
        <translation>Esporta «%1»</translation>
    </message>
    <message>
        <source>«%1» non esportato</source>
        <translation>«%1» non esportato</translation>
    </message>
    <message>
        <source>«%1» esportato in %2 (%3 byte).</source>
        <translation>«%1» esportato in %2 (%3 byte).</translation>
    </message>
    <message>
        <source>Nuovo nome di «%1»:</source>
        <translation>Nuovo nome di «%1»:</translation>
    </message>
    <message>
        <source>«%1» non rinominato</source>
        <translation>«%1» non rinominato</translation>
    </message>
    <message>
        <source>«%1» rinominato %2.</source>
        <translation>«%1» rinominato %2.</translation>
    </message>
    <message>
        <source>Eliminare la cartella «%1»? Si elimina solo se è vuota.</source>
        <translation>Eliminare la cartella «%1»? Si elimina solo se è vuota.</translation>
    </message>
    <message>
        <source>Eliminare «%1» dal dispositivo?</source>
        <translation>Eliminare «%1» dal dispositivo?</translation>
    </message>
    <message>
        <source>Sì</source>
        <translation>Sì</translation>
    </message>
    <message>
        <source>«%1» non eliminato</source>
        <translation>«%1» non eliminato</translation>
    </message>
    <message>
        <source>«%1» eliminato.</source>
        <translation>«%1» eliminato.</translation>
    </message>
    <message>
        <source>Nome della nuova cartella:</source>
        <translation>Nome della nuova cartella:</translation>
    </message>
    <message>
        <source>Cartella non creata</source>
        <translation>Cartella non creata</translation>
    </message>
    <message>
        <source>Cartella «%1» creata.</source>
        <translation>Cartella «%1» creata.</translation>
    </message>
</context>
<context>
    <name>FileViewDialogs</name>
    <message>
        <source>Annulla</source>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>Manca il nome.</source>
        <translation>Manca il nome.</translation>
    </message>
    <message>
        <source>Un nome non può contenere «*» o «?»: il dispositivo non potrebbe richiamarlo.</source>
        <translation>Un nome non può contenere «*» o «?»: il dispositivo non potrebbe richiamarlo.</translation>
    </message>
    <message>
        <source>Una parte del nome è fatta solo di spazi e punti.</source>
        <translation>Una parte del nome è fatta solo di spazi e punti.</translation>
    </message>
    <message>
        <source>Un nome che comincia con «.» è nascosto al catalogo del dispositivo.</source>
        <translation>Un nome che comincia con «.» è nascosto al catalogo del dispositivo.</translation>
    </message>
    <message>
        <source>Nome troppo lungo per il disco (%1).</source>
        <translation>Nome troppo lungo per il disco (%1).</translation>
    </message>
    <message>
        <source>Il nuovo nome è un nome solo, senza «/» o «\».</source>
        <translation>Il nuovo nome è un nome solo, senza «/» o «\».</translation>
    </message>
    <message>
        <source>È il nome del file delle impostazioni.</source>
        <translation>È il nome del file delle impostazioni.</translation>
    </message>
    <message>
        <source>Esiste un collegamento con questo nome.</source>
        <translation>Esiste un collegamento con questo nome.</translation>
    </message>
    <message>
        <source>La cartella non esiste.</source>
        <translation>La cartella non esiste.</translation>
    </message>
    <message>
        <source>La cartella non accetta file nuovi (%1).</source>
        <translation>La cartella non accetta file nuovi (%1).</translation>
    </message>
    <message>
        <source>Esiste già un file con questo nome.</source>
        <translation>Esiste già un file con questo nome.</translation>
    </message>
    <message>
        <source>Esiste già un file con questo nome che non è un file del dispositivo: non viene sostituito.</source>
        <translation>Esiste già un file con questo nome che non è un file del dispositivo: non viene sostituito.</translation>
    </message>
    <message>
        <source>Esiste già una cartella con questo nome.</source>
        <translation>Esiste già una cartella con questo nome.</translation>
    </message>
    <message>
        <source>%1 byte: un file del dispositivo ne contiene al massimo 65.535.</source>
        <translation>%1 byte: un file del dispositivo ne contiene al massimo 65.535.</translation>
    </message>
    <message>
        <source>Non esiste più.</source>
        <translation>Non esiste più.</translation>
    </message>
    <message>
        <source>Non è un file del dispositivo.</source>
        <translation>Non è un file del dispositivo.</translation>
    </message>
    <message>
        <source>È la cartella in cui si trova il dispositivo, o la contiene.</source>
        <translation>È la cartella in cui si trova il dispositivo, o la contiene.</translation>
    </message>
    <message>
        <source>La cartella non è vuota.</source>
        <translation>La cartella non è vuota.</translation>
    </message>
    <message>
        <source>Errore del disco: %1.</source>
        <translation>Errore del disco: %1.</translation>
    </message>
    <message>
        <source>Importa</source>
        <translation>Importa</translation>
    </message>
    <message>
        <source>Sostituisci il file esistente</source>
        <translation>Sostituisci il file esistente</translation>
    </message>
    <message>
        <source>File del PC:</source>
        <translation>File del PC:</translation>
    </message>
    <message>
        <source>%1 (%2 byte)</source>
        <translation>%1 (%2 byte)</translation>
    </message>
    <message>
        <source>Nome sul dispositivo:</source>
        <translation>Nome sul dispositivo:</translation>
    </message>
    <message>
        <source>Tipo:</source>
        <translation>Tipo:</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>programma</source>
        <translation>programma</translation>
    </message>
    <message>
        <source>blocco di byte</source>
        <translation>blocco di byte</translation>
    </message>
    <message>
        <source>Parametro 1:</source>
        <translation>Parametro 1:</translation>
    </message>
    <message>
        <source>Indirizzo di caricamento:</source>
        <translation>Indirizzo di caricamento:</translation>
    </message>
    <message>
        <source>Riga di partenza:</source>
        <translation>Riga di partenza:</translation>
    </message>
    <message>
        <source>Parametro 2:</source>
        <translation>Parametro 2:</translation>
    </message>
</context>
<context>
    <name>Folders</name>
    <message>
        <source>the folder cannot be opened</source>
        <translation>la cartella non si può aprire</translation>
    </message>
    <message>
        <source>the folder does not exist</source>
        <translation>la cartella non esiste</translation>
    </message>
    <message>
        <source>the folder does not exist (there is no %1)</source>
        <translation>la cartella non esiste (non c&apos;è %1)</translation>
    </message>
    <message>
        <source>not a folder (a part of the path is a file)</source>
        <translation>non è una cartella (una parte del percorso è un file)</translation>
    </message>
    <message>
        <source>permission denied: this user may not enter the folder</source>
        <translation>permesso negato: questo utente non può entrare nella cartella</translation>
    </message>
    <message>
        <source>the disk is read-only</source>
        <translation>il disco è di sola lettura</translation>
    </message>
    <message>
        <source>the path is too long</source>
        <translation>il percorso è troppo lungo</translation>
    </message>
    <message>
        <source>the path goes round in circles (symbolic links)</source>
        <translation>il percorso gira su se stesso (collegamenti simbolici)</translation>
    </message>
    <message>
        <source>no folder given</source>
        <translation>nessuna cartella indicata</translation>
    </message>
    <message>
        <source>the folder does not exist and cannot be made in %1: %2</source>
        <translation>la cartella non esiste e non si può creare in %1: %2</translation>
    </message>
    <message>
        <source>not a folder</source>
        <translation>non è una cartella</translation>
    </message>
    <message>
        <source>permission denied: this user may not write in the folder</source>
        <translation>permesso negato: questo utente non può scrivere nella cartella</translation>
    </message>
</context>
<context>
    <name>Log</name>
    <message>
        <source>Now serving %1.</source>
        <translation>Cartella servita ora: %1.</translation>
    </message>
    <message>
        <source>Still serving %1.</source>
        <translation>La cartella servita resta %1.</translation>
    </message>
    <message>
        <source>Warning: no new file can be made in the served folder %1 (%2): the device&apos;s Saves will be refused.</source>
        <translation>Attenzione: nella cartella servita %1 non si possono creare file (%2): i salvataggi del dispositivo saranno rifiutati.</translation>
    </message>
    <message>
        <source>Cannot write the log file %1 (%2): lines are missing from it until it can be written again.</source>
        <translation>Impossibile scrivere il file di registro %1 (%2): vi mancheranno righe finché non si potrà scrivere di nuovo.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Press Esc to end KV32.</source>
        <translation>Premere Esc per terminare KV32.</translation>
    </message>
    <message>
        <source>KV32 no longer serves the device: press Esc in this window to end KV32.</source>
        <translation>KV32 non serve più il dispositivo: premere Esc in questa finestra per chiudere KV32.</translation>
    </message>
</context>
<context>
    <name>Ports</name>
    <message>
        <source>serial port, no UART detected</source>
        <translation>porta seriale, nessun UART rilevato</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>permesso negato</translation>
    </message>
    <message>
        <source>permission denied: only its owner (%1) may open it; the administrator can give group %2 access with a udev rule</source>
        <translation>permesso negato: solo il proprietario (%1) può aprirla; l&apos;amministratore del computer può dare accesso al gruppo %2</translation>
    </message>
    <message>
        <source>permission denied although this user is in group %1</source>
        <translation>permesso negato, benché l&apos;utente sia nel gruppo %1</translation>
    </message>
    <message>
        <source>permission denied: the device belongs to group %1, and %2 was added to it after this session began. Log out and in again</source>
        <translation>permesso negato: la porta appartiene al gruppo %1, a cui l&apos;utente %2 è stato aggiunto dopo l&apos;inizio di questa sessione. Uscire dalla sessione e rientrare</translation>
    </message>
    <message>
        <source>permission denied: the device belongs to group %1, which %2 is not in. Add the user with: sudo usermod -aG %1 %2, then log out and in again</source>
        <translation>permesso negato: la porta appartiene al gruppo %1, di cui l&apos;utente %2 non fa parte. L&apos;amministratore del computer deve aggiungere %2 al gruppo %1; poi uscire dalla sessione e rientrare</translation>
    </message>
    <message>
        <source>it is in use by another program (which one cannot be seen from this user; sudo fuser -v %1 tells)</source>
        <translation>è in uso da parte di un altro programma (quale, questo utente non può vederlo)</translation>
    </message>
    <message>
        <source>it is in use by %1</source>
        <translation>è in uso da parte di %1</translation>
    </message>
    <message>
        <source>it is a folder, not a serial port</source>
        <translation>è una cartella, non una porta seriale</translation>
    </message>
    <message>
        <source>it is a plain file, not a serial port</source>
        <translation>è un file, non una porta seriale</translation>
    </message>
    <message>
        <source>it is a device, but not a serial port</source>
        <translation>è un dispositivo, ma non una porta seriale</translation>
    </message>
    <message>
        <source>it is not a serial port</source>
        <translation>non è una porta seriale</translation>
    </message>
    <message>
        <source>No serial device is connected to this machine.</source>
        <translation>A questo computer non è collegato alcun dispositivo seriale.</translation>
    </message>
    <message>
        <source>Serial devices here: %1 (kv32 --list-ports tells more).</source>
        <translation>Dispositivi seriali presenti: %1 (l&apos;elenco delle porte in Impostazioni dice di più).</translation>
    </message>
    <message>
        <source>process %1 (%2)</source>
        <translation>processo %1 (%2)</translation>
    </message>
    <message>
        <source>there is no such device</source>
        <translation>il dispositivo non esiste</translation>
    </message>
    <message>
        <source>the device does not answer: there is no hardware behind it</source>
        <translation>il dispositivo non risponde: non c&apos;è una porta fisica dietro</translation>
    </message>
    <message>
        <source>it cannot be opened (%1)</source>
        <translation>non si può aprire (%1)</translation>
    </message>
    <message>
        <source>No pseudo-terminal could be made (%1).</source>
        <translation>Impossibile creare uno pseudo-terminale (%1).</translation>
    </message>
    <message>
        <source>%1 is %2</source>
        <translation>%1 è %2</translation>
    </message>
    <message>
        <source>no such file</source>
        <translation>file inesistente</translation>
    </message>
    <message>
        <source>a folder, not a device</source>
        <translation>una cartella, non un dispositivo</translation>
    </message>
    <message>
        <source>a plain file, not a device</source>
        <translation>un file, non un dispositivo</translation>
    </message>
    <message>
        <source>not a character device</source>
        <translation>non un dispositivo a caratteri</translation>
    </message>
    <message>
        <source>serial port (%1, UART type %2)</source>
        <translation>porta seriale (%1, UART di tipo %2)</translation>
    </message>
    <message>
        <source>USB modem or board</source>
        <translation>modem o scheda USB</translation>
    </message>
    <message>
        <source>USB serial adapter</source>
        <translation>adattatore seriale USB</translation>
    </message>
    <message>
        <source>terminal device</source>
        <translation>terminale</translation>
    </message>
    <message>
        <source>character device</source>
        <translation>dispositivo a caratteri</translation>
    </message>
    <message>
        <source>it is not a TCP address (write tcp:PORT, or tcp:ADDRESS:PORT for an address other than 127.0.0.1)</source>
        <translation>non è un indirizzo TCP (scrivere tcp:PORTA, o tcp:INDIRIZZO:PORTA per un indirizzo diverso da 127.0.0.1)</translation>
    </message>
    <message>
        <source>another program already listens on it</source>
        <translation>un altro programma è già in ascolto su di essa</translation>
    </message>
    <message>
        <source>ports below 1024 are for the superuser; choose one above 1023</source>
        <translation>le porte sotto la 1024 sono riservate all&apos;amministratore; sceglierne una sopra la 1023</translation>
    </message>
    <message>
        <source>this machine has no address %1</source>
        <translation>questo computer non ha l&apos;indirizzo %1</translation>
    </message>
    <message>
        <source>it cannot be listened on (%1)</source>
        <translation>non si può restare in ascolto su di essa (%1)</translation>
    </message>
</context>
<context>
    <name>Progress</name>
    <message>
        <source>Listing %1</source>
        <translation>Elenco di %1</translation>
    </message>
    <message>
        <source>lines</source>
        <translation>righe</translation>
    </message>
    <message>
        <source>Loading %1</source>
        <translation>Caricamento di %1</translation>
    </message>
    <message>
        <source>bytes</source>
        <translation>byte</translation>
    </message>
    <message>
        <source>%1: %2 of %3 %4</source>
        <translation>%1: %2 di %3 %4</translation>
    </message>
    <message>
        <source>Saving %1</source>
        <translation>Salvataggio di %1</translation>
    </message>
    <message>
        <source>bytes sent</source>
        <translation>byte inviati</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>The folder &quot;%1&quot; cannot be used: %2.</source>
        <translation>La cartella &quot;%1&quot; non si può usare: %2.</translation>
    </message>
</context>
<context>
    <name>System</name>
    <message>
        <source>No such file or directory</source>
        <translation>File o cartella inesistente</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>Permesso negato</translation>
    </message>
    <message>
        <source>Operation not permitted</source>
        <translation>Operazione non permessa</translation>
    </message>
    <message>
        <source>Input/output error</source>
        <translation>Errore di input/output</translation>
    </message>
    <message>
        <source>No space left on device</source>
        <translation>Spazio esaurito sul disco</translation>
    </message>
    <message>
        <source>Disk quota exceeded</source>
        <translation>Quota del disco superata</translation>
    </message>
    <message>
        <source>Read-only file system</source>
        <translation>Disco in sola lettura</translation>
    </message>
    <message>
        <source>Device or resource busy</source>
        <translation>Dispositivo occupato</translation>
    </message>
    <message>
        <source>Not a directory</source>
        <translation>Non è una cartella</translation>
    </message>
    <message>
        <source>Is a directory</source>
        <translation>È una cartella</translation>
    </message>
    <message>
        <source>No such device or address</source>
        <translation>Dispositivo o indirizzo inesistente</translation>
    </message>
    <message>
        <source>No such device</source>
        <translation>Dispositivo inesistente</translation>
    </message>
    <message>
        <source>Address already in use</source>
        <translation>Indirizzo già in uso</translation>
    </message>
</context>
</TS>
