#!/usr/bin/env python3
"""Boots the test virtual machine, types through strokerelayd inside it and checks what its keyboard produced.

The guest (tests/vm/init) runs strokerelayd with the uinput key sink and an evdev reader on the virtual keyboard.
This side sends real UDP datagrams to strokerelayd through qemu's user-mode network, waits until the reader has
printed every expected key event, asks the guest to stop strokerelayd with SIGTERM, and then compares the console
with the expected Linux key codes, the release of the held Shift key before the device went away, and exit
status 0.

Usage: drive_vm.py --kernel VMLINUZ --initrd INITRD --console LOG [--deadline SECONDS]
Exit status 0 on success, 1 on any failure (the reason is printed).
"""

import argparse
import os
import socket
import subprocess
import sys
import threading
import time

KEY_A, KEY_ENTER, KEY_LEFTSHIFT = 30, 28, 42
KEY_LEFTALT, KEY_GRAVE, KEY_RIGHTALT, KEY_F6 = 56, 41, 100, 64
KEY_Y, KEY_Z, KEY_SEMICOLON = 21, 44, 39


def press(code):
    return (code, 1)


def release(code):
    return (code, 0)


def tap(code):
    return [press(code), release(code)]


def full_datagram():
    """1024 bytes of commands; the last command sits in the last bytes, so a short decode is visible."""
    text = b"?   " + b"k41u41" * 169 + b"k0du0d"
    assert len(text) == 1024
    return text, tap(KEY_A) * 169 + tap(KEY_ENTER)


def plan():
    """(datagram, key events it must produce) in sending order."""
    big, big_events = full_datagram()
    return [
        (b"?K041U041", tap(KEY_A)),
        # The guest's keyboard is German: the codes land where a German keyboard has those keys.
        (b"?K059U059K05AU05A", tap(KEY_Z) + tap(KEY_Y)),
        (b"?K0C0U0C0", tap(KEY_SEMICOLON)),  # VK_OEM_3 is the o-umlaut key there
        (b"?k0dk10u10u0d", [press(KEY_ENTER), press(KEY_LEFTSHIFT), release(KEY_LEFTSHIFT), release(KEY_ENTER)]),
        (b"?K103", [press(KEY_LEFTALT), press(KEY_GRAVE), release(KEY_GRAVE), release(KEY_LEFTALT)]),
        (b"?K104", [press(KEY_RIGHTALT), press(KEY_F6), release(KEY_F6), release(KEY_RIGHTALT)]),
        (big, big_events),
        (b"?K010", [press(KEY_LEFTSHIFT)]),  # still held when strokerelayd is stopped
    ]


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Console:
    """Collects the guest's console lines from qemu's standard output and writes them to a log file."""

    def __init__(self, stream, log_path):
        self._stream = stream
        self._log = open(log_path, "w", encoding="utf-8", errors="replace")
        self._lines = []
        self._cond = threading.Condition()
        self._closed = False
        self._thread = threading.Thread(target=self._pump, daemon=True)
        self._thread.start()

    def _pump(self):
        for raw in iter(self._stream.readline, b""):
            line = raw.decode("utf-8", errors="replace").rstrip("\r\n")
            self._log.write(line + "\n")
            self._log.flush()
            with self._cond:
                self._lines.append(line)
                self._cond.notify_all()
        with self._cond:
            self._closed = True
            self._cond.notify_all()

    def wait_for(self, predicate, deadline):
        """Waits until predicate(lines) is true; False when the deadline passes or the console closes first."""
        with self._cond:
            while not predicate(self._lines):
                left = deadline - time.monotonic()
                if left <= 0 or self._closed:
                    return False
                self._cond.wait(min(left, 0.5))
            return True

    def lines(self):
        with self._cond:
            return list(self._lines)

    def close(self):
        self._thread.join(timeout=5)
        self._log.close()


def reader_events(lines):
    events = []
    for line in lines:
        words = line.split()
        if len(words) == 4 and words[0] == "@@EVR" and words[1] == "key":
            events.append((int(words[2]), int(words[3])))
    return events


def has_line(lines, text):
    return any(line.strip() == text for line in lines)


