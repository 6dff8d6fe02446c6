<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="en_US">
<context>
    <name>FatalError</name>
    <message>
        <source>Failed to create folder at: %1. Velmora cannot continue. Please check your permissions and restart the software</source>
        <translation>Не удалось создать папку: %1. Velmora не может продолжить работу. Проверьте права доступа и перезапустите программу.</translation>
    </message>
    <message>
        <source>Velmora fatal error</source>
        <translation>Критическая ошибка Velmora</translation>
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
        <translation>осталось %1:%2</translation>
    </message>
    <message>
        <source>%1:%2:%3 left</source>
        <translation>осталось %1:%2:%3</translation>
    </message>
    <message numerus="yes">
        <source>%n earlier reports wait to be sent; they are sent after this one.</source>
        <translation>
            <numerusform>%n предыдущий отчёт ожидает отправки и будет отправлен после текущего.</numerusform>
            <numerusform>%n предыдущих отчёта ожидают отправки и будут отправлены после текущего.</numerusform>
            <numerusform>%n предыдущих отчётов ожидают отправки и будут отправлены после текущего.</numerusform>
        </translation>
    </message>
    <message>
        <source>Please authenticate.</source>
        <translation>Требуется вход</translation>
    </message>
    <message>
        <source>Please provide your Velmora credentials to send the problem report. Thanks for your assistance.</source>
        <translation>Чтобы отправить отчёт о проблеме, укажите свои логин и пароль Velmora. Спасибо за помощь.</translation>
    </message>
    <message>
        <source>Report sending failed</source>
        <translation>Не удалось отправить отчёт</translation>
    </message>
    <message>
        <source>Report sending failed. Please make sure that the specified dump file exists and try again later.</source>
        <translation>Не удалось отправить отчёт. Убедитесь, что указанный файл дампа существует, и повторите попытку позже.</translation>
    </message>
    <message>
        <source>Report sending failed. Please provide valid Velmora credentials.</source>
        <translation>Не удалось отправить отчёт. Укажите правильные логин и пароль Velmora.</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>%1 (the file is missing)</source>
        <translation>%1 (файл отсутствует)</translation>
    </message>
    <message>
        <source>The report&apos;s text:</source>
        <translation>Текст отчёта:</translation>
    </message>
    <message>
        <source>(no comment)</source>
        <translation>(без комментария)</translation>
    </message>
    <message>
        <source>Dump file: %1</source>
        <translation>Файл дампа: %1</translation>
    </message>
    <message>
        <source>Login: %1</source>
        <translation>Логин: %1</translation>
    </message>
    <message>
        <source>Sent to: %1</source>
        <translation>Адрес отправки: %1</translation>
    </message>
    <message>
        <source>Your password signs you in to the service; it is not part of the report.</source>
        <translation>Пароль используется только для входа в сервис и в отчёт не включается.</translation>
    </message>
    <message>
        <source>What will be sent</source>
        <translation>Что будет отправлено</translation>
    </message>
    <message>
        <source>Report sending failed. The Velmora service did not accept the report.</source>
        <translation>Не удалось отправить отчёт. Сервис Velmora не принял отчёт.</translation>
    </message>
    <message>
        <source>Report sending failed. Could not connect to the Velmora service: %1. Please check your network connection; the report is kept and will be sent later.</source>
        <translation>Нет подключения к сервису Velmora: %1. Проверьте подключение к сети; отчёт сохранён и будет отправлен позже.</translation>
    </message>
    <message>
        <source>Report sending failed. Could not connect to the Velmora service: %1. Please check your network connection and try again later.</source>
        <translation>Нет подключения к сервису Velmora: %1. Проверьте подключение к сети и повторите попытку позже.</translation>
    </message>
    <message>
        <source>Report sending failed. The Velmora service did not answer properly: %1. The report is kept and will be sent later.</source>
        <translation>Не удалось отправить отчёт. Сервис Velmora ответил некорректно: %1. Отчёт сохранён и будет отправлен позже.</translation>
    </message>
    <message>
        <source>Report sending failed. The Velmora service did not answer properly: %1. Please try again later.</source>
        <translation>Не удалось отправить отчёт. Сервис Velmora ответил некорректно: %1. Повторите попытку позже.</translation>
    </message>
    <message>
        <source>its answer did not confirm the report</source>
        <translation>ответ не подтвердил получение отчёта</translation>
    </message>
    <message>
        <source>the connection was refused</source>
        <translation>сервер отклонил подключение</translation>
    </message>
    <message>
        <source>the server could not be found</source>
        <translation>сервер не найден</translation>
    </message>
    <message>
        <source>the network did not reach the server</source>
        <translation>сервер недоступен по сети</translation>
    </message>
    <message>
        <source>the connection timed out</source>
        <translation>истекло время ожидания подключения</translation>
    </message>
    <message>
        <source>the secure connection could not be set up</source>
        <translation>не удалось установить защищённое соединение</translation>
    </message>
    <message>
        <source>the server&apos;s certificate is not trusted</source>
        <translation>сертификат сервера не является доверенным</translation>
    </message>
    <message>
        <source>the proxy asked for a login that is not stored</source>
        <translation>прокси-сервер запросил учётные данные, которые не сохранены</translation>
    </message>
    <message>
        <source>the proxy could not be reached or would not connect</source>
        <translation>прокси-сервер недоступен или отказал в подключении</translation>
    </message>
    <message>
        <source>the connection stopped taking the report</source>
        <translation>соединение прервалось во время передачи отчёта</translation>
    </message>
    <message>
        <source>the connection was closed before an answer came</source>
        <translation>соединение закрылось до получения ответа</translation>
    </message>
    <message>
        <source>the service sent an answer that could not be read</source>
        <translation>не удалось прочитать ответ сервиса</translation>
    </message>
    <message>
        <source>the service&apos;s answer broke off</source>
        <translation>ответ сервиса оборвался</translation>
    </message>
    <message>
        <source>the service&apos;s answer was too large</source>
        <translation>ответ сервиса слишком большой</translation>
    </message>
    <message>
        <source>the service stopped the report before it was complete (%1)</source>
        <translation>сервис прервал приём отчёта до его завершения (%1)</translation>
    </message>
    <message>
        <source>the service answered with the error %1</source>
        <translation>сервис вернул ошибку %1</translation>
    </message>
    <message>
        <source>Report sending failed. The Velmora service did not accept the sign-in. The report is kept and will be sent later.</source>
        <translation>Не удалось отправить отчёт. Сервис Velmora отклонил вход. Отчёт сохранён и будет отправлен позже.</translation>
    </message>
    <message>
        <source>Report sending failed. The Velmora service did not accept the sign-in.</source>
        <translation>Не удалось отправить отчёт. Сервис Velmora отклонил вход.</translation>
    </message>
    <message>
        <source>%L1 / %L2&#xa0;B</source>
        <translation>%L1 / %L2&#xa0;Б</translation>
    </message>
    <message>
        <source>%L1 / %L2&#xa0;KB</source>
        <translation>%L1 / %L2&#xa0;КБ</translation>
    </message>
    <message>
        <source>%L1 / %L2&#xa0;MB</source>
        <translation>%L1 / %L2&#xa0;МБ</translation>
    </message>
    <message>
        <source>%L1&#xa0;B</source>
        <translation>%L1&#xa0;Б</translation>
    </message>
    <message>
        <source>%L1&#xa0;KB</source>
        <translation>%L1&#xa0;КБ</translation>
    </message>
    <message>
        <source>%L1&#xa0;MB</source>
        <translation>%L1&#xa0;МБ</translation>
    </message>
    <message>
        <source>%1&#xa0;s left</source>
        <translation>осталось %1&#xa0;с</translation>
    </message>
    <message numerus="yes">
        <source>no answer within %n seconds</source>
        <translation>
            <numerusform>нет ответа в течение %n секунды</numerusform>
            <numerusform>нет ответа в течение %n секунд</numerusform>
            <numerusform>нет ответа в течение %n секунд</numerusform>
        </translation>
    </message>
    <message>
        <source>Sending earlier report %1 of %2…</source>
        <translation>Предыдущий отчёт %1 из %2…</translation>
    </message>
    <message>
        <source>The report has been sent. Thank you!</source>
        <translation>Отчёт отправлен. Спасибо!</translation>
    </message>
    <message>
        <source>Signing in… %1&#xa0;s</source>
        <translation>Вход в сервис… %1&#xa0;с</translation>
    </message>
    <message>
        <source>Connecting… %1&#xa0;s</source>
        <translation>Подключение… %1&#xa0;с</translation>
    </message>
    <message>
        <source>the proxy did not accept the stored proxy login</source>
        <translation>прокси-сервер не принял сохранённые для него учётные данные</translation>
    </message>
    <message>
        <source>Another Velmora reporter has sent this report.</source>
        <translation>Отчёт отправлен другим процессом Velmora.</translation>
    </message>
    <message>
        <source>Another Velmora reporter is sending this report…</source>
        <translation>Этот отчёт отправляет другой процесс Velmora…</translation>
    </message>
