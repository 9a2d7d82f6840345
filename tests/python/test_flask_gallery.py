"""The Flask gallery of examples/python through Flask's test client."""

import re
import sys

import pytest

import halvane


@pytest.fixture(scope="module")
def client(root):
    sys.path.insert(0, str(root / "examples" / "python"))
    try:
        import app as gallery
    finally:
        sys.path.pop(0)
    gallery.app.testing = True
    return gallery.app.test_client()


def text(response):
    assert response.status_code == 200
    return response.get_data(as_text=True)


def test_every_page_carries_the_page_script_first(client):
    script = halvane.page_script()
    for url in ["/", "/booking", "/tree", "/tabs", "/menu", "/progress?steps=2&pause=0"]:
        page = text(client.get(url))
        head = page[:page.index("</head>")]
        assert script in head, url
        assert page.index(script) < page.index("<body>"), url


def test_booking_posted_shows_the_weekday(client):
    page = text(client.post("/booking", data={"name": "Ann", "city": "Lisbon", "day": "3/5/2004"}))
    booked = re.search(r"<div class='card status' id='booked'>(.*?)</div>", page, re.S)[1]
    assert booked == ("Booked: <b id='booked-name'>Ann</b> to\n<b id='booked-city'>Lisbon</b> on "
                      "<b id='booked-day'>03/05/2004</b>,\na <b id='booked-weekday'>Friday</b>.")
    # The popup opens on the date sent.
    cal = halvane.Calendar()
    cal.ActiveDate = "3/5/2004"
    assert cal.DisplayPopup("day") in page
    assert "id='errors'" not in page


def test_booking_escapes_everything_the_client_sent(client):
    hostile = "<script>alert('x')</script>&"
    page = text(client.post("/booking", data={"name": hostile, "city": hostile, "day": "2/30/2004"}))
    assert hostile not in page
    assert "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;" in page
    errors = re.search(r"<ul class='card status' id='errors'>(.*?)</ul>", page, re.S)[1]
    assert errors == ("<li>There is no trip to &lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;.</li>"
                      "<li>Please pick a valid date.</li>")
    assert "id='booked'" not in page


@pytest.mark.parametrize("form,message", [
    ({"name": " ", "city": "Rome", "day": "1/1/2030"}, "Please give your name."),
    ({"name": "A", "city": "", "day": "1/1/2030"}, "Please choose a city."),
    ({"name": "A", "city": "Rome", "day": ""}, "Please pick a valid date."),
    ({"name": "A", "city": "Rome", "day": "not a date"}, "Please pick a valid date."),
])
def test_booking_validation(client, form, message):
    page = text(client.post("/booking", data=form))
    assert re.search(r"id='errors'><li>(.*?)</li></ul>", page)[1] == message


def test_tree_from_data_is_the_same_calls(client):
    t = halvane.Tree()
    t.Width, t.TextClass = "240", "node"
    expected = t.WriteExpandCollapse() + t.WriteMenuHeader("Getting started")
    assert expected in text(client.get("/tree"))


@pytest.mark.parametrize("query,shown,front", [("", "Booking", None), ("?tab=tree", "Tree", 1),
                                                ("?tab=POPUP%20MENU", "Popup menu", 2), ("?tab=<i>", "Booking", None)])
def test_tabs_open_from_the_query(client, query, shown, front):
    page = text(client.get("/tabs" + query))
    assert f"<b id='shown'>{shown}</b>" in page
    assert (f"<script>selectTab({front});</script>" in page) == (front is not None)
    if query == "?tab=<i>":
        assert "There is no tab named <b>&lt;i&gt;</b>" in page


def test_menu_choice_is_escaped(client):
    page = text(client.get("/menu?item=%3Cb%3EOpen"))
    assert "You chose <b>&lt;b&gt;Open</b>." in page
    assert 'oContextHTML' in page


def test_progress_streams_its_steps(client):
    response = client.get("/progress?steps=5&pause=0")
    assert response.is_streamed
    chunks = [c.decode() for c in response.response]
    page = "".join(chunks)
    bar = halvane.ProgressBar()
    bar.Max = 5
    updates = [bar.SetValue(i) for i in range(1, 6)]
    # Each update is a chunk of its own, in order, after the bar.
    positions = [chunks.index(u) for u in updates]
    assert positions == sorted(positions)
    assert page.index("progress_update(1)") > page.index("id='ready'")
    assert "Steps written: 5 of 5." in page
