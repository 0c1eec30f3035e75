#!/usr/bin/env python3
"""Prints the benchmark figures of bench/run.sh as a Markdown table: each
figure, its goal, what was measured, the ratio to the floor where there is
one, and whether the goal was met.

  report.py RESULTS.txt QUICK(0|1)
"""
import sys

MIB = 1024 * 1024


def load(path):
    figures = {}
    with open(path) as lines:
        for line in lines:
            parts = line.split(None, 1)
            if len(parts) == 2:
                figures[parts[0]] = parts[1].strip()
    return figures


def num(figures, key):
    try:
        return float(figures[key])
    except (KeyError, ValueError):
        return None


def ratio(a, b):
    if a is None or b is None or b == 0:
        return None
    return a / b


def fmt(value, unit="", digits=2):
    if value is None:
        return "n/a"
    return ("%.*f" % (digits, value)) + unit


def verdict(ok):
    if isinstance(ok, str):
        return ok
    if ok is None:
        return "not measured"
    return "met" if ok else "NOT MET"


def main():
    f = load(sys.argv[1])
    quick = len(sys.argv) > 2 and sys.argv[2] == "1"
    rows = []
    measured_build = f.get("bench_build", "x86_64")
    shipped = "i686 (shipped exe)"
    program = shipped if measured_build == "i686" else "x86_64 (same sources)"

    def row(name, goal, measured, rat, ok, build=program):
        rows.append((name, build, goal, measured, rat, verdict(ok)))

    idle = "idle"
    for label, title, limit in (("a", "Idle CPU, lock icons only (KbInd=0)", 1.5),
                                ("b", "Idle CPU, defaults with the OSD", 3.0)):
        tool = num(f, "%s_%s_tool_cpu" % (idle, label))
        floor = num(f, "%s_%s_floor_cpu" % (idle, label))
        ws = num(f, "%s_%s_wineserver_cpu" % (idle, label))
        r = ratio(tool, floor)
        row(title, "<= %.1fx the floor's CPU seconds" % limit,
            "%s CPU s (floor %s; wineserver %s)" % (fmt(tool), fmt(floor), fmt(ws)),
            fmt(r, "x"), None if r is None else r <= limit)
    frames = num(f, "idle_b_osd_frames")
    repaints = num(f, "idle_b_osd_repaints")
    seconds = num(f, "idle_seconds") or 120.0
    rate = None if repaints is None else repaints / seconds
    changes = num(f, "soak_osd_text_changes")
    messages = num(f, "soak_osd_wm_paint")
    per_update = None if not changes or messages is None else (changes + messages) / changes
    row("OSD repaints, defaults", "<= 1 a second on average",
        "%s repaints in %d s = %s/s (%s X frames); %s paints per repainting update (soak)" % (
            fmt(repaints, digits=0), seconds, fmt(rate), fmt(frames, digits=0), fmt(per_update)),
        "", None if rate is None else rate <= 1.0)

    paint = num(f, "soak_ms_per_repainting_poll")
    osd_worst = num(f, "latency_osd_worst_ms")
    limit = None if paint is None else 250.0 + paint
    gap = num(f, "latency_timer_worst_gap_ms")
    row("Lock latency to the OSD (Caps Lock, %s presses)" % fmt(num(f, "latency_toggles"), digits=0),
        "worst <= 250 ms tick + paint (%s ms)" % fmt(paint, digits=1),
        "median %s ms, worst %s ms, %s seen; meanwhile a 250 ms timer of a Wine program "
        "fired up to %s ms apart" % (fmt(num(f, "latency_osd_median_ms"), digits=1),
                                     fmt(osd_worst, digits=1),
                                     fmt(num(f, "latency_osd_seen"), digits=0), fmt(gap, digits=1)),
        "", None if limit is None or osd_worst is None else osd_worst <= limit)
    tray_worst = num(f, "latency_tray_worst_ms")
    row("Lock latency to the tray icon's pixels", "worst <= 250 ms tick + paint",
        "median %s ms, worst %s ms, %s seen" % (fmt(num(f, "latency_tray_median_ms"), digits=1),
                                                fmt(tray_worst, digits=1),
                                                fmt(num(f, "latency_tray_seen"), digits=0)),
        "", None if limit is None or tray_worst is None else tray_worst <= limit)

    tool = num(f, "startup_tool_median_ms")
    floor = num(f, "startup_floor_median_ms")
    row("Start-up to window shown + main tray icon (median of %s)" % fmt(num(f, "startup_runs"), digits=0),
        "reported against the floor",
        "%s ms (window %s, icon %s); floor %s ms" % (
            fmt(tool, digits=0), fmt(num(f, "startup_tool_window_median_ms"), digits=0),
            fmt(num(f, "startup_tool_icon_median_ms"), digits=0), fmt(floor, digits=0)),
        fmt(ratio(tool, floor), "x"), "no goal")

    i686 = num(f, "i686_startup_median_ms")
    emulated = f.get("bench_i386_mode") != "native"
    row("Start-up of the shipped i686 exe%s (median of %s)"
        % (" under CPU emulation" if emulated else "", fmt(num(f, "i686_startup_runs"), digits=0)),
        "reported beside the start-up above",
        "%s ms (window %s, icon %s, worst %s); 32-bit Wine %s" % (
            fmt(i686, digits=0), fmt(num(f, "i686_startup_window_median_ms"), digits=0),
            fmt(num(f, "i686_startup_icon_median_ms"), digits=0),
            fmt(num(f, "i686_startup_worst_ms"), digits=0),
            "under qemu-i386" if emulated else "run by the kernel"),
        fmt(ratio(i686, tool), "x"), "no goal", shipped)

    failed = num(f, "glyph_failed")
    growth = num(f, "glyph_private_growth")
    row("Glyph rendering (%s renders)" % fmt(num(f, "glyph_renders"), digits=0),
        "no failed render, < 1 MiB growth",
        "%s us/render, %s failed, private bytes %s -> %s (%+d B)" % (
            fmt(num(f, "glyph_us_per_render"), digits=0), fmt(failed, digits=0),
            fmt(num(f, "glyph_before_pagefile_usage"), digits=0),
            fmt(num(f, "glyph_after_pagefile_usage"), digits=0), growth or 0),
        "", None if failed is None or growth is None else failed == 0 and growth < MIB,
        "x86_64 (bench program)")

    growth = num(f, "soak_private_growth")
    bad = None
    if num(f, "soak_toggle_failures") is not None and num(f, "soak_missed_locks") is not None:
        bad = num(f, "soak_toggle_failures") + num(f, "soak_missed_locks")
    row("Soak (%s polls, locks toggled every 100)" % fmt(num(f, "soak_polls"), digits=0),
        "< 1 MiB growth, nothing fails",
        "%s s, %s us/poll; %s toggles, changes seen %s/%s/%s (Num/Caps/Scroll), %s failed; "
        "private bytes %s -> %s (%+d B), highest %s" % (
            fmt(num(f, "soak_seconds"), digits=0), fmt(num(f, "soak_us_per_poll"), digits=0),
            fmt(num(f, "soak_toggles"), digits=0), fmt(num(f, "soak_num_changes"), digits=0),
            fmt(num(f, "soak_caps_changes"), digits=0), fmt(num(f, "soak_scroll_changes"), digits=0),
            fmt(bad, digits=0), fmt(num(f, "soak_start_pagefile_usage"), digits=0),
            fmt(num(f, "soak_end_pagefile_usage"), digits=0), growth or 0,
            fmt(num(f, "soak_private_highest"), digits=0)),
        "", None if growth is None or bad is None else growth < MIB and bad == 0,
        "x86_64 (bench program)")

    size = num(f, "release_bytes")
    system_only = num(f, "release_system_only")
    row("Release exe (i686)", "<= 256 KiB (262,144 B), system DLLs only, every import on the reviewed XP list",
        "%s B; imports %s" % (fmt(size, digits=0), f.get("release_imports", "n/a").replace(",", ", ")),
        fmt(ratio(size, 262144.0), "x of the limit"),
        None if size is None or system_only is None else size <= 262144 and system_only == 1,
        shipped)

    rounds = num(f, "kills_rounds")
    whole = num(f, "kills_whole")
    row("SIGKILL during Apply (%s kills)" % fmt(rounds, digits=0),
        "Resolution.ini always the old or the new whole text",
        "%s whole (%s with the one text, %s with the other), %s broken; %s kills fell inside the "
        "atomic write (its temporary file was left); rounds in which the program was not "
        "applying at the kill (no Apply button within 20 s, or gone): %s" % (
            fmt(whole, digits=0), fmt(num(f, "kills_with_numlock_on"), digits=0),
            fmt(num(f, "kills_with_numlock_off"), digits=0), fmt(num(f, "kills_broken"), digits=0),
            fmt(num(f, "kills_inside_write"), digits=0), fmt(num(f, "kills_not_applying"), digits=0)),
        "", None if rounds is None or whole is None else whole == rounds)

    execs = num(f, "fuzz_executions")
    findings = num(f, "fuzz_findings")
    row("Fuzzing the settings reader (%s s)" % fmt(num(f, "fuzz_seconds"), digits=0),
        ">= 10,000,000 executions, no finding",
        "%s executions (%s/s), coverage %s, %s findings" % (
            fmt(execs, digits=0), f.get("fuzz_exec_per_second", "n/a"),
            f.get("fuzz_coverage", "n/a").replace("_", " "), fmt(findings, digits=0)),
        fmt(ratio(execs, 1e7), "x of the goal"),
        None if execs is None or findings is None else execs >= 1e7 and findings == 0,
        "Linux (libFuzzer)")

    kind = {"native": "32-bit programs run by the kernel",
            "emulated": "32-bit programs under CPU emulation (qemu-i386)"}.get(
                f.get("bench_i386_mode"), "no 32-bit Wine")
    print("Measured %s at commit %s; machine: %s (tools/i386-mode.sh: %s)." % (
        f.get("bench_date", "n/a"), f.get("bench_commit", "n/a"), kind, f.get("bench_i386_mode", "n/a")))
    print()
    print("| Figure | Build | Goal | Measured | Ratio | Goal met |")
    print("|---|---|---|---|---|---|")
    for r in rows:
        print("| " + " | ".join(r) + " |")


if __name__ == "__main__":
    main()
