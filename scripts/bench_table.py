#!/usr/bin/env python3
"""Runs the veldra benchmarks and prints their Markdown table.

For each operation: its time at length 8 against its log floor (the same
trace lines appended to a std::stringstream), its time at the longest length
against GMP where GMP does the same arithmetic, the growth exponent between
two lengths, and its peak heap use per operand digit.  With --plot it also
draws time against length with gnuplot (installed from Debian if missing).

  scripts/bench_table.py --benchmark build/bench/bench/veldra-bench
  scripts/bench_table.py --from-json bench.json          # table only
"""

import argparse
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile

FLOOR_LENGTH = 8
FLOOR_TARGET = 3.0  # operations: at most 3x their log floor
LOG_TARGET = 2.0  # the log itself: at most 2x
GMP_TARGET = 2.0  # the multiplications: within 2x of GMP
# Growth is measured between these lengths; the bound is the exponent the
# operation must not exceed.  The tolerance absorbs timer noise and cache
# effects that a two-point fit picks up on a shared machine.
LINEAR = (4096, 32768, 1.0, "linear")
QUADRATIC = (512, 4096, 2.0, "quadratic")
EXPONENT_TOLERANCE = 0.15
GROWTH = {
    "fixedint +": LINEAR,
    "fixedint + (mixed signs)": LINEAR,
    "fixedint -": LINEAR,
    "fixedint ==": LINEAR,
    "fixedint !=": LINEAR,
    "fixedint >": LINEAR,
    "fixedint <": LINEAR,
    "fixedint *": QUADRATIC,
    "fixedint /": QUADRATIC,
    "fixedint %": QUADRATIC,
    "fixedint asstring": QUADRATIC,
    "fixedfloat *": QUADRATIC,
    "fixedint ^ 257": QUADRATIC,
    "fixedfloat + (mixed signs)": LINEAR,
    "fixedfloat -": LINEAR,
    "fixedfloat = float": QUADRATIC,
    "fixedfloat = fixedint": QUADRATIC,
    "fixedfloat asstring": QUADRATIC,
    "fixedfloat getintpart": QUADRATIC,
}


def run_benchmark(binary, json_path, repetitions, min_time, extra):
    command = [
        binary,
        f"--benchmark_out={json_path}",
        "--benchmark_out_format=json",
        f"--benchmark_repetitions={repetitions}",
        "--benchmark_report_aggregates_only=true",
        f"--benchmark_min_time={min_time}",
    ] + extra
    print("Running:", " ".join(command), file=sys.stderr, flush=True)
    subprocess.run(command, check=True, stdout=sys.stderr)


def load(json_path):
    """{(family, length): {"time": ns, counters...}} from the medians (or the
    plain runs when the benchmark ran without repetitions)."""
    with open(json_path, encoding="utf-8") as source:
        data = json.load(source)
    results = {}
    for run in data["benchmarks"]:
        if run.get("run_type") == "aggregate" and run["aggregate_name"] != "median":
            continue
        if run.get("error_occurred"):
            sys.exit(f"{run['run_name']} failed: {run.get('error_message')}")
        family, _, length = run["run_name"].rpartition("/")
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[run["time_unit"]]
        entry = {"time": run["cpu_time"] * scale}
        for key in ("lines", "heap_peak_bytes", "heap_allocs"):
            if key in run:
                entry[key] = run[key]
        results[(family, int(length))] = entry
    return data.get("context", {}), results


def duration(ns):
    if ns is None:
        return "–"
    for unit, size in (("s", 1e9), ("ms", 1e6), ("µs", 1e3)):
        if ns >= size:
            return f"{ns / size:.3g} {unit}"
    return f"{ns:.3g} ns"


def times(results, family):
    return {length: entry["time"] for (name, length), entry in results.items()
            if name == family}


def exponent(results, family):
    low, high, _, _ = GROWTH[family]
    series = times(results, family)
    if low not in series or high not in series:
        return None
    return math.log(series[high] / series[low]) / math.log(high / low)


def verdict(value, bound):
    return f"met (≤ {bound:g})" if value <= bound else f"**missed** (≤ {bound:g})"


def families(results):
    names = []
    for name, _ in results:
        if not name.startswith(("floor/", "gmp/")) and name not in names:
            names.append(name)
    return names


def floortable(results):
    """Length 8: each operation against appending its own trace lines."""
    rows = ["| operation | trace lines | heap allocations | time | log floor "
            "| × floor | target |",
            "|---|--:|--:|--:|--:|--:|---|"]
    for family in families(results):
        op = results.get((family, FLOOR_LENGTH))
        floor = results.get(("floor/" + family, FLOOR_LENGTH))
        if not op or not floor:
            continue
        target = LOG_TARGET if family.startswith("log") else FLOOR_TARGET
        ratio = op["time"] / floor["time"]
        rows.append(f"| {family} | {op.get('lines', 0):.0f} "
                    f"| {op.get('heap_allocs', 0):.0f} | {duration(op['time'])} "
                    f"| {duration(floor['time'])} | {ratio:.2f} "
                    f"| {verdict(ratio, target)} |")
    return "\n".join(rows)


