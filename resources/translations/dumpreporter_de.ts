<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name>FatalError</name>
    <message>
        <source>Failed to create folder at: %1. Velmora cannot continue. Please check your permissions and restart the software</source>
        <translation>Das Anlegen des Ordners ist fehlgeschlagen: %1. Velmora kann nicht weiter ausgeführt werden. Bitte prüfen Sie Ihre Zugriffsrechte und starten Sie die Software neu.</translation>
    </message>
    <message>
        <source>Velmora fatal error</source>
        <translation>Schwerwiegender Fehler in Velmora</translation>
    </message>
</context>
<context>
    <name>KAppTitleUI</name>
    <message>
        <source>Velmora</source>
        <translation>Velmora</translation>
    </message>
</context>
<context>
    <name>KDumpReporterDlg</name>
    <message>
        <source>%1:%2 left</source>
        <translation>noch %1:%2</translation>
    </message>
    <message>
        <source>%1:%2:%3 left</source>
        <translation>noch %1:%2:%3</translation>
    </message>
    <message numerus="yes">
        <source>%n earlier reports wait to be sent; they are sent after this one.</source>
        <translation>
            <numerusform>%n früherer Bericht wartet auf den Versand; er wird nach diesem Bericht gesendet.</numerusform>
            <numerusform>%n frühere Berichte warten auf den Versand; sie werden nach diesem Bericht gesendet.</numerusform>
        </translation>
    </message>
    <message>
        <source>Please authenticate.</source>
        <translation>Bitte melden Sie sich an</translation>
    </message>
    <message>
        <source>Please provide your Velmora credentials to send the problem report. Thanks for your assistance.</source>
        <translation>Bitte geben Sie Ihre Velmora-Zugangsdaten ein, um den Problembericht zu senden. Vielen Dank für Ihre Unterstützung.</translation>
    </message>
    <message>
        <source>Report sending failed</source>
        <translation>Senden des Berichts fehlgeschlagen</translation>
    </message>
    <message>
        <source>Report sending failed. Please make sure that the specified dump file exists and try again later.</source>
        <translation>Das Senden des Berichts ist fehlgeschlagen. Bitte vergewissern Sie sich, dass die angegebene Dump-Datei vorhanden ist, und versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>Report sending failed. Please provide valid Velmora credentials.</source>
        <translation>Das Senden des Berichts ist fehlgeschlagen. Bitte geben Sie gültige Velmora-Zugangsdaten ein.</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>%1 (the file is missing)</source>
        <translation>%1 (die Datei fehlt)</translation>
    </message>
    <message>
        <source>The report&apos;s text:</source>
        <translation>Text des Berichts:</translation>
    </message>
    <message>
        <source>(no comment)</source>
        <translation>(kein Kommentar)</translation>
    </message>
    <message>
        <source>Dump file: %1</source>
        <translation>Dump-Datei: %1</translation>
    </message>
    <message>
        <source>Login: %1</source>
        <translation>Anmeldename: %1</translation>
    </message>
    <message>
        <source>Sent to: %1</source>
        <translation>Empfänger: %1</translation>
    </message>
    <message>
        <source>Your password signs you in to the service; it is not part of the report.</source>
        <translation>Ihr Passwort dient nur der Anmeldung beim Dienst und ist nicht Teil des Berichts.</translation>
    </message>
    <message>
        <source>What will be sent</source>
        <translation>Zu sendende Daten</translation>
    </message>
    <message>
        <source>Report sending failed. The Velmora service did not accept the report.</source>
        <translation>Das Senden des Berichts ist fehlgeschlagen. Der Velmora-Dienst hat den Bericht nicht angenommen.</translation>
    </message>
    <message>
        <source>Report sending failed. Could not connect to the Velmora service: %1. Please check your network connection; the report is kept and will be sent later.</source>
        <translation>Das Senden des Berichts ist fehlgeschlagen. Der Velmora-Dienst ist nicht erreichbar: %1. Bitte prüfen Sie Ihre Netzwerkverbindung; der Bericht bleibt gespeichert und wird später gesendet.</translation>
    </message>
    <message>
        <source>Report sending failed. Could not connect to the Velmora service: %1. Please check your network connection and try again later.</source>
        <translation>Das Senden des Berichts ist fehlgeschlagen. Der Velmora-Dienst ist nicht erreichbar: %1. Bitte prüfen Sie Ihre Netzwerkverbindung und versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>Report sending failed. The Velmora service did not answer properly: %1. The report is kept and will be sent later.</source>
        <translation>Das Senden des Berichts ist fehlgeschlagen. Der Velmora-Dienst hat nicht korrekt geantwortet: %1. Der Bericht bleibt gespeichert und wird später gesendet.</translation>
    </message>
    <message>
        <source>Report sending failed. The Velmora service did not answer properly: %1. Please try again later.</source>
        <translation>Das Senden des Berichts ist fehlgeschlagen. Der Velmora-Dienst hat nicht korrekt geantwortet: %1. Bitte versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>its answer did not confirm the report</source>
        <translation>Seine Antwort hat den Empfang des Berichts nicht bestätigt</translation>
    </message>
    <message>
        <source>the connection was refused</source>
        <translation>Der Server hat die Verbindung abgelehnt</translation>
    </message>
    <message>
        <source>the server could not be found</source>
        <translation>Das Netzwerk hat den Server nicht gefunden</translation>
    </message>
    <message>
        <source>the network did not reach the server</source>
        <translation>Das Netzwerk hat den Server nicht erreicht</translation>
    </message>
    <message>
        <source>the connection timed out</source>
        <translation>Der Verbindungsaufbau hat zu lange gedauert</translation>
    </message>
    <message>
        <source>the secure connection could not be set up</source>
        <translation>Die sichere Verbindung ist nicht zustande gekommen</translation>
    </message>
    <message>
        <source>the server&apos;s certificate is not trusted</source>
        <translation>Der Server hat ein nicht vertrauenswürdiges Zertifikat vorgelegt</translation>
    </message>
    <message>
        <source>the proxy asked for a login that is not stored</source>
        <translation>Der Proxy hat Zugangsdaten verlangt, die nicht gespeichert sind</translation>
    </message>
    <message>
        <source>the proxy could not be reached or would not connect</source>
        <translation>Der Proxy hat nicht geantwortet oder die Verbindung verweigert</translation>
    </message>
    <message>
        <source>the connection stopped taking the report</source>
        <translation>Die Verbindung ist während der Übertragung des Berichts abgebrochen</translation>
    </message>
    <message>
        <source>the connection was closed before an answer came</source>
        <translation>Die Verbindung ist vor einer Antwort geschlossen worden</translation>
    </message>
    <message>
        <source>the service sent an answer that could not be read</source>
        <translation>Der Dienst hat eine unlesbare Antwort gesendet</translation>
    </message>
    <message>
        <source>the service&apos;s answer broke off</source>
        <translation>Die Antwort des Dienstes ist abgebrochen</translation>
    </message>
    <message>
        <source>the service&apos;s answer was too large</source>
        <translation>Der Dienst hat eine zu große Antwort gesendet</translation>
    </message>
    <message>
        <source>the service stopped the report before it was complete (%1)</source>
        <translation>Der Dienst hat die Übertragung des Berichts vorzeitig beendet (%1)</translation>
    </message>
    <message>
        <source>the service answered with the error %1</source>
        <translation>Der Dienst hat mit dem Fehler %1 geantwortet</translation>
    </message>
    <message>
        <source>Report sending failed. The Velmora service did not accept the sign-in. The report is kept and will be sent later.</source>
        <translation>Das Senden des Berichts ist fehlgeschlagen. Der Velmora-Dienst hat die Anmeldung nicht angenommen. Der Bericht bleibt gespeichert und wird später gesendet.</translation>
    </message>
    <message>
        <source>Report sending failed. The Velmora service did not accept the sign-in.</source>
        <translation>Das Senden des Berichts ist fehlgeschlagen. Der Velmora-Dienst hat die Anmeldung nicht angenommen.</translation>
    </message>
    <message>
        <source>%L1 / %L2&#xa0;B</source>
        <translation>%L1 / %L2&#xa0;B</translation>
    </message>
    <message>
        <source>%L1 / %L2&#xa0;KB</source>
        <translation>%L1 / %L2&#xa0;KB</translation>
    </message>
    <message>
        <source>%L1 / %L2&#xa0;MB</source>
        <translation>%L1 / %L2&#xa0;MB</translation>
    </message>
    <message>
        <source>%L1&#xa0;B</source>
        <translation>%L1&#xa0;B</translation>
    </message>
    <message>
        <source>%L1&#xa0;KB</source>
        <translation>%L1&#xa0;KB</translation>
    </message>
    <message>
        <source>%L1&#xa0;MB</source>
        <translation>%L1&#xa0;MB</translation>
    </message>
    <message>
        <source>%1&#xa0;s left</source>
        <translation>noch %1&#xa0;s</translation>
    </message>
    <message numerus="yes">
        <source>no answer within %n seconds</source>
        <translation>
            <numerusform>Innerhalb von %n Sekunde ist keine Antwort gekommen</numerusform>
            <numerusform>Innerhalb von %n Sekunden ist keine Antwort gekommen</numerusform>
        </translation>
    </message>
    <message>
        <source>Sending earlier report %1 of %2…</source>
        <translation>Früherer Bericht %1 von %2 …</translation>
    </message>
    <message>
        <source>The report has been sent. Thank you!</source>
        <translation>Der Bericht ist angekommen. Vielen Dank!</translation>
    </message>
    <message>
        <source>Signing in… %1&#xa0;s</source>
        <translation>Anmeldung läuft … %1&#xa0;s</translation>
    </message>
    <message>
        <source>Connecting… %1&#xa0;s</source>
        <translation>Verbindungsaufbau … %1&#xa0;s</translation>
    </message>
    <message>
        <source>the proxy did not accept the stored proxy login</source>
        <translation>Der Proxy hat die gespeicherten Proxy-Zugangsdaten nicht angenommen</translation>
    </message>
    <message>
        <source>Another Velmora reporter has sent this report.</source>
        <translation>Bericht von anderem Velmora-Prozess gesendet.</translation>
    </message>
    <message>
        <source>Another Velmora reporter is sending this report…</source>
        <translation>Ein anderer Velmora-Prozess sendet diesen Bericht …</translation>
    </message>
