"""Python against C++ in the same run: the 20 x 10 navigation tree (242 calls:
Width, WriteExpandCollapse, 20 headers, 200 nodes, 20 footers) and the short
member ProgressBar.SetValue.  Prints a Markdown table.

    PYTHONPATH=<build>/python:<build>/bench /usr/bin/python3 bench/python_bench.py

Each figure is the fastest of REPS repetitions, the Python and C++ ones
interleaved so that load from elsewhere hits both alike.
"""

import os
import sys
import time

import halvane
import halvane_bench_direct as direct

REPS = int(os.environ.get("BENCH_REPS", "7"))


def nav_tree():
    t = halvane.Tree()
    t.Width = "240"
    out = [t.WriteExpandCollapse()]
    for m in range(1, 21):
        out.append(t.WriteMenuHeader(f"Menu {m}"))
        for n in range(1, 11):
            out.append(t.WriteNode(f"Item {m}.{n}", f"/page{m}_{n}.htm", "_top", "images/page.gif"))
        out.append(t.WriteMenuFooter())
    return "".join(out)


def time_nav_tree(pages):
    start = time.perf_counter()
    for _ in range(pages):
        page = nav_tree()
    return (time.perf_counter() - start) / pages, page


HEADERS = [f"Menu {m}" for m in range(1, 21)]
NODES = [(f"Item {m}.{n}", f"/page{m}_{n}.htm") for m in range(1, 21) for n in range(1, 11)]


def nav_tree_prepared():
    t = halvane.Tree()
    t.Width = "240"
    out = [t.WriteExpandCollapse()]
    for m in range(20):
        out.append(t.WriteMenuHeader(HEADERS[m]))
        for name, uri in NODES[m * 10:m * 10 + 10]:
            out.append(t.WriteNode(name, uri, "_top", "images/page.gif"))
        out.append(t.WriteMenuFooter())
    return "".join(out)


def time_nav_tree_prepared(pages):
    start = time.perf_counter()
    for _ in range(pages):
        nav_tree_prepared()
    return (time.perf_counter() - start) / pages


def time_set_value(calls):
    bar = halvane.ProgressBar()
    start = time.perf_counter()
    for _ in range(calls):
        bar.SetValue(42)
    return (time.perf_counter() - start) / calls


def main():
    py_page = time_nav_tree(1)[1].encode("utf-8")
    cpp_page = direct.nav_tree(1)[1]
    if py_page != cpp_page or nav_tree_prepared().encode("utf-8") != cpp_page:
        sys.exit("the Python page and the C++ page differ")
    results = {k: float("inf") for k in ("py_tree", "cpp_tree", "py_prep", "cpp_prep", "py_set", "cpp_set")}
    for _ in range(REPS):
        results["cpp_tree"] = min(results["cpp_tree"], direct.nav_tree(200)[0])
        results["py_tree"] = min(results["py_tree"], time_nav_tree(200)[0])
        results["cpp_prep"] = min(results["cpp_prep"], direct.nav_tree_prepared(200))
        results["py_prep"] = min(results["py_prep"], time_nav_tree_prepared(200))
        results["cpp_set"] = min(results["cpp_set"], direct.set_value(200000))
        results["py_set"] = min(results["py_set"], time_set_value(200000))
    tree_ratio = results["py_tree"] / results["cpp_tree"]
    over = (results["py_set"] - results["cpp_set"]) * 1e9
    print("| Python against C++ | Python | C++ | result | target |")
    print("|---|---:|---:|---:|---|")
    print(f"| navigation tree, 20 x 10 ({len(py_page)} bytes) | {results['py_tree'] * 1e6:.1f} us "
          f"| {results['cpp_tree'] * 1e6:.1f} us | {tree_ratio:.2f}x | "
          f"{'met' if tree_ratio <= 1.5 else 'MISSED'} (<= 1.5x) |")
    prep_ratio = results["py_prep"] / results["cpp_prep"]
    print(f"| the same tree, arguments made beforehand | {results['py_prep'] * 1e6:.1f} us "
          f"| {results['cpp_prep'] * 1e6:.1f} us | {prep_ratio:.2f}x | "
          f"{'met' if prep_ratio <= 1.5 else 'MISSED'} (<= 1.5x) |")
    print(f"| ProgressBar.SetValue(42) | {results['py_set'] * 1e9:.0f} ns | {results['cpp_set'] * 1e9:.0f} ns "
          f"| +{over:.0f} ns | {'met' if over <= 250 else 'MISSED'} (<= +250 ns) |")


if __name__ == "__main__":
    main()
