#!/usr/bin/env python3
"""check_docs.py SOURCE_DIR BIN_DIR: the documentation runs as written.

Replays docs/cli-session.txt and compares what every command prints; runs every
command of the manual pages' EXAMPLES and of the README's shell blocks from the
source folder, with the built programs first on PATH, and fails on a command that
fails (an exit status other than 0, or 1 where the documentation shows problems).
"""
import fcntl
import os
import re
import subprocess
import sys
import tempfile

source, bindir = sys.argv[1], sys.argv[2]

# README commands that build, install or run the whole suite: other tests cover
# what they do (install_tree, deb_package, deb_build_targets) and a test must not
# start them inside itself.
NOT_RUN = ("./scripts/run-editor.sh", "./scripts/run-tests.sh", "./scripts/build-deb.sh", "cmake --install", "sudo ")

failures = []


def environment(home):
    env = dict(os.environ)
    env["PATH"] = bindir + os.pathsep + env.get("PATH", "")
    for name in ("TKL_NETWORK", "TKL_DEVICE_STORE", "DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env["HOME"] = home
    for kind in ("config", "data", "state"):
        env["XDG_%s_HOME" % kind.upper()] = os.path.join(home, kind)
    return env


def may_find(where, command):
    """Whether exit status 1 (problems found) is what the documentation shows: check
    finds the problems of examples/old-ticket.txt, and the README's walkthrough shows
    and previews a port its editor steps downloaded into, which this test cannot take."""
    return " check " in " " + command or (
        where == "README.md" and re.search(r"tklcli (show|preview) --port Printer1$", command) is not None)


def strip_comment(line):
    return re.sub(r"\s+#\s.*$", "", line).strip()


def run_commands(where, commands):
    """Runs `commands` in one shell, in order; a line ending in "&" runs in the
    background until the end, and the next waits until it says it is ready."""
    with tempfile.TemporaryDirectory() as home:
        statuses = os.path.join(home, "statuses")
        script = ["cd " + sh_quote(source)]
        for n, command in enumerate(commands):
            if command.endswith("&"):
                log = os.path.join(home, "background%d" % n)
                script.append("%s >%s 2>&1 &" % (command[:-1].strip(), sh_quote(log)))
                script.append("for i in $(seq 100); do grep -q ready %s && break; sleep 0.1; done" % sh_quote(log))
            else:
                script.append("{ %s\n} 2>%s" % (command, sh_quote(os.path.join(home, "err%d" % n))))
                script.append("echo \"$? %d\" >>%s" % (n, sh_quote(statuses)))
        script.append("kill $(jobs -p) 2>/dev/null; wait")
        done = subprocess.run(["bash", "-c", "\n".join(script)], env=environment(home),
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
        lines = open(statuses).read().split("\n")[:-1] if os.path.exists(statuses) else []
        seen = {int(n): int(status) for status, n in map(str.split, lines)}
        for n, command in enumerate(commands):
            if command.endswith("&"):
                continue
            status = seen.get(n)
            said = open(os.path.join(home, "err%d" % n)).read() if status is not None else done.stderr
            # Problems found, and only those: a file it could not use is said on stderr.
            found = status == 1 and may_find(where, command) and (said == "" or " check " not in " " + command)
            if status != 0 and not found:
                failures.append("%s: `%s` exited %s\n%s" % (where, command, status, said[-2000:]))


def sh_quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


def man_examples(page):
    text = open(page, encoding="utf-8").read()
    section = re.search(r"^\.SH EXAMPLES\n(.*?)(?=^\.SH )", text, re.M | re.S)
    if not section:
        return []
    lines = re.search(r"^\.nf\n(.*?)^\.fi", section.group(1), re.M | re.S).group(1).splitlines()
    return [strip_comment(l.replace("\\-", "-")) for l in lines if l.strip()]


def readme_commands():
    text = open(os.path.join(source, "README.md"), encoding="utf-8").read()
    commands = []
    for block in re.findall(r"^ *```sh\n(.*?)^ *```", text, re.M | re.S):
        for line in block.splitlines():
            line = strip_comment(line)
            if line and not line.startswith(NOT_RUN):
                # The README's build folder is build/; this test's may be another.
                commands.append(line.replace("build/bin/", bindir + "/"))
    return commands


def replay_session():
    """docs/cli-session.txt: "$ command" lines, each followed by what it prints."""
    path = os.path.join(source, "docs", "cli-session.txt")
    steps = []
    for line in open(path, encoding="utf-8").read().splitlines():
        if line.startswith("$ "):
            steps.append((strip_comment(line[2:]), []))
        else:
            steps[-1][1].append(line)
    marker = "@@ step @@"
    script = ["cd " + sh_quote(source)]
    for command, _ in steps:
        script += ["echo '%s'" % marker, "{ %s\n} 2>&1" % command]
    with tempfile.TemporaryDirectory() as home:
        done = subprocess.run(["bash", "-c", "\n".join(script)], env=environment(home),
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
    printed = done.stdout.split(marker + "\n")[1:]
    for (command, expected), got in zip(steps, printed):
        if got.splitlines() != expected:
            failures.append("docs/cli-session.txt: `%s` printed\n%s\ninstead of\n%s"
                            % (command, got, "\n".join(expected)))
    if len(printed) != len(steps):
        failures.append("docs/cli-session.txt: the session stopped after %d of %d steps" % (len(printed), len(steps)))


# The Modbus examples listen on fixed loopback ports: one run at a time on a machine.
with open(os.path.join(tempfile.gettempdir(), "tkl-doc-examples.lock"), "w") as lock:
    fcntl.flock(lock, fcntl.LOCK_EX)
    replay_session()
    runs = [("man " + page, man_examples(os.path.join(source, "dist", "man", page)))
            for page in sorted(os.listdir(os.path.join(source, "dist", "man")))] + [("README.md", readme_commands())]
    for where, commands in runs:
        run_commands(where, commands)
    ran = sum(len(commands) for _, commands in runs)

# The examples named by the glob the README pipes into check are layouts, every one.
with tempfile.TemporaryDirectory() as home:
    json = subprocess.run("tklcli check --format json examples/*.txt", shell=True, cwd=source,
                          env=environment(home), capture_output=True, text=True)
if '"kind":"format"' in json.stdout or json.returncode >= 2:
    failures.append("examples/*.txt holds a file that is no layout:\n" + json.stdout + json.stderr)

for failure in failures:
    print("FAIL:", failure)
print("%d documented commands run" % ran)
sys.exit(1 if failures else 0)
