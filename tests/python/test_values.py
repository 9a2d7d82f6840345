"""The value conversions both ways and the errors, as tables."""

import datetime
import fractions
import json
import pathlib

import pytest

import halvane
from halvane import _halvane


def decode(v):
    """A value of conversions.json: JSON's own as it is; NULL, dates and times as {"kind": [arguments]}."""
    if not isinstance(v, dict):
        return v
    ((kind, args),) = v.items()
    return halvane.NULL if kind == "NULL" else getattr(datetime, kind)(*args)


# (Python value, what the library receives, what comes back out)
CONVERSIONS = [(decode(v), inside, decode(back))
               for v, inside, back in json.loads((pathlib.Path(__file__).parent / "conversions.json").read_text("utf-8"))]


@pytest.mark.parametrize("value,inside,back", CONVERSIONS, ids=[repr(c[0])[:30] for c in CONVERSIONS])
def test_conversion(value, inside, back):
    assert _halvane.describe_value(value) == inside
    out = _halvane.round_trip(value)
    assert out == back and type(out) is type(back)


class MyStr(str):
    pass


class MyInt(int):
    pass


def test_subclasses_convert_as_their_base():
    assert _halvane.describe_value(MyStr("x")) == 'String "x"'
    assert _halvane.describe_value(MyInt(40000)) == "Long 40000"


# Values refused before any call: (value, exception, text in its message)
REFUSED = [
    (object(), TypeError, "object"),
    ([1], TypeError, "list"),
    (b"bytes", TypeError, "bytes"),
    (fractions.Fraction(1, 3), TypeError, "Fraction"),
    ("a\ud800b", ValueError, "surrogate"),
    (datetime.date(99, 12, 31), ValueError, "99"),
]


@pytest.mark.parametrize("value,exc,text", REFUSED, ids=[repr(r[0])[:20] for r in REFUSED])
def test_refused_values(value, exc, text):
    with pytest.raises(exc, match=text):
        _halvane.describe_value(value)


def test_whole_number_beyond_double_is_overflow():
    with pytest.raises(halvane.Error) as e:
        _halvane.describe_value(10**400)
    assert (e.value.number, e.value.source, e.value.description) == (6, "Halvane", "Overflow")


def new(cls, **props):
    obj = getattr(halvane, cls)()
    for k, v in props.items():
        setattr(obj, k, v)
    return obj


# Calls that fail: (make the object, the call, number, source, description).
# A value the automation layer's conversion refuses is reported as the page
# language reports it (source "Halvane"); a member's own error carries its
# class's source.  (The calls of the component case files, failing ones
# included, are made through Python by test_case_files.py; these go beyond.)
ERRORS = [
    ("ProgressBar", lambda p: p.SetValue(2**40), 6, "Halvane.ProgressBar", "Overflow"),
    ("Tabs", lambda t: t.WriteTab("main", "a.htm"), 1, "QuorvixTabs.TABS", "TabName property is empty."),
    ("Tabs", lambda t: setattr(t, "TabWidth", 40000), 6, "Halvane", "Overflow"),
    ("Tabs", lambda t: setattr(t, "TabWidth", "wide"), 13, "Halvane", "Type mismatch"),
    ("Tabs", lambda t: setattr(t, "TabName", halvane.NULL), 13, "Halvane", "Type mismatch"),
    ("PopupMenu", lambda m: setattr(m, "Width", 2**31), 6, "Halvane", "Overflow"),
]


@pytest.mark.parametrize("cls,act,number,source,description", ERRORS, ids=[f"{e[0]}-{i}" for i, e in enumerate(ERRORS)])
def test_error(cls, act, number, source, description):
    with pytest.raises(halvane.Error) as e:
        act(new(cls))
    err = e.value
    assert (err.number, err.source, err.description) == (number, source, description)
    assert err.status == 0x800A0000 + number
    assert str(err) == description
    assert err.args == (number, source, description)
    assert isinstance(err, Exception)


def test_what_was_assigned_before_an_error_stays():
    c = new("Calendar", ActiveDate="3/5/2004")
    with pytest.raises(halvane.Error):
        c.ActiveDate = "2/30/2004"
    assert c.ActiveDate == "03/05/2004"
    t = new("Tabs", TabName="Home", TabWidth=80)
    with pytest.raises(halvane.Error):
        t.TabWidth = 40000
    with pytest.raises(ValueError):
        t.TabName = "bad\udc00"
    assert (t.TabName, t.TabWidth) == ("Home", 80)


def test_a_refused_argument_leaves_the_object_untouched():
    # The first output of a tree carries its script; a call refused in its
    # last argument must not have used it up.
    fresh = halvane.Tree().WriteNode("n", "u", "t")
    tree = halvane.Tree()
    with pytest.raises(TypeError):
        tree.WriteNode("n", "u", object())
    with pytest.raises(ValueError):
        tree.WriteNode("n", "u", "t", "\ud800")
    assert tree.WriteNode("n", "u", "t") == fresh


# Binding of arguments: by position, by keyword, optional ones optional.
def test_arguments_by_position_and_keyword():
    expected = halvane.Tree().WriteNode("n", "u", "t", "i.gif")
    assert halvane.Tree().WriteNode(NodeName="n", URI="u", Target="t", ImagePath="i.gif") == expected
    assert halvane.Tree().WriteNode("n", "u", ImagePath="i.gif", Target="t") == expected
    assert halvane.Tree().WriteNode("n", "u", "t") == halvane.Tree().WriteNode("n", "u", "t", "")


@pytest.mark.parametrize("call,text", [
    (lambda t: t.WriteNode("n", "u"), "missing required argument 'Target'"),
    (lambda t: t.WriteNode("n", "u", "t", "i", "extra"), "takes 4 arguments"),
    (lambda t: t.WriteNode("n", "u", "t", nodename="x"), "unexpected keyword argument 'nodename'"),
    (lambda t: t.WriteNode("n", "u", "t", NodeName="x"), "multiple values for argument 'NodeName'"),
    (lambda t: halvane.Tree.WriteNode(halvane.Tabs(), "n", "u", "t"), "needs a halvane.Tree"),
    (lambda t: halvane.Tree(1), "takes no arguments"),
])
def test_argument_errors(call, text):
    with pytest.raises(TypeError, match=text):
        call(halvane.Tree())


def test_properties_follow_the_table():
    menu = halvane.PopupMenu()
    menu.Width = 200
    with pytest.raises(AttributeError):
        menu.Width  # write only
    bar = halvane.ProgressBar()
    with pytest.raises(AttributeError):
        del bar.Max


def test_html_and_null():
    out = halvane.Tree().WriteMenuFooter()
    assert type(out) is halvane.Html and out.__html__() is out
    assert isinstance(halvane.page_script(), halvane.Html)
    assert halvane.page_script().startswith("<script>")
    assert not halvane.NULL and repr(halvane.NULL) == "halvane.NULL"
    assert type(halvane.NULL)() is halvane.NULL
    import copy
    import pickle
    assert copy.deepcopy(halvane.NULL) is halvane.NULL
    assert pickle.loads(pickle.dumps(halvane.NULL)) is halvane.NULL


def test_subclass_of_a_component():
    class MyTree(halvane.Tree):
        def __init__(self, width):
            self.Width = width

    assert MyTree("300").Width == "300"
    assert isinstance(MyTree("1").WriteMenuFooter(), halvane.Html)
