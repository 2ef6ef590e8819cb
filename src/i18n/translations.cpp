#include "i18n/translations.h"

namespace {

struct Row
{
    const char *chinese;
    const char *english;
    const char *german;
};

// clang-format off
const Row kTable[] = {
    {"%1 已关闭", "%1 closed", "%1 geschlossen"}, // 0
    {"%1 已打开, %2, %3, %4, %5, %6", "%1 opened, %2, %3, %4, %5, %6", "%1 geöffnet, %2, %3, %4, %5, %6"}, // 1
    {"MOS高温", "MOS High Temp", "MOS-Übertemperatur"}, // 2
    {"WorkState: 未知状态 - HEX:", "WorkState: Unknown status - HEX:", "WorkState: Unbekannter Zustand - HEX:"}, // 3
    {"[%1] %2 拒绝访问!", "[%1] %2 access denied!", "[%1] %2 Zugriff verweigert!"}, // 4
    {"[%1] %2CRC错误！", "[%1] %2 CRC error!", "[%1] %2 CRC-Fehler!"}, // 5
    {"[%1] %2总线繁忙！", "[%1] %2 bus busy!", "[%1] %2 Bus belegt!"}, // 6
    {"[%1] %2通讯超时！", "[%1] %2 communication timeout!", "[%1] %2 Kommunikationszeitüberschreitung!"}, // 7
    {"[%1] %2错误: %3", "[%1] %2 error: %3", "[%1] %2 Fehler: %3"}, // 8
    {"中文", "Chinese", "Chinesisch"}, // 9
    {"串口接口未初始化！", "Serial interface is not initialized.", "Die serielle Schnittstelle ist nicht initialisiert."}, // 10
    {"停止", "Stop", "Stoppen"}, // 11
    {"充电", "Charging", "Laden"}, // 12
    {"充电低温", "Charge Low Temp", "Lade-Niedrigtemperatur"}, // 13
    {"充电过流", "Charge Overcurrent", "Ladeüberstrom"}, // 14
    {"充电高温", "Charge High Temp", "Lade-Übertemperatur"}, // 15
    {"关闭", "Off", "Aus"}, // 16
    {"切换协议失败: %1", "Failed to switch protocol: %1", "Protokollwechsel fehlgeschlagen: %1"}, // 17
    {"剩余容量", "Remaining Capacity", "Restkapazität"}, // 18
    {"剩余时间", "Remaining Time", "Restzeit"}, // 19
    {"健康度", "Health", "Gesundheit"}, // 20
    {"循环次数", "Cycle Count", "Zyklenanzahl"}, // 21
    {"放电次数", "Discharge Count", "Entladeanzahl"}, // 22
    {"容量", "Capacity", "Kapazität"}, // 23
    {"满充容量", "Full Charge Capacity", "Voll-Ladekapazität"}, // 24
    {"日期", "Date", "Datum"}, // 25
    {"时间", "Time", "Zeit"}, // 26
    {"状态", "Status", "Status"}, // 27
    {"最低电芯", "Lowest Cell", "Niedrigste Zelle"}, // 28
    {"最高电芯", "Highest Cell", "Höchste Zelle"}, // 29
    {"最大容量误差", "Max Capacity Error", "Max. Kapazitätsabweichung"}, // 30
    {"最大电芯电压", "Highest Cell Voltage", "Höchste Zellspannung"}, // 31
    {"最小电芯电压", "Lowest Cell Voltage", "Niedrigste Zellspannung"}, // 32
    {"电池数量", "Battery Units", "Batterieanzahl"}, // 33
    {"电池组电压", "Battery Pack Voltage", "Batteriespannung"}, // 34
    {"电池组电流", "Battery Pack Current", "Batteriestrom"}, // 35
    {"加热中", "Heating", "Heizen"}, // 36
    {"协议版本", "Protocol Version", "Protokollversion"}, // 37
    {"协议管理器未初始化！", "Protocol manager is not initialized.", "Der Protokollmanager ist nicht initialisiert."}, // 38
    {"协议：", "Protocol:", "Protokoll:"}, // 39
    {"双击清除发送统计", "Double-click to clear Tx stats", "Doppelklick zum Zurücksetzen der Sendungszähler"}, // 40
    {"双击清除接收统计", "Double-click to clear Rx stats", "Doppelklick zum Zurücksetzen der Empfangszähler"}, // 41
    {"发送:", "Tx:", "Senden:"}, // 42
    {"均衡中", "Balancing", "Ausgleich aktiv"}, // 43
    {"学习状态", "Learning Status", "Lernstatus"}, // 44
    {"实时导出", "Real-time Export", "Echtzeit-Export"}, // 45
    {"实时数据", "Real-time Data", "Echtzeitdaten"}, // 46
    {"宽度自适应", "Auto Width", "Auto-Breite"}, // 47
    {"导出", "Export", "Exportieren"}, // 48
    {"工作状态", "Operating State", "Betriebsstatus"}, // 49
    {"已切换到协议: %1", "Switched to protocol: %1", "Zu Protokoll gewechselt: %1"}, // 50
    {"开启", "On", "Ein"}, // 51
    {"开始", "Start", "Starten"}, // 52
    {"德文", "German", "Deutsch"}, // 53
    {"总电压", "Total Voltage", "Gesamtspannung"}, // 54
    {"总电流", "Total Current", "Gesamtstrom"}, // 55
    {"总记录数：", "Total Records:", "Gesamtanzahl:"}, // 56
    {"成功", "Success", "Erfolg"}, // 57
    {"打开串口异常: %1", "Failed to open port: %1", "Öffnen des Ports fehlgeschlagen: %1"}, // 58
    {"打开串口时发生未知错误", "An unknown error occurred while opening the port.", "Beim Öffnen des Ports ist ein unbekannter Fehler aufgetreten."}, // 59
    {"打开端口失败，请检查是否已被占用！", "Failed to open the port. Please check if it is already in use.", "Port konnte nicht geöffnet werden. Bitte prüfen, ob er bereits verwendet wird."}, // 60
    {"接收:", "Rx:", "Empfangen:"}, // 61
    {"接收时间:", "Receive Time:", "Empfangszeit:"}, // 62
    {"提示", "Info", "Hinweis"}, // 63
    {"放电", "Discharging", "Entladen"}, // 64
    {"放电低温", "Discharge Low Temp", "Entlade-Niedrigtemperatur"}, // 65
    {"放电过流", "Discharge Overcurrent", "Entladeüberstrom"}, // 66
    {"放电高温", "Discharge High Temp", "Entlade-Übertemperatur"}, // 67
    {"数据采集", "Data Capture", "Datenerfassung"}, // 68
    {"无法加载协议文件，请确保 protocols 目录存在并包含有效的协议配置文件。\n路径: %1", "Unable to load protocol files. Ensure the protocols directory exists and contains valid configuration files.\nPath: %1", "Protokolldateien konnten nicht geladen werden. Stellen Sie sicher, dass das Verzeichnis \"protocols\" existiert und gültige Dateien enthält.\nPfad: %1"}, // 69
    {"是否清除发送数据统计？", "Clear send statistics?", "Sendestatistik löschen?"}, // 70
    {"是否清除接收数据统计？", "Clear receive statistics?", "Empfangsstatistik löschen?"}, // 71
    {"最低温度", "Lowest Temp", "Niedrigste Temperatur"}, // 72
    {"最大电压", "Max Voltage", "Max. Spannung"}, // 73
    {"最小电压", "Min Voltage", "Min. Spannung"}, // 74
    {"电压差值", "Voltage Diff", "Spannungsdifferenz"}, // 75
    {"最高温度", "Highest Temp", "Höchste Temperatur"}, // 76
    {"未找到可用串口", "No free serial port found", "Keine freie serielle Schnittstelle gefunden"}, // 77
    {"未连接！", "Not Connected!", "Nicht verbunden!"}, // 78
    {"正常待机", "Standby", "Standby"}, // 79
    {"没有加载协议配置，请先选择协议！", "No protocol configuration loaded. Please select a protocol first.", "Keine Protokollkonfiguration geladen. Bitte wählen Sie zuerst ein Protokoll."}, // 80
    {"波特率：", "Baud Rate:", "Baudrate:"}, // 81
    {"Brevon数据采集器 V2.29", "Brevon Data Collector V2.29", "Brevon Datenerfasser V2.29"}, // 82
    {"清除", "Clear", "Löschen"}, // 83
    {"清除统计", "Reset Counters", "Zähler zurücksetzen"}, // 84
    {"温度1", "Temp 1", "Temp 1"}, // 85
    {"温度2", "Temp 2", "Temp 2"}, // 86
    {"温度3", "Temp 3", "Temp 3"}, // 87
    {"温度4", "Temp 4", "Temp 4"}, // 88
    {"电池串数", "Battery Count", "Anzahl Zellen"}, // 89
    {"电芯1", "Cell 1", "Zelle 1"}, // 90
    {"电芯10", "Cell 10", "Zelle 10"}, // 91
    {"电芯11", "Cell 11", "Zelle 11"}, // 92
    {"电芯12", "Cell 12", "Zelle 12"}, // 93
    {"电芯13", "Cell 13", "Zelle 13"}, // 94
    {"电芯14", "Cell 14", "Zelle 14"}, // 95
    {"电芯15", "Cell 15", "Zelle 15"}, // 96
    {"电芯16", "Cell 16", "Zelle 16"}, // 97
    {"电芯2", "Cell 2", "Zelle 2"}, // 98
    {"电芯3", "Cell 3", "Zelle 3"}, // 99
    {"电芯4", "Cell 4", "Zelle 4"}, // 100
    {"电芯5", "Cell 5", "Zelle 5"}, // 101
    {"电芯6", "Cell 6", "Zelle 6"}, // 102
    {"电芯7", "Cell 7", "Zelle 7"}, // 103
    {"电芯8", "Cell 8", "Zelle 8"}, // 104
    {"电芯9", "Cell 9", "Zelle 9"}, // 105
    {"短路", "Short Circuit", "Kurzschluss"}, // 106
    {"端口已经移除，请重新选择端口！", "Port removed, please reselect!", "Port entfernt, bitte erneut auswählen!"}, // 107
    {"端口：", "Port:", "Port:"}, // 108
    {"自动滚动", "Auto Scroll", "Auto-Scrollen"}, // 109
    {"英文", "English", "Englisch"}, // 110
    {"蓝牙", "Bluetooth", "Bluetooth"}, // 111
    {"警告", "Warning", "Warnung"}, // 112
    {"设计容量", "Design Capacity", "Designkapazität"}, // 113
    {"语言：", "Language:", "Sprache:"}, // 114
    {"请先停止数据采集再切换协议", "Stop data acquisition before switching protocols", "Bitte stoppen Sie die Datenerfassung, bevor Sie das Protokoll wechseln."}, // 115
    {"过充", "Overcharge", "Überladung"}, // 116
    {"过放", "Overdischarge", "Tiefentladung"}, // 117
    {"采集频率：", "Polling Interval:", "Abfrageintervall:"}, // 118
    {"错误", "Error", "Fehler"}, // 119
    {"待机", "Standby", "Standby"}, // 120
    {"正在充电", "Charging...", "Wird geladen..."}, // 121
    {"正在放电", "Discharging...", "Wird entladen..."}, // 122
    {"过放保护", "Overdischarge protection", "Tiefentladungsschutz"}, // 123
    {"过压保护", "Overvoltage protection", "Überspannungsschutz"}, // 124
    {"短路保护", "Short-circuit protection", "Kurzschlussschutz"}, // 125
    {"充放电同时低温保护", "Charge/discharge low-temp protection", "Lade-/Entlade-Niedertemperaturschutz"}, // 126
    {"充放电同时高温保护", "Charge/discharge high-temp protection", "Lade-/Entlade-Hochtemperaturschutz"}, // 127
    {"MOS管高温", "MOSFET overheat", "MOSFET-Übertemperatur"}, // 128
    {"未知状态(0x%1)", "Unknown state (0x%1)", "Unbekannter Zustand (0x%1)"}, // 129
    {"无数据", "No data", "Keine Daten"}, // 130
    {"电芯编号 (1-%1)", "Cell index (1-%1)", "Zellindex (1-%1)"}, // 131
    {"最大: %1 mV", "Max: %1 mV", "Max: %1 mV"}, // 132
    {"平均: %1 mV", "Avg: %1 mV", "Durchschnitt: %1 mV"}, // 133
    {"最小: %1 mV", "Min: %1 mV", "Min: %1 mV"}, // 134
    {"关于", "About", "Über"}, // 135
    {"关于 Cellscribe", "About Cellscribe", "Über Cellscribe"}, // 136
    {"关于Qt", "About Qt", "Über Qt"}, // 137
    {"版本信息", "Version Information", "Versionsinformationen"}, // 138
    {"编译信息", "Build Information", "Build-Informationen"}, // 139
    {"应用版本：", "Application Version:", "Anwendungsversion:"}, // 140
    {"编译时间：", "Build Time:", "Build-Zeit:"}, // 141
    {"编译器：", "Compiler:", "Compiler:"}, // 142
    {"Qt版本：", "Qt Version:", "Qt-Version:"}, // 143
    {"关闭", "Close", "Schließen"}, // 144
    // Acquisition engine and cellscribe-record
    {"用法：", "Usage:", "Aufruf:"}, // 145
    {"轮询 BMS 并记录，无窗口。", "Polls a BMS and records it, without a window.", "Fragt ein BMS ab und zeichnet auf, ohne Fenster."}, // 146
    {"选项：", "Options:", "Optionen:"}, // 147
    {"退出码：", "Exit codes:", "Exit-Codes:"}, // 148
    {"0 正常结束（--duration、--frames、SIGINT 或 SIGTERM）", "0 normal end (--duration, --frames, SIGINT or SIGTERM)", "0 normales Ende (--duration, --frames, SIGINT oder SIGTERM)"}, // 149
    {"1 参数错误、协议无法加载或 CSV 文件不可用", "1 bad arguments, a protocol that does not load, or a CSV file that cannot be used", "1 ungültige Argumente, ein Protokoll, das sich nicht laden lässt, oder eine unbrauchbare CSV-Datei"}, // 150
    {"2 启动时端口无法打开（使用 --no-reconnect 时）", "2 the port does not open at start (with --no-reconnect)", "2 der Port lässt sich beim Start nicht öffnen (mit --no-reconnect)"}, // 151
    {"3 端口丢失（使用 --no-reconnect 时）", "3 the port was lost (with --no-reconnect)", "3 der Port ging verloren (mit --no-reconnect)"}, // 152
    {"命令行无效：%1", "invalid command line: %1", "ungültige Befehlszeile: %1"}, // 153
    {"无法识别的参数：%1", "unknown argument: %1", "unbekanntes Argument: %1"}, // 154
    {"--language 取 zh、en 或 de，而不是 %1", "--language takes zh, en or de, not %1", "--language erwartet zh, en oder de, nicht %1"}, // 155
    {"缺少 --port", "--port is missing", "--port fehlt"}, // 156
    {"缺少 --protocol", "--protocol is missing", "--protocol fehlt"}, // 157
    {"波特率必须是 9600、19200、38400 或 115200，而不是 %1", "the baud rate must be 9600, 19200, 38400 or 115200, not %1", "die Baudrate muss 9600, 19200, 38400 oder 115200 sein, nicht %1"}, // 158
    {"无效的间隔 %1：应为“200 ms”、“1 s”等，或 100 到 3600000 毫秒", "invalid interval %1: use \"200 ms\", \"1 s\", ... or 100 to 3600000 milliseconds", "ungültiges Intervall %1: \"200 ms\", \"1 s\", ... oder 100 bis 3600000 Millisekunden angeben"}, // 159
    {"--duration 取正数秒数，而不是 %1", "--duration takes a positive number of seconds, not %1", "--duration erwartet eine positive Zahl von Sekunden, nicht %1"}, // 160
    {"--frames 取正整数，而不是 %1", "--frames takes a positive whole number, not %1", "--frames erwartet eine positive ganze Zahl, nicht %1"}, // 161
    {"轮询的串口：系统名称（COM3、ttyUSB0）或路径（伪终端、链接）", "Serial port to poll: a system name (COM3, ttyUSB0) or a path (a pseudo-terminal, a link)", "Abzufragender serieller Port: ein Systemname (COM3, ttyUSB0) oder ein Pfad (Pseudo-Terminal, Link)"}, // 162
    {"协议文件，或应用程序 protocols 目录中的协议名称", "Protocol file, or a protocol name from the application's protocols directory", "Protokolldatei oder ein Protokollname aus dem protocols-Verzeichnis der Anwendung"}, // 163
    {"轮询的指令（默认：协议的当前指令）", "Command to poll (default: the protocol's active command)", "Abzufragender Befehl (Standard: der aktive Befehl des Protokolls)"}, // 164
    {"波特率：9600、19200、38400 或 115200（默认 9600）", "Baud rate: 9600, 19200, 38400 or 115200 (default 9600)", "Baudrate: 9600, 19200, 38400 oder 115200 (Standard 9600)"}, // 165
    {"轮询间隔：窗口中的间隔文字（“200 ms”、“1 s”、“1 min”…）或 100 到 3600000 毫秒（默认 1000）", "Polling interval: the window's interval texts (\"200 ms\", \"1 s\", \"1 min\", ...) or 100 to 3600000 milliseconds (default 1000)", "Abfrageintervall: die Intervalltexte des Fensters (\"200 ms\", \"1 s\", \"1 min\", ...) oder 100 bis 3600000 Millisekunden (Standard 1000)"}, // 166
    {"逐行追加实时表到 CSV 文件（与窗口的导出相同）", "Append the real-time table to a CSV file row by row (as the window exports it)", "Echtzeittabelle zeilenweise an eine CSV-Datei anhängen (wie der Export des Fensters)"}, // 167
    {"CSV 与消息的语言：zh（默认）、en 或 de", "Language of the CSV and the messages: zh (default), en or de", "Sprache der CSV-Datei und der Meldungen: zh (Standard), en oder de"}, // 168
    {"运行指定秒数后结束", "End after this many seconds", "Nach so vielen Sekunden beenden"}, // 169
    {"应答 N 帧（N 行）后结束", "End after N answered frames (N table rows)", "Nach N beantworteten Rahmen (N Tabellenzeilen) beenden"}, // 170
    {"端口丢失时结束（退出码 3），不重连", "End when the port is lost (exit code 3) instead of reconnecting", "Bei Verlust des Ports beenden (Exit-Code 3), statt neu zu verbinden"}, // 171
    {"不输出每 10 秒的状态行", "No status line every 10 seconds", "Keine Statuszeile alle 10 Sekunden"}, // 172
    {"显示帮助", "Show this help", "Diese Hilfe anzeigen"}, // 173
    {"显示版本", "Show the version", "Version anzeigen"}, // 174
    {"协议文件 %1 无法加载：%2", "protocol file %1 does not load: %2", "Protokolldatei %1 lässt sich nicht laden: %2"}, // 175
    {"未知协议 %1（%2 中可用：%3）", "unknown protocol %1 (available in %2: %3)", "unbekanntes Protokoll %1 (verfügbar in %2: %3)"}, // 176
    {"协议 %1 中没有指令 %2 的请求", "protocol %1 has no request for command %2", "Protokoll %1 hat keine Anfrage für den Befehl %2"}, // 177
    {"CSV 文件 %1 无法使用：%2", "CSV file %1 cannot be used: %2", "CSV-Datei %1 ist nicht verwendbar: %2"}, // 178
    {"端口 %1 无法打开：%2", "port %1 does not open: %2", "Port %1 lässt sich nicht öffnen: %2"}, // 179
    {"[%1] 端口 %2 无法打开（%3），等待其出现…", "[%1] port %2 does not open (%3); waiting for it...", "[%1] Port %2 lässt sich nicht öffnen (%3); warte darauf ..."}, // 180
    {"[%1] CSV 写入失败：%2（%3）", "[%1] CSV write failed: %2 (%3)", "[%1] CSV-Schreiben fehlgeschlagen: %2 (%3)"}, // 181
    {"[%1] CSV 恢复写入：%2", "[%1] CSV writing again: %2", "[%1] CSV wird wieder geschrieben: %2"}, // 182
    {"[%1] 开始记录：%2，%3 波特，间隔 %4 ms，指令 %5", "[%1] recording started: %2, %3 baud, every %4 ms, command %5", "[%1] Aufzeichnung gestartet: %2, %3 Baud, alle %4 ms, Befehl %5"}, // 183
    {"[%1] 端口丢失：%2", "[%1] port lost: %2", "[%1] Port verloren: %2"}, // 184
    {"[%1] 已重新连接：%2", "[%1] reconnected: %2", "[%1] wieder verbunden: %2"}, // 185
    {"[%1] 串口错误：%2", "[%1] serial error: %2", "[%1] serieller Fehler: %2"}, // 186
    {"已连接", "open", "offen"}, // 187
    {"重连中", "reconnecting", "Neuverbindung"}, // 188
    {"已停止", "stopped", "gestoppt"}, // 189
    {"[%1] 帧 %2，超时 %3，校验错误 %4，已写行 %5，重连 %6，链路：%7", "[%1] frames %2, timeouts %3, checksum errors %4, rows written %5, reconnects %6, link: %7", "[%1] Rahmen %2, Zeitüberschreitungen %3, Prüfsummenfehler %4, geschriebene Zeilen %5, Neuverbindungen %6, Verbindung: %7"}, // 190
    {"自动重连", "Auto-reconnect", "Automatisch neu verbinden"}, // 191
    {"端口已断开，正在重连…", "Port lost, reconnecting…", "Port getrennt, Verbindung wird wiederhergestellt…"}, // 192
    // Texts the window, its command line and the protocol loader add
    {"导出 CSV 失败：%1\n%2", "CSV export failed: %1\n%2", "CSV-Export fehlgeschlagen: %1\n%2"}, // 193
    {"[%1] 实时导出失败：%2 (%3)", "[%1] Real-time export failed: %2 (%3)", "[%1] Echtzeit-Export fehlgeschlagen: %2 (%3)"}, // 194
    {"写入不完整（磁盘已满或达到文件大小上限）", "Incomplete write (disk full or file size limit reached)", "Unvollständig geschrieben (Datenträger voll oder Dateigrößenbegrenzung erreicht)"}, // 195
    {"虚拟端口", "virtual port", "virtueller Port"}, // 196
    {"无法打开协议文件：%1", "Cannot open config file: %1", "Protokolldatei kann nicht geöffnet werden: %1"}, // 197
    {"JSON 格式无效", "Invalid JSON format", "Ungültiges JSON-Format"}, // 198
    {"缺少 'protocol' 部分", "Missing 'protocol' section", "Abschnitt 'protocol' fehlt"}, // 199
    {"协议名称为空", "Protocol name is empty", "Protokollname ist leer"}, // 200
    {"协议版本为空", "Protocol version is empty", "Protokollversion ist leer"}, // 201
    {"'commands' 中没有可用的命令", "No usable command in 'commands'", "Kein verwendbarer Befehl in 'commands'"}, // 202
    {"'tableMapping' 中没有表格列", "No table column in 'tableMapping'", "Keine Tabellenspalte in 'tableMapping'"}, // 203
    {"未找到协议：%1", "Protocol not found: %1", "Protokoll nicht gefunden: %1"}, // 204
    {"以 MIT 许可证发布。", "Released under the MIT License.", "Veröffentlicht unter der MIT-Lizenz."}, // 205
    {"Cellscribe：电池管理系统数据采集器。", "Cellscribe: data collector for battery management systems.", "Cellscribe: Datenerfassung für Batteriemanagementsysteme."}, // 206
    {"将 PATH 也列为串口（伪终端或 socat 链接，系统不会列出这类端口）。可重复。", "Also offer PATH as a serial port (a pseudo-terminal or a socat link, which the system does not list). Repeatable.", "PATH zusätzlich als serielle Schnittstelle anbieten (ein Pseudoterminal oder eine socat-Verknüpfung, die das System nicht auflistet). Wiederholbar."}, // 207
    {"用法：%1", "Usage: %1", "Aufruf: %1"}, // 208
    {"[选项]", "[options]", "[Optionen]"}, // 209
    {"参数：", "Arguments:", "Argumente:"}, // 210
    {"显示命令行选项的帮助。", "Displays help on commandline options.", "Zeigt die Hilfe zu den Befehlszeilenoptionen an."}, // 211
    {"显示帮助，包括 Qt 专用选项。", "Displays help including Qt specific options.", "Zeigt die Hilfe einschließlich der Qt-spezifischen Optionen an."}, // 212
    {"显示版本信息。", "Displays version information.", "Zeigt die Versionsinformationen an."}, // 213
    // Recordings
    {"记录", "Record", "Aufzeichnen"}, // 214
    {"把每一帧保存到记录文件，以后也可用其他协议重新解码", "Keep every frame in a recording file, to be decoded again later, also with another protocol", "Jeden Rahmen in einer Aufzeichnungsdatei behalten, um ihn später erneut zu dekodieren, auch mit einem anderen Protokoll"}, // 215
    {"记录已关闭", "Recording off", "Aufzeichnung aus"}, // 216
    {"开始采集时记录", "Records when acquisition starts", "Aufzeichnung beim Start der Erfassung"}, // 217
    {"记录失败", "Recording failed", "Aufzeichnung fehlgeschlagen"}, // 218
    {"%1\n单击打开所在文件夹", "%1\nClick to open its folder", "%1\nKlicken öffnet den Ordner"}, // 219
    {"打开记录…", "Open recording…", "Aufzeichnung öffnen…"}, // 220
    {"打开记录", "Open recording", "Aufzeichnung öffnen"}, // 221
    {"记录文件：", "Recording file:", "Aufzeichnungsdatei:"}, // 222
    {"浏览…", "Browse…", "Durchsuchen…"}, // 223
    {"用记录中保存的协议解码", "Decode with the protocol stored in it", "Mit dem darin gespeicherten Protokoll dekodieren"}, // 224
    {"用其他协议文件解码：", "Decode with another protocol file:", "Mit einer anderen Protokolldatei dekodieren:"}, // 225
    {"确定", "OK", "OK"}, // 226
    {"取消", "Cancel", "Abbrechen"}, // 227
    {"记录 (*.csrec)", "Recordings (*.csrec)", "Aufzeichnungen (*.csrec)"}, // 228
    {"协议文件", "Protocol file", "Protokolldatei"}, // 229
    {"协议文件 (*.json)", "Protocol files (*.json)", "Protokolldateien (*.json)"}, // 230
    {"请先停止数据采集再打开记录", "Stop data acquisition before opening a recording", "Bitte stoppen Sie die Datenerfassung, bevor Sie eine Aufzeichnung öffnen."}, // 231
    {"正在载入记录 %1… %2%", "Loading recording %1… %2%", "Aufzeichnung %1 wird geladen… %2 %"}, // 232
    {"正在显示记录 %1（只读，实时采集已关闭）：%2 行，协议 %3", "Showing recording %1 (read-only, live acquisition off): %2 rows, protocol %3", "Aufzeichnung %1 wird angezeigt (schreibgeschützt, Live-Erfassung aus): %2 Zeilen, Protokoll %3"}, // 233
    {"返回实时数据", "Back to live data", "Zurück zu den Live-Daten"}, // 234
    {"[%1] 记录到 %2", "[%1] recording to %2", "[%1] Aufzeichnung in %2"}, // 235
    {"[%1] 无法创建记录 %2：%3；继续采集，不记录", "[%1] cannot create recording %2: %3; acquiring without it", "[%1] Aufzeichnung %2 lässt sich nicht anlegen: %3; die Erfassung läuft ohne sie weiter"}, // 236
    {"[%1] 记录写入失败：%2（%3）；继续采集", "[%1] recording write failed: %2 (%3); acquisition goes on", "[%1] Schreiben der Aufzeichnung fehlgeschlagen: %2 (%3); die Erfassung läuft weiter"}, // 237
    {"[%1] 记录恢复写入：%2（丢失 %3 行）", "[%1] recording writing again: %2 (%3 rows lost)", "[%1] Aufzeichnung wird wieder geschrieben: %2 (%3 Zeilen verloren)"}, // 238
    {"[%1] 记录已保存：%2", "[%1] recording saved: %2", "[%1] Aufzeichnung gespeichert: %2"}, // 239
    {"把每一帧记录到 FILE（.csrec），或 DIR 中按开始时间和端口命名的新文件（默认：窗口的记录目录）", "Record every frame into FILE (.csrec), or into a new file named by start time and port in DIR (default: the window's recordings directory)", "Jeden Rahmen in FILE (.csrec) aufzeichnen oder in eine neue, nach Startzeit und Port benannte Datei in DIR (Standard: das Aufzeichnungsverzeichnis des Fensters)"}, // 240
    {"不记录帧", "Keep no recording", "Keine Aufzeichnung anlegen"}, // 241
    {"--record 与 --no-record 不能同时使用", "--record and --no-record exclude each other", "--record und --no-record schließen einander aus"}, // 242
    {"缺少 --record 的文件或目录", "--record needs a file or directory", "--record braucht eine Datei oder ein Verzeichnis"}, // 243
    {"记录文件 %1 已存在（记录从不覆盖）", "recording %1 exists already (recordings are never overwritten)", "Aufzeichnung %1 existiert bereits (Aufzeichnungen werden nie überschrieben)"}, // 244
    {"%1：文件不存在", "%1: no such file", "%1: Datei nicht vorhanden"}, // 245
    {"%1 不是记录文件（不是 SQLite 数据库）", "%1 is not a recording (not an SQLite database)", "%1 ist keine Aufzeichnung (keine SQLite-Datenbank)"}, // 246
    {"%1 不完整（被截断）：%2", "%1 is truncated: %2", "%1 ist abgeschnitten: %2"}, // 247
    {"%1 是 SQLite 数据库，但不是 Cellscribe 记录", "%1 is an SQLite database but not a Cellscribe recording", "%1 ist eine SQLite-Datenbank, aber keine Cellscribe-Aufzeichnung"}, // 248
    {"%1 的记录格式为 %2，本程序只能读取到 %3：请更新 Cellscribe", "%1 has recording format %2; this program reads up to %3: update Cellscribe", "%1 hat das Aufzeichnungsformat %2; dieses Programm liest bis %3: bitte Cellscribe aktualisieren"}, // 249
    {"%1 无法读取（文件可能已损坏）：%2", "%1 cannot be read (the file may be damaged): %2", "%1 lässt sich nicht lesen (die Datei ist vielleicht beschädigt): %2"}, // 250
    {"%1 中保存的协议无法加载：%2", "the protocol stored in %1 does not load: %2", "das in %1 gespeicherte Protokoll lässt sich nicht laden: %2"}, // 251
    // Alarms
    {"电芯%1 过压", "Cell %1 overvoltage", "Zelle %1 Überspannung"}, // 252
    {"电芯%1 欠压", "Cell %1 undervoltage", "Zelle %1 Unterspannung"}, // 253
    {"电芯%1 %2", "Cell %1 %2", "Zelle %1 %2"}, // 254
    {"%1 过高", "%1 too high", "%1 zu hoch"}, // 255
    {"%1 过低", "%1 too low", "%1 zu niedrig"}, // 256
    {"平均温度", "Average Temp", "Durchschnittstemperatur"}, // 257
    {"温差", "Temp Diff", "Temperaturdifferenz"}, // 258
    {"告警", "Alarm", "Alarm"}, // 259
    {"报警", "Alarms", "Alarme"}, // 260
    {"触发", "Raised", "Ausgelöst"}, // 261
    {"恢复", "Cleared", "Aufgehoben"}, // 262
    {"报警设置…", "Alarm settings…", "Alarmeinstellungen…"}, // 263
    {"报警设置", "Alarm Settings", "Alarmeinstellungen"}, // 264
    {"报警记录", "Alarm Events", "Alarmereignisse"}, // 265
    {"报警记录…", "Alarm events…", "Alarmereignisse…"}, // 266
    {"当前报警: %1", "Active alarms: %1", "Aktive Alarme: %1"}, // 267
    {"启用", "Enabled", "Aktiv"}, // 268
    {"规则名称", "Rule Name", "Regelname"}, // 269
    {"数值", "Value", "Wert"}, // 270
    {"上限", "High Limit", "Obergrenze"}, // 271
    {"下限", "Low Limit", "Untergrenze"}, // 272
    {"回差", "Hysteresis", "Hysterese"}, // 273
    {"延时", "Delay", "Verzögerung"}, // 274
    {"秒", "s", "s"}, // 275
    {"帧", "frames", "Frames"}, // 276
    {"级别", "Severity", "Stufe"}, // 277
    {"说明", "Text", "Text"}, // 278
    {"规则", "Rule", "Regel"}, // 279
    {"电芯", "Cell", "Zelle"}, // 280
    {"事件", "Event", "Ereignis"}, // 281
    {"信息", "Message", "Meldung"}, // 282
    {"每个电芯", "Every cell", "Jede Zelle"}, // 283
    {"添加", "Add", "Hinzufügen"}, // 284
    {"删除", "Remove", "Entfernen"}, // 285
    {"应用", "Apply", "Übernehmen"}, // 286
    {"确认", "Acknowledge", "Quittieren"}, // 287
    {"全部确认", "Acknowledge all", "Alle quittieren"}, // 288
    {"已确认", "Acknowledged", "Quittiert"}, // 289
    {"协议默认", "Protocol default", "Protokollvorgabe"}, // 290
    {"在表格中显示报警列", "Show the alarm column in the table", "Alarmspalte in der Tabelle anzeigen"}, // 291
    {"无法保存报警规则: %1", "Cannot save alarm rules: %1", "Alarmregeln können nicht gespeichert werden: %1"}, // 292
    {"规则 %1: %2", "Rule %1: %2", "Regel %1: %2"}, // 293
    {"无法读取文件: %1", "Cannot read the file: %1", "Datei kann nicht gelesen werden: %1"}, // 294
    {"文件不是有效的 JSON: %1", "The file is not valid JSON: %1", "Die Datei ist kein gültiges JSON: %1"}, // 295
    {"报警规则必须是数组", "Alarm rules must be an array", "Alarmregeln müssen ein Array sein"}, // 296
    {"规则不是对象", "The rule is not an object", "Die Regel ist kein Objekt"}, // 297
    {"缺少名称", "Name missing", "Name fehlt"}, // 298
    {"名称重复", "Duplicate name", "Doppelter Name"}, // 299
    {"未知字段: %1", "Unknown field: %1", "Unbekanntes Feld: %1"}, // 300
    {"%1 类型错误", "%1 has the wrong type", "%1 hat den falschen Typ"}, // 301
    {"%1 必须是数字", "%1 must be a number", "%1 muss eine Zahl sein"}, // 302
    {"缺少数值名", "Value missing", "Wert fehlt"}, // 303
    {"未知数值: %1", "Unknown value: %1", "Unbekannter Wert: %1"}, // 304
    {"数值不是数字: %1", "Not a numeric value: %1", "Kein numerischer Wert: %1"}, // 305
    {"本协议没有电芯电压", "This protocol has no cell voltages", "Dieses Protokoll hat keine Zellspannungen"}, // 306
    {"至少需要上限或下限", "A high or low limit is needed", "Eine Ober- oder Untergrenze ist nötig"}, // 307
    {"下限高于上限", "Low limit above high limit", "Untergrenze über Obergrenze"}, // 308
    {"回差不能为负", "Hysteresis must not be negative", "Hysterese darf nicht negativ sein"}, // 309
    {"延时不能为负", "Delay must not be negative", "Verzögerung darf nicht negativ sein"}, // 310
    {"延时只能按秒或按帧之一", "Give the delay in seconds or in frames, not both", "Verzögerung entweder in Sekunden oder in Frames angeben"}, // 311
    {"帧延时必须是整数", "Frame delay must be a whole number", "Frame-Verzögerung muss eine ganze Zahl sein"}, // 312
    {"未知级别: %1", "Unknown severity: %1", "Unbekannte Stufe: %1"}, // 313
    {"CSV 末尾加入报警列（当前报警的简称）", "Add the alarm column (the active alarms' short names) to the CSV", "Die Alarmspalte (Kurznamen der aktiven Alarme) an die CSV-Datei anfügen"}, // 314
    {"报警规则文件，按名称覆盖协议的默认规则（默认：用户的报警规则文件）", "Alarm rules over the protocol's defaults, by name (default: the user's alarm rules file)", "Alarmregeln über den Vorgaben des Protokolls, nach Namen (Standard: die Alarmregeldatei des Benutzers)"}, // 315
    {"不评估报警规则", "Evaluate no alarm rules", "Keine Alarmregeln auswerten"}, // 316
    {"--alarms 与 --no-alarms 不能同时使用", "--alarms and --no-alarms exclude each other", "--alarms und --no-alarms schließen einander aus"}, // 317
    {"报警规则文件 %1 不存在", "alarm rules file %1 does not exist", "Alarmregeldatei %1 existiert nicht"}, // 318
    {"[%1] 报警规则 %2：%3", "[%1] alarm rules %2: %3", "[%1] Alarmregeln %2: %3"}, // 319
    {"[%1] 报警触发：%2 %3（%4，%5）", "[%1] alarm raised: %2 %3 (%4, %5)", "[%1] Alarm ausgelöst: %2 %3 (%4, %5)"}, // 320
    {"[%1] 报警恢复：%2（%3，%4）", "[%1] alarm cleared: %2 (%3, %4)", "[%1] Alarm aufgehoben: %2 (%3, %4)"}, // 321
    // Publishing to MQTT
    {"MQTT 发布设置", "MQTT Publishing", "MQTT-Veröffentlichung"}, // 322
    {"发布到 MQTT 代理", "Publish to an MQTT broker", "An einen MQTT-Broker veröffentlichen"}, // 323
    {"代理地址：", "Broker URL:", "Broker-URL:"}, // 324
    {"密码：", "Password:", "Passwort:"}, // 325
    {"密码保存在系统密钥环中。", "The password is kept in the system keychain.", "Das Passwort wird im Schlüsselbund des Systems aufbewahrt."}, // 326
    {"此系统没有可用的密钥环，密码以明文保存在设置中。", "No keychain is available on this system: the password is stored in plain text in the settings.", "Auf diesem System ist kein Schlüsselbund verfügbar: Das Passwort wird im Klartext in den Einstellungen gespeichert."}, // 327
    {"CA 证书文件：", "CA certificate file:", "CA-Zertifikatsdatei:"}, // 328
    {"主题前缀：", "Topic prefix:", "Topic-Präfix:"}, // 329
    {"电池包标识：", "Pack ID:", "Pack-ID:"}, // 330
    {"发布间隔：", "Publish interval:", "Veröffentlichungsintervall:"}, // 331
    {"每帧", "Every frame", "Jeder Frame"}, // 332
    {"Home Assistant 自动发现", "Home Assistant discovery", "Home-Assistant-Erkennung"}, // 333
    {"从 Home Assistant 移除", "Remove from Home Assistant", "Aus Home Assistant entfernen"}, // 334
    {"代理地址无效：%1", "Invalid broker URL: %1", "Ungültige Broker-URL: %1"}, // 335
    {"主题前缀无效：%1", "Invalid topic prefix: %1", "Ungültiges Topic-Präfix: %1"}, // 336
    {"电池包标识只能包含字母、数字、_ 和 -", "The pack ID may only hold letters, digits, _ and -", "Die Pack-ID darf nur Buchstaben, Ziffern, _ und - enthalten"}, // 337
    {"CA 证书文件仅用于 mqtts://", "A CA certificate file is only used with mqtts://", "Eine CA-Zertifikatsdatei wird nur mit mqtts:// verwendet"}, // 338
    {"CA 证书文件不存在：%1", "CA certificate file not found: %1", "CA-Zertifikatsdatei nicht gefunden: %1"}, // 339
    {"MQTT 设置…", "MQTT settings…", "MQTT-Einstellungen…"}, // 340
    {"MQTT 已连接：%1", "MQTT connected: %1", "MQTT verbunden: %1"}, // 341
    {"MQTT 连接失败：%1", "MQTT connection failed: %1", "MQTT-Verbindung fehlgeschlagen: %1"}, // 342
    {"MQTT 连接断开：%1，正在重连…", "MQTT connection lost: %1, reconnecting…", "MQTT-Verbindung verloren: %1, neuer Versuch…"}, // 343
    {"MQTT 已重新连接，断开期间丢弃了 %1 条消息", "MQTT reconnected; %1 messages dropped while disconnected", "MQTT wieder verbunden; %1 Nachrichten während der Trennung verworfen"}, // 344
    {"MQTT 发布无法启动：%1", "MQTT publishing cannot start: %1", "MQTT-Veröffentlichung kann nicht starten: %1"}, // 345
    {"计算SOC", "Calculated SOC", "Berechneter SOC"}, // 346
    {"电流状态", "Current State", "Stromzustand"}, // 347
    {"工作状态码", "Work State Code", "Betriebsstatuscode"}, // 348
    {"均衡状态", "Balance State", "Ausgleichsstatus"}, // 349
    {"充电电流", "Charge Current", "Ladestrom"}, // 350
    {"放电电流", "Discharge Current", "Entladestrom"}, // 351
    {"[%1] MQTT 已连接：%2", "[%1] MQTT connected: %2", "[%1] MQTT verbunden: %2"}, // 352
    {"[%1] MQTT 连接失败：%2，稍后重试", "[%1] MQTT connection failed: %2; retrying", "[%1] MQTT-Verbindung fehlgeschlagen: %2; neuer Versuch folgt"}, // 353
    {"[%1] MQTT 连接断开：%2，正在重连…", "[%1] MQTT connection lost: %2; reconnecting...", "[%1] MQTT-Verbindung verloren: %2; Neuverbindung ..."}, // 354
    {"[%1] MQTT 断开期间丢弃了 %2 条消息", "[%1] MQTT: %2 messages dropped while disconnected", "[%1] MQTT: %2 Nachrichten während der Trennung verworfen"}, // 355
    {"[%1] MQTT 发布失败：%2", "[%1] MQTT publish failed: %2", "[%1] MQTT-Veröffentlichung fehlgeschlagen: %2"}, // 356
    {"[%1] MQTT：已发布 %2，丢弃 %3，代理：%4", "[%1] MQTT: published %2, dropped %3, broker: %4", "[%1] MQTT: veröffentlicht %2, verworfen %3, Broker: %4"}, // 357
    {"在线", "online", "online"}, // 358
    {"离线", "offline", "offline"}, // 359
    {"MQTT 无法启动：%1", "MQTT cannot start: %1", "MQTT kann nicht starten: %1"}, // 360
    {"[%1] 已从 Home Assistant 移除电池包 %2 的 %3 个传感器", "[%1] removed %3 sensors of pack %2 from Home Assistant", "[%1] %3 Sensoren des Packs %2 aus Home Assistant entfernt"}, // 361
    {"MQTT 代理 %1 在 %2 秒内无法连接", "the MQTT broker %1 could not be reached within %2 s", "der MQTT-Broker %1 war innerhalb von %2 s nicht erreichbar"}, // 362
    {"发布到 MQTT 代理：mqtt://[用户[:密码]@]主机[:端口]，或 mqtts://（TLS）", "Publish to an MQTT broker: mqtt://[user[:password]@]host[:port], or mqtts:// (TLS)", "An einen MQTT-Broker veröffentlichen: mqtt://[Benutzer[:Passwort]@]Host[:Port] oder mqtts:// (TLS)"}, // 363
    {"mqtts:// 所信任的 CA 证书文件（默认：系统的证书）", "CA certificate file to trust for mqtts:// (default: the system's certificates)", "CA-Zertifikatsdatei, der mqtts:// vertraut (Standard: die Zertifikate des Systems)"}, // 364
    {"主题前缀（默认 cellscribe）：<前缀>/<电池包>/state、/status、/alarm", "Topic prefix (default cellscribe): <prefix>/<pack>/state, /status, /alarm", "Topic-Präfix (Standard cellscribe): <Präfix>/<Pack>/state, /status, /alarm"}, // 365
    {"主题与 Home Assistant 中的电池包标识（默认：取自端口的序列号或名称）", "The pack's ID in topics and in Home Assistant (default: from the port's serial number or name)", "ID des Packs in Topics und in Home Assistant (Standard: aus Seriennummer oder Name des Ports)"}, // 366
    {"状态消息的 QoS（默认 0）", "QoS of the state messages (default 0)", "QoS der Statusnachrichten (Standard 0)"}, // 367
    {"最多每隔这么多秒发布一条状态消息（默认 0：每帧）", "Publish at most one state message per this many seconds (default 0: every frame)", "Höchstens eine Statusnachricht pro so vielen Sekunden veröffentlichen (Standard 0: jeder Frame)"}, // 368
    {"从 Home Assistant 移除该电池包的传感器后结束（不采集）", "Remove the pack's sensors from Home Assistant, then end (no acquisition)", "Die Sensoren des Packs aus Home Assistant entfernen, dann beenden (keine Erfassung)"}, // 369
    {"4 MQTT 代理无法连接（使用 --mqtt-ha-remove 时）", "4 the MQTT broker could not be reached (with --mqtt-ha-remove)", "4 der MQTT-Broker war nicht erreichbar (mit --mqtt-ha-remove)"}, // 370
    {"%1 需要 --mqtt", "%1 needs --mqtt", "%1 braucht --mqtt"}, // 371
    {"--mqtt 地址无效：%1", "invalid --mqtt URL: %1", "ungültige --mqtt-URL: %1"}, // 372
    {"--mqtt-prefix 无效：%1", "invalid --mqtt-prefix: %1", "ungültiges --mqtt-prefix: %1"}, // 373
    {"--pack-id 取 1 到 64 个字母、数字、_ 或 -，而不是 %1", "--pack-id takes 1 to 64 letters, digits, _ or -, not %1", "--pack-id erwartet 1 bis 64 Buchstaben, Ziffern, _ oder -, nicht %1"}, // 374
    {"--mqtt-qos 取 0 或 1，而不是 %1", "--mqtt-qos takes 0 or 1, not %1", "--mqtt-qos erwartet 0 oder 1, nicht %1"}, // 375
    {"--mqtt-every 取 0 或更多秒，而不是 %1", "--mqtt-every takes 0 or more seconds, not %1", "--mqtt-every erwartet 0 oder mehr Sekunden, nicht %1"}, // 376
    {"此版本不支持 MQTT（构建时未找到 libmosquitto）", "this build has no MQTT support (libmosquitto was not found when it was built)", "dieser Build kann kein MQTT (libmosquitto fehlte beim Bauen)"}, // 377
    {"已从 Home Assistant 移除电池包 %1", "Pack %1 removed from Home Assistant", "Pack %1 aus Home Assistant entfernt"}, // 378
    {"已发布 %1 条，丢弃 %2 条", "%1 published, %2 dropped", "%1 veröffentlicht, %2 verworfen"}, // 379
    {"MQTT 发布失败：%1", "MQTT publish failed: %1", "MQTT-Veröffentlichung fehlgeschlagen: %1"}, // 380
    // Trend view
    {"趋势", "Trends", "Verlauf"}, // 381
    {"电池组", "Pack", "Akkupack"}, // 382
    {"温度", "Temperatures", "Temperaturen"}, // 383
    {"跟随最新", "Follow live", "Live folgen"}, // 384
    {"复位", "Reset", "Zurücksetzen"}, // 385
    {"标记", "Markers", "Marker"}, // 386
    {"热图", "Heat map", "Heatmap"}, // 387
    {"导出图片", "Export PNG", "PNG exportieren"}, // 388
    {"导出 CSV", "Export CSV", "CSV exportieren"}, // 389
    {"曲线", "Series", "Kurve"}, // 390
    {"单位", "Unit", "Einheit"}, // 391
    {"最小", "Min", "Min"}, // 392
    {"最大", "Max", "Max"}, // 393
    {"平均", "Mean", "Mittel"}, // 394
    {"平均电芯电压", "Average Cell Voltage", "Mittlere Zellspannung"}, // 395
    {"电芯偏差", "Cell Deviation", "Zellabweichung"}, // 396
    {"滚轮缩放时间，拖动平移，右键拖动框选放大，双击复位", "Wheel: zoom time · Drag: pan · Right-drag: box zoom · Double-click: reset", "Mausrad: Zeit zoomen · Ziehen: verschieben · Rechts ziehen: Bereich zoomen · Doppelklick: zurücksetzen"}, // 397
    {"导出失败：%1", "Export failed: %1", "Export fehlgeschlagen: %1"}, // 398
    {"PNG 图片 (*.png)", "PNG Images (*.png)", "PNG-Bilder (*.png)"}, // 399
    {"CSV 文件 (*.csv)", "CSV Files (*.csv)", "CSV-Dateien (*.csv)"}, // 400
    {"%1 行", "%1 rows", "%1 Zeilen"}, // 401
    {"各电芯", "Cells", "Zellen"}, // 402
};
// clang-format on

constexpr int kRowCount = int(sizeof(kTable) / sizeof(kTable[0]));
static_assert(kRowCount == 403, "translation table must have 403 rows");

TranslationMap buildDictionary(const char *Row::*column)
{
    TranslationMap map;
    map.reserve(kRowCount);
    // Table order: a repeated key keeps its last translation.
    for (const Row &row : kTable)
        map.insert(QString::fromUtf8(row.chinese), QString::fromUtf8(row.*column));
    return map;
}

int countLeadingSpace(const QString &text)
{
    int n = 0;
    while (n < text.size() && text.at(n).isSpace())
        ++n;
    return n;
}

int countTrailingSpace(const QString &text)
{
    int n = 0;
    while (n < text.size() && text.at(text.size() - 1 - n).isSpace())
        ++n;
    return n;
}

} // namespace

