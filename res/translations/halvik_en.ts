<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>关于 Halvik_Demo</source>
        <translation>About Halvik_Demo</translation>
    </message>
    <message>
        <source>Halvik_Demo 版</source>
        <translation>Halvik_Demo version</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Halvik_Demo %1 版</source>
        <translation>Halvik_Demo version %1</translation>
    </message>
</context>
<context>
    <name>CBusViewDlg</name>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>输入电压</source>
        <translation>Input voltage</translation>
    </message>
    <message>
        <source>换向频率</source>
        <translation>Commutation frequency</translation>
    </message>
    <message>
        <source>相电流</source>
        <translation>Phase current</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>错误状态</source>
        <translation>Error state</translation>
    </message>
    <message>
        <source>更新/秒</source>
        <translation>Updates/s</translation>
    </message>
    <message>
        <source>往返</source>
        <translation>Round trip</translation>
    </message>
    <message>
        <source>超时</source>
        <translation>Time-outs</translation>
    </message>
    <message>
        <source>总线视图</source>
        <translation>Bus view</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>全部停止 (F12)</source>
        <translation>Stop all (F12)</translation>
    </message>
    <message>
        <source>地址:</source>
        <translation>Addresses:</translation>
    </message>
    <message>
        <source>串口未打开</source>
        <translation>Serial port not open</translation>
    </message>
    <message>
        <source>正在读取...</source>
        <translation>Reading...</translation>
    </message>
    <message>
        <source>第%1轮</source>
        <translation>Round %1</translation>
    </message>
    <message>
        <source>地址: %1 不是%2~%3的地址</source>
        <translation>Addresses: %1 is not an address (%2~%3)</translation>
    </message>
    <message>
        <source>地址: %1 重复</source>
        <translation>Addresses: %1 given twice</translation>
    </message>
    <message>
        <source>地址: 未填写</source>
        <translation>Addresses: none given</translation>
    </message>
    <message>
        <source>无应答: </source>
        <translation>No reply: </translation>
    </message>
    <message>
        <source>
从站%u: </source>
        <translation>
Slave %u: </translation>
    </message>
    <message>
        <source>全部停止: %zu台已停止</source>
        <translation>Stop all: %zu stopped</translation>
    </message>
    <message>
        <source>全部停止: %zu台已停止, %zu台失败:</source>
        <translation>Stop all: %zu stopped, %zu failed:</translation>
    </message>
</context>
<context>
    <name>CCanOpenList</name>
    <message>
        <source>通讯对象配置</source>
        <translation>Communication objects</translation>
    </message>
    <message>
        <source>载入</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>存储</source>
        <translation>Store</translation>
    </message>
    <message>
        <source>对象名称</source>
        <translation>Object</translation>
    </message>
    <message>
        <source>传输类型</source>
        <translation>Transmission type</translation>
    </message>
    <message>
        <source>禁止时间</source>
        <translation>Inhibit time</translation>
    </message>
    <message>
        <source>事件时间</source>
        <translation>Event timer</translation>
    </message>
    <message>
        <source>映射数量</source>
        <translation>Mapped objects</translation>
    </message>
    <message>
        <source>载入…</source>
        <translation>Loading…</translation>
    </message>
    <message>
        <source>读取完毕</source>
        <translation>Read complete</translation>
    </message>
    <message>
        <source>没有要保存的参数</source>
        <translation>No parameters to store</translation>
    </message>
    <message>
        <source>保存成功</source>
        <translation>Stored</translation>
    </message>
</context>
<context>
    <name>CCommParamPage</name>
    <message>
        <source>通讯参数</source>
        <translation>Communication</translation>
    </message>
    <message>
        <source>通讯参数配置</source>
        <translation>Communication parameters</translation>
    </message>
    <message>
        <source>485波特率:</source>
        <translation>RS-485 baud rate:</translation>
    </message>
    <message>
        <source>校验方式:</source>
        <translation>Parity:</translation>
    </message>
    <message>
        <source>从站地址:</source>
        <translation>Slave address:</translation>
    </message>
    <message>
        <source>CAN波特率:</source>
        <translation>CAN baud rate:</translation>
    </message>
    <message>
        <source>通讯模式:</source>
        <translation>Communication mode:</translation>
    </message>
    <message>
        <source>节点ID:</source>
        <translation>Node ID:</translation>
    </message>
    <message>
        <source>通讯中断制动时间:</source>
        <translation>Brake time on comm. loss:</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>心跳周期：</source>
        <translation>Heartbeat period:</translation>
    </message>
    <message>
        <source>CANOpen自启动</source>
        <translation>CANopen auto start</translation>
    </message>
    <message>
        <source>端口控制时485使用默认通讯参数</source>
        <translation>RS-485 defaults under port control</translation>
    </message>
    <message>
        <source>通讯控制时禁止参数配置</source>
        <translation>Config. locked under comm. control</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>配置</source>
        <translation>Configure</translation>
    </message>
    <message>
        <source>从站地址无效，应为1~255</source>
        <translation>Invalid slave address, must be 1~255</translation>
    </message>
    <message>
        <source>485口已改为%u波特、%s</source>
        <translation>RS-485 changed to %u baud, %s</translation>
    </message>
    <message>
        <source>校验方式%u</source>
        <translation>parity setting %u</translation>
    </message>
    <message>
        <source>从站地址已改为0x%02X</source>
        <translation>slave address changed to 0x%02X</translation>
    </message>
    <message>
        <source>驱动器</source>
        <translation>Driver: </translation>
    </message>
    <message>
        <source>，请相应修改连接设置</source>
        <translation>; change the connection settings to match</translation>
    </message>
    <message>
        <source>，</source>
        <translation>; </translation>
    </message>
</context>
<context>
    <name>CConfigCompareDlg</name>
    <message>
        <source>载入配置</source>
        <translation>Load configuration</translation>
    </message>
    <message>
        <source>分组</source>
        <translation>Group</translation>
    </message>
    <message>
        <source>参数</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>设备中的值</source>
        <translation>Value in device</translation>
    </message>
    <message>
        <source>文件中的值</source>
        <translation>Value in file</translation>
    </message>
    <message>
        <source>同时写入通讯参数 (可能改变设备的波特率、校验方式或从站地址)</source>
        <translation>Also write communication parameters (may change the device&apos;s baud rate, parity or slave address)</translation>
    </message>
    <message>
        <source>只写入不同的项，写入后读回核对。各页显示的数值不会改变，请按“读取”查看新的数值。</source>
        <translation>Only the differing items are written, then read back and checked. The values shown on the pages do not change: press &quot;Read&quot; to see the new values.</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>CConfigProgressDlg</name>
    <message>
        <source>配置</source>
        <translation>Configure</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>CConfigTransfer</name>
    <message>
        <source>正在取消…</source>
        <translation>Cancelling…</translation>
    </message>
    <message>
        <source>正在读取: </source>
        <translation>Reading: </translation>
    </message>
    <message>
        <source>配置文件 (*.json);;所有文件 (*)</source>
        <translation>Configuration files (*.json);;All files (*)</translation>
    </message>
    <message>
        <source>导出配置</source>
        <translation>Export configuration</translation>
    </message>
    <message>
        <source>载入配置</source>
        <translation>Load configuration</translation>
    </message>
    <message>
        <source>设备与文件有 %zu 处不同%s:</source>
        <translation>Device and file differ in %zu item(s)%s:</translation>
    </message>
    <message>
        <source> (其中通讯参数 %zu 处)</source>
        <translation> (communication parameters: %zu)</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Reading</translation>
    </message>
    <message>
        <source>设备信息</source>
        <translation>device information</translation>
    </message>
    <message>
        <source>保存文件失败: </source>
        <translation>Saving the file failed: </translation>
    </message>
    <message>
        <source>操作成功
配置已保存到 </source>
        <translation>Done
Configuration saved to </translation>
    </message>
    <message>
        <source>无法读取文件: </source>
        <translation>Cannot read the file: </translation>
    </message>
    <message>
        <source>文件太大，不是配置文件</source>
        <translation>File too large: not a configuration file</translation>
    </message>
    <message>
        <source>配置文件有错误，没有写入任何内容:</source>
        <translation>The configuration file has errors; nothing was written:</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>the device</translation>
    </message>
    <message>
        <source>
没有写入任何内容</source>
        <translation>
Nothing was written</translation>
    </message>
    <message>
        <source>配置文件与此设备不符，没有写入任何内容:</source>
        <translation>The configuration file does not match this device; nothing was written:</translation>
    </message>
    <message>
        <source>设备的配置与文件相同，没有需要写入的内容</source>
        <translation>The device&apos;s configuration matches the file: nothing to write</translation>
    </message>
