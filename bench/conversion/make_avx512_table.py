#!/usr/bin/env python3
"""The AVX-512 set against the AVX2 set and libyuv, from one run of the conversion benchmark
(JSON with repetitions): per layout and size the medians of Kavlo with one thread in each set,
libyuv's, and the ratios Kavlo 1 thread / libyuv before (AVX2) and after (AVX-512)."""
import json
import re
import sys
from collections import defaultdict

LAYOUTS = ["YV12", "I420", "I420LE16", "P010", "YUY2", "UYVY", "YV24", "RGB3", "BGRA", "GRAY"]
EXTRA = ["I420BE16", "P016", "P210", "P216", "YUYV", "V422", "VYUY", "YVYU", "Y210", "v210"]


def main(path):
    data = json.load(open(path))
    times = defaultdict(list)
    cpu = defaultdict(list)
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate":
            continue
        name = re.sub(r"/real_time$", "", b.get("run_name", b["name"]))
        times[name].append(b["real_time"])
        cpu[name].append(b["cpu_time"])
    median = {n: sorted(v)[len(v) // 2] for n, v in times.items()}
    cpuMedian = {n: sorted(v)[len(v) // 2] for n, v in cpu.items()}
    ctx = data.get("context", {})
    print(f"Machine: {ctx.get('num_cpus')} CPUs at {ctx.get('mhz_per_cpu')} MHz, load average "
          f"at start {', '.join('%.2f' % x for x in ctx.get('load_avg', []))}; best kernel set "
          f"{ctx.get('kernel set')}.")
    print()
    f = lambda v: "—" if v is None else f"{v:.2f}"
    r = lambda a, b: "—" if a is None or b is None else f"{a / b:.2f}"
    for size in ["1920x1080", "3840x2160"]:
        print(f"### {size} (median ms per frame, one thread; cold frames)")
        print()
        print("| Layout | Kavlo AVX2 | Kavlo AVX-512 | AVX-512 / AVX2 | libyuv "
              "| Kavlo / libyuv before (AVX2) | Kavlo / libyuv after (AVX-512) "
              "| before, CPU time | after, CPU time |")
        print("|---|---|---|---|---|---|---|---|---|")
        for lay in LAYOUTS + EXTRA:
            before = median.get(f"kavlo-avx2/{lay}/{size}/1t")
            after = median.get(f"kavlo/{lay}/{size}/1t")
            yuv = median.get(f"libyuv/{lay}/{size}")
            if before is None and after is None:
                continue
            name = f"**{lay}**" if lay in LAYOUTS else lay
            cb = cpuMedian.get(f"kavlo-avx2/{lay}/{size}/1t")
            ca = cpuMedian.get(f"kavlo/{lay}/{size}/1t")
            cy = cpuMedian.get(f"libyuv/{lay}/{size}")
            print(f"| {name} | {f(before)} | {f(after)} | {r(after, before)} | {f(yuv)} "
                  f"| {r(before, yuv)} | {r(after, yuv)} | {r(cb, cy)} | {r(ca, cy)} |")
        print()
    lines = [(n[len("line/"):], v) for n, v in median.items() if n.startswith("line/")]
    if lines:
        print("### One kernel on one 1920-pixel line in the first-level cache (best set)")
        print()
        print("| Kernel | us per line |")
        print("|---|---|")
        for kernel, us in lines:
            print(f"| {kernel} | {us:.3f} |")
        print()


if __name__ == "__main__":
    main(sys.argv[1])
