"""The Halvane gallery as a Flask application with Jinja2 templates.

    /usr/bin/python3 examples/python/app.py [--port 5000]

(with the halvane package installed, see docs/python.md).  Every component
output is a halvane.Html, which Jinja2 writes as it is; everything the
client sent goes through Jinja2's autoescaping.
"""

import argparse
import datetime
import pathlib
import sys
import time
import urllib.parse

from flask import Flask, Response, render_template, request, send_from_directory, stream_template
from werkzeug.serving import make_server

import halvane

GALLERY = pathlib.Path(__file__).resolve().parent.parent  # gallery.css, images/, Calendar.gif

CITIES = [("ams", "Amsterdam"), ("ath", "Athens"), ("bcn", "Barcelona"), ("ber", "Berlin"), ("bru", "Brussels"),
          ("cph", "Copenhagen"), ("dub", "Dublin"), ("hel", "Helsinki"), ("lis", "Lisbon"), ("lon", "London"),
          ("mad", "Madrid"), ("osl", "Oslo"), ("par", "Paris"), ("pra", "Prague"), ("rom", "Rome"),
          ("sto", "Stockholm"), ("vie", "Vienna"), ("war", "Warsaw")]

# The tree page's data: menus of (name, link) nodes; a menu may hold menus.
SITE = [
    ("Getting started", [("Gallery home", "/"), ("Booking form", "/booking")]),
    ("Components", [
        ("Navigation", [("Tree", "/tree"), ("Tabs", "/tabs"), ("Popup menu", "/menu")]),
        ("Feedback", [("Progress bar", "/progress")]),
    ]),
]

TABS = [("Booking", "/booking"), ("Tree", "/tree"), ("Popup menu", "/menu")]
MENU = [("Document", [("Open", "images/menu_open.gif"), ("Save", "images/menu_save.gif")]),
        ("Help", [("About Halvane", "images/menu_help.gif")])]

app = Flask(__name__)


@app.context_processor
def page_script():
    # The browser script every page carries in its head, before any component.
    return {"page_script": halvane.page_script()}


@app.route("/gallery.css")
@app.route("/Calendar.gif")
def gallery_file():
    return send_from_directory(GALLERY, request.path.lstrip("/"))


@app.route("/images/<path:name>")
def gallery_image(name):
    return send_from_directory(GALLERY / "images", name)


@app.route("/")
def index():
    return render_template("index.html", here="/")


def read_date(text):
    """The date a field sent, read as the Calendar reads it; None if it is none."""
    cal = halvane.Calendar()
    try:
        cal.ActiveDate = text
    except halvane.Error:
        return None
    return datetime.datetime.strptime(cal.ActiveDate, "%m/%d/%Y").date()


@app.route("/booking", methods=["GET", "POST"])
def booking():
    form, errors, booked = request.form, [], None
    cal = halvane.Calendar()
    cal.ActiveDate = datetime.date.today()
    if request.method == "POST":
        name = form.get("name", "").strip()
        city = form.get("city", "").strip()
        day = read_date(form.get("day", ""))
        if not name:
            errors.append("Please give your name.")
        if city.lower() not in {label.lower() for _, label in CITIES}:
            errors.append(f"There is no trip to {city}." if city else "Please choose a city.")
        if day is None:
            errors.append("Please pick a valid date.")
        else:
            cal.ActiveDate = day  # the popup opens on the date sent
        if not errors:
            booked = {"name": name, "city": city, "day": day, "weekday": day.strftime("%A")}
    return render_template("booking.html", here="/booking", cities=CITIES, errors=errors, booked=booked,
                           form=form, city=halvane.AutoComplete().EmbedAutoComplete("city", "cityList", True, True),
                           day=cal.DisplayPopup("day"))


def write_menu(tree, name, nodes):
    """The markup of one menu and the menus inside it."""
    parts = [tree.WriteMenuHeader(name)]
    for label, target in nodes:
        if isinstance(target, list):
            parts.append(write_menu(tree, label, target))
        else:
            parts.append(tree.WriteNode(label, target, "_top", "images/page.gif"))
    parts.append(tree.WriteMenuFooter())
    return halvane.Html("".join(parts))


@app.route("/tree")
def tree():
    t = halvane.Tree()
    t.Width = "240"
    t.TextClass = "node"
    menus = [t.WriteExpandCollapse()] + [write_menu(t, name, nodes) for name, nodes in SITE]
    return render_template("tree.html", here="/tree", menus=menus)


@app.route("/tabs")
def tabs():
    asked = request.args.get("tab", "")
    names = [name.lower() for name, _ in TABS]
    front = names.index(asked.lower()) if asked.lower() in names else 0
    t = halvane.Tabs()
    t.TabCount, t.TabWidth, t.PanelWidth, t.PanelHeight = len(TABS), 130, 900, 470
    t.LayerColor = "eef2f8"
    written = []
    for i, (name, url) in enumerate(TABS):
        t.TabName = name
        t.JavaScriptOnClick = f"document.getElementById('shown').innerHTML='{name}'"
        written.append(t.WriteTab(f"frame{i}", url))
        if i + 1 < len(TABS):
            t.MovePreviousLayerColor()
    return render_template("tabs.html", here="/tabs", tabs=written, front=front, shown=TABS[front][0],
                           asked=asked, unknown=bool(asked) and asked.lower() not in names)


@app.route("/menu")
def menu():
    m = halvane.PopupMenu()
    m.Width, m.BorderColor = 170, "17345e"
    for title, items in MENU:
        m.AddMenuTitle(f"<b>{title}</b>")
        for label, image in items:
            m.AddMenuItem(label, f"parent.location.href='/menu?item={urllib.parse.quote_plus(label)}'", image)
        m.AddHorizontalRule("images/dot.gif")
    return render_template("menu.html", here="/menu", menu=m.EmbedPopupMenu(), chosen=request.args.get("item"))


@app.route("/progress")
def progress():
    steps = max(1, min(int(request.args.get("steps", 100)), 1000))
    pause = max(0.0, min(float(request.args.get("pause", 0.03)), 1.0))
    bar = halvane.ProgressBar()
    bar.Max = steps
    bar.Color = "1e4f91"

    def updates():
        # One script line per step, sent as soon as it is made.
        for i in range(1, steps + 1):
            yield bar.SetValue(i)
            time.sleep(pause)

    return Response(stream_template("progress.html", here="/progress", bar=bar, steps=steps, updates=updates()))


@app.errorhandler(halvane.Error)
def component_error(e):
    return render_template("error.html", here="", error=e), 500


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=5000, help="0: any free port")
    args = parser.parse_args()
    server = make_server(args.host, args.port, app, threaded=True)
    # The address is printed once the server listens, for the scripts that start it.
    print(f"Halvane Flask gallery at http://{args.host}:{server.port}/", file=sys.stderr, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