</context>
<context>
    <name>CMainDlg</name>
    <message>
        <source>Halvik_Modbus示例程序</source>
        <translation>Halvik Modbus Demo</translation>
    </message>
    <message>
        <source>通讯设置</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>串口号:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>波特率:</source>
        <translation>Baud:</translation>
    </message>
    <message>
        <source>校验:</source>
        <translation>Parity:</translation>
    </message>
    <message>
        <source>无+2停止位</source>
        <translation>N, 2 stop</translation>
    </message>
    <message>
        <source>奇+1停止位</source>
        <translation>O, 1 stop</translation>
    </message>
    <message>
        <source>偶+1停止位</source>
        <translation>E, 1 stop</translation>
    </message>
    <message>
        <source>无+1停止位</source>
        <translation>N, 1 stop</translation>
    </message>
    <message>
        <source>打开串口</source>
        <translation>Open port</translation>
    </message>
    <message>
        <source>设备地址:</source>
        <translation>Addr.:</translation>
    </message>
    <message>
        <source>十六进制:</source>
        <translation>Hex:</translation>
    </message>
    <message>
        <source>通讯数据</source>
        <translation>Traffic</translation>
    </message>
    <message>
        <source>发送:</source>
        <translation>TX:</translation>
    </message>
    <message>
        <source>接收:</source>
        <translation>RX:</translation>
    </message>
    <message>
        <source>设备信息</source>
        <translation>Device information</translation>
    </message>
    <message>
        <source>设备标识:</source>
        <translation>Device ID:</translation>
    </message>
    <message>
        <source>设备型号:</source>
        <translation>Model:</translation>
    </message>
    <message>
        <source>版本号:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <source>PWM分辨率:</source>
        <translation>PWM resolution:</translation>
    </message>
    <message>
        <source>PWM频率:</source>
        <translation>PWM frequency:</translation>
    </message>
    <message>
        <source>最大电流:</source>
        <translation>Max. current:</translation>
    </message>
    <message>
        <source>电流分辨率:</source>
        <translation>Current resolution:</translation>
    </message>
    <message>
        <source>读取信息</source>
        <translation>Read info</translation>
    </message>
    <message>
        <source>OEM信息</source>
        <translation>OEM info</translation>
    </message>
    <message>
        <source>实时状态</source>
        <translation>Real-time status</translation>
    </message>
    <message>
        <source>输入电压:</source>
        <translation>Input voltage:</translation>
    </message>
    <message>
        <source>输出PWM:</source>
        <translation>Output PWM:</translation>
    </message>
    <message>
        <source>相电流:</source>
        <translation>Phase current:</translation>
    </message>
    <message>
        <source>换向频率:</source>
        <translation>Commutation freq.:</translation>
    </message>
    <message>
        <source>转动位置:</source>
        <translation>Position:</translation>
    </message>
    <message>
        <source>清零</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>完成时间:</source>
        <translation>Completion time:</translation>
    </message>
    <message>
        <source>IN1电压:</source>
        <translation>IN1 voltage:</translation>
    </message>
    <message>
        <source>IN2电压:</source>
        <translation>IN2 voltage:</translation>
    </message>
    <message>
        <source>IN3电压:</source>
        <translation>IN3 voltage:</translation>
    </message>
    <message>
        <source>差分电压:</source>
        <translation>Differential voltage:</translation>
    </message>
    <message>
        <source>SQ1电平:</source>
        <translation>SQ1 level:</translation>
    </message>
    <message>
        <source>SQ2电平:</source>
        <translation>SQ2 level:</translation>
    </message>
    <message>
        <source>输入PWM:</source>
        <translation>Input PWM:</translation>
    </message>
    <message>
        <source>输入频率:</source>
        <translation>Input frequency:</translation>
    </message>
    <message>
        <source>输入脉冲:</source>
        <translation>Input pulses:</translation>
    </message>
    <message>
        <source>电机转速:</source>
        <translation>Motor speed:</translation>
    </message>
    <message>
        <source>内部温度:</source>
        <translation>Internal temperature:</translation>
    </message>
    <message>
        <source>错误状态:</source>
        <translation>Error state:</translation>
    </message>
    <message>
        <source>自动更新</source>
        <translation>Auto update</translation>
    </message>
    <message>
        <source>停止电机 (F12)</source>
        <translation>Stop motor (F12)</translation>
    </message>
    <message>
        <source>以电机控制页所选的停止方式停止电机</source>
        <translation>Stops the motor with the stop mode chosen on the Motor control page</translation>
    </message>
    <message>
        <source>链路: 每秒通讯次数, 往返时间中值, 以及自打开串口以来超时、校验/应答错误和异常应答的次数</source>
        <translation>Link: transactions per second, median round trip (RTT), and the time-outs (T/O), CRC/reply errors (bad) and exception replies (exc) since the port was opened</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>工具(&amp;T)</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>载入配置(&amp;L)</source>
        <translation>&amp;Load configuration</translation>
    </message>
    <message>
        <source>导出配置(&amp;E)</source>
        <translation>&amp;Export configuration</translation>
    </message>
    <message>
        <source>退出(&amp;Q)</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>读写寄存器(&amp;R)</source>
        <translation>&amp;Read/write registers</translation>
    </message>
    <message>
        <source>访问对象字典(&amp;V)</source>
        <translation>Object &amp;dictionary</translation>
    </message>
    <message>
        <source>扫描设备(&amp;S)</source>
        <translation>&amp;Scan for devices</translation>
    </message>
    <message>
        <source>关于(&amp;A)</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>电机控制</source>
        <translation>Motor control</translation>
    </message>
    <message>
        <source>电机参数</source>
        <translation>Motor parameters</translation>
    </message>
    <message>
        <source>系统参数</source>
        <translation>System parameters</translation>
    </message>
    <message>
        <source>通讯参数</source>
        <translation>Communication</translation>
    </message>
    <message>
        <source>PID参数</source>
        <translation>PID</translation>
    </message>
    <message>
        <source>往复运动</source>
        <translation>Reciprocation</translation>
    </message>
    <message>
        <source>安全保护</source>
        <translation>Protection</translation>
    </message>
    <message>
        <source>实时曲线</source>
        <translation>Live plot</translation>
    </message>
    <message>
        <source>通讯记录</source>
        <translation>Traffic log</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Close port</translation>
    </message>
    <message>
        <source>电机正在运行，退出前要停止电机吗?</source>
        <translation>The motor is running. Stop it before quitting?</translation>
    </message>
    <message>
        <source>停止电机并退出</source>
        <translation>Stop motor and quit</translation>
    </message>
    <message>
        <source>退出，不停止电机</source>
        <translation>Quit, leave motor running</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>停止电机失败，程序没有退出
</source>
        <translation>Stopping the motor failed; the program did not quit
</translation>
    </message>
    <message>
        <source>打开串口失败</source>
        <translation>Opening the serial port failed</translation>
    </message>
    <message>
        <source>
执行 sudo usermod -aG dialout $USER, 然后注销并重新登录</source>
        <translation>
Run sudo usermod -aG dialout $USER, then log out and in again</translation>
    </message>
    <message>
        <source>串口设备已被移除，串口已关闭
</source>
        <translation>The serial device was removed; the port is closed
</translation>
    </message>
    <message>
        <source> 不是0~255的数 (十进制，或0x开头的十六进制)</source>
        <translation> is not a number 0~255 (decimal, or hexadecimal starting with 0x)</translation>
    </message>
    <message>
        <source>无设备</source>
        <translation>no device</translation>
    </message>
    <message>
        <source>真的要清零吗?</source>
        <translation>Really reset the position to zero?</translation>
    </message>
    <message>
        <source>串口设置失败</source>
        <translation>Changing the serial settings failed</translation>
    </message>
    <message>
        <source>总线视图</source>
        <translation>Bus view</translation>
    </message>
</context>
<context>
    <name>CMotorCtrlPage</name>
    <message>
        <source>电机控制</source>
        <translation>Motor control</translation>
    </message>
    <message>
        <source>PWM方式缓冲/闭环方式加速度</source>
        <translation>PWM ramps / closed-loop acceleration</translation>
    </message>
    <message>
        <source>PWM上升缓冲:</source>
        <translation>PWM rise ramp:</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>加速加速度:</source>
        <translation>Acceleration:</translation>
    </message>
    <message>
        <source>PWM下降缓冲:</source>
        <translation>PWM fall ramp:</translation>
    </message>
    <message>
        <source>减速加速度:</source>
        <translation>Deceleration:</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>设定</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>电机转速控制</source>
        <translation>Speed control</translation>
    </message>
    <message>
        <source>输出PWM:</source>
        <translation>Output PWM:</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Operation</translation>
    </message>
    <message>
        <source>最大值:100.0</source>
        <translation>Max.: 100.0</translation>
    </message>
    <message>
        <source>换向频率:</source>
        <translation>Commutation freq.:</translation>
    </message>
    <message>
        <source>最大值:</source>
        <translation>Max.:</translation>
    </message>
    <message>
        <source>停止方式:</source>
        <translation>Stop mode:</translation>
    </message>
    <message>
        <source>正常停止</source>
        <translation>Normal stop</translation>
    </message>
    <message>
        <source>紧急停止</source>
        <translation>Emergency stop</translation>
    </message>
    <message>
        <source>自由停止</source>
        <translation>Free-wheel stop</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>电机转动位置控制</source>
        <translation>Position control</translation>
    </message>
    <message>
        <source>位置类型:</source>
        <translation>Position type:</translation>
    </message>
    <message>
        <source>绝对位置</source>
        <translation>Absolute</translation>
    </message>
    <message>
        <source>相对位置</source>
        <translation>Relative</translation>
    </message>
    <message>
        <source>转动位置:</source>
        <translation>Position:</translation>
    </message>
    <message>
        <source>换向频率</source>
        <translation>Commutation frequency</translation>
    </message>
</context>
<context>
    <name>CMotorParamPage</name>
    <message>
        <source>电机参数</source>
        <translation>Motor parameters</translation>
    </message>
    <message>
        <source>电机参数配置</source>
        <translation>Motor parameters</translation>
    </message>
    <message>
        <source>PWM调速启动缓冲:</source>
        <translation>PWM start ramp:</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>电机额定电流:</source>
        <translation>Rated current:</translation>
    </message>
    <message>
        <source>PWM调速减速缓冲:</source>
        <translation>PWM deceleration ramp:</translation>
    </message>
    <message>
        <source>最大负载电流:</source>
        <translation>Max. load current:</translation>
    </message>
    <message>
        <source>最大加速加速度:</source>
        <translation>Max. acceleration:</translation>
    </message>
    <message>
        <source>制动补偿电流:</source>
        <translation>Brake comp. current:</translation>
    </message>
    <message>
        <source>默认加速加速度:</source>
        <translation>Default acceleration:</translation>
    </message>
    <message>
        <source>常态自锁电流:</source>
        <translation>Holding current:</translation>
    </message>
    <message>
        <source>最大减速加速度:</source>
        <translation>Max. deceleration:</translation>
    </message>
    <message>
        <source>电机极个数:</source>
        <translation>Motor poles:</translation>
    </message>
    <message>
        <source>个</source>
        <translation>poles</translation>
    </message>
    <message>
        <source>默认减速加速度:</source>
        <translation>Default deceleration:</translation>
    </message>
    <message>
        <source>减速器减速比:</source>
        <translation>Gear ratio:</translation>
    </message>
    <message>
        <source>最大换向频率:</source>
        <translation>Max. comm. freq.:</translation>
    </message>
    <message>
        <source>位置控制允许误差:</source>
        <translation>Position tolerance:</translation>
    </message>
    <message>
        <source>脉冲</source>
        <translation>pulses</translation>
    </message>
    <message>
        <source>默认换向频率:</source>
        <translation>Default comm. freq.:</translation>
    </message>
    <message>
        <source>位置控制超调后进行校正</source>
        <translation>Correct position overshoot</translation>
    </message>
    <message>
        <source>稳速控制算法:</source>
        <translation>Speed control algorithm:</translation>
    </message>
    <message>
        <source>位置控制算法:</source>
        <translation>Position control algorithm:</translation>
    </message>
    <message>
        <source>速度量程×10</source>
        <translation>Speed range ×10</translation>
    </message>
    <message>
        <source>禁用电机学习功能</source>
        <translation>Disable motor learning</translation>
    </message>
    <message>
        <source>允许</source>
        <translation>Allow</translation>
    </message>
    <message>
        <source>倍最大负载电流输出</source>
        <translation>× max. load current</translation>
    </message>
    <message>
        <source>电机学习状态:</source>
        <translation>Learning state:</translation>
    </message>
    <message>
        <source>电机相序数据:</source>
        <translation>Phase sequence:</translation>
    </message>
    <message>
        <source>开始学习</source>
        <translation>Start learning</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>配置</source>
        <translation>Configure</translation>
    </message>
    <message>
        <source> 应为6个十六进制字节 (00~FF)</source>
        <translation> must be 6 hexadecimal bytes (00~FF)</translation>
    </message>
    <message>
        <source>正在学习</source>
        <translation>Learning</translation>
    </message>
</context>
<context>
    <name>CObjDictDlg</name>
    <message>
        <source>访问对象字典</source>
        <translation>Object dictionary</translation>
    </message>
    <message>
        <source>命令:</source>
        <translation>Command:</translation>
    </message>
    <message>
        <source>0x40(读取)</source>
        <translation>0x40 (read)</translation>
    </message>
    <message>
        <source>0x2F(写单字节)</source>
        <translation>0x2F (write 1 byte)</translation>
    </message>
    <message>
        <source>0x2B(写双字节)</source>
        <translation>0x2B (write 2 bytes)</translation>
    </message>
    <message>
        <source>0x27(写三字节)</source>
        <translation>0x27 (write 3 bytes)</translation>
    </message>
    <message>
        <source>0x23(写四字节)</source>
        <translation>0x23 (write 4 bytes)</translation>
    </message>
    <message>
        <source>索引:0x</source>
        <translation>Index: 0x</translation>
    </message>
    <message>
        <source>子索引:</source>
        <translation>Sub-index:</translation>
    </message>
    <message>
        <source>数据:0x</source>
        <translation>Data: 0x</translation>
    </message>
    <message>
        <source>十进制:</source>
        <translation>Decimal:</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Operation</translation>
    </message>
    <message>
        <source>发送:</source>
        <translation>Sent:</translation>
    </message>
    <message>
        <source>应答:</source>
        <translation>Reply:</translation>
    </message>
    <message>
        <source>解析:</source>
        <translation>Decoded:</translation>
    </message>
    <message>
        <source>索引号:0x%04X 子索引:%u <byte value="xd"/>
