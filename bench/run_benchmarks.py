#!/usr/bin/env python3
"""Whole-process benchmarks of cputest, every figure measured in one run.

For each workload: cputest with standard output to /dev/null, to a new
file, to an existing file that it overwrites and into a pipe read by cat to
/dev/null; the same trace printed with one printf per line (the baseline);
and the floors, cat copying the finished trace into a new file, over an
existing one and through a pipe into another cat to /dev/null: what the sink
costs without any tracing. Each trace into a sink is reported as a ratio to
max(cputest to /dev/null, its floor), which is 100% when it takes no longer
than the slower of tracing alone and the sink alone. Also reported: traced
lines per second (medians), the CPU time per line of each case, peak
resident memory, the start-up on a two-byte file against an empty C++
program built with the same flags (hyperfine), and the load of a 16 MiB file.

Rates are taken from process time (user and system), which other jobs on a
shared machine disturb far less than the wall clock; on a quiet machine the
two agree for one thread. --wall-clock uses the wall clock instead, as it must
to a file or a pipe, where cputest writes from a second thread while it
traces: the process time adds up both threads' work (and into a pipe, or
for cat through one, only the writing program's process time is counted).
The runs of the programs compared are interleaved, so that a change in the
machine's load falls on all of them alike. With --compare, a second cputest
(an earlier build, say) is measured beside the first, on every sink.

usage: run_benchmarks.py CPUTEST CPUTEST_PRINTF MAKE_WORKLOAD EMPTY_PROGRAM WORKDIR
                         [--runs N] [--compare OTHER_CPUTEST] [--wall-clock]
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

WORKLOADS = [("loop", 24), ("straight", 22), ("mixed", 22), ("branchy", 18), ("mac", 18)]
HEADER_LINES = 5  # banner and counts line
# Where standard output goes: the file opened (None: a file of the sink's
# own), and whether a cat reads it through a pipe.
SINKS = {
    "/dev/null": (os.devnull, False),
    "new file": (None, False),
    "overwritten": (None, False),
    "pipe": (os.devnull, True),
}


def run(argv, sink, path):
    """Runs once into the sink ("new file" and "overwritten" at path, which
    is removed first or left to be truncated); returns the writer's wall
    time, process time (user and system) and user time, in seconds."""
    target, through_pipe = SINKS[sink]
    if sink == "new file" and os.path.exists(path):
        os.remove(path)
    # Opened as a shell opens it, and closed here before the run ends, so
    # that the last close, and what the file system does then, is the run's.
    out = os.open(target or path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    start = time.perf_counter()
    reader = None
    if through_pipe:
        reader = subprocess.Popen(["cat"], stdin=subprocess.PIPE, stdout=out)
        os.close(out)
        out = reader.stdin.fileno()
    child = subprocess.Popen(argv, stdout=out, stderr=subprocess.DEVNULL)
    if reader is not None:
        reader.stdin.close()
    else:
        os.close(out)
    _, status, usage = os.wait4(child.pid, 0)
    if reader is not None and reader.wait() != 0:
        sys.exit("cat failed")
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(argv)} failed")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_utime


def interleaved_medians(commands, runs, wall_clock):
    """For each (argv, sink, path), run in turns: the median seconds (wall
    clock or process time), and the median user and process times."""
    times = [[] for _ in commands]
    for _ in range(runs):
        for i, command in enumerate(commands):
            times[i].append(run(*command))
    return [(statistics.median(t[1 - wall_clock] for t in ts), statistics.median(t[2] for t in ts),
             statistics.median(t[1] for t in ts)) for ts in times]


def peak_rss(argv):
    """The child's own peak in MiB. The rusage of a child started from here
    also counts the memory it shared with us before exec, so GNU time, which
    is small, measures it instead; without it the figure is not reported."""
    if not os.path.exists("/usr/bin/time"):
        return float("nan")
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=True)
    return int(result.stderr.strip().splitlines()[-1]) / 1024


def startup(commands, workdir, rounds=20, runs=50):
    """Median wall time of each command in ms, from hyperfine. The commands
    take turns in rounds of a few runs each, so that a change in the load
    falls on all of them alike."""
    if shutil.which("hyperfine") is None:
        return [float("nan") for _ in commands]
    report = os.path.join(workdir, "startup.json")
    times = [[] for _ in commands]
    for _ in range(rounds):
        subprocess.run(["hyperfine", "-N", "--style", "none", "--warmup", "5", "--runs", str(runs),
                        "--output", "null", "--export-json", report] + [" ".join(c) for c in commands],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(report) as f:
            for i, result in enumerate(json.load(f)["results"]):
                times[i] += result["times"]
    os.remove(report)
    return [statistics.median(t) * 1000 for t in times]


def rate(lines, seconds):
    return f"{lines / seconds / 1e6:.0f} M/s"


def table(columns, rows):
    print("| " + " | ".join(columns) + " |")
    print("|" + "---|" * len(columns))
    for row in rows:
        print("| " + " | ".join(row) + " |")


# The sinks that are compared with cat writing into the same sink.
FLOORS = [sink for sink in SINKS if sink != "/dev/null"]


def floor_ratios(seconds, label=""):
    """Each sink's trace as a share of the slower of tracing to /dev/null and
    its floor."""
    null = seconds[label + "/dev/null"]
    return [f"{max(null, seconds['cat ' + sink]) / seconds[label + sink] * 100:.0f}%"
            for sink in FLOORS]


def main():
    parser = argparse.ArgumentParser(usage=__doc__.replace("%", "%%"))
    for name in ("cputest", "baseline", "make_workload", "empty", "workdir"):
        parser.add_argument(name)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--compare")
    parser.add_argument("--wall-clock", action="store_true")
    args = parser.parse_args()
    os.makedirs(args.workdir, exist_ok=True)
    trace = os.path.join(args.workdir, "trace.out")
    outputs = {"new file": os.path.join(args.workdir, "new.out"),
               "overwritten": os.path.join(args.workdir, "overwritten.out")}
    baseline_runs = max(3, args.runs // 2)  # a slow program; its figure only sets the scale
    programs = [("", args.cputest)] + ([("compared ", args.compare)] if args.compare else [])

    speed_rows, cpu_rows, compared_rows = [], [], []
    for name, scale in WORKLOADS:
        program = os.path.join(args.workdir, f"{name}.sh2")
        subprocess.run([args.make_workload, name, str(scale), program], check=True)
        run([args.cputest, program], "overwritten", trace)
        with open(trace, "rb") as f:
            lines = sum(1 for _ in f) - HEADER_LINES
        shutil.copyfile(trace, outputs["overwritten"])
        # Every sink once for each cputest, and each floor: cat of the trace.
        commands = {}
        for label, cputest in programs:
            for sink in SINKS:
                commands[label + sink] = ([cputest, program], sink, outputs.get(sink))
        for sink in FLOORS:
            commands["cat " + sink] = (["cat", trace], sink, outputs.get(sink))
        results = dict(zip(commands, interleaved_medians(list(commands.values()), args.runs,
                                                         args.wall_clock)))
        seconds = {key: result[0] for key, result in results.items()}
        (base, *_), = interleaved_medians([([args.baseline, program], "/dev/null", None)], baseline_runs,
                                         args.wall_clock)
        null = seconds["/dev/null"]
        speed_rows.append([name, f"{lines / 1e6:.1f} M"] + [rate(lines, seconds[s]) for s in SINKS] +
                          [rate(lines, seconds["cat " + f]) for f in FLOORS] + floor_ratios(seconds) +
                          [f"{lines / base / 1e6:.1f} M/s", f"{base / null:.1f}x",
                           f"{peak_rss([args.cputest, program]):.1f} MiB"])
        cpu_rows.append([name] + [f"{results[key][1] / lines * 1e9:.1f} / {results[key][2] / lines * 1e9:.1f} ns"
                                  for key in list(SINKS) + ["cat " + f for f in FLOORS]])
        if args.compare:
            compared_rows.append([name] + [rate(lines, seconds["compared " + s]) for s in SINKS] +
                                 floor_ratios(seconds, "compared "))
        for path in [trace] + list(outputs.values()):
            if os.path.exists(path):
                os.remove(path)
        print(f"{name} done", file=sys.stderr, flush=True)

    floors = ["cat > new file", "cat > overwritten", "cat \\| cat"]
    sinks = ["to /dev/null", "to a new file", "overwriting a file", "\\| cat"]
    table(["workload", "lines"] + sinks + floors +
          ["new file/floor", "overwritten/floor", "pipe/floor", "printf baseline", "speed-up", "peak RSS"],
          speed_rows)
    print()
    print("CPU time per line, user / user and system (the writer thread's included; the cat that reads"
          " a pipe not):")
    table(["workload"] + sinks + floors, cpu_rows)
    if args.compare:
        print()
        print(f"compared: {args.compare}")
        table(["workload"] + sinks + ["new file/floor", "overwritten/floor", "pipe/floor"], compared_rows)
    print()

    tiny = os.path.join(args.workdir, "nop.sh2")
    with open(tiny, "wb") as f:
        f.write(b"\x09\x00")
    times = startup([[args.cputest, tiny], [args.empty]] + ([[args.compare, tiny]] if args.compare else []),
                    args.workdir)
    print(f"start-up, two-byte file: cputest {times[0]:.2f} ms, empty C++ program {times[1]:.2f} ms: "
          f"{times[0] - times[1]:+.2f} ms (medians of 1000 runs each)")
    if args.compare:
        print(f"start-up, compared cputest: {times[2]:.2f} ms")

    full = os.path.join(args.workdir, "zeros.sh2")
    with open(full, "wb") as f:
        f.write(bytes(16 * 1024 * 1024))
    commands = [([cputest, full], "/dev/null", None) for _, cputest in programs]
    full_times = [t for t, *_ in interleaved_medians(commands, args.runs, args.wall_clock)]
    print(f"16 MiB file of zeros: {full_times[0] * 1000:.1f} ms, peak RSS {peak_rss([args.cputest, full]):.1f} MiB")
    if args.compare:
        print(f"16 MiB file, compared cputest: {full_times[1] * 1000:.1f} ms, "
              f"peak RSS {peak_rss([args.compare, full]):.1f} MiB")


if __name__ == "__main__":
    main()
