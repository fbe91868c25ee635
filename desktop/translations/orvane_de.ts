<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="de" sourcelanguage="en">
    <context>
        <name>main</name>
        <message>
            <source>There is no session bus: the line server cannot be reached and no line can be answered.</source>
            <translation>Es gibt keinen Sitzungsbus: Der Leitungsserver ist nicht erreichbar, und keine Leitung kann annehmen.</translation>
        </message>
        <message>
            <source>Answering Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
    </context>
    <context>
        <name>orvane::BackgroundLines</name>
        <message>
            <source>Answering in the background:</source>
            <translation>Im Hintergrund nehmen an:</translation>
        </message>
    </context>
    <context>
        <name>orvane::FolderChooser</name>
        <message>
            <source>Answering Machine </source>
            <translation>Anrufbeantworter </translation>
        </message>
        <message>
            <source>Choose a folder</source>
            <translation>Ordner wählen</translation>
        </message>
        <message>
            <source>The folder %1 cannot be read.</source>
            <translation>Der Ordner %1 kann nicht gelesen werden.</translation>
        </message>
        <message>
            <source>The drive %1 is not available</source>
            <translation>Das Laufwerk %1 ist nicht verfügbar</translation>
        </message>
        <message>
            <source>Permission denied: %1</source>
            <translation>Zugriff verweigert: %1</translation>
        </message>
        <message>
            <source>The folder %1 cannot be opened</source>
            <translation>Der Ordner %1 kann nicht geöffnet werden</translation>
        </message>
        <message>
            <source>Home (%1)</source>
            <translation>Persönlicher Ordner (%1)</translation>
        </message>
        <message>
            <source>Drive</source>
            <translation>Laufwerk</translation>
        </message>
        <message>
            <source>Folders</source>
            <translation>Ordner</translation>
        </message>
    </context>
    <context>
        <name>orvane::LineServer</name>
        <message>
            <source>The line server (%1) did not start. Lines cannot be answered until it runs.</source>
            <translation>Der Leitungsserver (%1) ist nicht gestartet. Leitungen können erst annehmen, wenn er läuft.</translation>
        </message>
        <message>
            <source>Answering Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
    </context>
    <context>
        <name>orvane::ListGrid</name>
        <message>
            <source>No Records</source>
            <translation>Keine Einträge</translation>
        </message>
        <message>
            <source>Select Row Please</source>
            <translation>Bitte eine Zeile wählen</translation>
        </message>
    </context>
    <context>
        <name>orvane::LocalSound</name>
        <message>
            <source>Answering Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
        <message>
            <source>Unable to play file.</source>
            <translation>Die Datei kann nicht abgespielt werden.</translation>
        </message>
        <message>
            <source>Unable to play message.</source>
            <translation>Die Ansage kann nicht abgespielt werden.</translation>
        </message>
    </context>
    <context>
        <name>orvane::MessageNews</name>
        <message>
            <source>1 message not yet heard</source>
            <translation>1 Nachricht noch nicht angehört</translation>
        </message>
        <message>
            <source>%1 messages not yet heard</source>
            <translation>%1 Nachrichten noch nicht angehört</translation>
        </message>
    </context>
    <context>
        <name>orvane::NumberDialog</name>
        <message>
            <source>&amp;Ok</source>
            <translation>&amp;OK</translation>
        </message>
        <message>
            <source>&amp;Cancel</source>
            <translation>&amp;Abbrechen</translation>
        </message>
        <message>
            <source>Enter a whole number from 1 to %1.</source>
            <translation>Geben Sie eine ganze Zahl von 1 bis %1 ein.</translation>
        </message>
        <message>
            <source>Answering Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
        <message>
            <source>Rings</source>
            <translation>Klingeln</translation>
        </message>
        <message>
            <source>No Of Rings</source>
            <translation>Anzahl Klingelzeichen</translation>
        </message>
        <message>
            <source>Record Time</source>
            <translation>Aufnahmedauer</translation>
        </message>
        <message>
            <source>Time to Record</source>
            <translation>Aufnahmedauer</translation>
        </message>
        <message>
            <source>Sec.</source>
            <translation>Sek.</translation>
        </message>
    </context>
    <context>
        <name>orvane::RecordingPlayer</name>
        <message>
            <source>Cannot write %1: %2</source>
            <translation>%1 kann nicht geschrieben werden: %2</translation>
        </message>
        <message>
            <source>Cannot read %1: %2</source>
            <translation>%1 kann nicht gelesen werden: %2</translation>
        </message>
        <message>
            <source>No file was named to export to</source>
            <translation>Es wurde keine Datei für den Export angegeben</translation>
        </message>
        <message>
            <source>%1 is a folder, not a file</source>
            <translation>%1 ist ein Ordner, keine Datei</translation>
        </message>
    </context>
    <context>
        <name>orvane::UpDown</name>
        <message>
            <source>Up</source>
            <translation>Hoch</translation>
        </message>
        <message>
            <source>One more</source>
            <translation>Eins mehr</translation>
        </message>
        <message>
            <source>Down</source>
            <translation>Runter</translation>
        </message>
        <message>
            <source>One less</source>
            <translation>Eins weniger</translation>
        </message>
    </context>
    <context>
        <name>orvane::VoiceLineList</name>
        <message>
            <source>No Telephony Device Found </source>
            <translation>Kein Telefoniegerät gefunden </translation>
        </message>
    </context>
    <context>
        <name>orvane::eventtext</name>
        <message>
            <source>%1 from %2</source>
            <translation>%1 von %2</translation>
        </message>
        <message>
            <source>%1 on %2</source>
            <translation>%1 auf %2</translation>
        </message>
        <message>
            <source>New message</source>
            <translation>Neue Nachricht</translation>
        </message>
        <message>
            <source>1 page</source>
            <translation>1 Seite</translation>
        </message>
        <message>
            <source>%1 pages</source>
            <translation>%1 Seiten</translation>
        </message>
        <message>
            <source>New fax</source>
            <translation>Neues Fax</translation>
        </message>
    </context>
    <context>
        <name>orvane::frmAddress</name>
        <message>
            <source>Select Telephony Line Devices :</source>
            <translation>Telefonleitungen wählen :</translation>
        </message>
        <message>
            <source>&amp;Ok</source>
            <translation>&amp;OK</translation>
        </message>
        <message>
            <source>&amp;Cancel</source>
            <translation>&amp;Abbrechen</translation>
        </message>
        <message>
            <source>Answers in the background (answering.conf); the line server answers it by itself.</source>
            <translation>Nimmt im Hintergrund an (answering.conf); der Leitungsserver nimmt selbst an.</translation>
        </message>
        <message>
            <source>Error initializing IVR.</source>
            <translation>Fehler beim Starten der Sprachsteuerung.</translation>
        </message>
        <message>
            <source>Answering Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
        <message>
            <source>No Telephony Devices Found</source>
            <translation>Keine Telefoniegeräte gefunden</translation>
        </message>
        <message>
            <source>Select Telephony Device</source>
            <translation>Telefoniegerät wählen</translation>
        </message>
        <message>
            <source>Telephony Line Devices</source>
            <translation>Telefonleitungen</translation>
        </message>
        <message>
            <source>The lines to start; choose one or more</source>
            <translation>Die zu startenden Leitungen; eine oder mehrere wählen</translation>
        </message>
        <message>
            <source>IVR</source>
            <translation>IVR</translation>
        </message>
        <message>
            <source>Status (Answering Machine) </source>
            <translation>Status (Anrufbeantworter) </translation>
        </message>
    </context>
    <context>
        <name>orvane::frmFax</name>
        <message>
            <source>Fax</source>
            <translation>Fax</translation>
        </message>
        <message>
            <source>Send</source>
            <translation>Senden</translation>
        </message>
        <message>
            <source>Recieve</source>
            <translation>Empfangen</translation>
        </message>
        <message>
            <source>Phone Number </source>
            <translation>Rufnummer </translation>
        </message>
        <message>
            <source>File To Send </source>
            <translation>Zu sendende Datei </translation>
        </message>
        <message>
            <source>....</source>
            <translation>....</translation>
        </message>
        <message>
            <source>Device Name</source>
            <translation>Gerätename</translation>
        </message>
        <message>
            <source>The line that sends the fax</source>
            <translation>Die Leitung, die das Fax sendet</translation>
        </message>
        <message>
            <source>Directory Where Send Files will be Saved </source>
            <translation>Ordner für gesendete Dateien </translation>
        </message>
        <message>
            <source>Directory Where Send Files will be Saved</source>
            <translation>Ordner für gesendete Dateien</translation>
        </message>
        <message>
            <source>The line that receives faxes</source>
            <translation>Die Leitung, die Faxe empfängt</translation>
        </message>
        <message>
            <source>Directory Where Receive Files will be Saved </source>
            <translation>Ordner für empfangene Dateien </translation>
        </message>
        <message>
            <source>Directory Where Receive Files will be Saved</source>
            <translation>Ordner für empfangene Dateien</translation>
        </message>
        <message>
            <source>Automatically Print Fax Upon Arrival  </source>
            <translation>Faxe beim Eingang automatisch drucken  </translation>
        </message>
        <message>
            <source>Received Fax</source>
            <translation>Empfangene Faxe</translation>
        </message>
        <message>
            <source>The faxes received so far</source>
            <translation>Die bisher empfangenen Faxe</translation>
        </message>
        <message>
            <source>Delete</source>
            <translation>Löschen</translation>
        </message>
        <message>
            <source>Delete All</source>
            <translation>Alle löschen</translation>
        </message>
        <message>
            <source>&amp;Ok</source>
            <translation>&amp;OK</translation>
        </message>
        <message>
            <source>&amp;Cancel</source>
            <translation>&amp;Abbrechen</translation>
        </message>
        <message>
            <source>SNo.</source>
            <translation>Nr.</translation>
        </message>
        <message>
            <source>File Name</source>
            <translation>Dateiname</translation>
        </message>
        <message>
            <source>The telephone lines cannot be listed: %1</source>
            <translation>Die Telefonleitungen können nicht aufgelistet werden: %1</translation>
        </message>
        <message>
            <source>No Records To Delete</source>
            <translation>Keine Einträge zum Löschen</translation>
        </message>
        <message>
            <source>Are You Sure You want to Delete SNo -&gt; </source>
            <translation>Wirklich löschen: Nr. -&gt; </translation>
        </message>
        <message>
            <source>Are You Sure You want to Delete All Records</source>
            <translation>Wirklich alle Einträge löschen</translation>
        </message>
        <message>
            <source>Select Row Please</source>
            <translation>Bitte eine Zeile wählen</translation>
        </message>
        <message>
            <source>No Records To Open</source>
            <translation>Keine Einträge zum Öffnen</translation>
        </message>
        <message>
            <source>Unable To Send Fax</source>
            <translation>Fax kann nicht gesendet werden</translation>
        </message>
        <message>
            <source>The received faxes cannot be read: %1</source>
            <translation>Die empfangenen Faxe können nicht gelesen werden: %1</translation>
        </message>
        <message>
            <source>The fax could not be removed from the list: %1</source>
            <translation>Das Fax konnte nicht aus der Liste entfernt werden: %1</translation>
        </message>
        <message>
            <source>The list of faxes could not be emptied: %1</source>
            <translation>Die Liste der Faxe konnte nicht geleert werden: %1</translation>
        </message>
        <message>
            <source>The fax %1 is no longer there: it was moved or deleted.</source>
            <translation>Das Fax %1 ist nicht mehr da: Es wurde verschoben oder gelöscht.</translation>
        </message>
        <message>
            <source>The fax %1 cannot be shown: no program on this computer opens it.</source>
            <translation>Das Fax %1 kann nicht angezeigt werden: Kein Programm auf diesem Rechner öffnet es.</translation>
        </message>
        <message>
            <source>Text( *.txt);;Word (*.doc);;Word (*.docx);;PDF (*.pdf)</source>
            <translation>Text (*.txt);;Word (*.doc);;Word (*.docx);;PDF (*.pdf)</translation>
        </message>
        <message>
            <source>Select Device Name</source>
            <translation>Bitte ein Gerät wählen</translation>
        </message>
        <message>
            <source>Enter Number Please</source>
            <translation>Bitte eine Nummer eingeben</translation>
        </message>
        <message>
            <source>Enter File To Send</source>
            <translation>Bitte die zu sendende Datei angeben</translation>
        </message>
        <message>
            <source>No Device Found , Cannot Send Fax</source>
            <translation>Kein Gerät gefunden, Fax kann nicht gesendet werden</translation>
        </message>
        <message>
            <source>No Device Found , Cannot Receive Fax</source>
            <translation>Kein Gerät gefunden, Fax kann nicht empfangen werden</translation>
        </message>
        <message>
            <source>Status ( Fax Machine - Send )</source>
            <translation>Status ( Faxgerät - Senden )</translation>
        </message>
        <message>
            <source>Status ( Fax Machine - Receive ) </source>
            <translation>Status ( Faxgerät - Empfangen ) </translation>
        </message>
        <message>
            <source>Choose the file to send</source>
            <translation>Die zu sendende Datei wählen</translation>
        </message>
        <message>
            <source>Opens a file dialog for the document to fax</source>
            <translation>Öffnet einen Dateidialog für das zu faxende Dokument</translation>
        </message>
        <message>
            <source>Answering Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
    </context>
    <context>
        <name>orvane::frmMain</name>
        <message>
            <source>SNo.</source>
            <translation>Nr.</translation>
        </message>
        <message>
            <source>Device Name</source>
            <translation>Gerätename</translation>
        </message>
        <message>
            <source>Status</source>
            <translation>Status</translation>
        </message>
        <message>
            <source>&amp;File</source>
            <translation>&amp;Datei</translation>
        </message>
        <message>
            <source>&amp;Record Message</source>
            <translation>Ansage &amp;aufnehmen</translation>
        </message>
        <message>
            <source>&amp;Exit</source>
            <translation>&amp;Beenden</translation>
        </message>
        <message>
            <source>&amp;View</source>
            <translation>&amp;Ansicht</translation>
        </message>
        <message>
            <source>&amp;Recorded Calls</source>
            <translation>Aufgezeichnete &amp;Anrufe</translation>
        </message>
        <message>
            <source>&amp;Options</source>
            <translation>&amp;Optionen</translation>
        </message>
        <message>
            <source>&amp;Device</source>
            <translation>&amp;Gerät</translation>
        </message>
        <message>
            <source>&amp;Voice</source>
            <translation>&amp;Stimme</translation>
        </message>
        <message>
            <source>Answer in the &amp;Background</source>
            <translation>Im &amp;Hintergrund annehmen</translation>
        </message>
        <message>
            <source>&amp;Run</source>
            <translation>&amp;Betrieb</translation>
        </message>
        <message>
            <source>&amp;Start</source>
            <translation>&amp;Starten</translation>
        </message>
        <message>
            <source>S&amp;top</source>
            <translation>S&amp;toppen</translation>
        </message>
        <message>
            <source>&amp;Help</source>
            <translation>&amp;Hilfe</translation>
        </message>
        <message>
            <source>&amp;Help View</source>
            <translation>&amp;Hilfe anzeigen</translation>
        </message>
        <message>
            <source>&amp;Online Support</source>
            <translation>&amp;Unterstützung</translation>
        </message>
        <message>
            <source>&amp;Feedback</source>
            <translation>&amp;Rückmeldung</translation>
        </message>
        <message>
            <source>&amp;About</source>
            <translation>Ü&amp;ber</translation>
        </message>
        <message>
            <source>&amp;Minimize</source>
            <translation>&amp;Minimieren</translation>
        </message>
        <message>
            <source>&amp;Restore</source>
            <translation>&amp;Wiederherstellen</translation>
        </message>
        <message>
            <source>&amp;Edit</source>
            <translation>&amp;Bearbeiten</translation>
        </message>
        <message>
            <source>Call Flow</source>
            <translation>Anrufablauf</translation>
        </message>
        <message>
            <source>How a line answers: rings, greeting and recording</source>
            <translation>Wie eine Leitung annimmt: Klingeln, Ansage und Aufnahme</translation>
        </message>
        <message>
            <source>Line Status</source>
            <translation>Leitungsstatus</translation>
        </message>
        <message>
            <source>Each line that runs and what it is doing</source>
            <translation>Jede laufende Leitung und was sie gerade tut</translation>
        </message>
        <message>
            <source>Answering Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
        <message>
            <source>Fax Machine</source>
            <translation>Faxgerät</translation>
        </message>
        <message>
            <source>Start</source>
            <translation>Start</translation>
        </message>
        <message>
            <source>Stop</source>
            <translation>Stopp</translation>
        </message>
        <message>
            <source>Device</source>
            <translation>Gerät</translation>
        </message>
        <message>
            <source>Telephony Devices</source>
            <translation>Telefoniegeräte</translation>
        </message>
        <message>
            <source>Record</source>
            <translation>Aufnahme</translation>
        </message>
        <message>
            <source>Record Message</source>
            <translation>Ansage aufnehmen</translation>
        </message>
        <message>
            <source>   Voice   </source>
            <translation>Stimme</translation>
        </message>
        <message>
            <source>Voice Settings</source>
            <translation>Stimmeinstellungen</translation>
        </message>
        <message>
            <source>Calls</source>
            <translation>Anrufe</translation>
        </message>
        <message>
            <source>Recorded Calls</source>
            <translation>Aufgezeichnete Anrufe</translation>
        </message>
        <message>
            <source>Fax</source>
            <translation>Fax</translation>
        </message>
        <message>
            <source>Help</source>
            <translation>Hilfe</translation>
        </message>
        <message>
            <source>Exit</source>
            <translation>Beenden</translation>
        </message>
        <message>
            <source>%1 stop answering when this window closes. Lines set to answer in the background go on.

