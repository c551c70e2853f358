"""What the interop scripts share: pymodbus devices in threads of their own, the network
descriptions tklcli reads, what the register map (docs/register-map.md) says a list of
writes leaves on a device, and tklcli run in a folder of its own with a tally of the cases."""

import asyncio
import json
import logging
import os
import re
import subprocess
import sys
import tempfile
import threading
import zlib

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server.async_io import ModbusTcpServer

UNIT = 3
BASE = 1000
ELEMENTS, LINES, STRING_LENGTH = 30, 100, 255
MEMBERS = ["VarName", "NodeAdr", "SWNo", "Offset", "Typ", "BitNo", "Code", "DevType", "Chars",
           "Digits", "DataIn", "Linie", "Pos"]


def start_device(units=(UNIT,), framer=None):
    """pymodbus on 127.0.0.1 at a free port (in RTU frames with framer=ModbusRtuFramer), in a
    thread of its own; returns the port and each unit's holding registers."""
    started = threading.Event()
    found = {"units": {u: ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, [0] * 65536), zero_mode=True)
                       for u in units}}

    def run():
        loop = asyncio.new_event_loop()
        asyncio.set_event_loop(loop)
        server = ModbusTcpServer(ModbusServerContext(slaves=found["units"], single=False), framer=framer,
                                 address=("127.0.0.1", 0), loop=loop)

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
    return found["port"], found["units"]


# --- network descriptions: a scale, a kiln and a batching node, and the printer nodes given

def tcp_node(name, station, port, timeout_ms=3000):
    return {"name": name, "address": f"NET1.ST{station}", "capabilities": "65 ticket printer", "variables": [],
            "modbus": {"host": "127.0.0.1", "port": port, "timeoutMs": timeout_ms}}


def printer(name, node, unit=UNIT):
    return {"name": name, "node": node, "updateElements": ELEMENTS, "ticketLines": LINES,
            "stringLength": STRING_LENGTH, "modbus": {"unit": unit, "base": BASE}}


def network(nodes, ports):
    scale = {"name": "Scale1", "address": "NET1.ST03", "capabilities": "17 scale",
             "variables": [{"name": name, "internalAddress": 120 + i, "offset": 4 * i, "subDataType": 4, "bitNo": 0}
                           for i, name in enumerate(["NetWeight", "GrossWeight", "Tare"])]}
    others = [{"name": n, "address": f"NET1.ST0{k}", "capabilities": c,
               "variables": [{"name": v, "internalAddress": a, "offset": 0, "subDataType": t, "bitNo": 0}]}
              for n, k, c, v, a, t in [("Kiln", 5, "33 kiln", "Zone1Temp", 200, 4),
                                       ("Batching", 6, "9 batch", "BatchCounter", 300, 2)]]
    return {"nodes": [scale] + others + nodes, "ports": ports}


# --- the register map, from its document

W = 1 + (STRING_LENGTH + 1) // 2
ESCAPES = {"\\": "\\", "r": "\r", "n": "\n", "t": "\t"}


def first_register(name):
    rest = name.split(".", 1)[1]
    m = re.fullmatch(r"UpdateArr\[(\d+)\]\.(\w+)", rest)
    if m:
        start = (int(m.group(1)) - 1) * (W + 12)
        member = MEMBERS.index(m.group(2))
        return start if member == 0 else start + W + member - 1
    lines_at = ELEMENTS * (W + 12)
    m = re.fullmatch(r"Ticket\[(\d+)\]", rest)
    if m:
        return lines_at + 1 + (int(m.group(1)) - 1) * W
    tail = lines_at + 1 + LINES * W  # after the ticket's lines
    return {"lines": lines_at, "PrintCode.start": tail, "PrintCode.stop": tail + W, "Download.state": tail + 2 * W}[rest]


def words(type_, value):
    if type_ == "bool":
        return [1 if value == "true" else 0]
    if type_ in ("u8", "i16"):
        return [int(value) & 0xFFFF]
    text = re.sub(r"\\(x..|.)", lambda m: chr(int(m[1][1:], 16)) if len(m[1]) == 3 else ESCAPES[m[1]], value)
    data = text.encode("cp1252")
    return [len(data)] + [int.from_bytes(data[i:i + 2].ljust(2, b"\0"), "big") for i in range(0, len(data), 2)]


def checksum(writes):
    """CRC-32 of the registers the writes leave, each variable's last value, by address."""
    last = {}
    for line in writes:
        name, type_, value = line.split("\t", 2)
        last[first_register(name)] = words(type_, value)
    return zlib.crc32(b"".join(word.to_bytes(2, "big") for at in sorted(last) for word in last[at]))


def expected_registers(writes):
    """What the ticket's writes leave, then the finished state and the checksum."""
    state_at = first_register("P.Download.state")
    regs = [0] * (state_at + 3)
    for line in writes:
        name, type_, value = line.split("\t", 2)
        at, put = first_register(name), words(type_, value)
        regs[at:at + len(put)] = put
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

def last_line(text):
    return (text.strip().splitlines() or [""])[-1]


class Session:
    """tklcli with a folder and a device store of its own, and the tally of the cases."""

    def __init__(self, tklcli):
        logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
        self.tklcli = tklcli
        self.folder = tempfile.TemporaryDirectory()
        self.tmp = self.folder.name
        self.env = dict(os.environ, TKL_DEVICE_STORE=os.path.join(self.tmp, "devices.json"))
        self.env.pop("TKL_NETWORK", None)
        self.passed = self.failures = 0

    def write(self, description, name="network.json"):
        path = os.path.join(self.tmp, name)
        with open(path, "w", encoding="utf-8") as f:
            json.dump(description, f)
        return path

    def tool(self, description, *args):
        """tklcli on `description` (None: its own sample network)."""
        env = self.env if description is None else dict(self.env, TKL_NETWORK=self.write(description))
        return subprocess.run([self.tklcli, *args], env=env, capture_output=True, text=True, encoding="utf-8")

    def verdict(self, name, ok, detail):
        print(f"{name}: {'ok' if ok else 'FAILED'}: {detail}")
        self.passed += bool(ok)
        self.failures += not ok

    def registers(self, name, store, expected):
        """The registers from BASE on hold what the register map says."""
        got = store.getValues(3, BASE, len(expected))
        wrong = [i for i in range(len(expected)) if got[i] != expected[i]]
        self.verdict(name, not wrong, "; ".join(f"register {BASE + i}: {got[i]:#06x}, the map says {expected[i]:#06x}"
                                                for i in wrong[:10]) or f"{len(expected)} registers as the map says")

    def finish(self):
        self.folder.cleanup()
        print(f"{self.passed} passed, {self.failures} failed")
        sys.exit(1 if self.failures else 0)
