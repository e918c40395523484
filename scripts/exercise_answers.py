#!/usr/bin/env python3
"""The answers of exercise 1 in a quadrel-cli exercise JSON key, as a student
types them into the worksheet's exercise: row0..row7 (the quantised indices of
a row), zigzag, wrong-dc (the DC difference plus one), symbols, bits."""
import json
import sys


def main() -> None:
    with open(sys.argv[1], encoding="utf-8") as f:
        key = json.load(f)["exercises"][0]
    what = sys.argv[2]
    if what.startswith("row"):
        print(" ".join(str(v) for v in key["quantised"][int(what[3:])]))
    elif what == "zigzag":
        zigzag = key["zigzag"]
        last = max([i for i, v in enumerate(zigzag) if v != 0] or [0])
        words = [str(v) for v in zigzag[: last + 1]] + (["EOB"] if last < 63 else [])
        print(", ".join(words))
    elif what == "wrong-dc":
        print(key["dc_difference"] + 1)
    elif what == "symbols":
        lines = []
        for s in key["symbols"]:
            pair = f'{s["run"]}/{s["size"]}'
            lines.append(pair + (f' {s["amplitude"]}' if s["kind"] in ("DC", "AC") else ""))
        print("\n".join(lines))
    elif what == "bits":
        print(key["bits"]["total"])


if __name__ == "__main__":
    main()