</context>
<context>
    <name>KDumpReporterUi</name>
    <message>
        <source>Velmora Problem Reporter</source>
        <translation>Velmora-Problembericht</translation>
    </message>
    <message>
        <source>Your Login</source>
        <translation>Anmeldename</translation>
    </message>
    <message>
        <source>Your Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Dump File:</source>
        <translation>Dump-Datei:</translation>
    </message>
    <message>
        <source>Your comments (optional):</source>
        <translation>Ihr Kommentar (optional):</translation>
    </message>
    <message>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-size:11px; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px; font-weight:600;&quot;&gt;Sending Report. Please Wait.&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-size:11px; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px; font-weight:600;&quot;&gt;Bericht wird gesendet …&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Upload progress</source>
        <translation>Sendefortschritt</translation>
    </message>
    <message>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-size:11px; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px;&quot;&gt;Velmora or one of its component applications has just crashed. &lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px; font-size:10px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px;&quot;&gt;We were lucky to save the dump file of the memory area where the crash has occured. You can send that file over to the Velmora team so we can look into the problem. Optionally, you can leave some comments on what you were doing when the problem occured.&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px; font-size:10px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px; font-weight:600;&quot;&gt;Privacy note: the report holds the memory dump of the crash, which may include data you were working on, your comment and a description of your system. You sign in with your Velmora login; your password is not part of the report.&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-size:11px; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px;&quot;&gt;Velmora oder eine der zugehörigen Anwendungen ist soeben abgestürzt. &lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px; font-size:10px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px;&quot;&gt;Es ist uns gelungen, eine Dump-Datei des Speicherbereichs zu sichern, in dem der Absturz aufgetreten ist. Sie können diese Datei an das Velmora-Team senden, damit wir das Problem untersuchen können. Optional können Sie beschreiben, was Sie gerade getan haben, als das Problem auftrat.&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px; font-size:10px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px; font-weight:600;&quot;&gt;Datenschutzhinweis: Der Bericht enthält die Dump-Datei des Absturzes, die Daten enthalten kann, mit denen Sie gerade gearbeitet haben, sowie Ihren Kommentar und eine Beschreibung Ihres Systems. Sie melden sich mit Ihrem Velmora-Anmeldenamen an; Ihr Passwort ist nicht Teil des Berichts.&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&amp;What will be sent?</source>
        <translation>&amp;Was wird gesendet?</translation>
    </message>
    <message>
        <source>&amp;Restart Velmora</source>
        <translation>Velmora &amp;neu starten</translation>
    </message>
    <message>
        <source>&amp;Send Report</source>
        <translation>Bericht &amp;senden</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
</context>
</TS>