def check(lines, expected):
    """Returns the list of failures found on the console (empty when everything matched)."""
    failures = []
    got = reader_events(lines)
    if got != expected:
        at = next((i for i, (g, e) in enumerate(zip(got, expected)) if g != e), min(len(got), len(expected)))
        failures.append(
            "key events differ at #%d of %d (got %d): expected %s, got %s"
            % (at, len(expected), len(got), expected[at : at + 4], got[at : at + 4])
        )
    devices = [line.split() for line in lines if line.startswith("@@EVR device ")]
    if devices and devices[0][3] != "rep=0":
        failures.append("the virtual keyboard has kernel autorepeat (EV_REP) enabled")
    if has_line(lines, "@@EVR dropped"):
        failures.append("the reader's event queue overflowed (events lost in the guest, not by strokerelayd)")
    tagged = [line.strip() for line in lines if line.startswith("@@EVR")]
    if "@@EVR gone" not in tagged:
        failures.append("the virtual keyboard did not go away when strokerelayd ended")
    else:
        keys_before_gone = reader_events(tagged[: tagged.index("@@EVR gone")])
        if not keys_before_gone or keys_before_gone[-1] != release(KEY_LEFTSHIFT):
            failures.append("the held Shift was not released before the device went away")
    exits = [line.split()[2] for line in lines if line.startswith("@@SRDVM EXIT")]
    if exits != ["0"]:
        failures.append("strokerelayd's exit status: %s, expected 0" % (exits or "not reported"))
    return failures + guest_failures(lines)


def guest_failures(lines):
    return [
        "guest: " + line
        for line in lines
        if line.startswith("@@SRDVM FAIL") or line.startswith("@@EVR notfound") or line.startswith("@@EVR error")
    ]


def stop_guest(port, deadline):
    """The stop request is one TCP connection to the guest's nc listener."""
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
                s.sendall(b"stop\n")
            return True
        except OSError:
            time.sleep(0.2)
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kernel", required=True)
    parser.add_argument("--initrd", required=True)
    parser.add_argument("--console", required=True, help="file that receives the guest's console")
    parser.add_argument("--deadline", type=float, default=80.0, help="seconds for the whole run")
    args = parser.parse_args()

    start = time.monotonic()
    end = start + args.deadline
    udp_port = free_port(socket.SOCK_DGRAM)
    tcp_port = free_port(socket.SOCK_STREAM)
    stop_seconds = max(10, int(args.deadline))
    command = [
        "qemu-system-x86_64",
        "-accel", "tcg",
        "-m", "256M",
        "-display", "none",
        "-monitor", "none",
        "-serial", "stdio",
        "-no-reboot",
        "-kernel", args.kernel,
        "-initrd", args.initrd,
        "-append", "console=ttyS0 quiet loglevel=1 panic=-1 srdvm.stop=%d" % stop_seconds,
        "-netdev", "user,id=n0,restrict=off,hostfwd=udp:127.0.0.1:%d-10.0.2.15:8102,"
        "hostfwd=tcp:127.0.0.1:%d-10.0.2.15:9000" % (udp_port, tcp_port),
        "-device", "e1000,netdev=n0,romfile=",
    ]
    qemu = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    console = Console(qemu.stdout, args.console)
    failures = []
    expected = []
    try:
        if not console.wait_for(
            lambda ls: has_line(ls, "@@SRDVM READY") or any(l.startswith("@@SRDVM FAIL") for l in ls), end
        ) or not has_line(console.lines(), "@@SRDVM READY"):
            failures.append("the guest never became ready")
        else:
            boot_seconds = time.monotonic() - start
            print("uinput-vm: guest ready after %.1f s" % boot_seconds)
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
                for datagram, events in plan():
                    expected += events
                    sender.sendto(datagram, ("127.0.0.1", udp_port))
                    # Wait for this datagram's keys before the next one: a slow guest must not be mistaken for
                    # lost datagrams, and a failure points at the datagram that caused it.
                    want = len(expected)
                    if not console.wait_for(lambda ls: len(reader_events(ls)) >= want, min(end, time.monotonic() + 20)):
                        failures.append("no key events for datagram %r within 20 s" % datagram[:24])
                        break
            # Shift stays held for a moment: nothing may release or repeat it until strokerelayd stops.
            time.sleep(1.0)
            expected.append(release(KEY_LEFTSHIFT))
            if not stop_guest(tcp_port, min(end, time.monotonic() + 10)):
                failures.append("could not reach the guest's stop listener")
        if not console.wait_for(lambda ls: has_line(ls, "@@SRDVM DONE"), end):
            failures.append("the guest did not finish within the time limit")
        else:
            try:
                qemu.wait(timeout=max(1.0, end - time.monotonic()))
            except subprocess.TimeoutExpired:
                failures.append("qemu did not exit after the guest powered off")
    finally:
        if qemu.poll() is None:
            qemu.kill()
            qemu.wait()
        console.close()

    lines = console.lines()
    if expected:
        failures += check(lines, expected)
    else:
        failures += guest_failures(lines)
    elapsed = time.monotonic() - start
    if failures:
        for failure in failures:
            print("uinput-vm: " + failure)
        print("uinput-vm: last console lines:")
        for line in lines[-40:]:
            print("  | " + line)
        print("uinput-vm: FAIL (%.1f s)" % elapsed)
        return 1
    print("uinput-vm: %d key events matched, Shift released before the device went away, exit status 0"
          % len(expected))
    print("uinput-vm: PASS (%.1f s)" % elapsed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