上传单字节数据：0x%02X(%d)</source>
        <translation>Index: 0x%04X sub-index: %u <byte value="xd"/>
Uploaded 1 byte: 0x%02X (%d)</translation>
    </message>
    <message>
        <source>索引号:0x%04X 子索引:%u <byte value="xd"/>
上传双字节数据：0x%04X(%d)</source>
        <translation>Index: 0x%04X sub-index: %u <byte value="xd"/>
Uploaded 2 bytes: 0x%04X (%d)</translation>
    </message>
    <message>
        <source>索引号:0x%04X 子索引:%u <byte value="xd"/>
上传三字节数据：0x%06X(%u)</source>
        <translation>Index: 0x%04X sub-index: %u <byte value="xd"/>
Uploaded 3 bytes: 0x%06X (%u)</translation>
    </message>
    <message>
        <source>索引号:0x%04X 子索引:%u <byte value="xd"/>
上传四字节数据：0x%08X(%d)</source>
        <translation>Index: 0x%04X sub-index: %u <byte value="xd"/>
Uploaded 4 bytes: 0x%08X (%d)</translation>
    </message>
    <message>
        <source>索引:0x%04X 子索引:%u 写入成功</source>
        <translation>Index: 0x%04X sub-index: %u written</translation>
    </message>
    <message>
        <source>索引号:0x%04X 子索引:%u <byte value="xd"/>
传送中断：%s</source>
        <translation>Index: 0x%04X sub-index: %u <byte value="xd"/>
Transfer aborted: %s</translation>
    </message>
    <message>
        <source>索引</source>
        <translation>Index</translation>
    </message>
    <message>
        <source>子索引</source>
        <translation>Sub-index</translation>
    </message>
    <message>
        <source>数据</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>十进制</source>
        <translation>Decimal</translation>
    </message>
</context>
<context>
    <name>CPdoEditDlg</name>
    <message>
        <source>编辑POD</source>
        <translation>Edit PDO</translation>
    </message>
    <message>
        <source>POD参数设置</source>
        <translation>PDO parameters</translation>
    </message>
    <message>
        <source>传输类型:</source>
        <translation>Transmission type:</translation>
    </message>
    <message>
        <source>禁止时间:</source>
        <translation>Inhibit time:</translation>
    </message>
    <message>
        <source>事件时间:</source>
        <translation>Event timer:</translation>
    </message>
    <message>
        <source>映射数量:</source>
        <translation>Mapped objects:</translation>
    </message>
    <message>
        <source>映射对象1:</source>
        <translation>Mapped object 1:</translation>
    </message>
    <message>
        <source>索引</source>
        <translation>Index</translation>
    </message>
    <message>
        <source>子索引</source>
        <translation>Sub-index</translation>
    </message>
    <message>
        <source>位数</source>
        <translation>Bits</translation>
    </message>
    <message>
        <source>映射对象2:</source>
        <translation>Mapped object 2:</translation>
    </message>
    <message>
        <source>映射对象3:</source>
        <translation>Mapped object 3:</translation>
    </message>
    <message>
        <source>映射对象4:</source>
        <translation>Mapped object 4:</translation>
    </message>
    <message>
        <source>映射对象5:</source>
        <translation>Mapped object 5:</translation>
    </message>
    <message>
        <source>映射对象6:</source>
        <translation>Mapped object 6:</translation>
    </message>
    <message>
        <source>映射对象7:</source>
        <translation>Mapped object 7:</translation>
    </message>
    <message>
        <source>映射对象8:</source>
        <translation>Mapped object 8:</translation>
    </message>
    <message>
        <source>载入</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>配置</source>
        <translation>Configure</translation>
    </message>
    <message>
        <source>载入中…</source>
        <translation>Loading…</translation>
    </message>
    <message>
        <source>重新载入</source>
        <translation>Reload</translation>
    </message>
    <message>
        <source>配置中…</source>
        <translation>Configuring…</translation>
    </message>
    <message>
        <source>配置成功</source>
        <translation>Configured</translation>
    </message>
</context>
<context>
    <name>CPidPage</name>
    <message>
        <source>闭环控制参数</source>
        <translation>Closed-loop control parameters</translation>
    </message>
    <message>
        <source>速度PID参数:</source>
        <translation>Speed PID:</translation>
    </message>
    <message>
        <source>位置PID参数:</source>
        <translation>Position PID:</translation>
    </message>
    <message>
        <source>自锁PID参数:</source>
        <translation>Holding PID:</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>配置</source>
        <translation>Configure</translation>
    </message>
    <message>
        <source>阶跃响应...</source>
        <translation>Step response...</translation>
    </message>
    <message>
        <source>阶跃响应测试: 用这些增益让电机走一个阶跃，测出上升时间、超调量和调节时间</source>
        <translation>Step-response test: steps the motor with these gains and measures rise time, overshoot and settling time</translation>
    </message>
</context>
<context>
    <name>CPlotDlg</name>
    <message>
        <source>实时曲线</source>
        <translation>Live plot</translation>
    </message>
    <message>
        <source>时间 (s)</source>
        <translation>Time (s)</translation>
    </message>
    <message>
        <source>归一化</source>
        <translation>Normalised</translation>
    </message>
    <message>
        <source>各自刻度</source>
        <translation>Own scales</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>开始记录...</source>
        <translation>Start recording...</translation>
    </message>
    <message>
        <source>刻度:</source>
        <translation>Scale:</translation>
    </message>
    <message>
        <source>右键单击曲线: 读取该时刻的数值</source>
        <translation>Right-click the plot to read the values at that moment</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>记录文件写入失败，记录已停止:
</source>
        <translation>Writing the recording failed; recording stopped:
</translation>
    </message>
    <message>
        <source>无法创建记录文件:
</source>
        <translation>Cannot create the recording file:
</translation>
    </message>
    <message>
        <source>记录到 CSV 文件</source>
        <translation>Record to CSV file</translation>
    </message>
    <message>
        <source>自动更新未开启或串口未打开: 没有新的数据。请在主窗口打开串口并勾选&quot;自动更新&quot;。</source>
        <translation>Auto update is off or the port is closed: no new data. Open the port in the main window and tick &quot;Auto update&quot;.</translation>
    </message>
    <message>
        <source>样本: %1 (保留最近 %2 个, 每 100 ms 一个)</source>
        <translation>Samples: %1 (the last %2 kept, one per 100 ms)</translation>
    </message>
    <message>
        <source>   记录中: %1 (%2 行)</source>
        <translation>   Recording: %1 (rows: %2)</translation>
    </message>
</context>
<context>
    <name>CReciprocatePage</name>
    <message>
        <source>往复运动</source>
        <translation>Reciprocation</translation>
    </message>
    <message>
        <source>往复过程控制</source>
        <translation>Reciprocating motion</translation>
    </message>
    <message>
        <source>复位方式:</source>
        <translation>Homing mode:</translation>
    </message>
    <message>
        <source>启用复位细调</source>
        <translation>Fine homing</translation>
    </message>
    <message>
        <source>限位后重新复位</source>
        <translation>Home again after a limit</translation>
    </message>
    <message>
        <source>复位粗调速度:</source>
        <translation>Homing coarse speed:</translation>
    </message>
    <message>
        <source>Hz(脉冲/秒)</source>
        <translation>Hz (pulses/s)</translation>
    </message>
    <message>
        <source>复位细调速度:</source>
        <translation>Homing fine speed:</translation>
    </message>
    <message>
        <source>完成后速度:</source>
        <translation>Speed after completion:</translation>
    </message>
    <message>
        <source>总行程:</source>
        <translation>Total stroke:</translation>
    </message>
    <message>
        <source>脉冲</source>
        <translation>pulses</translation>
    </message>
    <message>
        <source>复位时转矩:</source>
        <translation>Homing torque:</translation>
    </message>
    <message>
        <source>A×N·m/A (0为最大负载电流对应转矩)</source>
        <translation>A × N·m/A (0: the torque of the max. load current)</translation>
    </message>
    <message>
        <source>忽略变化量低于</source>
        <translation>Ignore input changes below</translation>
    </message>
    <message>
        <source>% 的输入信号</source>
        <translation>% of the input signal</translation>
    </message>
    <message>
        <source>测试操作:</source>
        <translation>Test:</translation>
    </message>
    <message>
        <source>SQ2复位</source>
        <translation>Home to SQ2</translation>
    </message>
    <message>
        <source>SQ1复位</source>
        <translation>Home to SQ1</translation>
    </message>
    <message>
        <source>测量行程</source>
        <translation>Measure stroke</translation>
    </message>
    <message>
        <source>取消操作</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>配置</source>
        <translation>Configure</translation>
    </message>
    <message>
        <source>预设正反转速度</source>
        <translation>Preset forward/reverse speeds</translation>
    </message>
    <message>
        <source>正转速度:</source>
        <translation>Forward speed:</translation>
    </message>
    <message>
        <source>反转速度:</source>
        <translation>Reverse speed:</translation>
    </message>
    <message>
        <source>调速方式:</source>
        <translation>Speed control mode:</translation>
    </message>
    <message>
        <source>控制方式:</source>
        <translation>Control mode:</translation>
    </message>
</context>
<context>
    <name>CRegisterDlg</name>
    <message>
        <source>读写寄存器</source>
        <translation>Read/write registers</translation>
    </message>
    <message>
        <source>单/双个寄存器操作</source>
        <translation>Single/double register access</translation>
    </message>
    <message>
        <source>起始地址:0x</source>
        <translation>Start address: 0x</translation>
    </message>
    <message>
        <source>数据类型:</source>
        <translation>Data type:</translation>
    </message>
    <message>
        <source>短整型（单寄存器）</source>
        <translation>Short integer (1 register)</translation>
    </message>
    <message>
        <source>长整型（双寄存器）</source>
        <translation>Long integer (2 registers)</translation>
    </message>
    <message>
        <source>浮点型（双寄存器）</source>
        <translation>Float (2 registers)</translation>
    </message>
    <message>
        <source>寄存器值:0x</source>
        <translation>Register value: 0x</translation>
    </message>
    <message>
        <source>十进制:</source>
        <translation>Decimal:</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>十进制</source>
        <translation>Decimal</translation>
    </message>
    <message>
        <source>起始地址</source>
        <translation>Start address</translation>
    </message>
    <message>
        <source>寄存器值</source>
        <translation>Register value</translation>
    </message>
