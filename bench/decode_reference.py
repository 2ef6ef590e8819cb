#!/usr/bin/env python3
"""Reference decoder for bench_pipeline: a straightforward Python 3 decoder (standard library only)
of the same byte stream with the same protocol file.

Cuts frames from ':' to '~' out of reads of READ_SIZE bytes, keeps printable ASCII, matches the
frame to a command by its answer code and length, decodes every segment with int(x, 16) * scale +
offset into a dict, adds the derived values and appends one list row per frame for the table
columns.

Usage: decode_reference.py PROTOCOL.json STREAM_FILE READ_SIZE
Prints "frames: N" and "frames_per_second: X" (CPU time, best of PASSES passes).
"""
import datetime
import json
import sys
import time

WORK_STATES = {
    "CA00": "充放电同时低温保护", "C500": "充放电同时高温保护", "A006": "加热中",
    "A005": "均衡中", "A200": "充电低温保护", "A100": "充电高温保护", "A010": "充电过流保护",
    "A004": "过压保护", "5800": "放电低温保护", "5400": "放电高温保护", "5300": "MOS管高温保护",
    "5080": "放电过流保护", "5020": "短路保护", "5008": "过放保护", "F001": "充电",
    "F002": "放电", "F000": "待机",
}
STATUS_TEXTS = {
    0x5008: "过放保护", 0x5020: "短路保护", 0x5080: "放电过流", 0x5300: "MOS管高温",
    0x5400: "放电高温", 0x5800: "放电低温", 0xA004: "过压保护", 0xA005: "均衡中",
    0xA006: "加热中", 0xA010: "充电过流", 0xA100: "充电高温", 0xA200: "充电低温",
    0xC500: "充放电同时高温保护", 0xCA00: "充放电同时低温保护", 0xF000: "待机",
    0xF001: "正在充电", 0xF002: "正在放电",
}
PASSES = 3  # the best of these counts, as the C++ side counts its best
NOT_PRINTABLE = bytes(c for c in range(256) if c < 32 or c > 126)


def load(path):
    with open(path, encoding="utf-8") as f:
        protocol = json.load(f)["protocol"]
    commands = {}
    for command in protocol["commands"]:
        segments = [(s["name"], s["length"], s.get("scale", 0), s.get("offset", 0))
                    for s in command["response"]["dataSegments"]]
        commands[command["name"]] = (int(command["code"], 16) + 0x80, segments)
    columns = [(c["field"], c["type"], c.get("dataField", ""))
               for c in protocol["tableMapping"]["columns"]]
    return commands, columns


def parse(text, commands, store):
    content = text[1:-1]
    if len(content) < 10:
        return None
    for name in sorted(commands):
        code, segments = commands[name]
        if int(content[2:4], 16) != code:
            continue
        data_length = 2 * int(content[6:10], 16)
        if len(content) - 10 - data_length < 0:
            continue
        store["ProtocolVersion"] = content[4:6]
        data = content[10:10 + data_length]
        pos = 0
        for seg_name, length, scale, offset in segments:
            if pos + length > len(data):
                break
            raw = data[pos:pos + length]
            try:
                store[seg_name] = int(raw, 16) * scale + offset
            except ValueError:
                store[seg_name] = raw
            pos += length
        return name, segments
    return None


def derive(segments, store, receive_time):
    values = {name: store[name] for name, _, _, _ in segments if name in store}
    values["ProtocolVersion"] = values["data_protocolversion"] = store["ProtocolVersion"]
    remain, full = store.get("remain_cap"), store.get("full_cap")
    if remain is not None and full:
        values["soc_percent"] = "%.1f" % (remain / full * 100)
    cells = [store["Vcell%d" % n] for n in range(1, 17) if "Vcell%d" % n in store]
    cells = [v for v in cells if 1000 <= v <= 5000]
    if cells:
        values["data_maxv"] = max(cells)
        values["data_minv"] = min(cells)
        values["data_cellcount"] = values["data_number"] = len(cells)
        values["data_totalv"] = sum(cells) * 0.001
        values["voltage_diff"] = max(cells) - min(cells)
    chg, dsg = store.get("ChgCur", 0), store.get("DsgCur", 0)
    if chg > 0 and dsg == 0:
        values["current_status"], values["data_current"] = "充电", chg * 0.001
    elif chg == 0 and dsg > 0:
        values["current_status"], values["data_current"] = "放电", dsg * 0.001
    elif chg == 0 and dsg == 0:
        values["current_status"], values["data_current"] = "静止", 0.0
    else:
        values["current_status"], values["data_current"] = "异常", max(chg, dsg) * 0.001
    temps = [store["Temp%d" % n] for n in range(1, 5) if "Temp%d" % n in store]
    if temps:
        values["data_maxtemperature"] = max(temps)
        values["data_mintemperature"] = min(temps)
        values["avg_temp"] = sum(temps) / len(temps)
        values["temp_diff"] = max(temps) - min(temps)
    if "WorkState" in store:
        code = "%04X" % int(store["WorkState"])
        net = chg - dsg
        values["workStateValue"] = WORK_STATES.get(
            code, "充电" if net > 0 else "放电" if net < 0 else "待机")
        values["WorkState"] = store["WorkState"]
    if "BlanceState" in store:
        values["BlanceState"] = store["BlanceState"]
    values["timestamp"] = receive_time
    return values


def table_row(columns, values):
    row = []
    now = datetime.datetime.now()
    for field, kind, data_field in columns:
        if kind == "system":
            if field == "_date":
                row.append(now.strftime("%Y-%m-%d"))
            else:
                row.append(now.strftime("%H:%M:%S.") + "%02d" % (now.microsecond // 10000))
        elif kind == "status":
            code = int(values.get(data_field, 0xF000))
            row.append(STATUS_TEXTS.get(code, "未知状态(0X%04X)" % code))
        else:
            row.append(values.get(data_field or field))
    return row


def decode(stream, read_size, commands, columns, receive_time):
    store, rows, buffer = {}, [], b""
    for pos in range(0, len(stream), read_size):
        buffer += stream[pos:pos + read_size]
        while True:
            s = buffer.find(b":")
            e = buffer.find(b"~", s + 1) if s >= 0 else -1
            if e < 0:
                break
            text = buffer[s:e + 1].translate(None, NOT_PRINTABLE).decode("ascii")
            buffer = buffer[e + 1:]
            parsed = parse(text, commands, store)
            if parsed:
                rows.append(table_row(columns, derive(parsed[1], store, receive_time)))
    return rows


def main():
    commands, columns = load(sys.argv[1])
    with open(sys.argv[2], "rb") as f:
        stream = f.read()
    read_size = int(sys.argv[3])
    receive_time = "2026-01-01 12:00:00"

    best, frames = None, 0
    for _ in range(PASSES):
        start = time.process_time()
        rows = decode(stream, read_size, commands, columns, receive_time)
        seconds = time.process_time() - start
        best = seconds if best is None else min(best, seconds)
        frames = len(rows)
    print("frames: %d" % frames)
    print("frames_per_second: %.0f" % (frames / best))

if __name__ == "__main__":
    main()
