#!/usr/bin/env python3
"""Each outside input of the tools at (just below) its size limit, and just above it:
how long a tklcli run over it takes and its peak memory against the input's size.

    bench/cli/input-limits.py [BUILD_DIR]

Target: the peak a small multiple of the input (plus the program's own ~30 MB); an
input above its limit refused at once, without being read.
"""
import json, os, resource, subprocess, sys, tempfile, time

build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', '..', 'build')
tklcli = os.path.join(build, 'bin', 'tklcli')
here = os.path.dirname(os.path.abspath(__file__))
work = tempfile.mkdtemp()
MiB = 1024 * 1024


def measure(args, env):
    """Runs tklcli in a child of its own; seconds, peak MB, exit status, first line of stderr."""
    probe = ('import resource, subprocess, sys, time\n'
             't = time.time(); r = subprocess.run(sys.argv[1:], capture_output=True)\n'
             'print(time.time() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, r.returncode)\n'
             'sys.stderr.write(r.stderr.decode("utf-8", "replace"))\n')
    r = subprocess.run([sys.executable, '-c', probe, tklcli] + args, capture_output=True, env=env, text=True)
    secs, kb, status = r.stdout.split()
    return float(secs), int(kb) / 1024, int(status), (r.stderr.splitlines() or [''])[0][:90]


def network(path, target):
    """100 nodes of 1,000 variables, names padded until the file is about `target` bytes."""
    pad = max(1, (target // 100000 - 150))
    nodes = []
    for n in range(100):
        variables = [{"name": "V%d_%s" % (v, 'x' * pad), "internalAddress": v, "offset": 0, "subDataType": 4,
                      "bitNo": 0, "simulation": {"from": 0, "to": 100}} for v in range(1000)]
        nodes.append({"name": "N%d" % n, "address": "NET1.ST%02d" % n, "capabilities": "65" if n == 0 else "17",
                      "variables": variables})
    ports = [{"name": "Printer1", "node": "N0"}]
    with open(path, 'w') as f:
        json.dump({"nodes": nodes, "ports": ports}, f, indent=1)


def store(path, target):
    """100 ports, each 30 fields and as many ticket lines as fill the file to `target`."""
    ports = {}
    line = 'x' * 250
    lines = max(1, target // (100 * 280))
    for p in range(1, 101):
        name = "Printer%d" % p
        values = {"%s.UpdateArr[%d].VarName" % (name, e): "S.V" for e in range(1, 31)}
        values["%s.lines" % name] = min(lines, 32767)
        for n in range(1, lines + 1):
            values["%s.Ticket[%d]" % (name, n)] = line
        ports[name] = values
    with open(path, 'w') as f:
        json.dump({"version": 1, "ports": ports}, f, indent=4)


def values(path, target):
    with open(path, 'w') as f:
        n = 0
        while f.tell() < target:
            f.write("Node%d.Variable%d=%d.5\n" % (n % 100, n, n))
            n += 1


def layout(path, target):
    with open(os.path.join(here, '..', '..', 'tests', 'cli', 'data', 'golden-layout.txt'), 'rb') as g:
        head = b'\r\n'.join(g.read().split(b'\r\n')[:425]) + b'\r\n'
    with open(path, 'wb') as f:
        f.write(head)
        while f.tell() < target - 32770:
            f.write(b'x' * 32767 + b'\r\n')


cases = [
    # name, limit, writer, command, environment variable the file goes into
    ("layout (check)", MiB, layout, lambda p: ["check", "--port", "Printer1", p], None),
    ("network description (check)", 64 * MiB, network, lambda p: ["check", "--port", "Printer1",
                                                                  os.path.join(here, '..', '..', 'examples', 'old-ticket.txt')], "TKL_NETWORK"),
    ("device memory (show)", 64 * MiB, store, lambda p: ["show", "--port", "Printer1"], "TKL_DEVICE_STORE"),
    ("values file (preview)", 16 * MiB, values, lambda p: ["preview", os.path.join(here, '..', '..', 'examples', 'old-ticket.txt'),
                                                           "--values", p], None),
]

base = measure(["--version"], dict(os.environ))[1]
print("input at its limit: time, peak memory of the whole process, (peak - %.1f MB of an idle run) / input size"
      % base)
for name, limit, write, command, variable in cases:
    for label, size in (("below", limit - limit // 16), ("above", limit + 1)):
        path = os.path.join(work, name.split()[0] + '-' + label)
        write(path, size)
        if os.path.getsize(path) <= limit and label == "above":
            with open(path, 'ab') as f:
                f.write(b' ' * (limit + 1 - os.path.getsize(path)))
        env = dict(os.environ, TKL_DEVICE_STORE=os.path.join(work, 'none.json'))
        env.pop("TKL_NETWORK", None)
        if variable:
            env[variable] = path
        size_mb = os.path.getsize(path) / MiB
        secs, mb, status, err = measure(command(path), env)
        print("  %-28s %-5s %7.1f MB: %5.2f s, peak %6.1f MB (%4.1fx), exit %d %s"
              % (name, label, size_mb, secs, mb, (mb - base) / size_mb, status, err if status == 2 else ""))
        for f in os.listdir(work):
            os.remove(os.path.join(work, f))
