<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it" sourcelanguage="en">
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
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Press Esc to end KV32.</source>
        <translation>Premere Esc per terminare KV32.</translation>
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
