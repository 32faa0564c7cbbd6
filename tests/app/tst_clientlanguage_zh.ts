<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>TestClientLanguage</name>
    <message>
        <source>Online Devices</source>
        <translation>在线设备</translation>
    </message>
</context>
</TS>
