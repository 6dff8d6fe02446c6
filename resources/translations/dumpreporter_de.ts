<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name>FatalError</name>
    <message>
        <source>Failed to create folder at: %1. Velmora cannot continue. Please check your permissions and restart the software</source>
        <translation>Der Ordner konnte nicht angelegt werden: %1. Velmora kann nicht weiter ausgeführt werden. Bitte prüfen Sie Ihre Zugriffsrechte und starten Sie die Software neu</translation>
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
        <source>%1 B</source>
        <translation>%1 B</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 KB</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 s left</source>
        <translation>noch %1 s</translation>
    </message>
    <message>
        <source>%1:%2 left</source>
        <translation>noch %1:%2</translation>
    </message>
    <message>
        <source>%1:%2:%3 left</source>
        <translation>noch %1:%2:%3</translation>
    </message>
    <message>
        <source>1 earlier report waits to be sent; it is sent after this one.</source>
        <translation>1 früherer Bericht wartet auf den Versand; er wird nach diesem Bericht gesendet.</translation>
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
        <translation>Bericht konnte nicht gesendet werden</translation>
    </message>
    <message>
        <source>Report sending failed. Please make sure that the specified dump file exists and try again later.</source>
        <translation>Der Bericht konnte nicht gesendet werden. Bitte vergewissern Sie sich, dass die angegebene Dump-Datei vorhanden ist, und versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>Report sending failed. Please provide valid Velmora credentials.</source>
        <translation>Der Bericht konnte nicht gesendet werden. Bitte geben Sie gültige Velmora-Zugangsdaten ein.</translation>
    </message>
    <message>
        <source>Sending earlier report %1 of %2...</source>
        <translation>Früherer Bericht %1 von %2 wird gesendet...</translation>
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
        <translation>Gesendet an: %1</translation>
    </message>
    <message>
        <source>Your password signs you in to the service; it is not part of the report.</source>
        <translation>Ihr Passwort dient nur der Anmeldung beim Dienst und ist nicht Teil des Berichts.</translation>
    </message>
    <message>
        <source>What will be sent</source>
        <translation>Was gesendet wird</translation>
    </message>
    <message>
        <source>%1 / %2 B</source>
        <translation>%1 / %2 B</translation>
    </message>
    <message>
        <source>%1 / %2 KB</source>
        <translation>%1 / %2 KB</translation>
    </message>
    <message>
        <source>%1 / %2 MB</source>
        <translation>%1 / %2 MB</translation>
    </message>
</context>
<context>
    <name>KDumpReporterUi</name>
    <message>
        <source>Velmora Problem Reporter</source>
        <translation>Velmora-Problembericht</translation>
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
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px; font-weight:600;&quot;&gt;Privacy note: no personal data will be transmitted, but you&apos;ll need to be authenticated with your Velmora credentials.&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-size:11px; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px;&quot;&gt;Velmora oder eine der zugehörigen Anwendungen ist soeben abgestürzt. &lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px; font-size:10px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px;&quot;&gt;Wir konnten eine Dump-Datei des Speicherbereichs sichern, in dem der Absturz aufgetreten ist. Sie können diese Datei an das Velmora-Team senden, damit wir das Problem untersuchen können. Optional können Sie beschreiben, was Sie gerade getan haben, als das Problem auftrat.&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px; font-size:10px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px; font-weight:600;&quot;&gt;Datenschutzhinweis: Es werden keine personenbezogenen Daten übertragen, Sie müssen sich jedoch mit Ihren Velmora-Zugangsdaten anmelden.&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
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
        <translation>Ihre Kommentare (optional):</translation>
    </message>
    <message>
        <source>What will be sent?</source>
        <translation>Was wird gesendet?</translation>
    </message>
    <message>
        <source>Restart Velmora</source>
        <translation>Velmora neu starten</translation>
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
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px; font-weight:600;&quot;&gt;Bericht wird gesendet. Bitte warten.&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Upload progress</source>
        <translation>Sendefortschritt</translation>
    </message>
    <message>
        <source>Send Report</source>
        <translation>Bericht senden</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
</context>
</TS>