def growthtable(results):
    """Longer lengths: growth exponent, GMP, peak heap."""
    rows = ["| operation | 512 | 4096 | 32768 | growth exponent | target "
            "| GMP at 4096 | × GMP | peak heap per operand digit |",
            "|---|--:|--:|--:|--:|---|--:|--:|--:|"]
    for family in families(results):
        if family not in GROWTH:
            continue
        series = times(results, family)
        low, high, bound, kind = GROWTH[family]
        value = exponent(results, family)
        growth = "–" if value is None else f"{value:.2f} ({low}→{high})"
        met = "–"
        if value is not None:
            ok = value <= bound + EXPONENT_TOLERANCE
            met = f"met ({kind})" if ok else f"**missed** ({kind})"
        gmp = results.get(("gmp/" + family, 4096))
        gmptext, gmpratio = "–", "–"
        if gmp and 4096 in series:
            ratio = series[4096] / gmp["time"]
            gmptext = duration(gmp["time"])
            gmpratio = f"{ratio:.2f}, {verdict(ratio, GMP_TARGET)}"
        longest = max(series)
        heap = results[(family, longest)].get("heap_peak_bytes")
        heaptext = "–" if heap is None else f"{heap / longest:.1f} (at {longest})"
        rows.append(f"| {family} | {duration(series.get(512))} "
                    f"| {duration(series.get(4096))} | {duration(series.get(32768))} "
                    f"| {growth} | {met} | {gmptext} | {gmpratio} | {heaptext} |")
    return "\n".join(rows)


def ensure_gnuplot():
    if shutil.which("gnuplot"):
        return
    print("gnuplot missing: installing gnuplot-nox", file=sys.stderr)
    prefix = [] if os.geteuid() == 0 else ["sudo"]
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(prefix + ["apt-get", "install", "-y", "--no-install-recommends",
                             "gnuplot-nox"], check=True, env=env,
                   stdout=sys.stderr)


def plot(results, svg_path):
    ensure_gnuplot()
    os.makedirs(os.path.dirname(svg_path), exist_ok=True)
    families = sorted({name for name, _ in results
                       if not name.startswith(("floor/", "log"))},
                      key=lambda name: (name.startswith("gmp/"), name))
    with tempfile.TemporaryDirectory() as scratch:
        curves = []
        for index, family in enumerate(families):
            data_path = os.path.join(scratch, f"{index}.dat")
            with open(data_path, "w", encoding="utf-8") as out:
                for length, ns in sorted(times(results, family).items()):
                    out.write(f"{length} {ns}\n")
            style = "dashtype 2" if family.startswith("gmp/") else "dashtype 1"
            title = family.replace("gmp/", "GMP: ").replace("_", "\\_")
            curves.append(f"'{data_path}' using 1:2 with linespoints {style} "
                          f"title '{title}'")
        script = "\n".join([
            "set terminal svg size 1000,700 dynamic font 'sans,11'",
            f"set output '{svg_path}'",
            "set title 'Time per operation against length (dashed: GMP)'",
            "set logscale x 2",
            "set logscale y",
            "set xrange [6:45000]",
            "set xtics (8, 64, 512, 4096, 32768)",
            "set xlabel 'length (digits)'",
            "set ylabel 'time per operation (ns), trace lines included'",
            "set key outside right",
            "set grid",
            "set format y '10^{%L}'",
            "plot " + ", \\\n     ".join(curves),
        ])
        subprocess.run(["gnuplot"], input=script, text=True, check=True)
    print(f"Plot written to {svg_path}", file=sys.stderr)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    source = parser.add_mutually_exclusive_group(required=True)
    source.add_argument("--benchmark", help="the veldra-bench binary to run")
    source.add_argument("--from-json", help="use the results of an earlier run")
    parser.add_argument("--json", default="bench.json",
                        help="where a run writes its results (default: bench.json)")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--min-time", default="0.2",
                        help="seconds per benchmark and repetition")
    parser.add_argument("--filter", help="regular expression of benchmarks to run")
    parser.add_argument("--plot", help="SVG file to draw the growth plot into")
    args = parser.parse_args()

    json_path = args.from_json or args.json
    if args.benchmark:
        extra = [f"--benchmark_filter={args.filter}"] if args.filter else []
        run_benchmark(args.benchmark, json_path, args.repetitions,
                      args.min_time, extra)
    context, results = load(json_path)
    print(f"CPU time per operation, median of the repetitions; "
          f"{context.get('num_cpus', '?')} CPUs at "
          f"{context.get('mhz_per_cpu', '?')} MHz.\n")
    print(floortable(results))
    print()
    print(growthtable(results))
    if args.plot:
        plot(results, os.path.abspath(args.plot))


if __name__ == "__main__":
    main()
