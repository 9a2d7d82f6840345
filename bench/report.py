#!/usr/bin/env python3
"""Summarises a Google Benchmark JSON file of halvane_bench as Markdown tables.

  python3 bench/report.py results.json [summary.md]

Every benchmark ran several times; the fastest repetition of each counts (the
machine is shared, and interference only ever makes a run slower).  Prints
the ratios to the limit for every output, the scaling of menus with their
rows, the automation layer against direct calls, and the gallery pages.
Exits 0 whatever the figures are: the targets are reported, not enforced.
"""
import json
import sys
from collections import OrderedDict

UNIT = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def load(path):
    with open(path) as f:
        data = json.load(f)
    best = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" or "aggregate_name" in b:
            continue
        name = b.get("run_name", b["name"])
        t = b["real_time"] * UNIT[b.get("time_unit", "ns")]
        if name not in best or t < best[name]["t"]:
            best[name] = dict(b, t=t)
    # Repetitions run interleaved at random: list the benchmarks by name,
    # with the menu sizes in numeric order.
    def key(name):
        parts = name.split("/")
        return [int(p) if p.isdigit() else p for p in parts]
    return data.get("context", {}), OrderedDict(sorted(best.items(), key=lambda kv: key(kv[0])))


def fmt_time(ns):
    if ns >= 1e6:
        return "%.2f ms" % (ns / 1e6)
    if ns >= 1e3:
        return "%.2f us" % (ns / 1e3)
    return "%.1f ns" % ns