</context>
<context>
    <name>CSafetyPage</name>
    <message>
        <source>安全保护设置</source>
        <translation>Protection settings</translation>
    </message>
    <message>
        <source>过热关断:</source>
        <translation>Over-temperature shutdown:</translation>
    </message>
    <message>
        <source>当功率管附近温度达到</source>
        <translation>When the temperature near the power stage reaches</translation>
    </message>
    <message>
        <source>℃时关断输出</source>
        <translation>°C, shut down the output</translation>
    </message>
    <message>
        <source>过热限流:</source>
        <translation>Over-temperature current limit:</translation>
    </message>
    <message>
        <source>℃时禁用倍流输出</source>
        <translation>°C, disable the overload current</translation>
    </message>
    <message>
        <source>过压关断:</source>
        <translation>Over-voltage shutdown:</translation>
    </message>
    <message>
        <source>当电源电压高于</source>
        <translation>When the supply voltage is above</translation>
    </message>
    <message>
        <source>V 时关断输出</source>
        <translation>V, shut down the output</translation>
    </message>
    <message>
        <source>欠压关断:</source>
        <translation>Under-voltage shutdown:</translation>
    </message>
    <message>
        <source>当电源电压低于</source>
        <translation>When the supply voltage is below</translation>
    </message>
    <message>
        <source>过流关断:</source>
        <translation>Over-current shutdown:</translation>
    </message>
    <message>
        <source>当瞬间电流达到</source>
        <translation>When the peak current reaches</translation>
    </message>
    <message>
        <source>A 时关断输出</source>
        <translation>A, shut down the output</translation>
    </message>
    <message>
        <source>霍尔错误:</source>
        <translation>Hall error:</translation>
    </message>
    <message>
        <source>当出现霍尔错误达到</source>
        <translation>When a Hall error lasts</translation>
    </message>
    <message>
        <source>ms 时关断输出</source>
        <translation>ms, shut down the output</translation>
    </message>
    <message>
        <source>温度校准:</source>
        <translation>Temperature calibration:</translation>
    </message>
    <message>
        <source>校准后温度 = 校准前温度 ×</source>
        <translation>Calibrated temperature = raw temperature ×</translation>
    </message>
    <message>
        <source>电压校准:</source>
        <translation>Voltage calibration:</translation>
    </message>
    <message>
        <source>校准后电压 = 校准前电压 ×</source>
        <translation>Calibrated voltage = raw voltage ×</translation>
    </message>
    <message>
        <source>电流环PID动态调节减小超调</source>
        <translation>Dynamic current-loop PID to reduce overshoot</translation>
    </message>
    <message>
        <source>当温度低于过热关断条件后清除过热报警</source>
        <translation>Clear the over-temperature alarm once below the shutdown temperature</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>配置</source>
        <translation>Configure</translation>
    </message>
</context>
<context>
    <name>CScanDlg</name>
    <message>
        <source>扫描设备</source>
        <translation>Scan for devices</translation>
    </message>
    <message>
        <source>扫描范围</source>
        <translation>Scan range</translation>
    </message>
    <message>
        <source>当前串口设置:</source>
        <translation>Current line settings:</translation>
    </message>
    <message>
        <source>全部串口设置 (每个波特率和校验方式)</source>
        <translation>All line settings (every baud rate and parity)</translation>
    </message>
    <message>
        <source>起始地址:</source>
        <translation>Start address:</translation>
    </message>
    <message>
        <source>结束地址:</source>
        <translation>End address:</translation>
    </message>
    <message>
        <source>应答超时:</source>
        <translation>Reply time-out:</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>自动: 按波特率计算</source>
        <translation>Auto: from the baud rate</translation>
    </message>
    <message>
        <source>开始扫描</source>
        <translation>Start scan</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>找到的设备 (双击选用):</source>
        <translation>Devices found (double-click to use):</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>校验</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>设备标识</source>
        <translation>Device ID</translation>
    </message>
    <message>
        <source>设备型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>使用所选设备</source>
        <translation>Use selected device</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>应答: </source>
        <translation>Reply: </translation>
    </message>
    <message>
        <source>正在扫描 %s, 地址 %d (0x%02X)</source>
        <translation>Scanning %s, address %d (0x%02X)</translation>
    </message>
    <message>
        <source>起始地址不能大于结束地址</source>
        <translation>The start address must not be above the end address</translation>
    </message>
    <message>
        <source>打开串口失败</source>
        <translation>Opening the serial port failed</translation>
    </message>
    <message>
        <source>扫描已停止，找到 %d 个设备</source>
        <translation>Scan stopped, %d device(s) found</translation>
    </message>
    <message>
        <source>扫描完成，找到 %d 个设备</source>
        <translation>Scan complete, %d device(s) found</translation>
    </message>
    <message>
        <source>串口不支持该设置: </source>
        <translation>The port does not support this setting: </translation>
    </message>
    <message>
        <source>总线视图</source>
        <translation>Bus view</translation>
    </message>
</context>
<context>
    <name>CStepDlg</name>
    <message>
        <source>上升时间 (10-90%)</source>
        <translation>Rise time (10-90%)</translation>
    </message>
    <message>
        <source>延迟时间 (50%)</source>
        <translation>Delay time (50%)</translation>
    </message>
    <message>
        <source>峰值时间</source>
        <translation>Peak time</translation>
    </message>
    <message>
        <source>超调量</source>
        <translation>Overshoot</translation>
    </message>
    <message>
        <source>调节时间 (2%)</source>
        <translation>Settling time (2%)</translation>
    </message>
    <message>
        <source>调节时间 (5%)</source>
        <translation>Settling time (5%)</translation>
    </message>
    <message>
        <source>稳态误差</source>
        <translation>Steady-state error</translation>
    </message>
    <message>
        <source>峰值相电流</source>
        <translation>Peak phase current</translation>
    </message>
    <message>
        <source>采样率</source>
        <translation>Sample rate</translation>
    </message>
    <message>
        <source>阶跃响应</source>
        <translation>Step response</translation>
    </message>
    <message>
        <source>速度环 (换向频率)</source>
        <translation>Speed loop (commutation frequency)</translation>
    </message>
    <message>
        <source>位置环 (位置运动)</source>
        <translation>Position loop (move)</translation>
    </message>
    <message>
        <source>相对</source>
        <translation>Relative</translation>
    </message>
    <message>
        <source>电机运行中也开始</source>
        <translation>Start from a running motor</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>停止 (F12)</source>
        <translation>Stop (F12)</translation>
    </message>
    <message>
        <source>导出CSV...</source>
        <translation>Export CSV...</translation>
    </message>
    <message>
        <source>导出PNG...</source>
        <translation>Export PNG...</translation>
    </message>
    <message>
        <source>回路:</source>
        <translation>Loop:</translation>
    </message>
    <message>
        <source>目标:</source>
        <translation>Target:</translation>
    </message>
    <message>
        <source>时长:</source>
        <translation>Duration:</translation>
    </message>
    <message>
        <source>时间 (s)</source>
        <translation>Time (s)</translation>
    </message>
    <message>
        <source>正在读取设置...</source>
        <translation>Reading the settings...</translation>
    </message>
    <message>
        <source>第%1次</source>
        <translation>Run %1</translation>
    </message>
    <message>
        <source>第%1次 Kp=%2 Ki=%3 Kd=%4</source>
        <translation>Run %1 Kp=%2 Ki=%3 Kd=%4</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>导出PNG</source>
        <translation>Export PNG</translation>
    </message>
    <message>
        <source>测试已停止，电机已停止</source>
        <translation>Test stopped, motor stopped</translation>
    </message>
    <message>
        <source>驱动器报告错误状态 %u，电机已停止</source>
        <translation>Driver reported error state %u, motor stopped</translation>
    </message>
    <message>
        <source>通讯失败，电机已停止: </source>
        <translation>Communication failed, motor stopped: </translation>
    </message>
    <message>
        <source>目标: %1 不是数字</source>
        <translation>Target: %1 is not a number</translation>
    </message>
    <message>
        <source>电机将会转动。开始阶跃响应测试吗?</source>
        <translation>The motor will turn. Start the step response test?</translation>
    </message>
    <message>
        <source>导出失败:
</source>
        <translation>Export failed:
</translation>
    </message>
</context>
<context>
    <name>CSyncEditDlg</name>
    <message>
        <source>编辑SYNC</source>
        <translation>Edit SYNC</translation>
    </message>
    <message>
        <source>SYNC参数设置</source>
        <translation>SYNC parameters</translation>
    </message>
    <message>
        <source>通讯间隔时间:</source>
        <translation>Communication cycle period:</translation>
    </message>
    <message>
        <source>同步窗口长度:</source>
        <translation>Synchronous window length:</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>配置</source>
        <translation>Configure</translation>
    </message>
</context>
<context>
    <name>CSysParamPage</name>
    <message>
        <source>系统参数配置</source>
        <translation>System parameters</translation>
    </message>
    <message>
        <source>限位触发极性:</source>
        <translation>Limit trigger polarity:</translation>
    </message>
    <message>
        <source>数字信号极性:</source>
        <translation>Digital signal polarity:</translation>
    </message>
    <message>
        <source>电位器用法:</source>
        <translation>Potentiometer use:</translation>
    </message>
    <message>
        <source>脉冲信号类型:</source>
        <translation>Pulse signal type:</translation>
    </message>
    <message>
        <source>模拟信号类型:</source>
        <translation>Analog signal type:</translation>
    </message>
    <message>
        <source>逻辑电平类型:</source>
        <translation>Logic level type:</translation>
    </message>
    <message>
        <source>端口输入类型:</source>
        <translation>Port input type:</translation>
    </message>
    <message>
        <source>端口控制类型:</source>
        <translation>Port control type:</translation>
    </message>
    <message>
        <source>电位器电压范围:</source>
        <translation>Potentiometer voltage range:</translation>
    </message>
    <message>
        <source>模拟信号范围:</source>
        <translation>Analog signal range:</translation>
    </message>
    <message>
        <source>逻辑电平阈值:</source>
        <translation>Logic level threshold:</translation>
    </message>
    <message>
        <source>电压比较死区:</source>
        <translation>Voltage comparison dead band:</translation>
    </message>
    <message>
        <source>脉冲信号倍率:</source>
        <translation>Pulse ratio:</translation>
    </message>
    <message>
        <source>堵转停机时间:</source>
        <translation>Stall stop time:</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>模拟信号调整:</source>
        <translation>Analog signal adjustment:</translation>
    </message>
    <message>
        <source>禁用蜂鸣器报警</source>
        <translation>Disable buzzer alarm</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>配置</source>
        <translation>Configure</translation>
    </message>
</context>
<context>
    <name>CTrafficLogDlg</name>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>往返(ms)</source>
        <translation>Round trip (ms)</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>含义</source>
        <translation>Meaning</translation>
    </message>
    <message>
        <source>请求</source>
        <translation>Request</translation>
    </message>
    <message>
        <source>应答</source>
        <translation>Reply</translation>
    </message>
    <message>
        <source>通讯记录</source>
        <translation>Traffic log</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Succeeded</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>通讯超时</source>
        <translation>Time-out</translation>
    </message>
    <message>
        <source>应答错误</source>
        <translation>Reply error</translation>
    </message>
    <message>
        <source>异常应答</source>
        <translation>Exception reply</translation>
    </message>
    <message>
        <source>导出...</source>
        <translation>Export...</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>字段名或文字</source>
        <translation>Field name or text</translation>
    </message>
    <message>
        <source>显示:</source>
        <translation>Show:</translation>
    </message>
    <message>
        <source>查找:</source>
        <translation>Find:</translation>
    </message>
    <message>
        <source>%1 条</source>
        <translation>Rows: %1</translation>
    </message>
    <message>
        <source>导出失败:
</source>
        <translation>Export failed:
