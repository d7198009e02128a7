#!/usr/bin/env python3
"""Boots the test virtual machine as a desktop and types into it with strokesender, as a user's sender would.

The guest (tests/vm/init, then tests/vm/desktop_session) runs this machine's own programs from its root, shared
read-only: systemd-udevd, seatd, sway as an ordinary user with libinput input, a foot window that records what
it receives, and strokerelayd typing through its uinput keyboard. This side runs strokesender at its defaults
against it through qemu's user-mode network and compares what the window recorded with what was sent.

Scenarios (--scenario, repeatable; DEFAULT_SCENARIOS when none is named):
  typing   German layout, the emulated keyboard on the seat: every sentence, three times in a row
  alone    German layout, strokerelayd's keyboard the seat's only one: the layout found once the seat has it
  switch   layouts us,de: a sentence in us, then sway switches to de, then a sentence in de
  long     German layout: 3000 characters and a text longer than strokerelayd's socket queue holds, at
           strokesender's defaults; figures of their speed and loss
  burst    German layout: full datagrams sent back to back, faster than the keyboard's pace; figures of
           how many characters arrived before the socket's queue overflowed
  pace     as long (3000 characters only) with every guest CPU kept busy; figures of the loss
           (--pace-program US=PATH, repeatable: one such scenario, pace-US, for each program, built with
           another pace between its key events)

Usage: drive_desktop.py --kernel VMLINUZ --initrd INITRD --program STROKERELAYD --sender STROKESENDER
                        --share DIR --console LOG [--deadline SECONDS] [--scenario NAME]... [--long-chars N]
                        [--tree DIR (default: this checkout)]
Exit status 0 on success, 1 on any failure (the reason is printed). Figures go to stdout as "figure NAME VALUE".
"""

import argparse
import os
import re
import socket
import subprocess
import sys
import threading
import time

SENTENCES = {
    "de": [
        "Grüße, Straße: 5€ @ Müller & Y/Z",
        "Zwölf Boxkämpfer jagen Viktor quer über den großen Sylter Deich.",
        "Äpfel {und} [Birnen] kosten 3,50 € | Preis = 7 * (2 + 1) ; Ende!",
    ],
    "us": ["Hello, World: 5 @ Miller & Y/Z; [x] = {y} | \"quoted\" 'single' ~"],
}
# The scenarios run when none is named; the others measure.
DEFAULT_SCENARIOS = ("typing", "alone", "switch")
QUIET_SECONDS = 30  # nothing new in the window for this long: what was lost will not come
SCENARIOS = {
    "typing": ("de", "ps2"),
    "alone": ("de", "alone"),
    "switch": ("us,de", "ps2"),
    "long": ("de", "ps2"),
    "burst": ("de", "ps2"),
    "pace": ("de", "ps2,load"),
}


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Console(threading.Thread):
    """Copies qemu's output (the guest's console) to a log file and keeps its lines."""

    def __init__(self, stream, path):
        super().__init__(daemon=True)
        self.stream, self.log, self.lines = stream, open(path, "w", encoding="utf-8", errors="replace"), []
        self.start()

    def run(self):
        for raw in iter(self.stream.readline, b""):
            line = raw.decode("utf-8", errors="replace").rstrip("\r\n")
            self.log.write(line + "\n")
            self.log.flush()
            self.lines.append(line)

    def failures(self):
        return [line for line in self.lines if line.startswith("@@SRDVM FAIL")]


# The virtual machine once it runs: a wait ends when it has ended (a guest kernel's panic, say), not at its
# deadline.
GUEST = None


def wait_until(predicate, deadline, console=None):
    while time.monotonic() < deadline:
        if predicate():
            return True
        if console is not None and console.failures():
            return predicate()
        if GUEST is not None and GUEST.poll() is not None:
            return predicate()
        time.sleep(0.2)
    return predicate()


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", errors="replace")
    except OSError:
        return ""


def sample_text(characters):
    """Prose of `characters` characters in lines of at most 60 columns, typable on a German keyboard."""
    words = ("Müller Straße Grüße über Äpfel zwölf Boxkämpfer Deich Sylter jagen quer Viktor großen den und "
             "kosten Preis Ende 3,50 € 42 @ & Y/Z (2 + 1) = 7; Öl, ja!").split()
    lines, line, i = [], "", 0
    total = 0
    while total < characters:
        word = words[i % len(words)]
        i += 1
        candidate = word if not line else line + " " + word
        if len(candidate) > 60:
            lines.append(line)
            total += len(line) + 1
            line = word
        else:
            line = candidate
    text = "\n".join(lines) + "\n"
    return text[: characters - 1].rstrip(" ") + "\n"


