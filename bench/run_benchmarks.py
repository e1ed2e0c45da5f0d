#!/usr/bin/env python3
"""Whole-process benchmarks of cputest.

Runs cputest on each workload with standard output to /dev/null and to a
regular file, and the same trace printed with one printf per line as the
baseline, side by side in one run. Reports traced lines per second (median of
several runs), the ratio to the baseline, peak resident memory, and start-up
time.

usage: run_benchmarks.py CPUTEST CPUTEST_PRINTF MAKE_WORKLOAD WORKDIR [RUNS]
"""
import os
import statistics
import subprocess
import sys
import time

WORKLOADS = [("loop", 24), ("straight", 22), ("mixed", 22), ("branchy", 18), ("mac", 18)]
HEADER_LINES = 5  # banner and counts line


def run(program, path, stdout_path):
    """Runs once; returns (wall seconds, cpu seconds)."""
    with open(stdout_path, "wb") as out:
        start = time.perf_counter()
        child = subprocess.Popen([program, path], stdout=out, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{program} {path} failed")
    return wall, usage.ru_utime + usage.ru_stime


def peak_rss(program, path):
    """The child's own peak in KiB. The rusage of a child started from here
    also counts the memory it shared with us before exec, so GNU time, which
    is small, measures it instead; without it the figure is not reported."""
    if not os.path.exists("/usr/bin/time"):
        return float("nan")
    result = subprocess.run(["/usr/bin/time", "-f", "%M", program, path], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=True)
    return int(result.stderr.strip().splitlines()[-1])


def median_run(program, path, stdout_path, runs):
    """Median wall and cpu seconds of several runs, and the peak memory of one."""
    results = [run(program, path, stdout_path) for _ in range(runs)]
    return (statistics.median(r[0] for r in results), statistics.median(r[1] for r in results),
            peak_rss(program, path))


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    cputest, baseline, make_workload, workdir = sys.argv[1:5]
    runs = int(sys.argv[5]) if len(sys.argv) == 6 else 5
    os.makedirs(workdir, exist_ok=True)
    trace_file = os.path.join(workdir, "trace.out")

    print(f"| workload | lines | to /dev/null | to a file | printf baseline | ratio | peak RSS |")
    print(f"|---|---|---|---|---|---|---|")
    for name, scale in WORKLOADS:
        path = os.path.join(workdir, f"{name}.sh2")
        subprocess.run([make_workload, name, str(scale), path], check=True)
        run(cputest, path, trace_file)
        with open(trace_file, "rb") as f:
            lines = sum(1 for _ in f) - HEADER_LINES
        null_time, _, rss = median_run(cputest, path, os.devnull, runs)
        file_time, _, _ = median_run(cputest, path, trace_file, runs)
        base_time, _, _ = median_run(baseline, path, os.devnull, runs)
        print(f"| {name} | {lines / 1e6:.1f} M | {lines / null_time / 1e6:.0f} M/s | "
              f"{lines / file_time / 1e6:.0f} M/s | {lines / base_time / 1e6:.1f} M/s | "
              f"{base_time / null_time:.1f}x | {rss / 1024:.1f} MiB |", flush=True)
    os.remove(trace_file)

    tiny = os.path.join(workdir, "nop.sh2")
    with open(tiny, "wb") as f:
        f.write(b"\x09\x00")
    _, cpu, _ = median_run(cputest, tiny, os.devnull, max(runs, 11))
    full = os.path.join(workdir, "zeros.sh2")
    with open(full, "wb") as f:
        f.write(bytes(16 * 1024 * 1024))
    _, full_cpu, full_rss = median_run(cputest, full, os.devnull, runs)
    print()
    print(f"start-up, two-byte file: {cpu * 1000:.1f} ms of process time")
    print(f"16 MiB file of zeros: {full_cpu * 1000:.1f} ms of process time, "
          f"peak RSS {full_rss / 1024:.1f} MiB")


if __name__ == "__main__":
    main()