</translation>
    </message>
    <message>
        <source>导出通讯记录</source>
        <translation>Export traffic log</translation>
    </message>
    <message>
        <source>文本 (*.txt);;CSV (*.csv)</source>
        <translation>Text (*.txt);;CSV (*.csv)</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>是(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>否(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>询问</source>
        <translation>Question</translation>
    </message>
</context>
<context>
    <name>desklogic/CanOpenLogic</name>
    <message>
        <source>RPDO%d参数设置</source>
        <translation>RPDO%d parameters</translation>
    </message>
    <message>
        <source>TPDO%d参数设置</source>
        <translation>TPDO%d parameters</translation>
    </message>
    <message>
        <source>COB-ID: %s 不是十六进制数</source>
        <translation>COB-ID: %s is not hexadecimal</translation>
    </message>
    <message>
        <source>映射数量</source>
        <translation>Mapped objects</translation>
    </message>
    <message>
        <source>%s: %s 不是数字 (0~%d)</source>
        <translation>%s: %s is not a number (0~%d)</translation>
    </message>
    <message>
        <source>%s超出范围(0~%d)</source>
        <translation>%s out of range (0~%d)</translation>
    </message>
    <message>
        <source>映射对象%d的索引: %s 不是十六进制数</source>
        <translation>Index of mapped object %d: %s is not hexadecimal</translation>
    </message>
    <message>
        <source>映射对象%d的索引超出范围(0~0xFFFF)</source>
        <translation>Index of mapped object %d out of range (0~0xFFFF)</translation>
    </message>
    <message>
        <source>子索引</source>
        <translation>Sub-index</translation>
    </message>
    <message>
        <source>位数</source>
        <translation>Bits</translation>
    </message>
    <message>
        <source>映射对象%d的%s: %s 不是数字</source>
        <translation>Mapped object %d, %s: %s is not a number</translation>
    </message>
    <message>
        <source>映射对象%d的%s超出范围(0~255)</source>
        <translation>Mapped object %d, %s out of range (0~255)</translation>
    </message>
    <message>
        <source>通讯间隔时间</source>
        <translation>Communication cycle period</translation>
    </message>
    <message>
        <source>同步窗口长度</source>
        <translation>Synchronous window length</translation>
    </message>
    <message>
        <source>%s超出范围(0~4294967.295ms)</source>
        <translation>%s out of range (0~4294967.295 ms)</translation>
    </message>
    <message>
        <source>%s: %s 不是数字 (0~4294967.295ms)</source>
        <translation>%s: %s is not a number (0~4294967.295 ms)</translation>
    </message>
</context>
<context>
    <name>desklogic/ConfigTransferLogic</name>
    <message>
        <source>各页显示的数值没有改变，请按“读取”查看新的数值。</source>
        <translation>The values shown on the pages have not changed: press &quot;Read&quot; to see the new values.</translation>
    </message>
    <message>
        <source>
%1 - %2: 设备 %3, 文件 %4</source>
        <translation>
%1 - %2: device %3, file %4</translation>
    </message>
    <message>
        <source> (文件中已修改)</source>
        <translation> (edited in the file)</translation>
    </message>
    <message>
        <source>%1%2失败
%3</source>
        <translation>%1 %2 failed
%3</translation>
    </message>
    <message>
        <source>
… 共 %zu 处问题</source>
        <translation>
… %zu problems in all</translation>
    </message>
    <message>
        <source>已写入: </source>
        <translation>Written: </translation>
    </message>
    <message>
        <source>写入%1失败
%2</source>
        <translation>Writing %1 failed
%2</translation>
    </message>
    <message>
        <source>正在读回: </source>
        <translation>Reading back: </translation>
    </message>
    <message>
        <source>读回</source>
        <translation>Reading back</translation>
    </message>
    <message>
        <source>正在读回: 通讯参数</source>
        <translation>Reading back: communication parameters</translation>
    </message>
    <message>
        <source>读回通讯参数失败
</source>
        <translation>Reading back the communication parameters failed
</translation>
    </message>
    <message>
        <source>
设备现在的通讯设置: 地址 %d, 波特率 %d, 已设到通讯设置中。</source>
        <translation>
The device&apos;s line settings now: address %d, %d baud; the connection panel is set to them.</translation>
    </message>
    <message>
        <source>
通讯参数 (%zu 处不同) 没有写入。</source>
        <translation>
Communication parameters were not written (%zu item(s) differ).</translation>
    </message>
    <message>
        <source>
已写入: </source>
        <translation>
Written: </translation>
    </message>
    <message>
        <source>无</source>
        <translation>none</translation>
    </message>
    <message>
        <source>操作成功</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>写入后仍有 %zu 处不同:</source>
        <translation>After writing, %zu item(s) still differ:</translation>
    </message>
</context>
<context>
    <name>desklogic/MainDlgLogic</name>
    <message>
        <source>%.1f次/秒 往返%s 超时%zu 应答错%zu 异常%zu</source>
        <translation>%.1f/s RTT %s T/O %zu bad %zu exc %zu</translation>
    </message>
    <message>
        <source>%s
USB延迟定时器为%dms, 应答会迟到; 改为1ms: %s</source>
        <translation>%s
The USB latency timer is %d ms, so replies arrive late; set it to 1 ms: %s</translation>
    </message>
</context>
<context>
    <name>desklogic/PageLogic</name>
    <message>
        <source>: 未选择</source>
        <translation>: not selected</translation>
    </message>
</context>
<context>
    <name>driver/CanOpen</name>
    <message>
        <source>访问对象(索引号:0x%04X,子索引:%d)传送终止：%s</source>
        <translation>SDO transfer aborted (index 0x%04X, sub-index %d): %s</translation>
    </message>
    <message>
        <source>传输类型</source>
        <translation>Transmission type</translation>
    </message>
    <message>
        <source>禁止时间</source>
        <translation>Inhibit time</translation>
    </message>
    <message>
        <source>事件时间</source>
        <translation>Event timer</translation>
    </message>
    <message>
        <source>子索引 %u</source>
        <translation>sub-index %u</translation>
    </message>
</context>
<context>
    <name>driver/Catalogue</name>
    <message>
        <source>低电平/闭合</source>
        <translation>Low level / closed</translation>
    </message>
    <message>
        <source>高电平/断开</source>
        <translation>High level / open</translation>
    </message>
    <message>
        <source>下降沿/闭合瞬间</source>
        <translation>Falling edge / on closing</translation>
    </message>
    <message>
        <source>上升沿/断开瞬间</source>
        <translation>Rising edge / on opening</translation>
    </message>
    <message>
        <source>禁用</source>
        <translation>Disabled</translation>
    </message>
    <message>
        <source>单电位器</source>
        <translation>Single potentiometer</translation>
    </message>
    <message>
        <source>双电位器独立</source>
        <translation>Two potentiometers, independent</translation>
    </message>
    <message>
        <source>双电位器协同</source>
        <translation>Two potentiometers, combined</translation>
    </message>
    <message>
        <source>频率</source>
        <translation>Frequency</translation>
    </message>
    <message>
        <source>脉冲(计数)</source>
        <translation>Pulse (count)</translation>
    </message>
    <message>
        <source>单端信号</source>
        <translation>Single-ended</translation>
    </message>
    <message>
        <source>差分信号</source>
        <translation>Differential</translation>
    </message>
    <message>
        <source>双单端独立</source>
        <translation>Two single-ended, independent</translation>
    </message>
    <message>
        <source>双单端协同</source>
        <translation>Two single-ended, combined</translation>
    </message>
    <message>
        <source>开关量</source>
        <translation>On/off</translation>
    </message>
    <message>
        <source>0/12V或0/24V</source>
        <translation>0/12 V or 0/24 V</translation>
    </message>
    <message>
        <source>拨码开关指定</source>
        <translation>By DIP switch</translation>
    </message>
    <message>
        <source>速度闭环控制</source>
        <translation>Closed-loop speed control</translation>
    </message>
    <message>
        <source>电位器</source>
        <translation>Potentiometer</translation>
    </message>
    <message>
        <source>模拟信号</source>
        <translation>Analog signal</translation>
    </message>
    <message>
        <source>脉冲信号</source>
        <translation>Pulse signal</translation>
    </message>
    <message>
        <source>内置程序指定</source>
        <translation>Built-in program</translation>
    </message>
    <message>
        <source>占空比调速</source>
        <translation>Duty-cycle speed control</translation>
    </message>
    <message>
        <source>力矩控制</source>
        <translation>Torque control</translation>
    </message>
    <message>
        <source>位置闭环控制</source>
        <translation>Closed-loop position control</translation>
    </message>
    <message>
        <source>预设速度控制</source>
        <translation>Preset speed control</translation>
    </message>
    <message>
        <source>内置程序</source>
        <translation>Built-in program</translation>
    </message>
    <message>
        <source>水平定位控制</source>
        <translation>Horizontal positioning</translation>
    </message>
    <message>
        <source>水平滑行定位</source>
        <translation>Horizontal coasting positioning</translation>
    </message>
    <message>
        <source>竖直定位控制</source>
        <translation>Vertical positioning</translation>
    </message>
    <message>
        <source>时间-位置闭环</source>
        <translation>Time-position closed loop</translation>
    </message>
    <message>
        <source>时间-位置速率</source>
        <translation>Time-position rate</translation>
    </message>
    <message>
        <source>场定向矢量闭环</source>
        <translation>Field-oriented vector control</translation>
    </message>
    <message>
        <source>未学习</source>
        <translation>Not learned</translation>
    </message>
    <message>
        <source>已学习</source>
        <translation>Learned</translation>
    </message>
    <message>
        <source>无校验+2停止位</source>
        <translation>None, 2 stop bits</translation>
    </message>
    <message>
        <source>奇校验+1停止位</source>
        <translation>Odd, 1 stop bit</translation>
    </message>
    <message>
        <source>偶校验+1停止位</source>
        <translation>Even, 1 stop bit</translation>
    </message>
    <message>
        <source>无校验+1停止位</source>
        <translation>None, 1 stop bit</translation>
    </message>
    <message>
        <source>不复位</source>
        <translation>No homing</translation>
    </message>
    <message>
        <source>SQ2复位</source>
        <translation>Home to SQ2</translation>
    </message>
    <message>
        <source>SQ1复位</source>
        <translation>Home to SQ1</translation>
    </message>
    <message>
        <source>占空比</source>
        <translation>Duty cycle</translation>
    </message>
    <message>
        <source>力矩</source>
        <translation>Torque</translation>
    </message>
    <message>
        <source>速度闭环</source>
        <translation>Closed-loop speed</translation>
    </message>
    <message>
        <source>位置闭环</source>
        <translation>Closed-loop position</translation>
    </message>
    <message>
        <source>双触点</source>
        <translation>Two contacts</translation>
    </message>
    <message>
        <source>单触点</source>
        <translation>Single contact</translation>
    </message>
    <message>
        <source>输入电压</source>
        <translation>Input voltage</translation>
    </message>
    <message>
        <source>输入电流</source>
        <translation>Input current</translation>
    </message>
    <message>
        <source>输出PWM</source>
        <translation>Output PWM</translation>
    </message>
    <message>
        <source>相电流</source>
        <translation>Phase current</translation>
    </message>
    <message>
        <source>换向频率</source>
        <translation>Commutation frequency</translation>
    </message>
    <message>
        <source>转动位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>IN1电压</source>
        <translation>IN1 voltage</translation>
    </message>
    <message>
        <source>IN2电压</source>
        <translation>IN2 voltage</translation>
    </message>
    <message>
        <source>IN3电压</source>
        <translation>IN3 voltage</translation>
    </message>
    <message>
        <source>差分电压</source>
        <translation>Differential voltage</translation>
    </message>
    <message>
        <source>电机转速</source>
        <translation>Motor speed</translation>
    </message>
    <message>
        <source>内部温度</source>
        <translation>Internal temperature</translation>
    </message>
    <message>
        <source>PWM上升缓冲</source>
        <translation>PWM rise ramp</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>PWM下降缓冲</source>
        <translation>PWM fall ramp</translation>
    </message>
    <message>
        <source>加速加速度</source>
        <translation>Acceleration</translation>
    </message>
    <message>
        <source>减速加速度</source>
        <translation>Deceleration</translation>
    </message>
    <message>
        <source>PWM调速启动缓冲</source>
        <translation>PWM start ramp</translation>
    </message>
    <message>
        <source>PWM调速减速缓冲</source>
        <translation>PWM deceleration ramp</translation>
    </message>
    <message>
        <source>最大加速加速度</source>
        <translation>Max. acceleration</translation>
    </message>
    <message>
        <source>默认加速加速度</source>
        <translation>Default acceleration</translation>
    </message>
    <message>
        <source>最大减速加速度</source>
        <translation>Max. deceleration</translation>
    </message>
    <message>
        <source>默认减速加速度</source>
        <translation>Default deceleration</translation>
    </message>
    <message>
        <source>最大换向频率</source>
        <translation>Max. commutation frequency</translation>
    </message>
    <message>
        <source>默认换向频率</source>
        <translation>Default commutation frequency</translation>
    </message>
    <message>
        <source>位置控制算法</source>
        <translation>Position control algorithm</translation>
    </message>
    <message>
        <source>电机额定电流</source>
        <translation>Rated current</translation>
    </message>
    <message>
        <source>最大负载电流</source>
        <translation>Max. load current</translation>
    </message>
    <message>
        <source>制动补偿电流</source>
        <translation>Brake compensation current</translation>
    </message>
    <message>
        <source>电机相序数据</source>
        <translation>Phase sequence</translation>
    </message>
    <message>
        <source>稳速控制算法</source>
        <translation>Speed control algorithm</translation>
    </message>
    <message>
        <source>位置控制允许误差</source>
        <translation>Position tolerance</translation>
    </message>
    <message>
        <source>脉冲</source>
        <translation>pulses</translation>
    </message>
    <message>
        <source>位置控制超调后进行校正</source>
        <translation>Correct position overshoot</translation>
    </message>
    <message>
        <source>电机极个数</source>
        <translation>Motor poles</translation>
    </message>
    <message>
        <source>个</source>
        <translation>poles</translation>
    </message>
    <message>
        <source>减速器减速比</source>
        <translation>Gear ratio</translation>
    </message>
    <message>
        <source>电机学习状态</source>
        <translation>Learning state</translation>
    </message>
    <message>
        <source>禁用电机学习功能</source>
        <translation>Disable motor learning</translation>
    </message>
    <message>
        <source>速度量程×10</source>
        <translation>Speed range ×10</translation>
    </message>
    <message>
        <source>常态自锁电流</source>
        <translation>Holding current</translation>
    </message>
    <message>
        <source>允许…倍最大负载电流输出</source>
        <translation>Allowed overload (× max. load current)</translation>
    </message>
    <message>
        <source>倍</source>
        <translation>×</translation>
    </message>
    <message>
        <source>…倍最大负载电流输出的时间</source>
        <translation>Overload duration</translation>
    </message>
    <message>
        <source>限位触发极性</source>
        <translation>Limit trigger polarity</translation>
    </message>
    <message>
        <source>数字信号极性</source>
        <translation>Digital signal polarity</translation>
    </message>
    <message>
        <source>电位器用法</source>
        <translation>Potentiometer use</translation>
    </message>
    <message>
        <source>脉冲信号类型</source>
        <translation>Pulse signal type</translation>
    </message>
    <message>
        <source>模拟信号类型</source>
        <translation>Analog signal type</translation>
    </message>
    <message>
        <source>逻辑电平类型</source>
        <translation>Logic level type</translation>
    </message>
    <message>
        <source>电位器电压范围 (下限)</source>
        <translation>Potentiometer voltage range (low)</translation>
    </message>
    <message>
        <source>电位器电压范围 (上限)</source>
        <translation>Potentiometer voltage range (high)</translation>
    </message>
    <message>
        <source>模拟信号范围 (下限)</source>
        <translation>Analog signal range (low)</translation>
    </message>
    <message>
        <source>模拟信号范围 (上限)</source>
        <translation>Analog signal range (high)</translation>
    </message>
    <message>
        <source>逻辑电平阈值</source>
        <translation>Logic level threshold</translation>
    </message>
    <message>
        <source>电压比较死区</source>
        <translation>Voltage comparison dead band</translation>
    </message>
    <message>
        <source>脉冲信号倍率</source>
        <translation>Pulse ratio</translation>
    </message>
    <message>
        <source>堵转停机时间</source>
        <translation>Stall stop time</translation>
    </message>
    <message>
        <source>485波特率</source>
        <translation>RS-485 baud rate</translation>
    </message>
    <message>
        <source>校验方式</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>通讯控制时禁止参数配置</source>
        <translation>Configuration locked under communication control</translation>
    </message>
    <message>
        <source>通讯中断制动时间</source>
        <translation>Brake time on communication loss</translation>
    </message>
    <message>
        <source>模拟信号调整 y=kx+b 的 k</source>
        <translation>Analog adjustment y=kx+b: k</translation>
    </message>
    <message>
        <source>模拟信号调整 y=kx+b 的 b</source>
        <translation>Analog adjustment y=kx+b: b</translation>
    </message>
    <message>
        <source>禁用蜂鸣器报警</source>
        <translation>Disable buzzer alarm</translation>
    </message>
    <message>
        <source>端口输入类型</source>
        <translation>Port input type</translation>
    </message>
    <message>
        <source>端口控制类型</source>
        <translation>Port control type</translation>
    </message>
    <message>
        <source>从站地址</source>
        <translation>Slave address</translation>
    </message>
    <message>
        <source>端口控制时485使用默认通讯参数</source>
        <translation>RS-485 uses default settings under port control</translation>
    </message>
    <message>
        <source>复位方式</source>
        <translation>Homing mode</translation>
    </message>
    <message>
        <source>启用复位细调</source>
        <translation>Fine homing</translation>
    </message>
    <message>
        <source>总行程</source>
        <translation>Total stroke</translation>
    </message>
    <message>
        <source>复位粗调速度</source>
        <translation>Homing coarse speed</translation>
    </message>
    <message>
        <source>Hz(脉冲/秒)</source>
        <translation>Hz (pulses/s)</translation>
    </message>
    <message>
        <source>复位细调速度</source>
        <translation>Homing fine speed</translation>
    </message>
    <message>
        <source>完成后速度</source>
        <translation>Speed after completion</translation>
    </message>
    <message>
        <source>忽略变化量低于…的输入信号</source>
        <translation>Ignore input changes below</translation>
    </message>
    <message>
        <source>限位后重新复位</source>
        <translation>Home again after a limit</translation>
    </message>
    <message>
        <source>复位时转矩</source>
        <translation>Homing torque</translation>
    </message>
    <message>
        <source>调速方式</source>
        <translation>Speed control mode</translation>
    </message>
    <message>
        <source>控制方式</source>
        <translation>Control mode</translation>
    </message>
    <message>
        <source>正转速度</source>
        <translation>Forward speed</translation>
    </message>
    <message>
        <source>反转速度</source>
        <translation>Reverse speed</translation>
    </message>
    <message>
        <source>自锁PID参数 Kp</source>
        <translation>Holding PID Kp</translation>
    </message>
    <message>
        <source>自锁PID参数 Ki</source>
        <translation>Holding PID Ki</translation>
    </message>
    <message>
        <source>自锁PID参数 Kd</source>
        <translation>Holding PID Kd</translation>
    </message>
    <message>
        <source>速度PID参数 Kp</source>
        <translation>Speed PID Kp</translation>
    </message>
    <message>
        <source>速度PID参数 Ki</source>
        <translation>Speed PID Ki</translation>
    </message>
    <message>
        <source>速度PID参数 Kd</source>
        <translation>Speed PID Kd</translation>
    </message>
    <message>
        <source>位置PID参数 Kp</source>
        <translation>Position PID Kp</translation>
    </message>
    <message>
        <source>位置PID参数 Ki</source>
        <translation>Position PID Ki</translation>
    </message>
    <message>
        <source>位置PID参数 Kd</source>
        <translation>Position PID Kd</translation>
    </message>
    <message>
        <source>过热关断</source>
        <translation>Over-temperature shutdown</translation>
    </message>
    <message>
        <source>过热限流</source>
        <translation>Over-temperature current limit</translation>
    </message>
    <message>
        <source>过压关断</source>
        <translation>Over-voltage shutdown</translation>
    </message>
    <message>
        <source>欠压关断</source>
        <translation>Under-voltage shutdown</translation>
    </message>
    <message>
        <source>过流关断</source>
        <translation>Over-current shutdown</translation>
    </message>
    <message>
        <source>霍尔错误</source>
        <translation>Hall error</translation>
    </message>
    <message>
        <source>电流环PID动态调节减小超调</source>
        <translation>Dynamic current-loop PID to reduce overshoot</translation>
    </message>
    <message>
        <source>当温度低于过热关断条件后清除过热报警</source>
        <translation>Clear the over-temperature alarm once below the shutdown temperature</translation>
    </message>
    <message>
        <source>温度校准 k</source>
        <translation>Temperature calibration k</translation>
    </message>
    <message>
        <source>温度校准 b</source>
        <translation>Temperature calibration b</translation>
    </message>
    <message>
        <source>电压校准 k</source>
        <translation>Voltage calibration k</translation>
    </message>
    <message>
        <source>电压校准 b</source>
        <translation>Voltage calibration b</translation>
    </message>
    <message>
        <source>通讯模式</source>
        <translation>Communication mode</translation>
    </message>
    <message>
        <source>节点ID</source>
        <translation>Node ID</translation>
    </message>
    <message>
        <source>CAN波特率</source>
        <translation>CAN baud rate</translation>
    </message>
    <message>
        <source>CANOpen自启动</source>
        <translation>CANopen auto start</translation>
    </message>
    <message>
        <source>心跳周期</source>
        <translation>Heartbeat period</translation>
    </message>
    <message>
        <source>电机控制</source>
        <translation>Motor control</translation>
    </message>
    <message>
        <source>电机参数</source>
        <translation>Motor parameters</translation>
    </message>
    <message>
        <source>系统参数</source>
        <translation>System parameters</translation>
    </message>
    <message>
        <source>通讯参数</source>
        <translation>Communication</translation>
    </message>
    <message>
        <source>往复运动</source>
        <translation>Reciprocation</translation>
    </message>
    <message>
        <source>PID参数</source>
        <translation>PID</translation>
    </message>
    <message>
        <source>安全保护</source>
        <translation>Protection</translation>
    </message>
    <message>
        <source>学习成功</source>
        <translation>Learning succeeded</translation>
    </message>
    <message>
        <source>学习失败</source>
        <translation>Learning failed</translation>
    </message>
    <message>
        <source>学习异常终止</source>
        <translation>Learning aborted</translation>
    </message>
</context>
<context>
    <name>driver/ConfigCompare</name>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
    <message>
        <source>寄存器 0x%04zX</source>
        <translation>Register 0x%04zX</translation>
    </message>
    <message>
        <source>映射对象数目</source>
        <translation>Mapped objects</translation>
    </message>
    <message>
        <source>映射对象 %zu</source>
        <translation>Mapped object %zu</translation>
    </message>
    <message>
        <source>通讯循环周期</source>
        <translation>Communication cycle period</translation>
    </message>
    <message>
        <source>同步窗口长度</source>
        <translation>Synchronous window length</translation>
    </message>
    <message>
        <source>通讯对象 </source>
        <translation>Communication object </translation>
    </message>
    <message>
        <source>设备信息</source>
        <translation>Device information</translation>
    </message>
</context>
<context>
    <name>driver/ConfigFile</name>
    <message>
        <source>应为文字、数字、true、false 或 null</source>
        <translation>must be a text, a number, true, false or null</translation>
    </message>
    <message>
        <source>%1 既不是 yes 也不是 no</source>
        <translation>%1 is neither yes nor no</translation>
    </message>
    <message>
        <source>%1 不是以下之一: %2</source>
        <translation>%1 is not one of: %2</translation>
    </message>
    <message>
        <source>%1 不是选项序号</source>
        <translation>%1 is not an item index</translation>
    </message>
    <message>
        <source>选项 %1 超出范围 (%2~%3)</source>
        <translation>item %1 is out of range (%2~%3)</translation>
    </message>
    <message>
        <source>%1 不是数字</source>
        <translation>%1 is not a number</translation>
    </message>
    <message>
        <source>%1 超出单精度数的范围</source>
        <translation>%1 is out of range for a single-precision number</translation>
    </message>
    <message>
        <source>%1 超出范围 (%2)</source>
        <translation>%1 is out of range (%2)</translation>
    </message>
    <message>
        <source>%1 不是数字 (%2)</source>
        <translation>%1 is not a number (%2)</translation>
    </message>
    <message>
        <source>%1 与其寄存器中的值 (&quot;%2&quot;) 不符, 此字段只能通过寄存器修改</source>
        <translation>%1 is not what its registers hold (&quot;%2&quot;), and this field can only be changed in the registers</translation>
    </message>
    <message>
        <source>应为对象</source>
        <translation>must be an object</translation>
    </message>
    <message>
        <source>不是此参数块的字段</source>
        <translation>not a field of this block</translation>
    </message>
    <message>
        <source>无法读取 &quot;%1&quot;: 文件没有说明其驱动器的速度单位是0.1 Hz还是1 Hz (device.speedUnitHz)</source>
        <translation>&quot;%1&quot; cannot be read: the file does not tell whether its driver counted speeds in tenths or in whole Hz (device.speedUnitHz)</translation>
    </message>
    <message>
        <source>%1 不是驱动器提供的取值</source>
        <translation>%1 is not one of the values the driver offers</translation>
    </message>
    <message>
        <source>顺序不符: </source>
        <translation>out of order: </translation>
    </message>
    <message>
        <source>&quot;%1&quot; 不是驱动器提供的取值: %2</source>
        <translation>&quot;%1&quot; is not one of the values the driver offers: %2</translation>
    </message>
    <message>
        <source>缺少</source>
        <translation>missing</translation>
    </message>
    <message>
        <source>应为0~%1的整数</source>
        <translation>must be a whole number from 0 to %1</translation>
    </message>
    <message>
        <source>%1 大于 %2</source>
        <translation>%1 is larger than %2</translation>
    </message>
    <message>
        <source>应为数组</source>
        <translation>must be an array</translation>
    </message>
    <message>
        <source>应为 true 或 false</source>
        <translation>must be true or false</translation>
    </message>
    <message>
        <source>应为JSON对象</source>
        <translation>must be a JSON object</translation>
    </message>
    <message>
        <source>应为 &quot;%1&quot;</source>
        <translation>must be &quot;%1&quot;</translation>
    </message>
    <message>
        <source>不支持版本 %1 (本程序读取版本 %2)</source>
        <translation>version %1 is not supported (this program reads %2)</translation>
    </message>
    <message>
        <source>未知的参数块</source>
        <translation>unknown block</translation>
    </message>
    <message>
        <source>此参数块不能写入</source>
        <translation>this block is not a writable parameter block</translation>
    </message>
    <message>
        <source>为 %1, 此参数块起始于 %2 (%3)</source>
        <translation>is %1, the block starts at %2 (%3)</translation>
    </message>
    <message>
        <source>有 %1 个值, 此参数块有 %2 个寄存器</source>
        <translation>has %1 values, the block has %2 registers</translation>
    </message>
    <message>
        <source>未知的PDO (应为RPDO1..RPDO4, TPDO1..TPDO4)</source>
        <translation>unknown PDO (RPDO1..RPDO4, TPDO1..TPDO4)</translation>
    </message>
    <message>
        <source>%2 应为 %1</source>
        <translation>must be %1 for %2</translation>
    </message>
    <message>
        <source>此处不应有子索引 %1 (应为1~个数, 递增, 不含4)</source>
        <translation>sub-index %1 is not expected here (1..count, ascending, not 4)</translation>
    </message>
    <message>
        <source>应为1~4</source>
        <translation>must be 1 to 4</translation>
    </message>
    <message>
        <source>有 %1 项; 应至少有个数 (%2) 项, 至多 %3 项</source>
        <translation>has %1 entries; it needs at least count (%2) and at most %3</translation>
    </message>
    <message>
        <source>没有可导入的参数块、PDO或SYNC对象</source>
        <translation>holds no blocks, PDOs or SYNC objects to import</translation>
    </message>
    <message>
        <source>设备没有对象 %1</source>
        <translation>the device has no object %1</translation>
    </message>
    <message>
        <source>设备的对象 %2 没有子索引 %1</source>
        <translation>the device has no sub-index %1 of object %2</translation>
    </message>
    <message>
        <source>映射对象 %1 个, 设备只有 %2 个映射项</source>
        <translation>%1 mapped objects, the device has %2 mapping entries</translation>
    </message>
</context>
<context>
    <name>driver/DeviceId</name>
    <message>
        <source>公司名称</source>
        <translation>Vendor name</translation>
    </message>
    <message>
        <source>产品代码</source>
        <translation>Product code</translation>
    </message>
    <message>
        <source>主要修订版本</source>
        <translation>Major/minor revision</translation>
    </message>
    <message>
        <source>供应商网址</source>
        <translation>Vendor URL</translation>
    </message>
    <message>
        <source>产品名称</source>
        <translation>Product name</translation>
    </message>
    <message>
        <source>模式名称</source>
        <translation>Model name</translation>
    </message>
    <message>
        <source>用户应用名称</source>
        <translation>User application name</translation>
    </message>
    <message>
        <source>扩展描述</source>
        <translation>Extended object</translation>
    </message>
</context>
<context>
    <name>driver/FieldInput</name>
    <message>
        <source>%1: 未填写 (%2)</source>
        <translation>%1: empty (%2)</translation>
    </message>
    <message>
        <source>%1: %2 不是数字 (%3)</source>
        <translation>%1: %2 is not a number (%3)</translation>
    </message>
    <message>
        <source>%1: %2 超出范围 (%3)</source>
        <translation>%1: %2 out of range (%3)</translation>
    </message>
    <message>
        <source>%1: 未填写</source>
        <translation>%1: empty</translation>
    </message>
    <message>
        <source>%1: %2 不是数字</source>
        <translation>%1: %2 is not a number</translation>
    </message>
    <message>
        <source>%1: %2 超出范围 (±3.40282e+38)</source>
        <translation>%1: %2 out of range (±3.40282e+38)</translation>
    </message>
    <message>
        <source>%1 应高于%2</source>
        <translation>%1 must be above %2</translation>
    </message>
    <message>
        <source>%1 不能大于%2</source>
        <translation>%1 must not be above %2</translation>
    </message>
    <message>
        <source>%1: %2 不是十六进制数 (%3)</source>
        <translation>%1: %2 is not hexadecimal (%3)</translation>
    </message>
    <message>
        <source>%1: %2 不是整数 (%3)</source>
        <translation>%1: %2 is not an integer (%3)</translation>
    </message>
</context>
<context>
    <name>driver/FileIo</name>
    <message>
        <source>文件名是符号链接, 不会跟随</source>
        <translation>the name is a symbolic link, which is not followed</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>文件或文件夹不存在</source>
        <translation>no such file or folder</translation>
    </message>
    <message>
        <source>没有访问权限</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>这是一个文件夹</source>
        <translation>it is a folder</translation>
    </message>
    <message>
        <source>磁盘空间不足</source>
        <translation>no space left on the disk</translation>
    </message>
    <message>
        <source>文件系统只读</source>
        <translation>read-only file system</translation>
    </message>
</context>
<context>
    <name>driver/Format</name>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>未学习</source>
        <translation>Not learned</translation>
    </message>
    <message>
        <source>堵转停止</source>
        <translation>Stalled</translation>
    </message>
    <message>
        <source>霍尔错误</source>
        <translation>Hall error</translation>
    </message>
    <message>
        <source>达不到目标速度</source>
        <translation>Target speed not reached</translation>
    </message>
    <message>
        <source>线圈错误</source>
        <translation>Winding error</translation>
    </message>
    <message>
        <source>过流关断</source>
        <translation>Over-current shutdown</translation>
    </message>
    <message>
        <source>过热关断</source>
        <translation>Over-temperature shutdown</translation>
    </message>
    <message>
        <source>过压关断</source>
        <translation>Over-voltage shutdown</translation>
    </message>
    <message>
        <source>欠压关断</source>
        <translation>Under-voltage shutdown</translation>
    </message>
    <message>
        <source>短路/过流关断</source>
        <translation>Short-circuit/over-current shutdown</translation>
    </message>
    <message>
        <source>制动电流异常</source>
        <translation>Brake current fault</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>高</source>
        <translation>High</translation>
    </message>
    <message>
        <source>低</source>
        <translation>Low</translation>
    </message>
</context>
<context>
    <name>driver/FrameDecode</name>
    <message>
        <source>寄存器 0x%04X</source>
        <translation>Register 0x%04X</translation>
    </message>
    <message>
        <source>设备信息</source>
        <translation>Device information</translation>
    </message>
    <message>
        <source>实时状态</source>
        <translation>Real-time status</translation>
    </message>
    <message>
        <source>电机学习</source>
        <translation>Motor learning</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>方式 %u</source>
        <translation>mode %u</translation>
    </message>
    <message>
        <source>占空比运行</source>
        <translation>Run at duty cycle</translation>
    </message>
    <message>
        <source>频率运行</source>
        <translation>Run at frequency</translation>
    </message>
    <message>
        <source>位置运动</source>
        <translation>Move to position</translation>
    </message>
    <message>
        <source>%d 脉冲 (%s), </source>
        <translation>%d pulses (%s), </translation>
    </message>
    <message>
        <source>相对</source>
        <translation>relative</translation>
    </message>
    <message>
        <source>绝对</source>
        <translation>absolute</translation>
    </message>
    <message>
        <source>清除位置</source>
        <translation>Clear position</translation>
    </message>
    <message>
        <source>往复运动命令</source>
        <translation>Reciprocation command</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>start</translation>
    </message>
    <message>
        <source>结束</source>
        <translation>end</translation>
    </message>
    <message>
        <source>SDO应答</source>
        <translation>SDO response</translation>
    </message>
    <message>
        <source>SDO请求</source>
        <translation>SDO request</translation>
    </message>
    <message>
        <source>设备识别</source>
        <translation>Device identification</translation>
    </message>
    <message>
        <source>请求帧格式错误</source>
        <translation>Malformed request frame</translation>
    </message>
    <message>
        <source>正常停止</source>
        <translation>Normal stop</translation>
    </message>
    <message>
        <source>紧急停止</source>
        <translation>Emergency stop</translation>
    </message>
    <message>
        <source>自由停止</source>
        <translation>Free-wheel stop</translation>
    </message>
    <message>
        <source>子索引数</source>
        <translation>Number of sub-indexes</translation>
    </message>
    <message>
        <source>传输类型</source>
        <translation>Transmission type</translation>
    </message>
    <message>
        <source>禁止时间</source>
        <translation>Inhibit time</translation>
    </message>
    <message>
        <source>保留</source>
        <translation>Reserved</translation>
    </message>
    <message>
        <source>事件时间</source>
        <translation>Event timer</translation>
    </message>
    <message>
        <source>SYNC起始值</source>
        <translation>SYNC start value</translation>
    </message>
    <message>
        <source> 映射 </source>
        <translation> mapping </translation>
    </message>
    <message>
        <source> 通讯参数 </source>
        <translation> communication </translation>
    </message>
    <message>
        <source>映射数量</source>
        <translation>Mapped objects</translation>
    </message>
    <message>
        <source>映射对象%u</source>
        <translation>mapped object %u</translation>
    </message>
    <message>
        <source>子索引%u</source>
        <translation>sub-index %u</translation>
    </message>
    <message>
        <source>SYNC 通讯间隔时间</source>
        <translation>SYNC communication cycle period</translation>
    </message>
    <message>
        <source>SYNC 同步窗口长度</source>
        <translation>SYNC synchronous window length</translation>
    </message>
    <message>
        <source>存储 全部参数</source>
        <translation>Store all parameters</translation>
    </message>
    <message>
        <source>存储 通讯参数</source>
        <translation>Store communication parameters</translation>
    </message>
    <message>
        <source>存储 子索引%u</source>
        <translation>Store sub-index %u</translation>
    </message>
    <message>
        <source>终止</source>
        <translation>Abort</translation>
    </message>
    <message>
        <source>写入确认</source>
        <translation>Write confirmed</translation>
    </message>
    <message>
        <source>读取应答 (%d字节)</source>
        <translation>Read response (%d byte(s))</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>写单字节</source>
        <translation>Write 1 byte</translation>
    </message>
    <message>
        <source>写双字节</source>
        <translation>Write 2 bytes</translation>
    </message>
    <message>
        <source>写三字节</source>
        <translation>Write 3 bytes</translation>
    </message>
    <message>
        <source>写四字节</source>
        <translation>Write 4 bytes</translation>
    </message>
    <message>
        <source>命令 0x%02X</source>
        <translation>Command 0x%02X</translation>
    </message>
    <message>
        <source>空帧</source>
        <translation>Empty frame</translation>
    </message>
    <message>
        <source>请求CRC错误</source>
        <translation>Request CRC error</translation>
    </message>
    <message>
        <source>应答CRC错误</source>
        <translation>Reply CRC error</translation>
    </message>
    <message>
        <source>读</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>写</source>
        <translation>Write</translation>
    </message>
    <message>
        <source> (0x%04X, %u个)</source>
        <translation> (0x%04X, quantity %u)</translation>
    </message>
    <message>
        <source>应答与请求不符</source>
        <translation>Reply does not match the request</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>No reply</translation>
    </message>
    <message>
        <source>功能码 0x%02X</source>
        <translation>Function code 0x%02X</translation>
    </message>
    <message>
        <source>从站%u %s</source>
        <translation>Slave %u %s</translation>
    </message>
    <message>
        <source>非RTU帧</source>
        <translation>Not an RTU frame</translation>
    </message>
</context>
<context>
    <name>driver/Json</name>
    <message>
        <source>第%1行, 第%2列</source>
        <translation>line %1, column %2</translation>
    </message>
    <message>
        <source>嵌套太深 (超过64层)</source>
        <translation>nesting too deep (more than 64 levels)</translation>
    </message>
    <message>
        <source>重复的成员 &quot;%1&quot;</source>
        <translation>duplicate member &quot;%1&quot;</translation>
    </message>
    <message>
        <source>不是有效的JSON (%1)</source>
        <translation>not valid JSON (%1)</translation>
    </message>
</context>
<context>
    <name>driver/Sdo</name>
    <message>
        <source>触发位没有交替改变</source>
        <translation>Toggle bit not alternated</translation>
    </message>
    <message>
        <source>SDO协议超时</source>
        <translation>SDO protocol timed out</translation>
    </message>
    <message>
        <source>非法或未知的Client/Server命令字</source>
        <translation>Client/server command specifier not valid or unknown</translation>
    </message>
    <message>
        <source>无效的块大小（仅Block Transfer模式）</source>
        <translation>Invalid block size (block mode only)</translation>
    </message>
    <message>
        <source>无效的序号（仅Block Transfer模式）</source>
        <translation>Invalid sequence number (block mode only)</translation>
    </message>
    <message>
        <source>CRC错误（仅Block Transfer模式）</source>
        <translation>CRC error (block mode only)</translation>
    </message>
    <message>
        <source>内存溢出</source>
        <translation>Out of memory</translation>
    </message>
    <message>
        <source>对象不支持访问</source>
        <translation>Unsupported access to an object</translation>
    </message>
    <message>
        <source>试图读只写对象</source>
        <translation>Attempt to read a write-only object</translation>
    </message>
    <message>
        <source>试图写只读对象</source>
        <translation>Attempt to write a read-only object</translation>
    </message>
    <message>
        <source>对象字典中对象不存在</source>
        <translation>Object does not exist in the object dictionary</translation>
    </message>
    <message>
        <source>对象不能够映射到PDO</source>
        <translation>Object cannot be mapped to the PDO</translation>
    </message>
    <message>
        <source>映射的对象的数目和长度超出PDO长度</source>
        <translation>The number and length of the objects to be mapped would exceed the PDO length</translation>
    </message>
    <message>
        <source>一般性参数不兼容</source>
        <translation>General parameter incompatibility</translation>
    </message>
    <message>
        <source>一般性设备内部不兼容</source>
        <translation>General internal incompatibility in the device</translation>
    </message>
    <message>
        <source>硬件错误导致对象访问失败</source>
        <translation>Access failed due to a hardware error</translation>
    </message>
    <message>
        <source>数据类型不匹配，服务参数长度不匹配</source>
        <translation>Data type does not match, length of service parameter does not match</translation>
    </message>
    <message>
        <source>数据类型不匹配，服务参数长度太大</source>
        <translation>Data type does not match, length of service parameter too high</translation>
    </message>
    <message>
        <source>数据类型不匹配，服务参数长度太短</source>
        <translation>Data type does not match, length of service parameter too low</translation>
    </message>
    <message>
        <source>子索引不存在</source>
        <translation>Sub-index does not exist</translation>
    </message>
    <message>
        <source>超出参数的值范围(写访问时)</source>
        <translation>Value range of parameter exceeded (write access)</translation>
    </message>
    <message>
        <source>写入参数数值太大</source>
        <translation>Value of parameter written too high</translation>
    </message>
    <message>
        <source>写入参数数值太小</source>
        <translation>Value of parameter written too low</translation>
    </message>
    <message>
        <source>最大值小于最小值</source>
        <translation>Maximum value is less than minimum value</translation>
    </message>
    <message>
        <source>一般性错误</source>
        <translation>General error</translation>
    </message>
    <message>
        <source>数据不能传送或保存到应用</source>
        <translation>Data cannot be transferred or stored to the application</translation>
    </message>
    <message>
        <source>由于本地控制导致数据不能传送或保存到应用</source>
        <translation>Data cannot be transferred or stored to the application because of local control</translation>
    </message>
    <message>
        <source>由于当前设备状态导致数据不能传送或保存到应用</source>
        <translation>Data cannot be transferred or stored to the application because of the present device state</translation>
    </message>
    <message>
        <source>对象字典动态产生错误或对象字典不存在</source>
        <translation>Object dictionary dynamic generation failed or no object dictionary is present</translation>
    </message>
    <message>
        <source>未定义终止码(0x%08X)</source>
        <translation>Undefined abort code (0x%08X)</translation>
    </message>
</context>
<context>
    <name>driver/StepResponse</name>
    <message>
        <source>采样点太少</source>
        <translation>too few samples</translation>
    </message>
    <message>
        <source>目标与起点相同</source>
        <translation>no change asked for</translation>
    </message>
    <message>
        <source>输出没有朝目标变化</source>
        <translation>the output did not move toward the target</translation>
    </message>
</context>
<context>
    <name>driver/StepRun</name>
    <message>
        <source>驱动器报告错误状态 %1</source>
        <translation>the driver reports error state %1</translation>
    </message>
    <message>
        <source>电机正在运行 (%1 Hz)</source>
        <translation>the motor is running (%1 Hz)</translation>
    </message>
    <message>
        <source>%1 Hz 超出电机的最大换向频率 (motor.max_commutation_frequency, %2 Hz)</source>
        <translation>%1 Hz is beyond the motor&apos;s maximum commutation frequency (motor.max_commutation_frequency, %2 Hz)</translation>
    </message>
    <message>
        <source>%1 Hz 超出频率寄存器的范围</source>
        <translation>%1 Hz does not fit the frequency register</translation>
    </message>
    <message>
        <source>电机的最大换向频率为0: 无法运行位置运动</source>
        <translation>the motor&apos;s maximum commutation frequency is 0: no move can run</translation>
    </message>
    <message>
        <source>位置 %1 超出32位位置寄存器的范围</source>
        <translation>position %1 is beyond the 32-bit position register</translation>
    </message>
    <message>
        <source>电机已在 %1 %2</source>
        <translation>the motor is at %1 %2 already</translation>
    </message>
    <message>
        <source>脉冲</source>
        <translation>pulses</translation>
    </message>
</context>
<context>
    <name>modbus/ResultText</name>
    <message>
        <source>操作成功</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>非法功能号</source>
        <translation>Illegal function</translation>
    </message>
    <message>
        <source>非法寄存器地址</source>
        <translation>Illegal data address</translation>
    </message>
    <message>
        <source>非法数据值</source>
        <translation>Illegal data value</translation>
    </message>
    <message>
        <source>操作失败</source>
        <translation>Slave device failure</translation>
    </message>
    <message>
        <source>请求已被确认</source>
        <translation>Acknowledge</translation>
    </message>
    <message>
        <source>设备忙</source>
        <translation>Slave device busy</translation>
    </message>
    <message>
        <source>奇偶检验错误</source>
        <translation>Memory parity error</translation>
    </message>
    <message>
        <source>网关路径不可用</source>
        <translation>Gateway path unavailable</translation>
    </message>
    <message>
        <source>网关目标设备响应失败</source>
        <translation>Gateway target device failed to respond</translation>
    </message>
    <message>
        <source>不允许操作</source>
        <translation>Operation not allowed</translation>
    </message>
    <message>
        <source>请先对电机进行学习</source>
        <translation>Learn the motor first</translation>
    </message>
    <message>
        <source>串口未打开</source>
        <translation>Serial port not open</translation>
    </message>
    <message>
        <source>应答错误</source>
        <translation>Reply error</translation>
    </message>
    <message>
        <source>通讯超时</source>
        <translation>Time-out</translation>
    </message>
    <message>
        <source>要发送的数据过长</source>
        <translation>Data to send too long</translation>
    </message>
    <message>
        <source>未定义错误(%02X)</source>
        <translation>Undefined error (%02X)</translation>
    </message>
</context>
<context>
    <name>serial/PortError</name>
    <message>
        <source>设备不存在</source>
        <translation>No such device</translation>
    </message>
    <message>
        <source>没有权限 (请把用户加入 dialout 组)</source>
        <translation>No permission (add the user to the dialout group)</translation>
    </message>
    <message>
        <source>串口已被其他程序占用</source>
        <translation>Port in use by another program</translation>
    </message>
    <message>
        <source>不是串口设备</source>
        <translation>Not a serial device</translation>
    </message>
    <message>
        <source>串口参数无效</source>
        <translation>Invalid serial settings</translation>
    </message>
    <message>
        <source>系统错误</source>
        <translation>System error</translation>
    </message>
</context>
</TS>
