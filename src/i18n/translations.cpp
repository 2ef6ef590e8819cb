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
    // Trend view
    {"趋势", "Trends", "Verlauf"}, // 193
    {"电芯", "Cells", "Zellen"}, // 194
    {"电池组", "Pack", "Akkupack"}, // 195
    {"温度", "Temperatures", "Temperaturen"}, // 196
    {"跟随最新", "Follow live", "Live folgen"}, // 197
    {"复位", "Reset", "Zurücksetzen"}, // 198
    {"标记", "Markers", "Marker"}, // 199
    {"热图", "Heat map", "Heatmap"}, // 200
    {"导出图片", "Export PNG", "PNG exportieren"}, // 201
    {"导出 CSV", "Export CSV", "CSV exportieren"}, // 202
    {"曲线", "Series", "Kurve"}, // 203
    {"单位", "Unit", "Einheit"}, // 204
    {"数值", "Value", "Wert"}, // 205
    {"最小", "Min", "Min"}, // 206
    {"最大", "Max", "Max"}, // 207
    {"平均", "Mean", "Mittel"}, // 208
    {"平均电芯电压", "Average Cell Voltage", "Mittlere Zellspannung"}, // 209
    {"平均温度", "Average Temp", "Mittlere Temperatur"}, // 210
    {"电芯偏差", "Cell Deviation", "Zellabweichung"}, // 211
    {"滚轮缩放时间，拖动平移，右键拖动框选放大，双击复位", "Wheel: zoom time · Drag: pan · Right-drag: box zoom · Double-click: reset", "Mausrad: Zeit zoomen · Ziehen: verschieben · Rechts ziehen: Bereich zoomen · Doppelklick: zurücksetzen"}, // 212
    {"导出失败：%1", "Export failed: %1", "Export fehlgeschlagen: %1"}, // 213
    {"PNG 图片 (*.png)", "PNG Images (*.png)", "PNG-Bilder (*.png)"}, // 214
    {"CSV 文件 (*.csv)", "CSV Files (*.csv)", "CSV-Dateien (*.csv)"}, // 215
    {"%1 行", "%1 rows", "%1 Zeilen"}, // 216
};
// clang-format on

constexpr int kRowCount = int(sizeof(kTable) / sizeof(kTable[0]));
static_assert(kRowCount == 217, "translation table must have 217 rows");

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