def main():
    context, best = load(sys.argv[1])
    out = []

    def emit(line=""):
        out.append(line)

    # ---- outputs against their baselines -------------------------------------
    cases = OrderedDict()
    for name, b in best.items():
        parts = name.split("/")
        if parts[0] == "output" and len(parts) >= 3:
            cases.setdefault("/".join(parts[1:-1]), {})[parts[-1]] = b
    emit("### Output methods against the limit (memcpy into a fresh string) and a naive a = a + b builder")
    emit()
    emit("| output | bytes | allocs | halvane | limit | naive | halvane / limit | naive / limit | target |")
    emit("|---|---:|---:|---:|---:|---:|---:|---:|---|")
    misses = []
    for case, v in cases.items():
        if "halvane" not in v or "limit" not in v:
            continue
        h, lim = v["halvane"], v["limit"]
        ratio = lim["t"] / h["t"]
        naive = v.get("naive")
        large = h.get("large", 0) >= 1
        target = ""
        if large:
            target = "met (>= 0.50)" if ratio >= 0.5 else "MISSED (< 0.50)"
            if ratio < 0.5:
                misses.append("%s at %.2f of the limit" % (case, ratio))
        allocs = h.get("allocs", 0)
        emit("| %s | %d | %g | %s | %s | %s | %.2f | %s | %s |" % (
            case, h.get("bytes", 0), allocs, fmt_time(h["t"]), fmt_time(lim["t"]),
            fmt_time(naive["t"]) if naive else "-", ratio,
            "%.2f" % (lim["t"] / naive["t"]) if naive else "-", target))
        if "one-copy" in v:
            emit("| %s (whole page as one memcpy) | %d | | | %s | | %.2f | | |" % (
                case, h.get("bytes", 0), fmt_time(v["one-copy"]["t"]), v["one-copy"]["t"] / h["t"]))
    emit()
    emit("Throughput ratios: limit time / halvane time (1.00 is the limit itself). "
         "Large outputs (first calls with their script blocks, the 1820-row menu, the whole "
         "ProgressBar, the 10,000-node tree page) carry the >= 0.50 target.")
    emit()

    # ---- add calls -------------------------------------------------------------
    adds = [(n, b) for n, b in best.items() if n.startswith("add/")]
    if adds:
        emit("### Add calls")
        emit()
        emit("| call | time per call | allocations per call |")
        emit("|---|---:|---:|")
        for n, b in adds:
            emit("| %s | %s | %.3f |" % (n[4:], fmt_time(b["t"]), b.get("allocs", 0)))
        emit()

    # ---- scaling ------------------------------------------------------------------
    scale = [(n, b) for n, b in best.items() if n.startswith("scale/") and "rows" in b]
    if scale:
        emit("### Adding N rows and writing the menu")
        emit()
        emit("| rows | total | per row |")
        emit("|---:|---:|---:|")
        per_row = []
        for n, b in scale:
            rows = int(b["rows"])
            pr = b["t"] / rows
            per_row.append(pr)
            emit("| %d | %s | %s |" % (rows, fmt_time(b["t"]), fmt_time(pr)))
        spread = max(per_row) / min(per_row)
        verdict = "met" if spread <= 1.3 else "MISSED"
        if spread > 1.3:
            misses.append("per-row time varies %.2fx from 10 to 1820 rows" % spread)
        emit()
        emit("Per-row time, largest over smallest: %.2f (target: flat, <= 1.30): %s." % (spread, verdict))
        emit()

    # ---- automation -----------------------------------------------------------------
    inv = OrderedDict()
    for name, b in best.items():
        parts = name.split("/")
        if parts[0] == "invoke" and len(parts) == 3:
            inv.setdefault(parts[1], {})[parts[2]] = b
    if inv:
        emit("### Automation layer against the direct C++ call")
        emit()
        emit("Output members (a String result): IDispatch::Invoke within 1.6x of the direct call, "
             "the function table within 1.2x.")
        emit()
        emit("| member | direct | Invoke by DISPID | by name | IDispatch::Invoke | function table "
             "| DISPID / direct | name / direct | IDispatch / direct | table / direct | targets (1.6x, 1.2x) |")
        emit("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
        output_members = ("ProgressBar.SetValue", "Tree.WriteMenuFooter", "Tree.WriteNode", "PopupMenu.EmbedPopupMenu")
        for m, v in inv.items():
            if not all(k in v for k in ("direct", "dispid", "name")):
                continue
            d, i, n = v["direct"]["t"], v["dispid"]["t"], v["name"]["t"]
            c = v.get("idispatch", {}).get("t")
            t = v.get("table", {}).get("t")
            verdict = "-"
            if m in output_members and c is not None and t is not None:
                ok_c, ok_t = c / d <= 1.6, t / d <= 1.2
                verdict = "IDispatch %s, table %s" % ("met" if ok_c else "MISSED", "met" if ok_t else "MISSED")
                if not (ok_c and ok_t):
                    misses.append("%s: IDispatch %.2fx, table %.2fx the direct call" % (m, c / d, t / d))
            emit("| %s | %s | %s | %s | %s | %s | %.2f | %.2f | %s | %s | %s |" % (
                m, fmt_time(d), fmt_time(i), fmt_time(n), fmt_time(c) if c else "-", fmt_time(t) if t else "-",
                i / d, n / d, "%.2f" % (c / d) if c else "-", "%.2f" % (t / d) if t else "-", verdict))
        emit()
        floor = [(m, v) for m, v in inv.items() if "direct+utf16" in v and "idispatch" in v and "table" in v]
        if floor:
            emit("The same output members over the least a call through the C interface does: the direct call "
                 "with its text made a BSTR (UTF-8 to UTF-16, two bytes a character).")
            emit()
            emit("| member | direct | direct + BSTR | IDispatch::Invoke | function table "
                 "| (direct + BSTR) / direct | IDispatch / (direct + BSTR) | table / (direct + BSTR) |")
            emit("|---|---:|---:|---:|---:|---:|---:|---:|")
            for m, v in floor:
                d, f = v["direct"]["t"], v["direct+utf16"]["t"]
                c, t = v["idispatch"]["t"], v["table"]["t"]
                emit("| %s | %s | %s | %s | %s | %.2f | %.2f | %.2f |" % (
                    m, fmt_time(d), fmt_time(f), fmt_time(c), fmt_time(t), f / d, c / f, t / f))
            emit()

    # ---- pages -------------------------------------------------------------------------
    pages = OrderedDict()
    for name, b in best.items():
        parts = name.split("/")
        if parts[0] == "page" and len(parts) == 3:
            pages.setdefault(parts[1], {})[parts[2]] = b
    if pages:
        emit("### Gallery pages through the interpreter (in process)")
        emit()
        emit("| page | bytes | run (parsed once) | parse + run |")
        emit("|---|---:|---:|---:|")
        for p, v in pages.items():
            r = v.get("run")
            pr = v.get("parse+run")
            emit("| %s | %d | %s | %s |" % (p, r.get("bytes", 0) if r else 0,
                                          fmt_time(r["t"]) if r else "-", fmt_time(pr["t"]) if pr else "-"))
        emit()

    emit("Targets missed: " + ("; ".join(misses) if misses else "none") + ".")
    text = "\n".join(out) + "\n"
    sys.stdout.write(text)
    if len(sys.argv) > 2:
        with open(sys.argv[2], "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
