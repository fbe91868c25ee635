<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
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
</context>
</TS>
