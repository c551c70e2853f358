#!/usr/bin/env python3
"""A download to a Modbus device that nobody here wrote: pymodbus serves the holding
registers, tklcli downloads a layout into them, pymodbus's client reads them back, and
they are compared with what the register map (docs/register-map.md) says the writes
must leave there, worked out here on its own from the list of writes: the download state
2 (finished) and the layout checksum (CRC-32 of the registers written, in address order)
included. What tklcli --print-writes lists for the devices is compared too.

Usage: modbus_interop.py TKLCLI GOLDEN_LAYOUT GOLDEN_WRITES OTHER_LAYOUT
The golden layout is compared with its reviewed list of writes; the other layout (with
Windows-1252 characters above 127) with the writes tklcli --print-writes reports for it
on the simulated sample network.
"""

import asyncio
import logging
import json
import os
import re
import subprocess
import sys
import tempfile
import threading
import zlib

from pymodbus.client import ModbusTcpClient
from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server.async_io import ModbusTcpServer

UNIT = 3
BASE = 1000
ELEMENTS, LINES, STRING_LENGTH = 30, 100, 255
MEMBERS = ["VarName", "NodeAdr", "SWNo", "Offset", "Typ", "BitNo", "Code", "DevType", "Chars",
           "Digits", "DataIn", "Linie", "Pos"]


def start_device():
    """pymodbus on 127.0.0.1 at a free port, in a thread of its own; returns the port."""
    started = threading.Event()
    found = {}

    def run():
        loop = asyncio.new_event_loop()
        asyncio.set_event_loop(loop)
        block = ModbusSequentialDataBlock(0, [0] * 65536)
        context = ModbusServerContext(slaves={UNIT: ModbusSlaveContext(hr=block, zero_mode=True)}, single=False)
        server = ModbusTcpServer(context, address=("127.0.0.1", 0), loop=loop)

        async def serve():
            task = asyncio.ensure_future(server.serve_forever())
            await server.serving
            found["port"] = server.server.sockets[0].getsockname()[1]
            started.set()
            await task

        loop.run_until_complete(serve())

    threading.Thread(target=run, daemon=True).start()
    if not started.wait(10):
        sys.exit("pymodbus did not start")
    return found["port"]


# --- the register map, from its document

W = 1 + (STRING_LENGTH + 1) // 2


def first_register(name):
    rest = name.split(".", 1)[1]
    m = re.fullmatch(r"UpdateArr\[(\d+)\]\.(\w+)", rest)
    if m:
        start = (int(m.group(1)) - 1) * (W + 12)
        member = MEMBERS.index(m.group(2))
        return start if member == 0 else start + W + member - 1
    lines_at = ELEMENTS * (W + 12)
    if rest == "lines":
        return lines_at
    m = re.fullmatch(r"Ticket\[(\d+)\]", rest)
    if m:
        return lines_at + 1 + (int(m.group(1)) - 1) * W
    if rest == "PrintCode.start":
        return lines_at + 1 + LINES * W
    if rest == "PrintCode.stop":
        return lines_at + 1 + (LINES + 1) * W
    if rest == "Download.state":
        return lines_at + 1 + (LINES + 2) * W
    raise ValueError(name)


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            c = text[i + 1]
            if c == "x":
                out.append(chr(int(text[i + 2:i + 4], 16)))
                i += 4
                continue
            out.append({"\\": "\\", "r": "\r", "n": "\n", "t": "\t"}[c])
            i += 2
            continue
        out.append(text[i])
        i += 1
    return "".join(out)


def words(type_, value):
    if type_ == "bool":
        return [1 if value == "true" else 0]
    if type_ in ("u8", "i16"):
        return [int(value) & 0xFFFF]
    data = unescape(value).encode("cp1252")
    regs = [len(data)]
    for i in range(0, len(data), 2):
        regs.append(data[i] << 8 | (data[i + 1] if i + 1 < len(data) else 0))
    return regs


def checksum(writes):
    """CRC-32 of the registers the writes leave, each variable's last value, by address."""
    last = {}
    for line in writes:
        name, type_, value = line.split("\t", 2)
        last[first_register(name)] = words(type_, value)
    data = bytearray()
    for at in sorted(last):
        for word in last[at]:
            data += bytes([word >> 8, word & 0xFF])
    return zlib.crc32(bytes(data))


def expected_registers(writes):
    """What the ticket's writes leave, then the finished state and the checksum."""
    state_at = first_register("P.Download.state")
    regs = [0] * (state_at + 3)
    for line in writes:
        name, type_, value = line.split("\t", 2)
        at = first_register(name)
        for k, word in enumerate(words(type_, value)):
            regs[at + k] = word
    crc = checksum(writes)
    regs[state_at:state_at + 3] = [2, crc >> 16, crc & 0xFFFF]
    return regs


