"""Benchmark results as a data file and as a chart drawn from it.

The benches that set KIV beside other readers (bench_peers.py,
bench_latency.py) write their medians with write_results(); draw() turns
such a file into a bar chart, one group of bars per row (a network, a
setting) and one bar per reader, times in seconds, shorter being better.

    python3 scripts/bench_chart.py RESULTS.json [CHART.png]

draws a results file again (CHART defaults to the same name with .png); the
charts in docs/images are drawn this way from the data files beside them.

A results file: {"title": ..., "note": ..., "rows": [{"label": ...,
"seconds": {reader: median, ...}}, ...]}, readers in the order to draw them.
"""
import json
import os
import pathlib
import sys
import textwrap

ROOT = pathlib.Path(__file__).resolve().parents[1]
# Where the benches put their files; docs/images holds the ones the
# documentation shows.
CHART_DIR = pathlib.Path(os.environ.get("KIV_BENCH_CHART_DIR", ROOT / "build" / "bench-charts"))
# KIV first and in its own colour; the other readers and the model after it.
COLOURS = ["#c0392b", "#7f8c8d", "#2980b9", "#27ae60", "#8e44ad", "#d4a017"]


def write_results(name, title, note, rows):
    """Writes CHART_DIR/name.json from rows [(label, {reader: seconds})] and
    draws CHART_DIR/name.png from it; gives the data file's path."""
    CHART_DIR.mkdir(parents=True, exist_ok=True)
    path = CHART_DIR / (name + ".json")
    results = {"title": title, "note": note,
               "rows": [{"label": label, "seconds": {k: round(v, 2) for k, v in seconds.items()}}
                        for label, seconds in rows]}
    path.write_text(json.dumps(results, indent=1, ensure_ascii=False) + "\n")
    draw(path, path.with_suffix(".png"))
    return path


def draw(results_path, chart_path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    results = json.loads(pathlib.Path(results_path).read_text())
    rows = results["rows"]
    readers = []
    for row in rows:
        readers += [name for name in row["seconds"] if name not in readers]
    bar = 0.8 / len(readers)
    figure, axes = plt.subplots(figsize=(9, 1.0 + 0.32 * len(rows) * len(readers) + 0.4 * len(rows)), dpi=100)
    longest = max(value for row in rows for value in row["seconds"].values())
    for number, reader in enumerate(readers):
        ys, values = [], []
        for position, row in enumerate(rows):
            if reader in row["seconds"]:
                ys.append(position + (number - (len(readers) - 1) / 2) * bar)
                values.append(row["seconds"][reader])
        axes.barh(ys, values, height=bar * 0.9, label=reader, color=COLOURS[number % len(COLOURS)])
        for y, value in zip(ys, values):
            axes.text(value + longest * 0.01, y, "%g s" % value, va="center", fontsize=8)
    axes.set_yticks(range(len(rows)))
    axes.set_yticklabels([row["label"] for row in rows])
    axes.invert_yaxis()
    axes.set_xlim(0, longest * 1.15)
    axes.set_xlabel("seconds, first request to done (shorter is better)")
    axes.set_title(results["title"], fontsize=11)
    axes.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.01, 1), frameon=False)
    axes.spines[["top", "right"]].set_visible(False)
    note = textwrap.fill(results.get("note", ""), 150)
    if note:
        figure.text(0.01, 0.01, note, fontsize=7, color="#555555", va="bottom")
    figure.tight_layout(rect=(0, 0.03 * (1 + note.count("\n")) if note else 0, 1, 1))
    figure.savefig(chart_path, metadata={"Software": None})
    plt.close(figure)


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    results = pathlib.Path(argv[1])
    draw(results, pathlib.Path(argv[2]) if len(argv) == 3 else results.with_suffix(".png"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
