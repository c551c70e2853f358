#!/usr/bin/env python3
"""Modbus RTU on a serial line, against a device nobody here wrote: pymodbus serves the
registers in RTU frames, and socat turns its TCP stream into a pseudo-terminal, which
tklcli opens as the node's serial line. (Debian 12's pymodbus serial server cannot open
a pseudo-terminal itself.)

1. Two lines, each with two units, and two TCP devices, downloaded in one run: what
   pymodbus holds is compared with what the register map says the writes leave.
2. A relay between socat and pymodbus spoils one answer: a wrong CRC, a unit that stays
   silent, an answer from another unit. Each download fails at that request and says why.
3. tkldevsim serving a line (--serial) behind a pseudo-terminal pair, with its faults.

Usage: modbus_rtu.py TKLCLI TKLDEVSIM GOLDEN_LAYOUT GOLDEN_WRITES
"""

import os
import socket
import subprocess
import sys
import threading
import time

from pymodbus.transaction import ModbusRtuFramer
from pymodbus.utilities import computeCRC

from modbus_support import Session, expected_registers, last_line, network, printer, start_device, tcp_node

UNITS = (3, 4)


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


def read_frame(sock, length):
    """One frame from a stream, as long as `length(its bytes so far)` says; None at its end."""
    data = b""
    while len(data) < length(data):
        chunk = sock.recv(length(data) - len(data))
        if not chunk:
            return None
        data += chunk
    return data


class Relay:
    """Between socat and pymodbus: hands each request on and each answer back, answer `at`
    as `spoil(answer)` gives it."""

    def __init__(self, device_port, at=0, spoil=None):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.requests = 0
        threading.Thread(target=self.run, args=(device_port, at, spoil), daemon=True).start()

    def run(self, device_port, at, spoil):
        line, _ = self.listener.accept()
        device = socket.create_connection(("127.0.0.1", device_port))
        try:
            while (request := read_frame(line, request_length)) is not None:
                self.requests += 1
                device.sendall(request)
                answer = read_frame(device, answer_length)
                if answer is None:
                    break
                line.sendall(spoil(answer) if self.requests == at else answer)
        except OSError:
            pass
        line.close()
        device.close()


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


def lines_and_tcp(run, layout, expected):
    """Two lines of two units each and two TCP devices, in one download."""
    rtu = [start_device(UNITS, ModbusRtuFramer) for _ in range(2)]
    tcp = [start_device(), start_device()]
    lines = [Line(os.path.join(run.tmp, f"line{k}"), Relay(port).port)
             for k, (port, _) in enumerate(rtu, 1)]
    nodes = [serial_node(f"Line{k}", 20 + k, line.path) for k, line in enumerate(lines, 1)]
    nodes += [tcp_node(f"Module{k}", 30 + k, port) for k, (port, _) in enumerate(tcp, 1)]
    ports = [printer(f"L{k}U{u}", f"Line{k}", u) for k in (1, 2) for u in UNITS]
    ports += [printer(f"T{k}", f"Module{k}") for k in (1, 2)]
    result = run.tool(network(nodes, ports), "download", layout, *sum((["--port", p["name"]] for p in ports), []))
    for line in lines:
        line.close()
    run.verdict("two lines and two TCP devices", result.returncode == 0 and result.stderr.count("writes to") == 6,
                f"exit {result.returncode}: {last_line(result.stderr)}")
    for k, (_, units) in enumerate(rtu, 1):
        for u in UNITS:
            run.registers(f"L{k}U{u} read back with pymodbus", units[u], expected)


def from_unit_9(answer):
    body = bytes([9]) + answer[1:-2]
    return body + computeCRC(body).to_bytes(2, "big")


def spoilt_answers(run, layout):
    device, _ = start_device(UNITS, ModbusRtuFramer)
    cases = [("a wrong CRC", lambda answer: answer[:-1] + bytes([answer[-1] ^ 0xFF]), "the answer's CRC is 0x"),
             ("a silent unit", lambda answer: b"", "no answer within 1000 ms"),
             ("an answer from another unit", from_unit_9, "the device answered for unit 9, asked unit 3")]
    for name, spoil, what in cases:
        relay = Relay(device, 3, spoil)
        line = Line(os.path.join(run.tmp, "spoilt"), relay.port)
        result = run.tool(network([serial_node("Line1", 21, line.path)], [printer("P", "Line1")]),
                          "download", layout, "--port", "P")
        time.sleep(0.2)  # the relay counts a request that came after the spoilt one
        line.close()
        run.verdict(name, result.returncode == 1 and what in result.stderr and relay.requests == 3,
                    f"exit {result.returncode}, {relay.requests} requests: {last_line(result.stderr)}")


def simulator_on_a_line(run, tkldevsim, layout):
    """tkldevsim on one end of a pseudo-terminal pair, tklcli on the other."""
    ends = [os.path.join(run.tmp, "client-end"), os.path.join(run.tmp, "device-end")]
    pair = subprocess.Popen(["socat", f"pty,raw,echo=0,link={ends[0]}", f"pty,raw,echo=0,link={ends[1]}"])
    if not (wait_for(ends[0], pair) and wait_for(ends[1], pair)):
        sys.exit("socat made no pseudo-terminal pair")
    description = network([serial_node("Line1", 21, ends[0])], [printer("P", "Line1")])
    path = run.write(description, "sim.json")
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
                    and (shown is None or shown.returncode == 0), f"exit {result.returncode}: {last_line(result.stderr)}")
    pair.terminate()
    pair.wait()


def main():
    tklcli, tkldevsim, layout, writes = sys.argv[1:5]
    with open(writes, encoding="utf-8") as f:
        expected = expected_registers(f.read().splitlines())
    run = Session(tklcli)
    lines_and_tcp(run, layout, expected)
    spoilt_answers(run, layout)
    simulator_on_a_line(run, tkldevsim, layout)
    run.finish()


if __name__ == "__main__":
    main()
