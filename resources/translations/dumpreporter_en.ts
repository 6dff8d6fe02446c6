<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>KDumpReporterDlg</name>
    <message numerus="yes">
        <source>%n earlier reports wait to be sent; they are sent after this one.</source>
        <translation>
            <numerusform>%n earlier report waits to be sent; it is sent after this one.</numerusform>
            <numerusform>%n earlier reports wait to be sent; they are sent after this one.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>no answer within %n seconds</source>
        <translation>
            <numerusform>no answer within %n second</numerusform>
            <numerusform>no answer within %n seconds</numerusform>
        </translation>
    </message>
</context>
</TS>
