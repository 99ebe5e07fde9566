"""The --html part of make bench: pages of the large files made and opened in headless Chromium.

    bench_html.py --orveldump PROGRAM --data FOLDER [--runs N]

Measures, beside orveldump --json on the same files: the time to write the page of each
elements file (target: at most 3 x --json), the time until the page's tree shows its top level
(under 2 s), a click on a node and on a byte until the highlight is painted (under 100 ms), the
jump to the last byte of the frames file (under 100 ms), and the size of every page (at most
16 MiB). bench.py run calls measure() with its own build; run alone, this prints the same lines.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

MIB = 1024 * 1024
ELEMENT_FILES = ("elements-explicit.dcm", "elements-implicit.dcm")
FRAMES_FILE = "frames-native.dcm"
PAGE_FILES = ELEMENT_FILES + (FRAMES_FILE, "fragments.dcm")

# Waits for two animation frames after an action: the frame that paints it has then begun.
PAINTED = """
const done = arguments[arguments.length - 1];
const start = performance.now();
(%s)();
requestAnimationFrame(() => requestAnimationFrame(() => done(performance.now() - start)));
"""


def wall(argv, out, runs):
    """Median wall time of `runs` runs writing stdout to `out`."""
    times = []
    for _ in range(runs):
        with open(out, "wb") as f:
            start = time.monotonic()
            subprocess.run(argv, stdout=f, stderr=subprocess.DEVNULL, check=False)
            times.append(time.monotonic() - start)
    return statistics.median(times)


def browser(profile, logs=False):
    """Headless Chromium with a fresh profile and every network request blocked; with `logs`,
    its performance log (the requests tried) and console are kept for reading."""
    from selenium import webdriver
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service
    options = Options()
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--no-first-run", "--user-data-dir=" + profile,
                "--window-size=1400,1000"):
        options.add_argument(arg)
    options.binary_location = "/usr/bin/chromium"
    if logs:
        options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(60)
    driver.execute_cdp_cmd("Network.enable", {})
    driver.execute_cdp_cmd("Network.setBlockedURLs",
                           {"urls": ["http://*", "https://*", "ws://*", "wss://*", "ftp://*"]})
    return driver


def open_page(driver, page):
    """Loads a page; the time from navigation until its tree's top level was painted (s)."""
    driver.get("file://" + str(page))
    return driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        const ready = () => document.body && document.body.dataset.ready === 'true';
        const wait = () => ready() ? requestAnimationFrame(() => done(performance.now() / 1000)) : setTimeout(wait, 5);
        wait();""")


def median_painted(driver, action, runs=5):
    return statistics.median(driver.execute_async_script(PAINTED % action) / 1000 for _ in range(runs))


def click_node_action(k):
    return ("() => { const rows = document.querySelectorAll('#tree li[data-node] > .row');"
            " rows[%d %% rows.length].click(); }" % k)


BYTE_CLICK = ("() => { const runs = document.querySelectorAll('#hex-rows .hx .r');"
              " runs[Math.floor(runs.length / 2)].click(); }")


def goto_action(offset):
    return ("() => { document.getElementById('goto-text').value = '%d';"
            " document.getElementById('goto').requestSubmit(); }" % offset)


def measure(orveldump, data, runs=5, say=print):
    """(lines, targets) where each target is (text, value, limit, unit)."""
    targets, lines = [], []
    work = Path(tempfile.mkdtemp(prefix="orvel-html-bench-"))
    pages = {}
    for name in PAGE_FILES:
        source = Path(data) / name
        if not source.exists():
            continue
        page = work / (name + ".html")
        html = wall([str(orveldump), "--html", str(source)], page, runs if name in ELEMENT_FILES else 1)
        pages[name] = page
        size = page.stat().st_size
        lines.append(f"{name}: page {size / MIB:.2f} MiB written in {html:.3f} s")
        targets.append((f"{name}: size of its --html page", size / MIB, 16.0, "MiB"))
        if name in ELEMENT_FILES:
            json_time = wall([str(orveldump), "--json", str(source)], work / "dump.json", runs)
            lines[-1] += f"; --json {json_time:.3f} s"
            targets.append((f"{name}: orveldump --html / --json", html / json_time, 3.0, "x"))
    try:
        driver = browser(str(work / "profile"))
    except Exception as error:  # no browser: the page sizes and times above still count
        say(f"bench: no headless browser for the page measurements: {error}")
        return lines, targets
    try:
        for name in ELEMENT_FILES:
            if name not in pages:
                continue
            shown = statistics.median(open_page(driver, pages[name]) for _ in range(3))
            targets.append((f"{name}: page load until the tree's top level is painted", shown, 2.0, "s"))
            # The content sequence opened, then clicks on its items and on bytes.
            driver.execute_script("document.querySelector('#tree li[data-node] .twisty:not(:empty)').click()")
            node = median_painted(driver, click_node_action(7))
            byte = median_painted(driver, BYTE_CLICK)
            targets.append((f"{name}: click on a node until the highlight is painted", node, 0.1, "s"))
            targets.append((f"{name}: click on a byte until the selection is painted", byte, 0.1, "s"))
        if FRAMES_FILE in pages:
            shown = open_page(driver, pages[FRAMES_FILE])
            size = (Path(data) / FRAMES_FILE).stat().st_size
            jump = median_painted(driver, goto_action(size - 1))
            lines.append(f"{FRAMES_FILE}: page shown after {shown:.3f} s")
            targets.append((f"{FRAMES_FILE}: jump to its last byte until painted", jump, 0.1, "s"))
    finally:
        driver.quit()
    return lines, targets


def target_line(text, value, limit, unit):
    shown = f"{value:.2f} MiB" if unit == "MiB" else f"{value * 1000:.1f} ms" if unit == "s" else f"{value:.2f}"
    need = f"{limit:.0f} MiB" if unit == "MiB" else f"{limit * 1000:.0f} ms" if unit == "s" else f"{limit:.2f}"
    return f"{text}: {shown} (needs <= {need})  {'MET' if value <= limit else 'NOT MET'}"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--orveldump", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args(argv)
    lines, targets = measure(args.orveldump, args.data, args.runs)
    print("\n".join(lines + ["Targets of the --html pages:"] + ["  " + target_line(*t) for t in targets]))
    return 0 if all(t[1] <= t[2] for t in targets) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
