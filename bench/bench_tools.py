#!/usr/bin/env python3
"""Host-side helpers of bench/run.sh.

  bench_tools.py pid PREFIX NAME [TIMEOUT_S]
      prints the Linux process id of the Windows program NAME (its image name, as
      /proc/PID/comm shows it) running in the Wine prefix PREFIX

  bench_tools.py sample SECONDS OUT.json NAME=PID...
      watches the given processes for SECONDS and writes, for each, the voluntary and
      involuntary context switches of all its threads (under Wine every Windows thread is
      a Linux thread), the threads seen, and the wake-ups: the number of 10 ms steps in
      which any of its threads blocked again after running (a wake-up that goes to the
      server a few times still counts once)

  bench_tools.py report RESULTS_DIR
      reads the figures gathered by run.sh in RESULTS_DIR, prints the table and writes
      RESULTS_DIR/results.json
"""

import json
import os
import statistics
import sys
import time


# ---------------------------------------------------------------------------- /proc

def find_pid(prefix, name, timeout=20.0):
    prefix = os.path.realpath(prefix)
    wanted = ("WINEPREFIX=" + prefix).encode()
    deadline = time.monotonic() + timeout
    while True:
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/comm", "rb") as f:
                    comm = f.read().decode(errors="replace").strip()
                if comm.lower() != name.lower()[:15]:
                    continue
                with open(f"/proc/{entry}/environ", "rb") as f:
                    env = f.read().split(b"\0")
            except OSError:
                continue
            if wanted in env or any(os.path.realpath(e[11:].decode(errors="replace")) == prefix
                                    for e in env if e.startswith(b"WINEPREFIX=")):
                return int(entry)
        if time.monotonic() > deadline:
            return None
        time.sleep(0.05)


def thread_counters(pid):
    """{tid: (voluntary, involuntary)} of every thread of pid; None once it is gone."""
    result = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return None
    for tid in tids:
        vol = invol = None
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        vol = int(line.split()[1])
                    elif line.startswith("nonvoluntary_ctxt_switches:"):
                        invol = int(line.split()[1])
        except OSError:
            continue
        if vol is not None:
            result[tid] = (vol, invol or 0)
    return result


def thread_names(pid):
    names = {}
    try:
        for tid in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{tid}/comm") as f:
                names[tid] = f.read().strip()
    except OSError:
        pass
    return names


def sample(seconds, out, targets):
    step = 0.010
    state = {}
    for name, pid in targets.items():
        first = thread_counters(pid) or {}
        state[name] = {"pid": pid, "first": dict(first), "last": dict(first),
                       "wakeups": 0, "gone": first == {}, "names": thread_names(pid),
                       "per_second": [0] * int(seconds)}
    start = time.monotonic()
    next_at = start + step
    while True:
        now = time.monotonic()
        if now - start >= seconds:
            break
        if next_at > now:
            time.sleep(next_at - now)
        next_at += step
        second = min(int(time.monotonic() - start), int(seconds) - 1)
        for s in state.values():
            if s["gone"]:
                continue
            counters = thread_counters(s["pid"])
            if counters is None:
                s["gone"] = True
                continue
            woke = False
            for tid, (vol, invol) in counters.items():
                before = s["last"].get(tid)
                if before is None:
                    s["first"].setdefault(tid, (0, 0))  # a thread born meanwhile
                    woke = True
                elif vol != before[0]:
                    woke = True
                s["last"][tid] = (vol, invol)
            if woke:
                s["wakeups"] += 1
                s["per_second"][second] += 1
    elapsed = time.monotonic() - start
    result = {}
    for name, s in state.items():
        vol = sum(s["last"][t][0] - s["first"].get(t, (0, 0))[0] for t in s["last"])
        invol = sum(s["last"][t][1] - s["first"].get(t, (0, 0))[1] for t in s["last"])
        per_thread = {f"{t} {s['names'].get(t, '?')}": s["last"][t][0] - s["first"].get(t, (0, 0))[0]
                      for t in s["last"]}
        result[name] = {
            "pid": s["pid"], "seconds": round(elapsed, 3), "threads": len(s["last"]),
            "voluntary": vol, "involuntary": invol, "wakeups": s["wakeups"],
            "voluntary_per_s": vol / elapsed, "wakeups_per_s": s["wakeups"] / elapsed,
            "wakeups_per_min": s["wakeups"] / elapsed * 60,
            "voluntary_per_min": vol / elapsed * 60,
            "ended_early": s["gone"], "per_thread_voluntary": per_thread,
            "wakeups_each_second": s["per_second"],
        }
    with open(out, "w") as f:
        json.dump(result, f, indent=2)


# ---------------------------------------------------------------------------- report

def read_runs(path):
    """The probe's "name=value" lines, one run after another (a run starts again with its
    first name)."""
    runs, current = [], {}
    if not os.path.exists(path):
        return runs
    with open(path) as f:
        for line in f:
            line = line.strip()
            if "=" not in line:
                continue
            key, value = line.split("=", 1)
            if key in current:
                runs.append(current)
                current = {}
            try:
                current[key] = float(value)
            except ValueError:
                current[key] = value
    if current:
        runs.append(current)
    return runs


