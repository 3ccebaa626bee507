#!/usr/bin/env python3
"""A slow terminal link: runs a command on a pseudo-terminal of its own and
passes what the command writes on to this terminal at most RATE bytes a
second (the pseudo-terminal fills, so the command's writes would block).
Keys typed here go to the command at once. SIGUSR1 frees the link (no limit
from then on); the size of this terminal is passed on, also after a resize.
Usage: throttle.py RATE COMMAND [ARGS...]; exits with the command's status."""
import fcntl
import os
import pty
import select
import signal
import struct
import sys
import termios
import time
import tty

rate = float(sys.argv[1])
command = sys.argv[2:]
freed = False


def copy_size(fd):
    try:
        size = fcntl.ioctl(sys.stdin.fileno(), termios.TIOCGWINSZ, b"\0" * 8)
        fcntl.ioctl(fd, termios.TIOCSWINSZ, size)
    except OSError:
        pass


pid, master = pty.fork()
if pid == 0:
    os.execvp(command[0], command)

copy_size(master)


def on_free(*_):
    global freed
    freed = True


signal.signal(signal.SIGUSR1, on_free)
signal.signal(signal.SIGWINCH, lambda *_: (copy_size(master), os.kill(pid, signal.SIGWINCH)))
saved = None
if os.isatty(0):
    saved = termios.tcgetattr(0)
    tty.setraw(0)
out = sys.stdout.fileno()
budget, last = 0.0, time.monotonic()
status = 1
try:
    while True:
        try:
            ready, _, _ = select.select([0, master], [], [], 0.01)
        except InterruptedError:
            continue
        if 0 in ready:
            data = os.read(0, 4096)
            if data:
                os.write(master, data)
        now = time.monotonic()
        budget = min(budget + (now - last) * rate, rate / 10)
        last = now
        if master in ready and (freed or budget >= 1):
            try:
                data = os.read(master, 65536 if freed else int(budget))
            except OSError:  # the command ended and closed its side
                break
            if not data:
                break
            budget -= len(data)
            os.write(out, data)
finally:
    if saved:
        termios.tcsetattr(0, termios.TCSAFLUSH, saved)
_, wait = os.waitpid(pid, 0)
status = os.waitstatus_to_exitcode(wait)
sys.exit(status if status >= 0 else 128 - status)
