<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en_US">
<context>
    <name>CBaseDialogClass</name>
    <message>
        <location filename="../widgets/cbasedialog.ui" line="+20"/>
        <source>Dialog</source>
        <translation>对话框</translation>
    </message>
    <message>
        <location line="+70"/>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <location line="+111"/>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>CCalendarLabel</name>
    <message>
        <location filename="../widgets/ccalendarlabel.cpp" line="+117"/>
        <source>MMM yyyy</source>
        <extracomment>Month and year under the day number (QDate::toString pattern).</extracomment>
        <translation>yyyy年M月</translation>
    </message>
</context>
<context>
    <name>CCalendarWidget</name>
    <message>
        <location filename="../widgets/ccalendarwidget.cpp" line="+37"/>
        <source>en_US</source>
        <extracomment>The locale of this translation as language_COUNTRY (zh_CN for Chinese); the calendar&apos;s day and month names follow it.</extracomment>
        <translation>zh_CN</translation>
    </message>
    <message>
        <location line="+155"/>
        <source>Previous month</source>
        <translation>上个月</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Next month</source>
        <translation>下个月</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Previous year</source>
        <translation>上一年</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Next year</source>
        <translation>下一年</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>yyyy</source>
        <extracomment>Year label of the calendar (QDate::toString pattern).</extracomment>
        <translation>yyyy年</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Month: %1</source>
        <translation>月份：%1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Year: %1</source>
        <translation>年份：%1</translation>
    </message>
    <message>
        <location filename="../widgets/ccalendarview.cpp" line="+248"/>
        <source>Week %1</source>
        <translation>第%1周</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>d MMMM yyyy</source>
        <extracomment>Date format of a day cell as read by a screen reader (QDate::toString pattern).</extracomment>
        <translation>yyyy年M月d日</translation>
    </message>
</context>
<context>
    <name>CDlgAbout</name>
    <message>
        <location filename="../legacy/cdlgabout.cpp" line="+13"/>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>VEXA</source>
        <translation>VEXA</translation>
    </message>
</context>
<context>
    <name>COrvoApplication</name>
    <message>
        <location filename="../app/corvoapplication.cpp" line="+121"/>
        <source>VEXA</source>
        <translation>VEXA</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Software is already running.</source>
        <translation>软件已在运行。</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>The least resolution is 1024*768.</source>
        <translation>最低分辨率为 1024*768。</translation>
    </message>
</context>
<context>
    <name>CWarnDlgClass</name>
    <message>
        <location filename="../widgets/cwarndlg.ui" line="+14"/>
        <source>CWarmDlg</source>
        <translation>提示</translation>
    </message>
</context>
<context>
    <name>CWindowTitle</name>
    <message>
        <location filename="../mainwnd/cwindowtitle.cpp" line="+61"/>
        <source>VEXA</source>
        <translation>VEXA</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Minimize</source>
        <translation>最小化</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Full screen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>CZEL_VEXAMainWnd</name>
    <message>
        <location filename="../legacy/czel_vexamainwnd.cpp" line="+32"/>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <location line="+40"/>
        <source>Confirm</source>
        <translation>确认</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Sure to close software</source>
        <translation>确定关闭软件</translation>
    </message>
</context>
<context>
    <name>CZEL_VEXAMainWndClass</name>
    <message>
        <location filename="../mainwnd/czel_vexamainwnd.ui" line="+14"/>
        <source>VEXA</source>
        <translation>VEXA</translation>
    </message>
    <message>
        <location line="+89"/>
        <source>Online Devices</source>
        <translation>在线设备</translation>
    </message>
    <message>
        <location line="+23"/>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
</context>
<context>
    <name>DeviceRowFilter</name>
    <message>
        <location filename="../device/devicerowfilter.cpp" line="+29"/>
        <location line="+2"/>
        <source>Filter devices</source>
        <translation>筛选设备</translation>
    </message>
    <message>
        <location line="+114"/>
        <source>%1/%2</source>
        <translation>%1/%2</translation>
    </message>