Close the window?</source>
            <translation>%1 nehmen nicht mehr an, wenn dieses Fenster geschlossen wird. Leitungen, die im Hintergrund annehmen, laufen weiter.

Fenster schließen?</translation>
        </message>
        <message>
            <source>Start answering on the lines first: the lines that answer now, with the settings they answer with, are the ones that go on answering in the background.</source>
            <translation>Starten Sie zuerst die Annahme auf den Leitungen: Die Leitungen, die jetzt annehmen, nehmen mit ihren Einstellungen im Hintergrund weiter an.</translation>
        </message>
        <message>
            <source>%1 will answer in the background with the current settings, also when this window is closed and after the line server starts again.

Go on?</source>
            <translation>%1 nehmen mit den aktuellen Einstellungen im Hintergrund an, auch wenn dieses Fenster geschlossen ist und nachdem der Leitungsserver neu startet.

Fortfahren?</translation>
        </message>
        <message>
            <source>%1 now answer in the background. orvanectl status shows how they are; orvanectl stop LINE ends one.</source>
            <translation>%1 nehmen jetzt im Hintergrund an. orvanectl status zeigt ihren Zustand; orvanectl stop LEITUNG beendet eine.</translation>
        </message>
        <message>
            <source>Line Server Stopped ....</source>
            <translation>Leitungsserver angehalten ....</translation>
        </message>
        <message>
            <source>Last message: %1, %2</source>
            <translation>Letzte Nachricht: %1, %2</translation>
        </message>
        <message>
            <source>caller unknown</source>
            <translation>Anrufer unbekannt</translation>
        </message>
        <message>
            <source>Last fax: %1</source>
            <translation>Letztes Fax: %1</translation>
        </message>
        <message>
            <source>Play File - %1</source>
            <translation>Datei abspielen - %1</translation>
        </message>
        <message>
            <source>Play Message - %1</source>
            <translation>Ansage abspielen - %1</translation>
        </message>
        <message>
            <source>Begin</source>
            <translation>Anfang</translation>
        </message>
        <message>
            <source>End</source>
            <translation>Ende</translation>
        </message>
        <message>
            <source>Rings - %1</source>
            <translation>Klingeln - %1</translation>
        </message>
        <message>
            <source>Answer</source>
            <translation>Annehmen</translation>
        </message>
        <message>
            <source>Record File - %1 sec</source>
            <translation>Aufnahme - %1 s</translation>
        </message>
    </context>
    <context>
        <name>orvane::frmNewMess</name>
        <message>
            <source>Record New Message :</source>
            <translation>Neue Ansage aufnehmen :</translation>
        </message>
        <message>
            <source>Message</source>
            <translation>Ansage</translation>
        </message>
        <message>
            <source>&amp;Submit</source>
            <translation>Ü&amp;bernehmen</translation>
        </message>
        <message>
            <source>&amp;Cancel</source>
            <translation>&amp;Abbrechen</translation>
        </message>
        <message>
            <source>Enter New Message : </source>
            <translation>Neue Ansage eingeben : </translation>
        </message>
        <message>
            <source>Modify Message : </source>
            <translation>Ansage ändern : </translation>
        </message>
        <message>
            <source>Enter Message to Record</source>
            <translation>Ansage zum Aufnehmen eingeben</translation>
        </message>
        <message>
            <source>Only alphabets,digits,spaces,dot and comma allowed </source>
            <translation>Nur Buchstaben, Ziffern, Leerzeichen, Punkt und Komma erlaubt </translation>
        </message>
        <message>
            <source>The message cannot be saved: %1</source>
            <translation>Die Ansage kann nicht gespeichert werden: %1</translation>
        </message>
        <message>
            <source>Answering Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
    </context>
    <context>
        <name>orvane::frmPlay</name>
        <message>
            <source>Play</source>
            <translation>Abspielen</translation>
        </message>
        <message>
            <source>Play Text Message</source>
            <translation>Textansage abspielen</translation>
        </message>
        <message>
            <source>Play Wave File</source>
            <translation>Wave-Datei abspielen</translation>
        </message>
        <message>
            <source>Messages</source>
            <translation>Ansagen</translation>
        </message>
        <message>
            <source>The spoken greetings of the library</source>
            <translation>Die gesprochenen Ansagen der Sammlung</translation>
        </message>
        <message>
            <source>&amp;Record New Message</source>
            <translation>Neue Ansage &amp;aufnehmen</translation>
        </message>
        <message>
            <source>&amp;Modify</source>
            <translation>Ä&amp;ndern</translation>
        </message>
        <message>
            <source>&amp;Delete</source>
            <translation>&amp;Löschen</translation>
        </message>
        <message>
            <source>Select the Wave File to Play :</source>
            <translation>Abzuspielende Wave-Datei wählen :</translation>
        </message>
        <message>
            <source>File Name</source>
            <translation>Dateiname</translation>
        </message>
        <message>
            <source>....</source>
            <translation>....</translation>
        </message>
        <message>
            <source>&amp;Play On Speaker </source>
            <translation>Über &amp;Lautsprecher abspielen </translation>
        </message>
        <message>
            <source>&amp;Ok</source>
            <translation>&amp;OK</translation>
        </message>
        <message>
            <source>&amp;Cancel</source>
            <translation>&amp;Abbrechen</translation>
        </message>
        <message>
            <source>SNo.</source>
            <translation>Nr.</translation>
        </message>
        <message>
            <source>Message</source>
            <translation>Ansage</translation>
        </message>
        <message>
            <source>The messages cannot be read: %1</source>
            <translation>Die Ansagen können nicht gelesen werden: %1</translation>
        </message>
        <message>
            <source>No Records To Delete</source>
            <translation>Keine Einträge zum Löschen</translation>
        </message>
        <message>
            <source>Select File to Play </source>
            <translation>Abzuspielende Datei wählen </translation>
        </message>
        <message>
            <source>Cannot Open the file Specified</source>
            <translation>Die angegebene Datei kann nicht geöffnet werden</translation>
        </message>
        <message>
            <source>Not a valid Wave file</source>
            <translation>Keine gültige Wave-Datei</translation>
        </message>
        <message>
            <source>No Message to Play </source>
            <translation>Keine Ansage zum Abspielen </translation>
        </message>
        <message>
            <source>No Records To Play</source>
            <translation>Keine Einträge zum Abspielen</translation>
        </message>
        <message>
            <source>The message cannot be deleted: %1</source>
            <translation>Die Ansage kann nicht gelöscht werden: %1</translation>
        </message>
        <message>
            <source>Wav Files(*.wav)</source>
            <translation>Wave-Dateien (*.wav)</translation>
        </message>
        <message>
            <source>Choose the wave file</source>
            <translation>Die Wave-Datei wählen</translation>
        </message>
        <message>
            <source>Opens a file dialog for the greeting to play</source>
            <translation>Öffnet einen Dateidialog für die abzuspielende Ansage</translation>
        </message>
        <message>
            <source>Answering Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
        <message>
            <source>Answering-Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
    </context>
    <context>
        <name>orvane::frmRecordList</name>
        <message>
            <source>Recorded Calls</source>
            <translation>Aufgezeichnete Anrufe</translation>
        </message>
        <message>
            <source>Day</source>
            <translation>Tag</translation>
        </message>
        <message>
            <source>The day whose recorded calls are listed</source>
            <translation>Der Tag, dessen aufgezeichnete Anrufe aufgelistet werden</translation>
        </message>
        <message>
            <source>The calls of the day: time, caller, line and length</source>
            <translation>Die Anrufe des Tages: Zeit, Anrufer, Leitung und Länge</translation>
        </message>
        <message>
            <source>Position</source>
            <translation>Position</translation>
        </message>
        <message>
            <source>SNo.</source>
            <translation>Nr.</translation>
        </message>
        <message>
            <source>Time Incoming Call</source>
            <translation>Zeit des Anrufs</translation>
        </message>
        <message>
            <source>Recorded File</source>
            <translation>Aufnahmedatei</translation>
        </message>
        <message>
            <source>Caller</source>
            <translation>Anrufer</translation>
        </message>
        <message>
            <source>Line</source>
            <translation>Leitung</translation>
        </message>
        <message>
            <source>Length</source>
            <translation>Länge</translation>
        </message>
        <message>
            <source>Keys</source>
            <translation>Tasten</translation>
        </message>
        <message>
            <source>No Records To Save</source>
            <translation>Keine Einträge zum Speichern</translation>
        </message>
        <message>
            <source>Play</source>
            <translation>Abspielen</translation>
        </message>
        <message>
            <source>"%1" is not the name of a recording.</source>
            <translation>„%1“ ist nicht der Name einer Aufnahme.</translation>
        </message>
        <message>
            <source>No Records To Play</source>
            <translation>Keine Einträge zum Abspielen</translation>
        </message>
        <message>
            <source>No Records To Delete</source>
            <translation>Keine Einträge zum Löschen</translation>
        </message>
        <message>
            <source>Are You Sure You want to Delete SNo -&gt; </source>
            <translation>Wirklich löschen: Nr. -&gt; </translation>
        </message>
        <message>
            <source>"%1" is not the name of a recording: no file was deleted.</source>
            <translation>„%1“ ist nicht der Name einer Aufnahme: Es wurde keine Datei gelöscht.</translation>
        </message>
        <message>
            <source>These are not names of recordings: "%1". No file was deleted for them.</source>
            <translation>Dies sind keine Namen von Aufnahmen: „%1“. Für sie wurde keine Datei gelöscht.</translation>
        </message>
        <message>
            <source>Are You Sure You want to Delete All Records</source>
            <translation>Wirklich alle Einträge löschen</translation>
        </message>
        <message>
            <source>&amp;Show Messages</source>
            <translation>Anrufe an&amp;zeigen</translation>
        </message>
        <message>
            <source>&amp;Refresh</source>
            <translation>A&amp;ktualisieren</translation>
        </message>
        <message>
            <source>&amp;Play</source>
            <translation>Ab&amp;spielen</translation>
        </message>
        <message>
            <source>&amp;Delete</source>
            <translation>&amp;Löschen</translation>
        </message>
        <message>
            <source>Delete &amp;All</source>
            <translation>&amp;Alle löschen</translation>
        </message>
        <message>
            <source>&amp;Cancel</source>
            <translation>&amp;Abbrechen</translation>
        </message>
        <message>
            <source>Sa&amp;ve As...</source>
            <translation>Speichern &amp;unter...</translation>
        </message>
        <message>
            <source>Pa&amp;use</source>
            <translation>Pa&amp;use</translation>
        </message>
        <message>
            <source>S&amp;top</source>
            <translation>S&amp;toppen</translation>
        </message>
        <message>
            <source>&amp;Resume</source>
            <translation>&amp;Fortsetzen</translation>
        </message>
        <message>
            <source>Recording as stored, 8 kHz mu-law (*.wav)</source>
            <translation>Aufnahme wie gespeichert, 8 kHz mu-law (*.wav)</translation>
        </message>
        <message>
            <source>16-bit PCM wave file (*.wav)</source>
            <translation>16-Bit-PCM-Wave-Datei (*.wav)</translation>
        </message>
        <message>
            <source>Save Recording As</source>
            <translation>Aufnahme speichern unter</translation>
        </message>
        <message>
            <source>The recorded calls cannot be read: %1</source>
            <translation>Die aufgezeichneten Anrufe können nicht gelesen werden: %1</translation>
        </message>
        <message>
            <source>The call cannot be shown: %1</source>
            <translation>Der Anruf kann nicht angezeigt werden: %1</translation>
        </message>
        <message>
            <source>Answering Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
        <message>
            <source>Answering-Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
    </context>
    <context>
        <name>orvane::frmSplash</name>
        <message>
            <source>Close</source>
            <translation>Schließen</translation>
        </message>
        <message>
            <source>About Orvane</source>
            <translation>Über Orvane</translation>
        </message>
        <message>
            <source>Orvane %1 - answering machine and fax machine</source>
            <translation>Orvane %1 - Anrufbeantworter und Faxgerät</translation>
        </message>
        <message>
            <source>Orvane answers your telephone lines and records your callers. Recordings of calls may be subject to law where you live: tell your callers that they are recorded, keep what you record safe, and delete what you no longer need.</source>
            <translation>Orvane nimmt Ihre Telefonleitungen an und zeichnet Ihre Anrufer auf. Für Aufzeichnungen von Anrufen können dort, wo Sie leben, Gesetze gelten: Sagen Sie Ihren Anrufern, dass sie aufgezeichnet werden, bewahren Sie die Aufnahmen sicher auf und löschen Sie, was Sie nicht mehr brauchen.</translation>
        </message>
    </context>
    <context>
        <name>orvane::frmVoice</name>
        <message>
            <source>Voice Properties :</source>
            <translation>Stimmeigenschaften :</translation>
        </message>
        <message>
            <source>Voice Properties</source>
            <translation>Stimmeigenschaften</translation>
        </message>
        <message>
            <source>&amp;Ok</source>
            <translation>&amp;OK</translation>
        </message>
        <message>
            <source>&amp;Cancel</source>
            <translation>&amp;Abbrechen</translation>
        </message>
        <message>
            <source>Cannot Initialize Text To Speech</source>
            <translation>Die Sprachausgabe kann nicht gestartet werden</translation>
        </message>
        <message>
            <source>Answering Machine</source>
            <translation>Anrufbeantworter</translation>
        </message>
        <message>
            <source>Rate</source>
            <translation>Tempo</translation>
        </message>
        <message>
            <source>Volume</source>
            <translation>Lautstärke</translation>
        </message>
        <message>
            <source>Voice</source>
            <translation>Stimme</translation>
        </message>
    </context>
    <context>
        <name>orvane::programfolder</name>
        <message>
            <source>The default greeting is missing from this installation (no %1 in %2).</source>
            <translation>Die Standardansage fehlt in dieser Installation (kein %1 in %2).</translation>
        </message>
        <message>
            <source>Cannot read %1: %2</source>
            <translation>%1 kann nicht gelesen werden: %2</translation>
        </message>
        <message>
            <source>Cannot read %1: too large</source>
            <translation>%1 kann nicht gelesen werden: zu groß</translation>
        </message>
        <message>
            <source>Cannot write %1: %2</source>
            <translation>%1 kann nicht geschrieben werden: %2</translation>
        </message>
        <message>
            <source>Cannot create %1</source>
            <translation>%1 kann nicht angelegt werden</translation>
        </message>
        <message>
            <source>Cannot write %1</source>
            <translation>%1 kann nicht geschrieben werden</translation>
        </message>
    </context>
</TS>