int translationTableSize()
{
    return kRowCount;
}

const TranslationMap &translationsFor(int language)
{
    static const TranslationMap empty;
    if (language == English) {
        static const TranslationMap english = buildDictionary(&Row::english);
        return english;
    }
    if (language == German) {
        static const TranslationMap german = buildDictionary(&Row::german);
        return german;
    }
    return empty;
}

QString restoreOuterWhitespace(const QString &source, const QString &translation)
{
    const int leading = countLeadingSpace(source);
    const int trailing = countTrailingSpace(source);
    if (leading == 0 && trailing == 0)
        return translation;
    return QString(leading, QLatin1Char(' ')) + translation + QString(trailing, QLatin1Char(' '));
}

QString lookupTranslation(const TranslationMap &dictionary, const QString &text)
{
    if (dictionary.isEmpty())
        return text;
    const auto it = dictionary.constFind(text.trimmed());
    if (it != dictionary.constEnd() && !it->isEmpty())
        return restoreOuterWhitespace(text, *it);
    return text;
}

QString translateOr(int language, const QString &chinese, const QString &fallback)
{
    if (language == Chinese)
        return chinese;
    const TranslationMap &dictionary = translationsFor(language);
    const auto it = dictionary.constFind(chinese.trimmed());
    if (it != dictionary.constEnd() && !it->isEmpty())
        return restoreOuterWhitespace(chinese, *it);
    return fallback;
}

QString translateWithUnit(int language, const QString &text)
{
    const TranslationMap &dictionary = translationsFor(language);
    if (dictionary.isEmpty())
        return text;
    const QString direct = lookupTranslation(dictionary, text);
    if (direct != text)
        return direct;

    const QString trimmed = text.trimmed();
    const int paren = trimmed.indexOf(QLatin1Char('('));
    if (paren > 0 && trimmed.endsWith(QLatin1Char(')'))) {
        const QString prefix = trimmed.left(paren).trimmed();
        if (!prefix.isEmpty()) {
            const QString translated = lookupTranslation(dictionary, prefix);
            if (translated != prefix)
                return restoreOuterWhitespace(text, translated + trimmed.mid(paren));
        }
    }
    return text;
}