</context>
<context>
    <name>InterfaceMenu</name>
    <message>
        <location filename="../device/interfacechoice.cpp" line="+34"/>
        <source>loopback</source>
        <translation>环回</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>wired</source>
        <translation>有线</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>wireless</source>
        <translation>无线</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>bridge</source>
        <translation>网桥</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>virtual</source>
        <translation>虚拟</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>tunnel</source>
        <translation>隧道</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>other</source>
        <translation>其他</translation>
    </message>
    <message>
        <location line="+45"/>
        <source>Interfaces</source>
        <translation>网卡</translation>
    </message>
    <message>
        <location line="+23"/>
        <source>Set by VEXA_INTERFACES: %1</source>
        <translation>由 VEXA_INTERFACES 指定：%1</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>All suitable interfaces</source>
        <translation>所有可用网卡</translation>
    </message>
    <message>
        <location line="+25"/>
        <source>%1 (absent)</source>
        <translation>%1（不存在）</translation>
    </message>
</context>
<context>
    <name>QLineEdit</name>
    <message>
        <location filename="../widgets/cpasswordlineedit.cpp" line="+31"/>
        <source>Cu&amp;t</source>
        <translation>剪切(&amp;T)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Copy</source>
        <translation>复制(&amp;C)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Paste</source>
        <translation>粘贴(&amp;P)</translation>
    </message>
