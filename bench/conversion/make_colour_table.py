#!/usr/bin/env python3
"""Markdown table of the colour benchmark's JSON: medians per layout and colour, Kavlo with one
and two threads and its ratio to the default BT.601 path, libyuv and libswscale."""
import json
import sys
from collections import defaultdict

data = json.load(open(sys.argv[1]))
median = {}
cpu = {}
for b in data["benchmarks"]:
    if b.get("aggregate_name") == "median":
        name = b["run_name"].removesuffix("/real_time")
        median[name] = b["real_time"]
        cpu[name] = b["cpu_time"]

layouts = []
for name in median:
    layout = name.split("/")[1]
    if layout not in layouts:
        layouts.append(layout)
colours = ["601", "709", "709full", "2020"]
labels = {"601": "BT.601 limited (default)", "709": "BT.709 limited", "709full": "BT.709 full",
          "2020": "BT.2020 limited"}


def cell(v, fmt="{:.2f}"):
    return "—" if v is None else fmt.format(v)


print("### 3840x2160 (median ms per frame; cold frames)")
print()
print("| Layout | Colour | Kavlo 1t | / default 1t | / default 1t (CPU time) | Kavlo 2t | / default 2t | libyuv | Kavlo 1t / libyuv | libswscale |")
print("|---|---|---|---|---|---|---|---|---|---|")
for layout in layouts:
    base1 = median.get(f"kavlo/{layout}/601/1t")
    base2 = median.get(f"kavlo/{layout}/601/2t")
    for c in colours:
        k1 = median.get(f"kavlo/{layout}/{c}/1t")
        k2 = median.get(f"kavlo/{layout}/{c}/2t")
        y = median.get(f"libyuv/{layout}/{c}")
        s = median.get(f"swscale/{layout}/{c}")
        r1 = k1 / base1 if k1 and base1 else None
        c1, cb1 = cpu.get(f"kavlo/{layout}/{c}/1t"), cpu.get(f"kavlo/{layout}/601/1t")
        rc = c1 / cb1 if c1 and cb1 else None
        r2 = k2 / base2 if k2 and base2 else None
        ry = k1 / y if k1 and y else None
        print(f"| {layout} | {labels[c]} | {cell(k1)} | {cell(r1)} | {cell(rc)} | {cell(k2)} | {cell(r2)} | "
              f"{cell(y)} | {cell(ry)} | {cell(s)} |")
