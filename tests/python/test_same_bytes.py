"""The same calls give the same bytes from Python and from a page run by the
`halvane` program (the case files hold the C++ side)."""

import os
import pathlib
import subprocess

import pytest

import halvane

# The page the halvane program runs; python_side() makes the same calls.
PAGE = pathlib.Path(__file__).parent / "same_bytes_page.txt"


def python_side():
    out = []
    t = halvane.Tree()
    t.Width = "240"
    out.append(t.WriteExpandCollapse())
    for m in range(1, 4):
        out.append(t.WriteMenuHeader(f"Menu {m}"))
        for n in range(1, 3):
            out.append(t.WriteNode(f"Item {m}.{n}", f"/p{m}_{n}.htm", "_top", "page.gif"))
        out.append(t.WriteMenuFooter())
    p = halvane.ProgressBar()
    p.Max = 40000
    out += [p.Show(True, False), p.SetValue(12345), p.HideOutput(False)]
    c = halvane.Calendar()
    c.ActiveDate = "2/29/2004"
    out += [c.DisplayPopup("due"), c.DisplayEmbedded("agenda")]
    out.append(halvane.AutoComplete().EmbedAutoComplete("city", "cities", True, False))
    return "".join(out)


def test_python_and_a_page_give_the_same_bytes(tmp_path):
    program = os.environ.get("HALVANE_BIN")
    if not program or not pathlib.Path(program).exists():
        pytest.skip("set HALVANE_BIN to the halvane program (ctest does)")
    page = tmp_path / "same.hvs"
    page.write_bytes(PAGE.read_bytes())
    ran = subprocess.run([program, "run", str(page)], capture_output=True, check=True)
    assert ran.stdout == python_side().encode("utf-8")
    assert len(ran.stdout) > 10000