</context>
<context>
    <name>KDumpReporterUi</name>
    <message>
        <source>Velmora Problem Reporter</source>
        <translation>Отчёт о проблеме Velmora</translation>
    </message>
    <message>
        <source>Your Login</source>
        <translation>Логин</translation>
    </message>
    <message>
        <source>Your Password</source>
        <translation>Пароль</translation>
    </message>
    <message>
        <source>Dump File:</source>
        <translation>Файл дампа:</translation>
    </message>
    <message>
        <source>Your comments (optional):</source>
        <translation>Комментарий (необязательно):</translation>
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
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px; font-weight:600;&quot;&gt;Отправка отчёта…&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Upload progress</source>
        <translation>Ход отправки</translation>
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
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px;&quot;&gt;Velmora или один из её компонентов только что аварийно завершил работу. &lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px; font-size:10px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px;&quot;&gt;Нам удалось сохранить файл дампа памяти на момент сбоя. Вы можете отправить этот файл команде Velmora, чтобы мы изучили проблему. При желании опишите, что вы делали, когда возникла проблема.&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px; font-size:10px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:10px; font-weight:600;&quot;&gt;Конфиденциальность: отчёт содержит дамп памяти на момент сбоя, в котором могут оказаться данные, с которыми вы работали, а также ваш комментарий и описание вашей системы. Вход выполняется под вашим логином Velmora; пароль в отчёт не включается.&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&amp;What will be sent?</source>
        <translation>&amp;Что будет отправлено?</translation>
    </message>
    <message>
        <source>&amp;Restart Velmora</source>
        <translation>&amp;Перезапустить Velmora</translation>
    </message>
    <message>
        <source>&amp;Send Report</source>
        <translation>&amp;Отправить отчёт</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>В&amp;ыход</translation>
    </message>
</context>
</TS>
