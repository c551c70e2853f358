#!/usr/bin/env python3
"""Modbus RTU on a serial line, against a device nobody here wrote: pymodbus serves the
registers in RTU frames, and socat turns its TCP stream into a pseudo-terminal, which
tklcli opens as the node's serial line. (Debian 12's pymodbus serial server cannot open
a pseudo-terminal itself.)

1. Two lines, each with two units, and two TCP devices, downloaded in one run: pymodbus
   reads every register back, compared with what the register map says the writes leave.
2. A relay between socat and pymodbus spoils one answer: a wrong CRC, a unit that stays
   silent, an answer from another unit. Each download fails at that request and says why.
3. tkldevsim serving a line (--serial) behind a pseudo-terminal pair, with its faults.

Usage: modbus_rtu.py TKLCLI TKLDEVSIM GOLDEN_LAYOUT GOLDEN_WRITES
"""

import asyncio
import json
import logging
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server.async_io import ModbusTcpServer
from pymodbus.transaction import ModbusRtuFramer

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from modbus_interop import BASE, ELEMENTS, LINES, STRING_LENGTH, expected_registers, start_device  # noqa: E402

UNITS = (3, 4)


def crc16(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc.to_bytes(2, "little")


def start_rtu_device():
    """pymodbus speaking RTU frames over TCP on a free port; returns (port, its units' stores)."""
    started = threading.Event()
    found = {}

    def run():
        loop = asyncio.new_event_loop()
        asyncio.set_event_loop(loop)
        slaves = {u: ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, [0] * 65536), zero_mode=True) for u in UNITS}
        found["slaves"] = slaves
        server = ModbusTcpServer(ModbusServerContext(slaves=slaves, single=False), framer=ModbusRtuFramer,
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
    return found["port"], found["slaves"]


def read_frame(sock, lengths):
    """One RTU frame from a stream, framed by `lengths(head)`; None at its end."""
    data = b""
    need = 2
    while len(data) < need:
        chunk = sock.recv(need - len(data))
        if not chunk:
            return None
        data += chunk
        need = max(need, lengths(data))
    return data


def request_length(head):
    if len(head) < 2:
        return 2
    if head[1] in (3, 6):
        return 8
    return 7 if len(head) < 7 else 9 + head[6]


def answer_length(head):
    if len(head) < 2:
        return 2
    if head[1] & 0x80:
        return 5
    if head[1] == 3:
        return 3 if len(head) < 3 else 5 + head[2]
    return 8


class Relay:
    """Between socat and pymodbus: hands each request on and each answer back, spoiling
    answer `at` with `spoil` (None: none)."""

    def __init__(self, device_port, at=0, spoil=None):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.requests = 0
        threading.Thread(target=self.run, args=(device_port, at, spoil), daemon=True).start()

    def run(self, device_port, at, spoil):
        line, _ = self.listener.accept()
        device = socket.create_connection(("127.0.0.1", device_port))
        try:
            while True:
                request = read_frame(line, request_length)
                if request is None:
                    break
                self.requests += 1
                device.sendall(request)
                answer = read_frame(device, answer_length)
                if answer is None:
                    break
                if self.requests == at:
                    answer = spoil(answer)
                if answer:
                    line.sendall(answer)
        except OSError:
            pass
        line.close()
        device.close()


def bad_crc(answer):
    return answer[:-1] + bytes([answer[-1] ^ 0xFF])


def silent(answer):
    return b""


def from_unit_9(answer):
    body = bytes([9]) + answer[1:-2]
    return body + crc16(body)


def wait_for(path, process):
    for _ in range(100):
        if os.path.exists(path):
            return True
        if process.poll() is not None:
            return False
        time.sleep(0.05)
    return False


class Line:
    """A pseudo-terminal at `path` whose other end is the relay at `relay_port`."""

    def __init__(self, path, relay_port):
        self.path = path
        self.socat = subprocess.Popen(["socat", f"pty,raw,echo=0,link={path}", f"tcp:127.0.0.1:{relay_port}"])
        if not wait_for(path, self.socat):
            sys.exit(f"socat did not make {path}")

    def close(self):
        self.socat.terminate()
        self.socat.wait()


def serial_node(name, station, path):
    return {"name": name, "address": f"NET1.ST{station}", "capabilities": "65 ticket printer", "variables": [],
            "modbus": {"serial": path, "baud": 19200, "parity": "E", "timeoutMs": 1000}}


def tcp_node(name, station, port):
    return {"name": name, "address": f"NET1.ST{station}", "capabilities": "65 ticket printer", "variables": [],
            "modbus": {"host": "127.0.0.1", "port": port, "timeoutMs": 3000}}


def printer(name, node, unit):
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


class Run:
    def __init__(self, tklcli, tmp):
        self.tklcli = tklcli
        self.tmp = tmp
        self.env = dict(os.environ, TKL_DEVICE_STORE=os.path.join(tmp, "devices.json"))
        self.failures = 0
        self.passed = 0

    def tool(self, description, *args):
        path = os.path.join(self.tmp, "network.json")
        with open(path, "w", encoding="utf-8") as f:
            json.dump(description, f)
        return subprocess.run([self.tklcli, *args], env=dict(self.env, TKL_NETWORK=path), capture_output=True,
                              text=True)

    def verdict(self, name, ok, detail):
        print(f"{name}: {'ok' if ok else 'FAILED'}: {detail}")
        if ok:
            self.passed += 1
        else:
            self.failures += 1


def lines_and_tcp(run, layout, expected):
    """Two lines of two units each and two TCP devices, in one download."""
    rtu = [start_rtu_device() for _ in range(2)]
    tcp = [start_device(), start_device()]
    relays = [Relay(port) for port, _ in rtu]
    lines = [Line(os.path.join(run.tmp, f"line{k}"), relay.port) for k, relay in enumerate(relays, 1)]
    nodes = [serial_node(f"Line{k}", 20 + k, line.path) for k, line in enumerate(lines, 1)]
    nodes += [tcp_node(f"Module{k}", 30 + k, port) for k, port in enumerate(tcp, 1)]
    ports = [printer(f"L{k}U{u}", f"Line{k}", u) for k in (1, 2) for u in UNITS]
    ports += [printer(f"T{k}", f"Module{k}", 3) for k in (1, 2)]
    names = [p["name"] for p in ports]
    result = run.tool(network(nodes, ports), "download", layout, *sum((["--port", n] for n in names), []))
    for line in lines:
        line.close()
    run.verdict("two lines and two TCP devices", result.returncode == 0 and result.stderr.count("writes to") == 6,
                f"exit {result.returncode}: {result.stderr.strip().splitlines()[-1:]}")
    stores = {f"L{k}U{u}": rtu[k - 1][1][u] for k in (1, 2) for u in UNITS}
    for name, store in stores.items():
        got = store.getValues(3, BASE, len(expected))
        wrong = [i for i in range(len(expected)) if got[i] != expected[i]]
        run.verdict(f"{name} read back with pymodbus", not wrong,
                    f"{len(expected)} registers" if not wrong else
                    f"register {BASE + wrong[0]}: {got[wrong[0]]:#06x}, the map says {expected[wrong[0]]:#06x}")


def spoilt_answers(run, layout):
    device, _ = start_rtu_device()
    cases = [("a wrong CRC", bad_crc, "the answer's CRC is 0x"),
             ("a silent unit", silent, "no answer within 1000 ms"),
             ("an answer from another unit", from_unit_9, "the device answered for unit 9, asked unit 3")]
    for name, spoil, what in cases:
        relay = Relay(device, 3, spoil)
        line = Line(os.path.join(run.tmp, "spoilt"), relay.port)
        result = run.tool(network([serial_node("Line1", 21, line.path)], [printer("P", "Line1", 3)]),
                          "download", layout, "--port", "P")
        time.sleep(0.2)
        line.close()
        run.verdict(name, result.returncode == 1 and what in result.stderr and relay.requests == 3,
                    f"exit {result.returncode}, {relay.requests} requests: {result.stderr.strip().splitlines()[-1:]}")


def simulator_on_a_line(run, tkldevsim, layout):
    """tkldevsim on one end of a pseudo-terminal pair, tklcli on the other."""
    ends = [os.path.join(run.tmp, "client-end"), os.path.join(run.tmp, "device-end")]
    pair = subprocess.Popen(["socat", f"pty,raw,echo=0,link={ends[0]}", f"pty,raw,echo=0,link={ends[1]}"])
    if not (wait_for(ends[0], pair) and wait_for(ends[1], pair)):
        sys.exit("socat made no pseudo-terminal pair")
    description = network([serial_node("Line1", 21, ends[0])], [printer("P", "Line1", 3)])
    path = os.path.join(run.tmp, "sim.json")
    with open(path, "w", encoding="utf-8") as f:
        json.dump(description, f)
    cases = [([], 0, "writes to P"), (["--drop-at", "5"], 1, "no answer within 1000 ms"),
             (["--exception-at", "4"], 1, "P.UpdateArr[3].DataIn to " + ends[0] + " (unit 3) failed: the device "
              "answered with Modbus exception 4")]
    for options, status, what in cases:
        sim = subprocess.Popen([tkldevsim, "--network", path, "--serial", ends[1], *options],
                               stdout=subprocess.PIPE, text=True)
        ready = sim.stdout.readline() and sim.stdout.readline()
        result = run.tool(description, "download", layout, "--port", "P")
        shown = run.tool(description, "show", "--port", "P") if status == 0 else None
        sim.terminate()
        sim.wait()
        run.verdict(f"tkldevsim --serial {' '.join(options)}".strip(),
                    bool(ready) and result.returncode == status and what in result.stderr
                    and (shown is None or shown.returncode == 0),
                    f"exit {result.returncode}: {result.stderr.strip().splitlines()[-1:]}")
    pair.terminate()
    pair.wait()


def main():
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
    tklcli, tkldevsim, layout, writes = sys.argv[1:5]
    with open(writes, encoding="utf-8") as f:
        expected = expected_registers(f.read().splitlines())
    with tempfile.TemporaryDirectory() as tmp:
        run = Run(tklcli, tmp)
        lines_and_tcp(run, layout, expected)
        spoilt_answers(run, layout)
        simulator_on_a_line(run, tkldevsim, layout)
    print(f"{run.passed} passed, {run.failures} failed")
    sys.exit(1 if run.failures else 0)


if __name__ == "__main__":
    main()