</context>
<context>
    <name>QtVexa</name>
    <message>
        <location filename="../device/devicecelltexts.cpp" line="+11"/>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>ON</source>
        <translation>开</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>OFF</source>
        <translation>关</translation>
    </message>
    <message>
        <location filename="../device/deviceparampanel.cpp" line="+48"/>
        <location line="+226"/>
        <source>Device port ranges from 2000 to 65535.</source>
        <translation>设备端口的范围为 2000 至 65535。</translation>
    </message>
    <message>
        <location line="-130"/>
        <source>Start IP Address:</source>
        <translation>起始 IP 地址：</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Batch Modify Network parameters</source>
        <translation>批量修改网络参数</translation>
    </message>
    <message>
        <location line="-8"/>
        <source>IP Address:</source>
        <translation>IP 地址：</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Modify Network parameters</source>
        <translation>修改网络参数</translation>
    </message>
    <message>
        <location filename="../device/qtvexaops.cpp" line="+63"/>
        <source>IP address %1 is in use by device %2 (ID %3).</source>
        <translation>IP地址 %1 已被设备 %2（ID %3）使用。</translation>
    </message>
    <message>
        <location filename="../device/deviceparampanel.cpp" line="+110"/>
        <source>IP address cannot be empty.</source>
        <translation>IP 地址不能为空。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>IP Address not correct.</source>
        <translation>IP 地址不正确。</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Not enough addresses after the start IP address for %1 devices.</source>
        <translation>起始 IP 地址之后的地址不足以分配给 %1 台设备。</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Subnet mask cannot be empty.</source>
        <translation>子网掩码不能为空。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Subnet Mask not correct.</source>
        <translation>子网掩码不正确。</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Gateway not correct.</source>
        <translation>网关不正确。</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>IPv6 address cannot be empty.</source>
        <translation>IPv6 地址不能为空。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>IPv6 Address not correct.</source>
        <translation>IPv6 地址不正确。</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>IPv6 gateway not correct.</source>
        <translation>IPv6 网关不正确。</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>IPv6 prefix length ranges from 0 to 64.</source>
        <translation>IPv6 前缀长度的范围为 0 至 64。</translation>
    </message>
    <message>
        <location filename="../device/qtvexaops.cpp" line="+56"/>
        <location line="+12"/>
        <location line="+13"/>
        <location line="+27"/>
        <location line="+24"/>
        <location line="+24"/>
        <source>Information</source>
        <translation>提示</translation>
    </message>
    <message>
        <location line="-100"/>
        <location line="+25"/>
        <location line="+51"/>
        <source>Please select a device.</source>
        <translation>请选择一台设备。</translation>
    </message>
    <message>
        <location line="-64"/>
        <location line="+34"/>
        <source>Modify network parameter succeed.</source>
        <translation>修改网络参数成功。</translation>
    </message>
    <message>
        <location filename="../device/devicelistactions.cpp" line="+150"/>
        <location filename="../device/qtvexaops.cpp" line="-32"/>
        <location line="+88"/>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <location filename="../device/qtvexaops.cpp" line="-88"/>
        <location line="+32"/>
        <source>Modify network parameter failed!</source>
        <translation>修改网络参数失败！</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>ID:%1</source>
        <translation>序号：%1</translation>
    </message>
    <message>
        <location line="+36"/>
        <source>Password cannot be empty.</source>
        <translation>密码不能为空。</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Restore default password succeed.</source>
        <translation>恢复默认密码成功。</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Restore default password failed!</source>
        <translation>恢复默认密码失败！</translation>
    </message>
    <message>
        <location filename="../legacy/qtvexav20.cpp" line="+22"/>
        <location line="+1"/>
        <source>Serial code</source>
        <translation>序列码</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Tips:Serial Number is produced by device serial and start time.</source>
        <translation>提示：序列码由设备序列号和启动时间生成。</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Show</source>
        <translation>显示</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Hide</source>
        <translation>隐藏</translation>
    </message>
    <message>
        <location filename="../device/devicelistactions.cpp" line="-121"/>
        <source>Copy</source>
        <translation>复制</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Export All…</source>
        <translation>导出全部…</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Export Selected…</source>
        <translation>导出所选…</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Set Time…</source>
        <translation>设置时间…</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Change Password…</source>
        <translation>修改密码…</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Reboot…</source>
        <translation>重启…</translation>
    </message>
    <message>
        <location line="+66"/>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>JSON files (*.json)</source>
        <translation>JSON 文件 (*.json)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>The file %1 could not be written: %2</source>
        <translation>无法写入文件 %1：%2</translation>
    </message>
    <message>
        <location filename="../device/deviceparampanel.cpp" line="-25"/>
        <source>HTTP port ranges from 1 to 65535.</source>
        <translation>HTTP 端口的范围为 1 至 65535。</translation>
    </message>
    <message>
        <location filename="../device/qtvexaops.cpp" line="-42"/>
        <source>wrong user name or password</source>
        <translation>用户名或密码错误</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>the device does not support this change</source>
        <translation>设备不支持此项修改</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>the device did not answer</source>
        <translation>设备没有应答</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>the device refused the new values</source>
        <translation>设备拒绝了新的参数</translation>
    </message>
    <message>
        <location filename="../device/qtvexa.cpp" line="+342"/>
        <source>Interfaces</source>
        <translation>网卡</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Network interfaces for discovery</source>
        <translation>用于搜索设备的网卡</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The interfaces Refresh searches on</source>
        <translation>刷新时在这些网卡上搜索</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Scan Addresses...</source>
        <translation>扫描地址...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Scan address ranges for devices behind routers</source>
        <translation>扫描地址段，查找路由器后的设备</translation>
    </message>