def expected_listing(writes, port):
    """What --print-writes lists for a real device: the state under way, the writes, then
    the finished state and the checksum."""
    named = [port + line[line.index("."):] for line in writes]
    return ([f"{port}.Download.state\ti16\t1"] + named
            + [f"{port}.Download.state\ti16\t2", f"{port}.Download.checksum\tu32\t{checksum(writes)}"])


# ---

def description(ports):
    """Two printer modules on devices of their own, ports Printer1 and Printer2."""
    nodes = [
        {"name": "Scale1", "address": "NET1.ST03", "capabilities": "17 scale",
         "variables": [{"name": name, "internalAddress": 120 + i, "offset": 4 * i, "subDataType": 4, "bitNo": 0}
                       for i, name in enumerate(["NetWeight", "GrossWeight", "Tare"])]},
        {"name": "Kiln", "address": "NET1.ST05", "capabilities": "33 kiln",
         "variables": [{"name": "Zone1Temp", "internalAddress": 200, "offset": 0, "subDataType": 4, "bitNo": 0}]},
        {"name": "Batching", "address": "NET1.ST06", "capabilities": "9 batch",
         "variables": [{"name": "BatchCounter", "internalAddress": 300, "offset": 0, "subDataType": 2, "bitNo": 0}]}]
    printers = []
    for k, port in enumerate(ports, 1):
        nodes.append({"name": f"Module{k}", "address": f"NET1.ST1{k}", "capabilities": "65 ticket printer",
                      "modbus": {"host": "127.0.0.1", "port": port, "timeoutMs": 3000}, "variables": []})
        printers.append({"name": f"Printer{k}", "node": f"Module{k}", "updateElements": ELEMENTS,
                         "ticketLines": LINES, "stringLength": STRING_LENGTH, "modbus": {"unit": UNIT, "base": BASE}})
    return {"nodes": nodes, "ports": printers}


def read_back(port, count):
    client = ModbusTcpClient("127.0.0.1", port=port)
    if not client.connect():
        sys.exit("cannot connect to pymodbus")
    regs = []
    for at in range(BASE, BASE + count, 125):
        n = min(125, BASE + count - at)
        reply = client.read_holding_registers(at, n, slave=UNIT)
        if reply.isError():
            sys.exit(f"pymodbus client: reading {n} registers at {at}: {reply}")
        regs += reply.registers
    client.close()
    return regs


def main():
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
    tklcli, golden_layout, golden_writes, other_layout = sys.argv[1:5]
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, TKL_DEVICE_STORE=os.path.join(tmp, "devices.json"))
        env.pop("TKL_NETWORK", None)
        with open(golden_writes, encoding="utf-8") as f:
            cases = [(golden_layout, f.read().splitlines())]
        sim = subprocess.run([tklcli, "download", other_layout, "--port", "Printer1", "--print-writes"],
                             env=env, capture_output=True, text=True, encoding="utf-8")
        if sim.returncode != 0:
            sys.exit(f"simulated download of {other_layout} failed: {sim.stderr}")
        cases.append((other_layout, sim.stdout.splitlines()))

        # Both devices at once: one tklcli, a connection to each.
        for layout, writes in cases:
            devices = [start_device(), start_device()]
            network = os.path.join(tmp, "network.json")
            with open(network, "w", encoding="utf-8") as f:
                json.dump(description(devices), f)
            run = subprocess.run([tklcli, "download", layout, "--port", "Printer1", "--port", "Printer2",
                                  "--print-writes"],
                                 env=dict(env, TKL_NETWORK=network), capture_output=True, text=True, encoding="utf-8")
            if run.returncode != 0 or run.stderr.count("writes to Printer") != 2:
                print(f"{layout}: tklcli download exited {run.returncode}: {run.stderr.strip()}")
                failures += 1
                continue
            listed = expected_listing(writes, "Printer1") + expected_listing(writes, "Printer2")
            if run.stdout.splitlines() != listed:
                print(f"{layout}: --print-writes listed {len(run.stdout.splitlines())} writes, not the "
                      f"{len(listed)} made: {run.stdout[:200]!r}")
                failures += 1
            expected = expected_registers(writes)
            for k, device in enumerate(devices, 1):
                got = read_back(device, len(expected))
                wrong = [i for i in range(len(expected)) if got[i] != expected[i]]
                for i in wrong[:10]:
                    print(f"{layout}: Printer{k}: register {BASE + i}: read {got[i]:#06x}, "
                          f"the map says {expected[i]:#06x}")
                if wrong:
                    failures += 1
                else:
                    print(f"{layout}: Printer{k}: {len(writes)} writes, {len(expected)} registers as the map says "
                          f"({sum(1 for v in expected if v)} not zero)")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