class Desktop:
    def __init__(self, args, share, udp_port):
        self.args, self.share, self.udp_port = args, share, udp_port
        self.failures, self.figures = [], []

    def path(self, name):
        return os.path.join(self.share, name)

    def send(self, layout, text):
        """strokesender at its defaults; the time it took."""
        started = time.monotonic()
        result = subprocess.run(
            [self.args.sender, "-p", str(self.udp_port), "-l", layout, "127.0.0.1", text],
            stdin=subprocess.DEVNULL, capture_output=True, timeout=600,
        )
        if result.returncode != 0:
            self.failures.append("strokesender failed (%d): %s" % (result.returncode, result.stderr[-300:]))
        return time.monotonic() - started

    def expect(self, name, expected, deadline, what):
        """Waits until the window has recorded `expected`; a failure names where it went wrong."""
        typed = self.path(name + ".typed")
        # The window's text reaches the file a line at a time; once the length is right it must be exact. Keys
        # that were lost never come: a window quiet for long is done.
        seen = {"length": -1, "since": time.monotonic()}

        def arrived_or_quiet():
            length = len(read_text(typed))
            if length != seen["length"]:
                seen.update(length=length, since=time.monotonic())
            return length >= len(expected) or time.monotonic() - seen["since"] > QUIET_SECONDS

        wait_until(arrived_or_quiet, deadline)
        time.sleep(0.5)
        got = read_text(typed)
        if got == expected:
            return True
        at = next((i for i, (g, e) in enumerate(zip(got, expected)) if g != e), min(len(got), len(expected)))
        self.failures.append(
            "%s: %s: the window received %d characters of %d, first difference at %d: expected %r, got %r"
            % (name, what, len(got), len(expected), at, expected[at : at + 30], got[at : at + 30])
        )
        return False

    def run(self, name, console, end):
        if not wait_until(lambda: os.path.exists(self.path(name + ".ready")), end, console):
            self.failures.append("%s: the desktop never became ready" % name)
            return
        print("uinput-vm: desktop %s ready after %.0f s" % (name, time.monotonic() - self.started))
        sys.stdout.flush()
        expected = ""
        if name == "typing":
            for round_ in range(3):
                for sentence in SENTENCES["de"]:
                    expected += sentence + "\n"
                    self.send("de", sentence + "\n")
                    if not self.expect(name, expected, min(end, time.monotonic() + 120), "round %d" % (round_ + 1)):
                        return
        elif name == "alone":
            for sentence in SENTENCES["de"][:2]:
                expected += sentence + "\n"
                self.send("de", sentence + "\n")
                if not self.expect(name, expected, min(end, time.monotonic() + 120), "the seat's only keyboard"):
                    return
        elif name == "switch":
            expected += SENTENCES["us"][0] + "\n"
            self.send("us", SENTENCES["us"][0] + "\n")
            if not self.expect(name, expected, min(end, time.monotonic() + 120), "before the switch"):
                return
            open(self.path(name + ".switch"), "w").close()
            wait_until(lambda: os.path.exists(self.path(name + ".switched")), min(end, time.monotonic() + 60))
            time.sleep(2.0)  # strokerelayd hears of the switch from sway's IPC
            expected += SENTENCES["de"][0] + "\n"
            self.send("de", SENTENCES["de"][0] + "\n")
            self.expect(name, expected, min(end, time.monotonic() + 120), "after the switch to de")
        elif name == "burst":
            # "a" is the same key on every layout here: 169 of them and Return a datagram (the terminal passes on
            # whole lines only, of at most 4095 characters).
            datagram = b"?   " + b"k41u41" * 169 + b"k0du0d"
            count = self.args.burst_datagrams
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
                for _ in range(count):
                    sender.sendto(datagram, ("127.0.0.1", self.udp_port))
            self.send("de", "END\n")
            typed = self.path(name + ".typed")
            wait_until(lambda: read_text(typed).endswith("END\n"), min(end, time.monotonic() + 600))
            got = read_text(typed).count("a")
            self.figures += [("burst_datagrams", count), ("burst_chars_sent", count * 169),
                             ("burst_chars_arrived", got)]
        elif name == "long" or name.startswith("pace"):
            for chars in (3000, self.args.long_chars) if name == "long" else (3000,):
                text = sample_text(chars)
                before = len(read_text(self.path(name + ".typed")))
                started = time.monotonic()
                self.send("de", text)
                expected += text
                ok = self.expect(name, expected, min(end, time.monotonic() + 900), "%d characters" % chars)
                seconds = time.monotonic() - started
                got = len(read_text(self.path(name + ".typed"))) - before
                self.figures.append(("%s.chars_%d" % (name, chars), len(text)))
                self.figures.append(("%s.seconds_%d" % (name, chars), round(seconds, 2)))
                # Characters that never arrived; -1: as many arrived as were sent, but not the same ones.
                self.figures.append(("%s.lost_%d" % (name, chars), 0 if ok else max(0, len(text) - got) or -1))
                if not ok and name == "long":
                    return