</context>
<context>
    <name>QtVexaClass</name>
    <message>
        <location filename="../device/qtvexa.ui" line="+20"/>
        <source>Form</source>
        <translation>窗体</translation>
    </message>
    <message>
        <location line="+103"/>
        <source>IP Address:</source>
        <translation>IP 地址：</translation>
    </message>
    <message>
        <location line="+38"/>
        <source>Port:</source>
        <translation>端口：</translation>
    </message>
    <message>
        <location line="+47"/>
        <source>Subnet Mask:</source>
        <translation>子网掩码：</translation>
    </message>
    <message>
        <location line="+38"/>
        <source>Gateway:</source>
        <translation>网关：</translation>
    </message>
    <message>
        <location line="+38"/>
        <source>IPv6 Address:</source>
        <translation>IPv6 地址：</translation>
    </message>
    <message>
        <location line="+41"/>
        <source>IPv6 Gateway:</source>
        <translation>IPv6 网关：</translation>
    </message>
    <message>
        <location line="+38"/>
        <source>IPv6 Prefix Length:</source>
        <translation>IPv6 前缀长度：</translation>
    </message>
    <message>
        <location line="+60"/>
        <source>Device Serial:</source>
        <translation>设备序列号：</translation>
    </message>
    <message>
        <location line="+62"/>
        <source>Comeback</source>
        <translation>恢复</translation>
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
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;SimSun&apos;; font-size:9pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;img src=&quot;:/images/ButtonIcon/infor_24.png&quot; /&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <location line="-358"/>
        <source>Tips:The security code will be returned after you send the date and serial No. of the device to the manufacturer.</source>
        <translation>提示：将日期和设备序列号发送给厂家后，厂家会返回安全码。</translation>
    </message>
    <message>
        <location line="+33"/>
        <location line="+9"/>
        <source>Security code</source>
        <translation>安全码</translation>
    </message>
    <message>
        <location line="+25"/>
        <source>Modify Network parameters</source>
        <translation>修改网络参数</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Reset Default Password</source>
        <translation>恢复默认密码</translation>
    </message>
    <message>
        <location line="+46"/>
        <location line="+9"/>
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Modify</source>
        <translation>修改</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>Tips:Input password to modify the network parmeters.</source>
        <translation>提示：输入密码以修改网络参数。</translation>
    </message>
    <message>
        <location line="+27"/>
        <source>Devices</source>
        <translation>设备列表</translation>
    </message>
    <message>
        <location line="+33"/>
        <source>The total devices number:</source>
        <translation>设备总数：</translation>
    </message>
    <message>
        <location line="+90"/>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <location line="+51"/>
        <source>Hide parameter panel</source>
        <translation>隐藏参数面板</translation>
    </message>
    <message>
        <location line="+7"/>
        <location line="+44"/>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <location line="-7"/>
        <source>Show parameter panel</source>
        <translation>显示参数面板</translation>
    </message>
</context>
<context>
    <name>QtVexaItemModel</name>
    <message>
        <location filename="../device/qtvexaitemmodel.cpp" line="+24"/>
        <source>ID</source>
        <translation>序号</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device Type</source>
        <translation>设备类型</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv4 Address</source>
        <translation>IPv4 地址</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Soft Vision</source>
        <translation>软件版本</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv4 GateWay</source>
        <translation>IPv4 网关</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Serial Number</source>
        <translation>序列号</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv4 Mask</source>
        <translation>IPv4 掩码</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>MAC</source>
        <translation>MAC 地址</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel NO</source>
        <translation>通道数</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>DSP Vision</source>
        <translation>DSP 版本</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Start Time</source>
        <translation>启动时间</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv6 Address</source>
        <translation>IPv6 地址</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv6 GateWay</source>
        <translation>IPv6 网关</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv6 Prefix Length</source>
        <translation>IPv6 前缀长度</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Is Support IPv6</source>
        <translation>是否支持 IPv6</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Is Support Mod IPv6</source>
        <translation>可否修改 IPv6</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Is Support DHCP</source>
        <translation>是否支持 DHCP</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IPv4 DHCP</source>
        <translation>IPv4 DHCP</translation>
    </message>
    <message>
        <location line="+508"/>
        <source>Found by discovery, but its web page cannot be reached from this computer: %1 lies in none of the subnets of the interfaces discovery runs on. An address in %2 on this computer would reach it.</source>
        <translation>设备可被搜索到，但本机无法访问其网页：%1 不在搜索所用网卡的任何子网内。本机需要一个位于 %2 的地址才能访问它。</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>IPv4 address %1 is also used by:</source>
        <translation>IPv4地址 %1 同时被以下设备使用：</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>ID %1, serial number %2</source>
        <translation>ID %1，序列号 %2</translation>
    </message>
    <message>
        <location line="+3"/>
        <source> (DHCP on: Modify does not count it as the owner of this address)</source>
        <translation>（已开启DHCP：修改时不将其视为此地址的使用者）</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>and %1 more devices</source>
        <translation>以及另外 %1 台设备</translation>
    </message>
</context>
</TS>
