#!/usr/bin/env python3
"""Whole-process benchmarks of cputest, every figure measured in one run.

For each workload: cputest with standard output to /dev/null, to a regular
file and into a pipe read by cat to /dev/null, the same trace printed with one
printf per line (the baseline), and cat reading the finished trace to
/dev/null and into a pipe to another cat (the floors: what reading the output,
and passing it through a pipe as it comes, cost). Reports traced lines per
second (medians), peak resident memory, the start-up on a two-byte file against
an empty C++ program built with the same flags (hyperfine), and the load of a
16 MiB file.

Rates are taken from process time (user and system), which other jobs on a
shared machine disturb far less than the wall clock; on a quiet machine the
two agree for one thread. --wall-clock uses the wall clock instead, as it must
to a regular file, where cputest writes from a second thread while it traces:
the process time adds up both threads' work (so does a pipe, where only the
writing program's process time is counted). The runs of the programs
compared are interleaved, so that a change in the machine's load falls on all
of them alike. With --compare, a second cputest (an earlier build, say) is
measured beside the first.

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


def run(argv, stdout_path, reader=None, wall_clock=False):
    """Runs once, writing to stdout_path, or into a pipe to the reader's argv
    when there is one, which writes there; returns the writer's process time
    (user and system) in seconds, or the wall-clock time until both end."""
    with open(stdout_path, "wb") as out:
        start = time.perf_counter()
        pipe_reader = None
        if reader is not None:
            pipe_reader = subprocess.Popen(reader, stdin=subprocess.PIPE, stdout=out)
            out = pipe_reader.stdin
        child = subprocess.Popen(argv, stdout=out, stderr=subprocess.DEVNULL)
        if pipe_reader is not None:
            pipe_reader.stdin.close()
        _, status, usage = os.wait4(child.pid, 0)
        if pipe_reader is not None and pipe_reader.wait() != 0:
            sys.exit(f"{' '.join(reader)} failed")
        wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(argv)} failed")
    return wall if wall_clock else usage.ru_utime + usage.ru_stime


def interleaved_medians(commands, runs, wall_clock):
    """Median seconds of each (argv, stdout path[, reader argv]), run in turns."""
    times = [[] for _ in commands]
    for _ in range(runs):
        for i, command in enumerate(commands):
            times[i].append(run(*command, wall_clock=wall_clock))
    return [statistics.median(t) for t in times]


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


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    for name in ("cputest", "baseline", "make_workload", "empty", "workdir"):
        parser.add_argument(name)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--compare")
    parser.add_argument("--wall-clock", action="store_true")
    args = parser.parse_args()
    os.makedirs(args.workdir, exist_ok=True)
    trace = os.path.join(args.workdir, "trace.out")
    other_trace = os.path.join(args.workdir, "other.out")
    baseline_runs = max(3, args.runs // 2)  # a slow program; its figure only sets the scale

    columns = ["workload", "lines", "to /dev/null", "to a file", "file/null", "into a pipe", "pipe/null",
               "printf baseline", "speed-up", "cat of the trace", "cat through a pipe", "peak RSS"]
    if args.compare:
        columns[7:7] = ["compared: /dev/null", "compared: file", "compared: pipe"]
    print("| " + " | ".join(columns) + " |")
    print("|" + "---|" * len(columns))
    for name, scale in WORKLOADS:
        program = os.path.join(args.workdir, f"{name}.sh2")
        subprocess.run([args.make_workload, name, str(scale), program], check=True)
        run([args.cputest, program], trace)
        with open(trace, "rb") as f:
            lines = sum(1 for _ in f) - HEADER_LINES
        commands = [([args.cputest, program], os.devnull), ([args.cputest, program], trace),
                    ([args.cputest, program], os.devnull, ["cat"]), (["cat", trace], os.devnull),
                    (["cat", trace], os.devnull, ["cat"])]
        if args.compare:
            commands += [([args.compare, program], os.devnull), ([args.compare, program], other_trace),
                         ([args.compare, program], os.devnull, ["cat"])]
        null, to_file, to_pipe, cat, cat_pipe, *other = interleaved_medians(commands, args.runs,
                                                                            args.wall_clock)
        base, = interleaved_medians([([args.baseline, program], os.devnull)], baseline_runs, args.wall_clock)
        row = [name, f"{lines / 1e6:.1f} M", rate(lines, null), rate(lines, to_file),
               f"{null / to_file * 100:.0f}%", rate(lines, to_pipe), f"{null / to_pipe * 100:.0f}%",
               f"{lines / base / 1e6:.1f} M/s", f"{base / null:.1f}x", rate(lines, cat),
               rate(lines, cat_pipe), f"{peak_rss([args.cputest, program]):.1f} MiB"]
        if args.compare:
            row[7:7] = [rate(lines, t) for t in other]
        print("| " + " | ".join(row) + " |", flush=True)
    for path in (trace, other_trace):
        if os.path.exists(path):
            os.remove(path)

    tiny = os.path.join(args.workdir, "nop.sh2")
    with open(tiny, "wb") as f:
        f.write(b"\x09\x00")
    programs = [[args.cputest, tiny], [args.empty]]
    if args.compare:
        programs.append([args.compare, tiny])
    times = startup(programs, args.workdir)
    print()
    print(f"start-up, two-byte file: cputest {times[0]:.2f} ms, empty C++ program {times[1]:.2f} ms: "
          f"{times[0] - times[1]:+.2f} ms (medians of 1000 runs each)")
    if args.compare:
        print(f"start-up, compared cputest: {times[2]:.2f} ms")

    full = os.path.join(args.workdir, "zeros.sh2")
    with open(full, "wb") as f:
        f.write(bytes(16 * 1024 * 1024))
    commands = [([args.cputest, full], os.devnull)]
    if args.compare:
        commands.append(([args.compare, full], os.devnull))
    full_times = interleaved_medians(commands, args.runs, args.wall_clock)
    print(f"16 MiB file of zeros: {full_times[0] * 1000:.1f} ms, peak RSS {peak_rss([args.cputest, full]):.1f} MiB")
    if args.compare:
        print(f"16 MiB file, compared cputest: {full_times[1] * 1000:.1f} ms, "
              f"peak RSS {peak_rss([args.compare, full]):.1f} MiB")


if __name__ == "__main__":
    main()
