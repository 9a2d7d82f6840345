"""The package against the class table: every member there, by its own name
and kind, with its parameters in help(); the shipped stubs as the table
writes them."""

import ast
import inspect
import pydoc

import pytest

import halvane
from halvane import _halvane, _stubs

TABLE = _halvane.class_table()


def test_classes_are_the_table():
    assert [c[0] for c in TABLE] == list(_halvane.class_names)
    assert sorted(halvane.__all__) == sorted(["Error", "Html", "NULL", "page_script", *_halvane.class_names])
    assert len(TABLE) == 6


@pytest.mark.parametrize("cls,prog_id,members", TABLE, ids=[c[0] for c in TABLE])
def test_every_member_by_name_and_kind(cls, prog_id, members):
    py_cls = getattr(halvane, cls)
    assert py_cls.__module__ == "halvane" and prog_id in py_cls.__doc__
    public = {n for n in vars(py_cls) if not n.startswith("_")}
    assert public == {m[0] for m in members}
    for name, kind, _, params, _ in members:
        attr = vars(py_cls)[name]
        if kind == "method":
            sig = inspect.signature(attr)
            assert [p.name for p in sig.parameters.values()] == ["self"] + [p[0] for p in params]
            for p, (pname, _, optional) in zip(list(sig.parameters.values())[1:], params):
                assert (p.default is not inspect.Parameter.empty) == optional, pname
            assert attr.__name__ == name and attr.__qualname__ == f"{cls}.{name}"
        else:
            assert inspect.isdatadescriptor(attr)
    # The kinds a property has decide what Python allows.
    obj = py_cls()
    for name, kind, _, params, _ in members:
        if kind == "method":
            continue
        kinds = {m[1] for m in members if m[0] == name}
        if "property get" not in kinds:
            with pytest.raises(AttributeError):
                getattr(obj, name)
        if "property let" not in kinds:
            with pytest.raises(AttributeError):
                setattr(obj, name, getattr(obj, name))


def test_help_shows_the_parameters():
    text = pydoc.render_doc(halvane.Tree, renderer=pydoc.plaintext)
    assert "WriteNode(self, /, NodeName, URI, Target, ImagePath='')" in text
    assert "WriteNode(NodeName: str, URI: str, Target: str, ImagePath: str = '') -> Html" in text
    assert "Property of Halvane.Tree, read and write." in text
    bound = halvane.ProgressBar().SetValue
    assert str(inspect.signature(bound)) == "(NewValue)"


def test_shipped_stubs_are_the_tables(root):
    shipped = (root / "python" / "halvane" / "__init__.pyi").read_text(encoding="utf-8")
    assert shipped == _stubs.render(), "write them again: python3 -m halvane._stubs --write python/halvane/__init__.pyi"
    tree = ast.parse(shipped)
    classes = {n.name: n for n in tree.body if isinstance(n, ast.ClassDef)}
    assert list(classes) == list(_halvane.class_names)
    assert (root / "python" / "halvane" / "py.typed").exists()
