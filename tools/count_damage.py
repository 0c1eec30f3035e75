#!/usr/bin/env python3
"""Counts the frames drawn into one X window, and the repaints they make
up, for SECONDS: the benchmarks' figures and the end-to-end tests' count of
the OSD's repaints.

  count_damage.py XID SECONDS [--times]

Uses the X DAMAGE extension at the "non-empty" level: one notification each
time the window's damage goes from empty to non-empty, after which the
damage is cleared again, so every frame Wine puts on the window counts once.
Wine puts one paint of the OSD on the screen in one to three frames within a
few milliseconds (the resize, the fill, the text); frames less than
REPAINT_GAP apart count as one repaint. The program's repaints come from
its 250 ms ticks, so two of them are never that close.
Prints "damage_frames N" and "damage_repaints N"; with --times also
"repaint_ms T" for each repaint, T counted from the start.
"""
import ctypes
import select
import sys
import time

X_DAMAGE_REPORT_NON_EMPTY = 3
X_DAMAGE_NOTIFY = 0
REPAINT_GAP = 0.15  # seconds

x11 = ctypes.CDLL("libX11.so.6")
xdamage = ctypes.CDLL("libXdamage.so.1")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
x11.XPending.argtypes = [ctypes.c_void_p]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
xdamage.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                          ctypes.POINTER(ctypes.c_int)]
xdamage.XDamageCreate.restype = ctypes.c_ulong
xdamage.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
xdamage.XDamageSubtract.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                    ctypes.c_ulong]

# A window that goes away must not end the count with an X error.
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore_errors = ERROR_HANDLER(lambda display, event: 0)
x11.XSetErrorHandler(ignore_errors)


def main():
    if len(sys.argv) not in (3, 4) or sys.argv[3:] not in ([], ["--times"]):
        sys.exit(__doc__.strip().splitlines()[4].strip())
    xid, seconds, times = int(sys.argv[1], 0), float(sys.argv[2]), len(sys.argv) == 4
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("count_damage: cannot open the display")
    event_base, error_base = ctypes.c_int(), ctypes.c_int()
    if not xdamage.XDamageQueryExtension(display, ctypes.byref(event_base), ctypes.byref(error_base)):
        sys.exit("count_damage: no DAMAGE extension")
    damage = xdamage.XDamageCreate(display, xid, X_DAMAGE_REPORT_NON_EMPTY)
    x11.XSync(display, 0)
    event = ctypes.create_string_buffer(192)  # XEvent is a union of 24 longs
    # A new damage object starts with the whole window damaged, which is
    # reported at once: not a frame.
    xdamage.XDamageSubtract(display, damage, 0, 0)
    x11.XSync(display, 0)
    while x11.XPending(display):
        x11.XNextEvent(display, event)
    frames = 0
    repaints = 0
    last_frame = None
    fd = x11.XConnectionNumber(display)
    start = time.monotonic()
    deadline = start + seconds
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            break
        if x11.XPending(display) == 0:
            select.select([fd], [], [], min(left, 0.5))
            continue
        x11.XNextEvent(display, event)
        kind = ctypes.cast(event, ctypes.POINTER(ctypes.c_int))[0]
        if kind == event_base.value + X_DAMAGE_NOTIFY:
            now = time.monotonic()
            frames += 1
            if last_frame is None or now - last_frame > REPAINT_GAP:
                repaints += 1
                if times:
                    print("repaint_ms %d" % ((now - start) * 1000))
            last_frame = now
            xdamage.XDamageSubtract(display, damage, 0, 0)
    print("damage_frames %d" % frames)
    print("damage_repaints %d" % repaints)


if __name__ == "__main__":
    main()
