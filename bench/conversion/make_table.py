#!/usr/bin/env python3
"""Turns the conversion benchmark's JSON output (with repetitions) into a Markdown table of
median times per layout and size, with the same-run ratios the targets are stated in."""
import json
import re
import sys
from collections import defaultdict

ORDER = ["YV12", "I420", "I420LE16", "I420BE16", "YV16", "P010", "P016", "P210", "P216", "YUY2",
         "V422", "YUYV", "UYVY", "VYUY", "Y210", "v210", "Y216", "v216", "YV24", "VUYA", "AYUV",
         "R555", "R565", "BGR3", "RGB3", "R24C", "BGR444P", "RGB444P", "BGR161616", "RGB161616",
         "BGR4", "RGB4", "R32C", "BGRA", "ARGB", "BGRA16161616", "ARGB16161616", "GRAY",
         "GRAYLE16", "GRAYBE16", "NV12", "NV21", "NV16", "NV61", "NV24", "NV42", "YVYU", "I422", "I444", "Y41B", "I440", "I420LE10", "I420LE12",
         "I420BE10", "I420BE12", "I422LE10", "I422LE12", "I422LE16", "I422BE10", "I422BE12",
         "I422BE16", "I444LE10", "I444LE12", "I444LE16", "I444BE10", "I444BE12", "I444BE16", "P410",
         "P416", "GRAYLE10", "GRAYLE12", "Y410", "v410", "r210", "X2R10G10B10", "X2B10G10R10",
         "RGBA", "ABGR",
         "RGGB", "BGGR", "GRBG", "GBRG", "RGGBLE10", "BGGRLE10", "GRBGLE10", "GBRGLE10",
         "RGGBLE12", "BGGRLE12", "GRBGLE12", "GBRGLE12", "RGGBLE16", "BGGRLE16", "GRBGLE16",
         "GBRGLE16"]
PEER_TARGETS = {"UYVY", "YUY2", "I420", "YV12", "P010", "I420LE16", "YV24", "BGRA", "RGB3", "GRAY",
                "I420LE10"}


def main(path):
    data = json.load(open(path))
    median = {}
    spread = {}
    label = {}
    samples = defaultdict(list)
    for b in data["benchmarks"]:
        name = b["run_name"] if "run_name" in b else b["name"]
        name = re.sub(r"/real_time$", "", name)
        if b.get("run_type") == "aggregate":
            if b["aggregate_name"] == "median":
                median[name] = b["real_time"]
            elif b["aggregate_name"] == "cv":
                spread[name] = b["real_time"]
        else:
            samples[name].append(b["real_time"])
        if b.get("label"):
            label[name] = b["label"]
    for name, v in samples.items():
        if name not in median:
            v = sorted(v)
            median[name] = v[len(v) // 2]
    threads = sorted({m.group(1) for n in median for m in [re.search(r"/(\d+)t$", n)] if m and m.group(1) != "1"})
    nt = threads[-1] if threads else "2"
    ctx = data.get("context", {})
    out = []
    out.append(f"Machine: {ctx.get('num_cpus')} CPUs at {ctx.get('mhz_per_cpu')} MHz, load average at start "
               f"{', '.join('%.2f' % x for x in ctx.get('load_avg', []))}; kernel set {ctx.get('kernel set')}.")
    out.append("")
    for size in ["1920x1080", "3840x2160"]:
        out.append(f"### {size} (median ms per frame; cold frames)")
        out.append("")
        out.append(f"| Layout | Kavlo 1 thread | Kavlo {nt} threads | {nt}t speed-up | Kavlo default | floor | Kavlo 1t / floor | libyuv | Kavlo 1t / libyuv | libyuv function | libswscale |")
        out.append("|---|---|---|---|---|---|---|---|---|---|---|")
        for lay in ORDER:
            k1 = median.get(f"kavlo/{lay}/{size}/1t")
            kn = median.get(f"kavlo/{lay}/{size}/{nt}t")
            fl = median.get(f"floor/{lay}/{size}")
            yv = median.get(f"libyuv/{lay}/{size}")
            sw = median.get(f"swscale/{lay}/{size}")
            ka = median.get(f"kavlo/{lay}/{size}/auto")
            f = lambda v: "—" if v is None else f"{v:.2f}"
            r = lambda a, b: "—" if a is None or b is None else f"{a / b:.2f}"
            name = f"**{lay}**" if lay in PEER_TARGETS else lay
            out.append(f"| {name} | {f(k1)} | {f(kn)} | {r(k1, kn)} | {f(ka)} | {f(fl)} | {r(k1, fl)} | {f(yv)} | {r(k1, yv)} | "
                       f"{label.get(f'libyuv/{lay}/{size}', '—')} | {f(sw)} |")
        out.append("")
    lines = [(n[len("line/"):], v) for n, v in median.items() if n.startswith("line/")]
    if lines:
        out.append("### One kernel on one 1920-pixel line in the first-level cache (one thread)")
        out.append("")
        out.append("| Kernel | us per line | ms per 1080 lines |")
        out.append("|---|---|---|")
        for kernel, us in lines:
            out.append(f"| {kernel} | {us:.3f} | {us * 1080 / 1000:.2f} |")
        out.append("")
    cvs = [v for n, v in spread.items() if v is not None and not n.startswith("line/")]
    if cvs:
        cvs.sort()
        out.append(f"Noise: coefficient of variation over the repetitions, median {cvs[len(cvs)//2]*100:.0f}%, "
                   f"worst {cvs[-1]*100:.0f}%.")
    print("\n".join(out))


if __name__ == "__main__":
    main(sys.argv[1])
