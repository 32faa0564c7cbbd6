<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>CBaseDialogClass</name>
    <message>
        <location filename="../widgets/cbasedialog.ui" line="+20"/>
        <source>Dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+70"/>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+111"/>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CCalendarLabel</name>
    <message>
        <location filename="../widgets/ccalendarlabel.cpp" line="+117"/>
        <source>MMM yyyy</source>
        <extracomment>Month and year under the day number (QDate::toString pattern).</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CCalendarWidget</name>
    <message>
        <location filename="../widgets/ccalendarwidget.cpp" line="+37"/>
        <source>en_US</source>
        <extracomment>The locale of this translation as language_COUNTRY (zh_CN for Chinese); the calendar&apos;s day and month names follow it.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+155"/>
        <source>Previous month</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Next month</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Previous year</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Next year</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+14"/>
        <source>yyyy</source>
        <extracomment>Year label of the calendar (QDate::toString pattern).</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Month: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Year: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../widgets/ccalendarview.cpp" line="+248"/>
        <source>Week %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>d MMMM yyyy</source>
        <extracomment>Date format of a day cell as read by a screen reader (QDate::toString pattern).</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CDlgAbout</name>
    <message>
        <location filename="../legacy/cdlgabout.cpp" line="+13"/>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>VEXA</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>COrvoApplication</name>
    <message>
        <location filename="../app/corvoapplication.cpp" line="+121"/>
        <source>VEXA</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Software is already running.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+14"/>
        <source>The least resolution is 1024*768.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CWarnDlgClass</name>
    <message>
        <location filename="../widgets/cwarndlg.ui" line="+14"/>
        <source>CWarmDlg</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CWindowTitle</name>
    <message>
        <location filename="../mainwnd/cwindowtitle.cpp" line="+61"/>
        <source>VEXA</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Minimize</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Full screen</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CZEL_VEXAMainWnd</name>
    <message>
        <location filename="../legacy/czel_vexamainwnd.cpp" line="+32"/>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+40"/>
        <source>Confirm</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Sure to close software</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CZEL_VEXAMainWndClass</name>
    <message>
        <location filename="../mainwnd/czel_vexamainwnd.ui" line="+14"/>
        <source>VEXA</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+89"/>
        <source>Online Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+23"/>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DeviceRowFilter</name>
    <message>
        <location filename="../device/devicerowfilter.cpp" line="+29"/>
        <location line="+2"/>
        <source>Filter devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+114"/>
        <source>%1/%2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>InterfaceMenu</name>
    <message>
        <location filename="../device/interfacechoice.cpp" line="+34"/>
        <source>loopback</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>wired</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>wireless</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>bridge</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>virtual</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>tunnel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>other</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+45"/>
        <source>Interfaces</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+23"/>
        <source>Set by VEXA_INTERFACES: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>All suitable interfaces</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+25"/>
        <source>%1 (absent)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QLineEdit</name>
    <message>
        <location filename="../widgets/cpasswordlineedit.cpp" line="+31"/>
        <source>Cu&amp;t</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Paste</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QtVexa</name>
    <message>
        <location filename="../device/devicecelltexts.cpp" line="+11"/>
        <source>Yes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>ON</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>OFF</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../device/deviceparampanel.cpp" line="+48"/>
        <location line="+226"/>
        <source>Device port ranges from 2000 to 65535.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-130"/>
        <source>Start IP Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Batch Modify Network parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-8"/>
        <source>IP Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Modify Network parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../device/qtvexaops.cpp" line="+63"/>
        <source>IP address %1 is in use by device %2 (ID %3).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../device/deviceparampanel.cpp" line="+110"/>
        <source>IP address cannot be empty.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>IP Address not correct.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Not enough addresses after the start IP address for %1 devices.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Subnet mask cannot be empty.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Subnet Mask not correct.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Gateway not correct.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>IPv6 address cannot be empty.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>IPv6 Address not correct.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>IPv6 gateway not correct.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>IPv6 prefix length ranges from 0 to 64.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../device/qtvexaops.cpp" line="+56"/>
        <location line="+12"/>
        <location line="+13"/>
        <location line="+27"/>
        <location line="+24"/>
        <location line="+24"/>
        <source>Information</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-100"/>
        <location line="+25"/>
        <location line="+51"/>
        <source>Please select a device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-64"/>
        <location line="+34"/>
        <source>Modify network parameter succeed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../device/devicelistactions.cpp" line="+150"/>
        <location filename="../device/qtvexaops.cpp" line="-32"/>
        <location line="+88"/>
        <source>Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../device/qtvexaops.cpp" line="-88"/>
        <location line="+32"/>
        <source>Modify network parameter failed!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>ID:%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+36"/>
        <source>Password cannot be empty.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Restore default password succeed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Restore default password failed!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../legacy/qtvexav20.cpp" line="+22"/>
        <location line="+1"/>
        <source>Serial code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Tips:Serial Number is produced by device serial and start time.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Show</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Hide</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../device/devicelistactions.cpp" line="-121"/>
        <source>Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Export All…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Export Selected…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Set Time…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Change Password…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Reboot…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+66"/>
        <source>CSV files (*.csv)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>JSON files (*.json)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Export</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+26"/>
        <source>The file %1 could not be written: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../device/deviceparampanel.cpp" line="-25"/>
        <source>HTTP port ranges from 1 to 65535.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../device/qtvexaops.cpp" line="-42"/>
        <source>wrong user name or password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>the device does not support this change</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>the device did not answer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>the device refused the new values</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../device/qtvexa.cpp" line="+342"/>
        <source>Interfaces</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Network interfaces for discovery</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The interfaces Refresh searches on</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Scan Addresses...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Scan address ranges for devices behind routers</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QtVexaClass</name>
    <message>
        <location filename="../device/qtvexa.ui" line="+20"/>
        <source>Form</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+103"/>
        <source>IP Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+38"/>
        <source>Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+47"/>
        <source>Subnet Mask:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+38"/>
        <source>Gateway:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+38"/>
        <source>IPv6 Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+41"/>
        <source>IPv6 Gateway:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+38"/>
        <source>IPv6 Prefix Length:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+60"/>
        <source>Device Serial:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+62"/>
        <source>Comeback</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+15"/>
        <location line="+189"/>
        <location line="+180"/>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;SimSun&apos;; font-size:9pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;img src=&quot;:/images/ButtonIcon/infor_24.png&quot; /&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-358"/>
        <source>Tips:The security code will be returned after you send the date and serial No. of the device to the manufacturer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+33"/>
        <location line="+9"/>
        <source>Security code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+25"/>
        <source>Modify Network parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Reset Default Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+46"/>
        <location line="+9"/>
        <source>Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Modify</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+26"/>
        <source>Tips:Input password to modify the network parmeters.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+27"/>
        <source>Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+33"/>
        <source>The total devices number:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+90"/>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+51"/>
        <source>Hide parameter panel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <location line="+44"/>
        <source>...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-7"/>
        <source>Show parameter panel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QtVexaItemModel</name>
    <message>
        <location filename="../device/qtvexaitemmodel.cpp" line="+24"/>
        <source>ID</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device Type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv4 Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Soft Vision</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv4 GateWay</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Serial Number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv4 Mask</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>MAC</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel NO</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>DSP Vision</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Start Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv6 Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv6 GateWay</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv6 Prefix Length</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Is Support IPv6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Is Support Mod IPv6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Is Support DHCP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv4 DHCP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+508"/>
        <source>Found by discovery, but its web page cannot be reached from this computer: %1 lies in none of the subnets of the interfaces discovery runs on. An address in %2 on this computer would reach it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>IPv4 address %1 is also used by:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>ID %1, serial number %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source> (DHCP on: Modify does not count it as the owner of this address)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>and %1 more devices</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
