#!/usr/bin/env python3
"""Runs the veldra benchmarks and prints their Markdown tables.

For each operation: its time at length 8 against its log floor (the same
trace lines appended to a std::stringstream); its time at longer lengths
with the growth exponent between two of them; its time as a multiple of
GMP's on the same values, for every operation benchmarked beside GMP (a
`gmp/` twin), against the targets set per operator and length; and its
peak heap use per operand digit.

With --plot it also draws, with gnuplot, time against length in a few
panels (GMP dashed beside the operations it has) into the given SVG file,
and the ratio to GMP against length into a second file beside it
(bench.svg gives bench-gmp.svg).  Without gnuplot the tables are printed
and the plot is skipped.

  scripts/bench_table.py --benchmark build/bench/bench/veldra-bench
  scripts/bench_table.py --from-json bench.json          # tables only
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

# Growth is measured between these lengths; the bound is the exponent the
# operation must not exceed.  The tolerance absorbs timer noise and cache
# effects that a two-point fit picks up on a shared machine.  An operation
# not named here gets the exponent between its two longest lengths of 512,
# 4096 and 32768, without a target.
LINEAR = (4096, 32768, 1.0, "linear")
QUADRATIC = (512, 4096, 2.0, "quadratic")
# At most 12 times the time for 8 times the length.
TWELVEFOLD = (4096, 32768, math.log(12) / math.log(8), "≤ 12× for 8× the length")
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
    "fixedint(length, text)": LINEAR,
    "fixedfloat *": QUADRATIC,
    "fixedfloat /": QUADRATIC,
    "fixedfloat round": LINEAR,
    "fixedfloat resize": LINEAR,
    "fixedint ^ 257": QUADRATIC,
    "fixedfloat + (mixed signs)": LINEAR,
    "fixedfloat -": LINEAR,
    "fixedfloat = float": TWELVEFOLD,
    "fixedfloat = fixedint": TWELVEFOLD,
    "fixedfloat asstring": QUADRATIC,
    "fixedfloat getintpart": QUADRATIC,
}
GROWTH_LENGTHS = (512, 4096, 32768)

# The most an operation may take as a multiple of GMP's time on the same
# values, by its name or else by its operator (the word after the class in
# its name), and by length.  Ratios are shown at these lengths, with a
# verdict where a target is set.
GMP_TARGETS = {
    "+": {32768: 10.0},
    "-": {32768: 10.0},
    "/": {4096: 2.0, 32768: 2.0},
    "%": {4096: 2.0, 32768: 2.0},
    "fixedfloat /": {4096: 2.5, 32768: 2.5},
    "^": {4096: 1.5, 32768: 1.5},
    "*": {32768: 1.0, 262144: 1.5},
}
GMP_LENGTHS = (4096, 32768, 262144)

# The panels of the time plot: a title and the rows it holds, by class and
# operator.  A row that fits no panel goes into the last one.
PANELS = [
    ("fixedint + and −", {"fixedint"}, {"+", "-"}),
    ("fixedfloat + and −", {"fixedfloat"}, {"+", "-"}),
    ("Comparisons", None, {"==", "!=", "<", ">", "<=", ">="}),
    ("Products and powers", None, {"*", "^"}),
    ("Quotients and remainders", None, {"/", "%"}),
    ("Rounding, re-scaling and parts", {"fixedfloat"},
     {"round", "resize", "getintpart"}),
    ("Conversions and text", None, None),
]
# Line colours, dark enough to tell apart on white; a row and its GMP twin
# share one.
COLOURS = ["#1b9e77", "#d95f02", "#7570b3", "#e7298a", "#66a61e", "#a6761d",
           "#1f78b4", "#666666"]
# The panels of the ratio plot, by operator; the rest go into the last.
RATIO_PANELS = [
    ("Sums and differences", {"+", "-"}),
    ("Products, powers, quotients and the rest", None),
]


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


def classof(family):
    return family.split(" ")[0]


def operatorof(family):
    words = family.split(" ")
    return words[1] if len(words) > 1 else ""


def gmpratios(results, family):
    """{length: time / GMP's time} where both were measured."""
    own = times(results, family)
    gmp = times(results, "gmp/" + family)
    return {length: own[length] / gmp[length]
            for length in sorted(own.keys() & gmp.keys())}


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


def floorlengthstable(results):
    """The operations with a floor at several lengths: × floor at some of
    them, and the highest at any length, which the target holds to."""
    shown = (FLOOR_LENGTH, 64) + GROWTH_LENGTHS
    rows = ["| operation |" + "".join(f" × floor at {length} |"
                                      for length in shown) +
            " highest | target |",
            "|---|" + "--:|" * (len(shown) + 1) + "---|"]
    for family in families(results):
        ratios = {length: results[(family, length)]["time"] /
                  results[("floor/" + family, length)]["time"]
                  for (name, length) in results
                  if name == "floor/" + family and (family, length) in results}
        if len(ratios) < 2:
            continue
        cells = "".join(f" {ratios[length]:.2f} |" if length in ratios
                        else " – |" for length in shown)
        highest = max(ratios.values())
        rows.append(f"| {family} |{cells} {highest:.2f} "
                    f"| {verdict(highest, FLOOR_TARGET)} |")
    return "\n".join(rows) if len(rows) > 2 else ""


def growthwindow(family, series):
    """(low, high, bound, kind) of the growth exponent; no bound for an
    operation without a target."""
    if family in GROWTH:
        return GROWTH[family]
    measured = [length for length in GROWTH_LENGTHS if length in series]
    if len(measured) < 2:
        return None
    return (measured[-2], measured[-1], None, None)


def growthcells(family, series):
    """The growth exponent and its verdict, as two table cells."""
    window = growthwindow(family, series)
    if window is None:
        return "–", "–"
    low, high, bound, kind = window
    if low not in series or high not in series:
        return "–", "–"
    value = math.log(series[high] / series[low]) / math.log(high / low)
    growth = f"{value:.2f} ({low}→{high})"
    if bound is None:
        return growth, "–"
    met = value <= bound + EXPONENT_TOLERANCE
    return growth, f"met ({kind})" if met else f"**missed** ({kind})"


def targetkey(family):
    """The key of GMP_TARGETS that holds the row's targets: its name, or
    its operator."""
    return family if family in GMP_TARGETS else operatorof(family)


def gmpcell(family, ratios, length):
    """The ratio to GMP at one length, with a verdict where a target is set."""
    if length not in ratios:
        return "–"
    ratio = ratios[length]
    bound = GMP_TARGETS.get(targetkey(family), {}).get(length)
    return f"{ratio:.2f}" if bound is None else f"{ratio:.2f}, {verdict(ratio, bound)}"


def growthtable(results):
    """Longer lengths: times, growth exponent, ratio to GMP, peak heap."""
    gmpheads = "".join(f" × GMP at {length} |" for length in GMP_LENGTHS)
    rows = ["| operation | 512 | 4096 | 32768 | growth exponent | target |"
            f"{gmpheads} peak heap per operand digit |",
            "|---|--:|--:|--:|--:|---|" + "--:|" * len(GMP_LENGTHS) + "--:|"]
    for family in families(results):
        series = times(results, family)
        if max(series) < GROWTH_LENGTHS[0]:
            continue
        growth, met = growthcells(family, series)
        ratios = gmpratios(results, family)
        gmptext = "".join(f" {gmpcell(family, ratios, length)} |"
                          for length in GMP_LENGTHS)
        longest = max(series)
        heap = results[(family, longest)].get("heap_peak_bytes")
        heaptext = "–" if heap is None else f"{heap / longest:.1f} (at {longest})"
        rows.append(f"| {family} | {duration(series.get(512))} "
                    f"| {duration(series.get(4096))} | {duration(series.get(32768))} "
                    f"| {growth} | {met} |{gmptext} {heaptext} |")
    return "\n".join(rows)


def panelof(family, panels, key):
    """The index of the first panel whose filter `key` accepts the row, or
    the last panel's."""
    for index, panel in enumerate(panels[:-1]):
        if key(family, panel):
            return index
    return len(panels) - 1


def timepanels(results):
    """[(title, [family...])] of the rows measured at more than one length."""
    grouped = [[] for _ in PANELS]
    for family in families(results):
        if len(times(results, family)) < 2:
            continue
        index = panelof(family, PANELS, lambda f, p: (
            (p[1] is None or classof(f) in p[1]) and operatorof(f) in p[2]))
        grouped[index].append(family)
    return [(panel[0], rows) for panel, rows in zip(PANELS, grouped) if rows]


def ratiopanels(results):
    """[(title, [family...])] of the rows with a GMP twin."""
    grouped = [[] for _ in RATIO_PANELS]
    for family in families(results):
        if len(gmpratios(results, family)) < 2:
            continue
        index = panelof(family, RATIO_PANELS,
                        lambda f, p: operatorof(f) in p[1])
        grouped[index].append(family)
    return [(panel[0], rows) for panel, rows in zip(RATIO_PANELS, grouped)
            if rows]


def gnuplottext(text):
    """A single-quoted gnuplot string of `text`."""
    return "'" + text.replace("'", "''") + "'"


class plotdata:
    """Writes each curve's points to a file of its own in a scratch
    directory and returns the gnuplot clause that draws it."""

    def __init__(self, scratch):
        self.scratch = scratch
        self.count = 0

    def curve(self, points, style, title):
        path = os.path.join(self.scratch, f"{self.count}.dat")
        self.count += 1
        with open(path, "w", encoding="utf-8") as out:
            for length, value in sorted(points.items()):
                out.write(f"{length} {value}\n")
        return (f"{gnuplottext(path)} using 1:2 {style} "
                f"title {gnuplottext(title)} noenhanced")


def multiplot(svg_path, title, panels, columns, ylabel, yformat, key,
              layout=""):
    """The gnuplot lines that open an SVG of the panels, and the settings
    they share: log scales on both axes, lengths from 8 to 262144."""
    rows = (len(panels) + columns - 1) // columns
    return [
        f"set terminal svg size 1100,{340 * rows + 60} dynamic "
        "font 'sans,11'",
        f"set output {gnuplottext(svg_path)}",
        f"set multiplot layout {rows},{columns} {layout} "
        f"title {gnuplottext(title)} noenhanced",
        "set logscale x 2",
        "set logscale y",
        "set xrange [5:400000]",
        "set xtics (8, 64, 512, 4096, 32768, 262144)",
        "set xlabel 'length (digits)'",
        f"set ylabel {gnuplottext(ylabel)}",
        f"set format y '{yformat}'",
        f"set key {key} reverse Left font ',9' samplen 2",
        "set grid",
    ] + [f"set linetype {index} linecolor rgb '{colour}' linewidth 1.5"
         for index, colour in enumerate(COLOURS, start=1)] + [
        f"set linetype cycle {len(COLOURS)}"]


def paneltitle(title):
    return f"set title {gnuplottext(title)} noenhanced"


def timeplot(results, svg_path, data):
    panels = timepanels(results)
    script = multiplot(svg_path, "Time per operation against length "
                       "(dashed: GMP on the same values)", panels, 2,
                       "time per operation (ns)", "10^{%L}", "top left")
    for title, rows in panels:
        curves = []
        for colour, family in enumerate(rows, start=1):
            curves.append(data.curve(
                times(results, family),
                f"with linespoints linecolor {colour} dashtype 1 pointtype 7 "
                "pointsize 0.5", family))
            gmp = times(results, "gmp/" + family)
            if gmp:
                curves.append(data.curve(
                    gmp, f"with lines linecolor {colour} dashtype (5,3)",
                    "GMP: " + family))
        script += [paneltitle(title),
                   "plot " + ", \\\n     ".join(curves)]
    return script + ["unset multiplot"]


def targetgroups(rows):
    """[(keys, {length: bound})]: the targets of the rows (by operator, or
    by name where a row has its own), keys with the same targets together."""
    groups = []
    for key in dict.fromkeys(targetkey(family) for family in rows):
        targets = GMP_TARGETS.get(key)
        if not targets:
            continue
        for keys, known in groups:
            if known == targets:
                keys.append(key)
                break
        else:
            groups.append(([key], targets))
    return groups


def ratioplot(results, svg_path, data):
    panels = ratiopanels(results)
    # The keys go right of the panels, which fixed margins keep aligned;
    # the offsets keep a target on the edge of a panel clear of its frame.
    script = multiplot(svg_path, "Time as a multiple of GMP's on the same "
                       "values (open symbols: the targets)", panels, 1,
                       "time / GMP's time", "%g", "outside right top",
                       "margins 0.08,0.76,0.1,0.9 spacing 0,0.15")
    script.append("set offsets 0, 0, graph 0.05, graph 0.05")
    for title, rows in panels:
        curves = [data.curve(gmpratios(results, family),
                             f"with linespoints linecolor {colour} "
                             "pointtype 7 pointsize 0.5", family)
                  for colour, family in enumerate(rows, start=1)]
        for shape, (keys, targets) in enumerate(targetgroups(rows)):
            curves.append(data.curve(
                targets, f"with points linecolor 'black' pointtype "
                f"{(6, 8, 10, 12)[shape % 4]} pointsize 1.4",
                "target for " + ", ".join(keys)))
        script += [paneltitle(title),
                   "plot " + ", \\\n     ".join(curves)]
    return script + ["unset multiplot"]


def plot(results, svg_path):
    if not shutil.which("gnuplot"):
        print("gnuplot not found (Debian: gnuplot-nox): the plot was skipped",
              file=sys.stderr)
        return
    os.makedirs(os.path.dirname(svg_path), exist_ok=True)
    ratio_path = os.path.splitext(svg_path)[0] + "-gmp.svg"
    with tempfile.TemporaryDirectory() as scratch:
        data = plotdata(scratch)
        script = timeplot(results, svg_path, data)
        if ratiopanels(results):
            script += ratioplot(results, ratio_path, data)
        subprocess.run(["gnuplot"], input="\n".join(script), text=True,
                       check=True)
    print(f"Plot written to {svg_path}", file=sys.stderr)
    if ratiopanels(results):
        print(f"Ratio to GMP written to {ratio_path}", file=sys.stderr)


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
    parser.add_argument("--plot", help="SVG file to draw the time plot into; "
                        "the ratio to GMP goes beside it, as <name>-gmp.svg")
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
    extra = floorlengthstable(results)
    if extra:
        print(extra)
        print()
    print(growthtable(results))
    if args.plot:
        plot(results, os.path.abspath(args.plot))


if __name__ == "__main__":
    main()
