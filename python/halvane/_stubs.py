"""Writes the package's type stubs (halvane/__init__.pyi) from the class table.

    python3 -m halvane._stubs            prints them
    python3 -m halvane._stubs --write F  writes them to F

The tests compare the stubs that ship with what the table gives now, so a
member added to the table fails them until the stubs are written again.
"""

import sys

from ._halvane import class_table

HEADER = '''\
# The halvane package's types, written by `python3 -m halvane._stubs` from the
# library's class table.  Do not edit: write them again when the table changes.
import datetime
from typing import NoReturn, Union

from ._types import NULL as NULL, Error as Error, Html as Html, _NullType

# What a Variant parameter accepts, and what a Variant result may be.
Value = Union[None, bool, int, float, str, datetime.datetime, datetime.date, datetime.time, _NullType]
Result = Union[None, bool, int, float, str, datetime.datetime, _NullType]

__all__ = ["Error", "Html", "NULL", "page_script", {names}]

def page_script() -> Html: ...
'''

PARAM = {"String": "str", "Integer": "int", "Boolean": "bool", "Variant": "Value"}
RESULT = {"String": "str", "Integer": "int", "Boolean": "bool", "Variant": "Result", "none": "None"}


def _params(params):
    return "".join(f", {name}: {PARAM[kind]}" + (" = ..." if optional else "") for name, kind, optional in params)


def render():
    table = class_table()
    out = [HEADER.format(names=", ".join(f'"{name}"' for name, _, _ in table))]
    for name, prog_id, members in table:
        out.append(f"\nclass {name}:\n    \"\"\"The {prog_id} component.\"\"\"\n    def __init__(self) -> None: ...\n")
        seen = set()
        for member, kind, _, params, result in members:
            if kind == "method":
                ret = "Html" if result == "String" else RESULT[result]
                out.append(f"    def {member}(self{_params(params)}) -> {ret}: ...\n")
                continue
            if member in seen:
                continue
            seen.add(member)
            get = next((m for m in members if m[0] == member and m[1] == "property get"), None)
            let = next((m for m in members if m[0] == member and m[1] == "property let"), None)
            out.append("    @property\n")
            if get:
                out.append(f"    def {member}(self) -> {RESULT[get[4]]}: ...\n")
            else:
                out.append(f"    def {member}(self) -> NoReturn: ...  # write only\n")
            if let:
                out.append(f"    @{member}.setter\n    def {member}(self{_params(let[3])}) -> None: ...\n")
    return "".join(out)


def main(argv):
    text = render()
    if len(argv) == 2 and argv[0] == "--write":
        with open(argv[1], "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    elif argv:
        sys.exit("usage: python3 -m halvane._stubs [--write FILE]")
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main(sys.argv[1:])