def values(runs, key):
    return [r[key] for r in runs if isinstance(r.get(key), float)]


def median(xs):
    return statistics.median(xs) if xs else None


def spread(xs, digits=1):
    """Where the runs lie: the middle half (25th to 75th percentile) and the extremes, as
    a note for the table."""
    if not xs:
        return "no runs"
    xs = sorted(xs)
    if len(xs) == 1:
        return "1 run"
    q1, _, q3 = statistics.quantiles(xs, n=4, method="inclusive")
    f = f".{digits}f"
    return (f"{len(xs)} runs, middle half {q1:{f}}-{q3:{f}}, "
            f"all {xs[0]:{f}}-{xs[-1]:{f}}")


def report(results_dir):
    rows = []
    raw = {}

    def row(figure, value, unit, target=None, ok=None, note=""):
        rows.append({"figure": figure, "value": None if value is None else round(value, 3),
                     "unit": unit, "target": target or "-",
                     "met": None if ok is None or value is None else bool(ok), "note": note})

    def runs_of(name):
        runs = read_runs(os.path.join(results_dir, name + ".txt"))
        raw[name] = runs
        return runs

    # Chosen screen saver's end -> Somnivex.scr gone.
    end = runs_of("end_delay")
    total = values(end, "end_to_scr_gone_ms")
    row("saver end -> Somnivex.scr gone, median", median(total), "ms", "< 10",
        median(total) is not None and median(total) < 10, spread(total))
    row("  of which: saver end -> saver process gone (Wine), median",
        median(values(end, "end_to_saver_gone_ms")), "ms", note=spread(values(end, "end_to_saver_gone_ms")))
    gone = values(end, "saver_gone_to_scr_gone_ms")
    row("  of which: saver gone -> Somnivex.scr gone, median", median(gone), "ms", note=spread(gone))
    # Run by run: what each run took beyond its own saver's exit.
    own = [r["saver_gone_to_scr_gone_ms"] - r["end_to_saver_gone_ms"] for r in end
           if isinstance(r.get("saver_gone_to_scr_gone_ms"), float)
           and isinstance(r.get("end_to_saver_gone_ms"), float)]
    row("  Somnivex.scr noticing, estimate (less one program exit)", median(own), "ms",
        note=spread(own))

    # Wake-ups while waiting.
    idle_path = os.path.join(results_dir, "idle.json")
    idle = json.load(open(idle_path)) if os.path.exists(idle_path) else {}
    raw["idle"] = idle
    scr = idle.get("somnivex", {})
    mini = idle.get("minimal", {})
    row("wake-ups per minute while waiting, Somnivex.scr", scr.get("wakeups_per_min"), "/min",
        "<= 1", scr.get("wakeups_per_min") is not None and scr["wakeups_per_min"] <= 1,
        f"{scr.get('seconds', 0):.0f} s, {scr.get('threads', '?')} thread(s)")
    row("  voluntary context switches per minute, Somnivex.scr", scr.get("voluntary_per_min"),
        "/min")
    row("  baseline: wake-ups per minute, Minimal idling", mini.get("wakeups_per_min"), "/min")
    row("  baseline: voluntary context switches per minute, Minimal",
        mini.get("voluntary_per_min"), "/min")

    # Countdown, over every waiting run.
    wait = runs_of("wait_run")
    lates = values(wait, "countdown_late_ms")
    late = median(lates)
    row("countdown late after WaitMinutes (from process start), median", late, "ms", "< 100",
        late is not None and late < 100, spread(lates))
    created = values(wait, "splash_created_ms")
    row("  start -> start-up display created (its load starts the wait)", median(created), "ms",
        note=spread(created))
    row("  start -> start-up display visible", median(values(wait, "splash_ms")), "ms")
    own = [r["countdown_late_ms"] - r["splash_created_ms"] for r in wait
           if isinstance(r.get("countdown_late_ms"), float)
           and isinstance(r.get("splash_created_ms"), float)]
    row("  countdown late, counted from the display's creation", median(own), "ms", "< 100",
        median(own) is not None and median(own) < 100, spread(own))

    # Start-up and memory against the minimal program.
    scr_runs = runs_of("startup_somnivex")
    min_runs = runs_of("startup_minimal")
    s_vis, m_vis = median(values(scr_runs, "visible_ms")), median(values(min_runs, "visible_ms"))
    row("start -> window visible, Somnivex.scr /a", s_vis, "ms", None, None,
        spread(values(scr_runs, "visible_ms")))
    row("start -> window visible, Minimal", m_vis, "ms", None, None,
        spread(values(min_runs, "visible_ms")))
    ratio = s_vis / m_vis if s_vis and m_vis else None
    row("start-up ratio Somnivex.scr / Minimal (medians)", ratio, "x", "<= 1.5",
        ratio is not None and ratio <= 1.5)
    s_min, m_min = values(scr_runs, "visible_ms"), values(min_runs, "visible_ms")
    if s_min and m_min:
        row("  start-up ratio of the fastest runs", min(s_min) / min(m_min), "x", None, None,
            f"{min(s_min):.0f} / {min(m_min):.0f} ms")
    preview = runs_of("preview")
    p_start = median(values(preview, "preview_started_ms"))
    row("start -> chosen saver's preview started, Somnivex.scr /p", p_start, "ms", "< 300",
        p_start is not None and p_start < 300, f"{len(values(preview, 'preview_started_ms'))} runs")
    row("  Somnivex.scr /p killed -> chosen saver gone, median",
        median(values(preview, "kill_to_saver_gone_ms")), "ms")
    s_ws, m_ws = median(values(scr_runs, "peak_ws_kb")), median(values(min_runs, "peak_ws_kb"))
    row("peak working set, Somnivex.scr /a", s_ws / 1024 if s_ws else None, "MB")
    row("peak working set, Minimal", m_ws / 1024 if m_ws else None, "MB")
    ratio = s_ws / m_ws if s_ws and m_ws else None
    row("peak memory ratio Somnivex.scr / Minimal", ratio, "x", "<= 1.5",
        ratio is not None and ratio <= 1.5)
    s_pv = median(values(scr_runs, "peak_private_kb"))
    m_pv = median(values(min_runs, "peak_private_kb"))
    if s_pv and m_pv:
        row("  private bytes ratio (Somnivex.scr / Minimal)", s_pv / m_pv, "x", None, None,
            f"{s_pv / 1024:.1f} MB / {m_pv / 1024:.1f} MB")

    # Sizes.
    sizes_path = os.path.join(results_dir, "sizes.txt")
    sizes = {}
    if os.path.exists(sizes_path):
        for line in open(sizes_path):
            name, size = line.split()
            sizes[name] = int(size)
    raw["sizes"] = sizes
    for name in ("Somnivex.scr", "Somniconf.exe"):
        size = sizes.get(name)
        row(f"size of {name}", size / 1024 if size else None, "KiB", "< 1024",
            size is not None and size < 1024 * 1024)
    if "Minimal.exe" in sizes:
        row("size of Minimal.exe", sizes["Minimal.exe"] / 1024, "KiB")

    # Settings window against the number of screen savers; the three counts take turns,
    # so each round's difference is measured under the same load.
    opened, rounds = {}, {}
    for count in (0, 200, 2000):
        rounds[count] = values(runs_of(f"settings_{count}"), "visible_ms")
        opened[count] = median(rounds[count])
        target = "< 1000" if count else None
        row(f"settings window open, {count} screen savers, median", opened[count], "ms", target,
            (opened[count] is not None and opened[count] < 1000) if count else None,
            spread(rounds[count]))
    if opened.get(200) and opened.get(2000):
        row("settings growth 2000 / 200 (linear: <= 10)", opened[2000] / opened[200], "x", "<= 10",
            opened[2000] / opened[200] <= 10)
        per_file = [(b - a) / 1800 for a, b in zip(rounds[200], rounds[2000])]
        row("  cost per listed screen saver, median of the rounds", median(per_file), "ms",
            note=spread(per_file, 3))

    # The table.
    def show(v):
        if v is None:
            return "n/a"
        if abs(v) < 1:
            return f"{v:.3f}"
        return f"{v:.1f}" if abs(v) < 1000 else f"{v:.0f}"

    width = max(len(r["figure"]) for r in rows)
    lines = [f"{'figure':<{width}}  {'value':>9} {'unit':<4}  {'target':<12} met",
             "-" * (width + 35)]
    for r in rows:
        met = "" if r["met"] is None else ("yes" if r["met"] else "NO")
        if r["target"] != "-" and r["met"] is None:
            met = "n/a"
        note = f"  ({r['note']})" if r["note"] else ""
        lines.append(f"{r['figure']:<{width}}  {show(r['value']):>9} {r['unit']:<4}  "
                     f"{r['target']:<12} {met}{note}")
    print("\n".join(lines))
    with open(os.path.join(results_dir, "results.json"), "w") as f:
        json.dump({"figures": rows, "raw": raw}, f, indent=2)
    # Missed targets are findings, not failures of the bench.
    return 0


def main(argv):
    if len(argv) >= 3 and argv[1] == "pid":
        pid = find_pid(argv[2], argv[3], float(argv[4]) if len(argv) > 4 else 20.0)
        if pid is None:
            return 1
        print(pid)
        return 0
    if len(argv) >= 4 and argv[1] == "sample":
        targets = {}
        for item in argv[4:]:
            name, pid = item.split("=", 1)
            targets[name] = int(pid)
        sample(float(argv[2]), argv[3], targets)
        return 0
    if len(argv) == 3 and argv[1] == "report":
        return report(argv[2])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
