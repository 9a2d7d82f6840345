#!/usr/bin/env bash
# The package installs as the README says: pip into a virtual environment made
# with --system-site-packages (no index: Debian's setuptools build it), and
# imports there outside the checkout with the same bytes as the build tree's
# package; `python3 -m build --no-isolation --wheel python` makes a wheel with
# the module, the stubs and py.typed.
#   install_check.sh <checkout> <work dir> [python]
set -euo pipefail
root=$1 work=$2 python=${3:-/usr/bin/python3}
rm -rf "$work"
mkdir -p "$work"
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python3" -m pip install --quiet --no-index --no-build-isolation "$root/python"
cd "$work"
"$work/venv/bin/python3" - "$work/venv" <<'PY'
import sys, halvane
assert halvane.__file__.startswith(sys.argv[1]), halvane.__file__
out = halvane.Calendar().DisplayEmbedded("agenda")
assert isinstance(out, halvane.Html) and out.startswith("<SCRIPT LANGUAGE=JavaScript>\r\n"), out[:40]
t = halvane.Tree()
assert t.WriteNode("a", "b", "c").startswith('<script language="JavaScript">')
PY
"$python" -m build --no-isolation --wheel --outdir "$work/dist" "$root/python" >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; exit 1; }
wheel=$(ls "$work"/dist/halvane-*.whl)
"$python" - "$wheel" <<'PY'
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
for want in ("halvane/__init__.py", "halvane/__init__.pyi", "halvane/py.typed", "halvane/_types.py"):
    assert want in names, (want, names)
assert any(n.startswith("halvane/_halvane.") and n.endswith(".so") for n in names), names
PY
echo "installed into a virtual environment and built $(basename "$wheel")"