def main():
    parser = argparse.ArgumentParser()
    for option in ("--kernel", "--initrd", "--program", "--sender", "--share", "--console"):
        parser.add_argument(option, required=True)
    parser.add_argument("--deadline", type=float, default=900.0)
    parser.add_argument("--tree", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    parser.add_argument("--scenario", action="append")
    parser.add_argument("--long-chars", type=int, default=20000)
    parser.add_argument("--burst-datagrams", type=int, default=150)
    parser.add_argument("--pace-program", action="append", default=[])
    parser.add_argument("--smp", type=int, default=2)
    args = parser.parse_args()
    names = args.scenario or list(DEFAULT_SCENARIOS)
    programs = {}
    for item in reversed(args.pace_program):
        pace, path = item.split("=", 1)
        names.insert(0, "pace-" + pace)
        programs["pace-" + pace] = os.path.abspath(path)

    start = time.monotonic()
    end = start + args.deadline
    share = os.path.abspath(args.share)
    with open(os.path.join(share, "program"), "w") as f:
        f.write(os.path.abspath(args.program) + "\n")
    with open(os.path.join(share, "scenarios"), "w") as f:
        for name in names:
            layouts, seat = SCENARIOS[name.split("-")[0]]
            f.write("%s %s %s %s\n" % (name, layouts, seat, programs.get(name, "")))
    # The guest mounts /tmp and /run of its own: the tree under test (the session script, the programs and
    # their modules) is shared apart and mounted at its own path there.
    tree = os.path.realpath(args.tree)
    for path in [args.program] + list(programs.values()):
        if not os.path.realpath(path).startswith(tree + "/"):
            print("uinput-vm: %s is outside the tree under test %s; the guest may not see it" % (path, tree))
    session = os.path.join(os.path.dirname(os.path.abspath(__file__)), "desktop_session")
    udp_port = free_port(socket.SOCK_DGRAM)
    command = [
        "qemu-system-x86_64", "-accel", "tcg", "-smp", str(args.smp), "-m", "1024M",
        "-display", "none", "-monitor", "none", "-serial", "stdio", "-no-reboot",
        "-kernel", args.kernel, "-initrd", args.initrd,
        "-append", "console=ttyS0 quiet loglevel=1 panic=-1 srdvm.session=%s srdvm.tree=%s" % (session, tree),
        "-virtfs", "local,path=/,mount_tag=hostroot,readonly=on,security_model=none,multidevs=remap",
        "-virtfs", "local,path=%s,mount_tag=tree,readonly=on,security_model=none,multidevs=remap" % tree,
        "-virtfs", "local,path=%s,mount_tag=share,security_model=none" % share,
        "-netdev", "user,id=n0,restrict=off,hostfwd=udp:127.0.0.1:%d-10.0.2.15:8102" % udp_port,
        "-device", "e1000,netdev=n0,romfile=",
    ]
    global GUEST
    qemu = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    GUEST = qemu
    console = Console(qemu.stdout, args.console)
    desktop = Desktop(args, share, udp_port)
    desktop.started = start
    try:
        for name in names:
            desktop.run(name, console, end)
            open(os.path.join(share, name + ".stop"), "w").close()
        if not wait_until(lambda: os.path.exists(os.path.join(share, "done")), end):
            if qemu.poll() is not None:
                desktop.failures.append("the virtual machine ended early (qemu's exit status %d)" % qemu.returncode)
            else:
                desktop.failures.append("the guest did not finish within the time limit")
        try:
            qemu.wait(timeout=max(5.0, end - time.monotonic()))
        except subprocess.TimeoutExpired:
            pass
    finally:
        if qemu.poll() is None:
            qemu.kill()
            qemu.wait()
        console.join(timeout=5)

    failures = desktop.failures + ["guest: " + line for line in console.failures()]
    for name in names:
        status = read_text(os.path.join(share, name + ".exit")).strip()
        if os.path.exists(os.path.join(share, name + ".ready")) and status != "0":
            failures.append("%s: strokerelayd's exit status: %s, expected 0" % (name, status or "not reported"))
    # libinput says in sway's log when it read the keyboard late (at most five times an hour).
    for name in names:
        lags = [int(m) for m in re.findall(r"lagging behind by (\d+)ms", read_text(os.path.join(share, name + ".sway.log")))]
        if lags:
            desktop.figures.append(("%s.reader_late_ms" % name, max(lags)))
    for key, value in desktop.figures:
        print("figure %s %s" % (key, value))
    elapsed = time.monotonic() - start
    if failures:
        for failure in failures:
            print("uinput-vm: " + failure)
        for name in names:
            log = read_text(os.path.join(share, name + ".log")).strip().splitlines()
            print("uinput-vm: strokerelayd in %s said:" % name)
            for line in log[-12:]:
                print("  | " + line)
        print("uinput-vm: last console lines:")
        for line in console.lines[-25:]:
            print("  | " + line)
        print("uinput-vm: desktop FAIL (%.1f s)" % elapsed)
        return 1
    print("uinput-vm: desktop %s: every text arrived exactly (%.1f s)" % (", ".join(names), elapsed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
