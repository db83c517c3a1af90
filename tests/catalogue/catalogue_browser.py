#!/usr/bin/env python3
"""The catalogue of a database in a real headless browser.

Runs `matdb site` on a database, opens its index.html from the file system in
chromium (driven by chromedriver over the W3C WebDriver protocol, standard
library only) and checks what a person would see: the index lists every grade
that `matdb list --json` lists; typing words into the text box (real key
events) and choosing a supplier and a family narrow the visible list to the
grades that match; clicking a grade opens its page, which shows its property
table (one row per item of `matdb show --json`) and, where `matdb site`
reports plots, its plots as inline SVG. No page may load anything.

Exit status: 0 passed, 1 failed, 77 skipped (only when the browser is missing
and TARNVEL_ALLOW_NO_BROWSER=1 allows a local run to skip).
"""

import argparse
import html
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
from pathlib import Path

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
ELEMENT = "element-6066-11e4-a52e-4f735466cecf"
# One WebDriver request, and the whole run.
REQUEST_SECONDS = 60
RUN_SECONDS = 200
SKIP = 77

CHROMIUM_ARGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--disable-dev-shm-usage", "--window-size=1200,900",
]


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)
    print("ok:", message, flush=True)


# ---- the programs under test ---------------------------------------------

def run(args, timeout=60):
    done = subprocess.run(args, capture_output=True, text=True, timeout=timeout,
                          errors="replace")
    if done.returncode != 0:
        raise Failure(f"{' '.join(args)} exited {done.returncode}: {done.stderr.strip()}")
    return done.stdout


def listed_grades(matdb, database):
    """(supplier, code, description) of every grade, in list order."""
    listing = json.loads(run([matdb, "list", database, "--json"]))
    return [(s["name"], g["code"], g["description"])
            for s in listing["suppliers"] for g in s["grades"]]


def shown_items(matdb, database, supplier, code):
    return json.loads(run([matdb, "show", database, supplier, code, "--json"]))["items"]


def family_of(items):
    for item in items:
        if item["property"] == 58 and item["text"] is not None:
            return item["text"].strip()
    return ""


def site_report(output):
    """The 'name: value' lines that matdb site prints."""
    report = {}
    for line in output.splitlines():
        name, _, value = line.partition(": ")
        report[name] = value
    return report


# ---- WebDriver -------------------------------------------------------------

class Browser:
    def __init__(self, workdir):
        self.workdir = workdir
        self.driver = None
        self.session = None
        self.port = free_port()

    def start(self):
        log = open(os.path.join(self.workdir, "chromedriver.log"), "wb")
        # The browser's own temporary files (shared memory among them) go
        # into the work folder, which is removed however the run ends.
        scratch = os.path.join(self.workdir, "tmp")
        os.makedirs(scratch, exist_ok=True)
        self.driver = subprocess.Popen(
            [CHROMEDRIVER, f"--port={self.port}"], stdout=log, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL, start_new_session=True,
            env=dict(os.environ, TMPDIR=scratch))
        log.close()
        deadline = time.monotonic() + 30
        while True:
            try:
                if self.call("GET", "/status", timeout=2)["ready"]:
                    break
            except (OSError, urllib.error.URLError, Failure):
                pass
            if self.driver.poll() is not None or time.monotonic() > deadline:
                raise Failure("chromedriver did not start")
            time.sleep(0.2)
        profile = os.path.join(self.workdir, "profile")
        options = {"binary": CHROMIUM, "args": CHROMIUM_ARGS + [f"--user-data-dir={profile}"]}
        capabilities = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome", "goog:chromeOptions": options,
            "timeouts": {"pageLoad": REQUEST_SECONDS * 1000, "script": 30000}}}}
        self.session = self.call("POST", "/session", capabilities)["sessionId"]

    def stop(self):
        if self.session is not None:
            try:
                self.call("DELETE", f"/session/{self.session}", timeout=15)
            except Exception:  # the processes are killed below in any case
                pass
            self.session = None
        if self.driver is not None:
            for sig, wait in ((signal.SIGTERM, 10), (signal.SIGKILL, 10)):
                try:
                    os.killpg(self.driver.pid, sig)
                except ProcessLookupError:
                    break
                try:
                    self.driver.wait(timeout=wait)
                    break
                except subprocess.TimeoutExpired:
                    continue
            self.driver = None

    def call(self, method, path, body=None, timeout=REQUEST_SECONDS):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(
            f"http://127.0.0.1:{self.port}{path}", data=data, method=method,
            headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=timeout) as answer:
                return json.loads(answer.read() or b"{}").get("value")
        except urllib.error.HTTPError as error:
            raise Failure(f"WebDriver {method} {path}: {error.read()[:500]!r}") from None

    def do(self, method, path, body=None):
        return self.call(method, f"/session/{self.session}{path}", body)

    def open(self, url):
        self.do("POST", "/url", {"url": url})

    def script(self, source, *args):
        return self.do("POST", "/execute/sync", {"script": source, "args": list(args)})

    def find(self, css):
        return self.do("POST", "/element", {"using": "css selector", "value": css})[ELEMENT]

    def type(self, element, text):
        self.do("POST", f"/element/{element}/value", {"text": text})

    def click(self, element):
        self.do("POST", f"/element/{element}/click", {})

    def wait_for(self, source, what, seconds=30):
        deadline = time.monotonic() + seconds
        while not self.script(source):
            if time.monotonic() > deadline:
                raise Failure(f"timed out waiting for {what}")
            time.sleep(0.1)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


# ---- the checks --------------------------------------------------------------

VISIBLE_ROWS = """
return Array.from(document.querySelectorAll('#grades tbody tr'))
  .filter(function (row) { return row.getClientRects().length > 0; })
  .map(function (row) {
    return Array.from(row.cells).map(function (cell) { return cell.textContent; });
  });
"""
LOADED_NOTHING = "return performance.getEntriesByType('resource').length === 0;"


def visible(browser):
    return sorted((row[0], row[1]) for row in browser.script(VISIBLE_ROWS))


def shows(browser, expected, seconds=20):
    """True once the visible rows are the expected ones (the list follows
    typing a moment later), False when they are not within the time."""
    deadline = time.monotonic() + seconds
    while visible(browser) != expected:
        if time.monotonic() > deadline:
            print("visible:", visible(browser), file=sys.stderr)
            return False
        time.sleep(0.1)
    return True


def matching(grades, words, supplier=None, family=None):
    """The grades the filter must leave: every word (case ignored) in the
    supplier, code, description or family, and the supplier and family
    chosen."""
    keep = []
    for g in grades:
        text = " ".join((g["supplier"], g["code"], g["description"], g["family"])).lower()
        if all(w in text for w in words.lower().split()) and \
                supplier in (None, g["supplier"]) and family in (None, g["family"]):
            keep.append((g["supplier"], g["code"]))
    return sorted(keep)


def choose(browser, select_id, label):
    options = browser.script(
        "return Array.from(document.querySelectorAll('#' + arguments[0] + ' option'))"
        ".map(function (o) { return o.textContent; });", select_id)
    index = options.index(label) + 1
    browser.click(browser.find(f"#{select_id} option:nth-child({index})"))


def check_index(browser, index_url, grades):
    browser.open(index_url)
    browser.wait_for("return document.readyState === 'complete';", "the index to load")
    everything = sorted((g["supplier"], g["code"]) for g in grades)
    check(shows(browser, everything), f"the index shows all {len(everything)} grades")
    check(browser.script(LOADED_NOTHING), "the index loads nothing")

    words = "glass FIBRE"
    browser.type(browser.find("#filter-text"), words)
    expected = matching(grades, words)
    check(0 < len(expected) < len(everything), f"'{words}' matches some grades, not all")
    check(shows(browser, expected), f"typing '{words}' leaves its {len(expected)} grades")

    supplier = expected[-1][0]
    choose(browser, "filter-supplier", supplier)
    expected = matching(grades, words, supplier=supplier)
    check(shows(browser, expected), f"supplier {supplier} leaves {len(expected)} grades")

    family = next(g["family"] for g in grades if (g["supplier"], g["code"]) == expected[0])
    choose(browser, "filter-family", family)
    expected = matching(grades, words, supplier, family)
    check(shows(browser, expected), f"family {family} leaves {len(expected)} grades")


def check_grade(browser, site, grades, grade, plots_expected):
    # Back to the whole list (a reload may keep what was chosen), then the
    # grade's code typed.
    choose(browser, "filter-supplier", "all")
    choose(browser, "filter-family", "all")
    text = browser.find("#filter-text")
    browser.do("POST", f"/element/{text}/clear", {})
    browser.type(text, grade["code"])
    check(shows(browser, matching(grades, grade["code"])),
          f"typing {grade['code']} leaves the grades that hold it")
    links = browser.script(
        "var supplier = arguments[0], code = arguments[1];"
        "return Array.from(document.querySelectorAll('#grades tbody tr'))"
        ".filter(function (r) { return r.getClientRects().length > 0 &&"
        " r.cells[0].textContent === supplier && r.cells[1].textContent === code; })"
        ".map(function (r) { return r.cells[1].querySelector('a'); });",
        grade["supplier"], grade["code"])
    check(len(links) == 1, f"the filter shows {grade['supplier']} {grade['code']}")
    browser.click(links[0][ELEMENT])
    browser.wait_for("return location.href.indexOf('/grades/') >= 0 &&"
                     " document.readyState === 'complete';", "the grade page to open")
    names = browser.script(
        "return Array.from(document.querySelectorAll('#properties > tbody > tr'))"
        ".slice(1).map(function (r) { return r.cells[1].textContent; });")
    check(names == [item["name"] for item in grade["items"]],
          f"the page of {grade['code']} shows its {len(names)} properties in a table")
    check(browser.script(LOADED_NOTHING), "the grade page loads nothing")
    drawn = browser.script(
        "return Array.from(document.querySelectorAll('figure.plot svg'))"
        ".filter(function (s) { var b = s.getBoundingClientRect();"
        " return b.width > 0 && b.height > 0; }).length;")
    if plots_expected:
        check(browser.script("return location.href;").endswith(grade["page"]),
              f"the link opened {grade['page']}")
        in_file = (site / grade["page"]).read_text(encoding="utf-8").count("<svg")
        check(drawn == in_file and drawn > 0, f"the page shows its {in_file} plots as SVG")
    else:
        check(drawn == 0 and browser.script(
            "return document.querySelectorAll('figure.plot').length === 2;"),
            "matdb site drew no plots: the page shows two plot places, no SVG")


def choose_grade(site, grades, plots):
    """The grade to open: with plots, the first whose page holds an SVG."""
    if plots:
        for g in grades:
            if "<svg" in (site / g["page"]).read_text(encoding="utf-8"):
                return g
        raise Failure("matdb site reported plots, yet no page holds an SVG")
    return max(grades, key=lambda g: len(g["items"]))


def escaped(text):
    return html.escape(text, quote=True).replace("&#x27;", "&#39;")


def page_of(site, supplier, code):
    """The page that index.html links for a grade."""
    index = (site / "index.html").read_text(encoding="utf-8")
    marker = f'<td>{escaped(supplier)}</td><td><a href="'
    code = escaped(code)
    start = index.index(marker) if marker in index else -1
    while start >= 0:
        href_end = index.index('"', start + len(marker))
        href = index[start + len(marker):href_end]
        if index[href_end:].startswith(f'">{code}</a>'):
            return href
        start = index.find(marker, href_end)
    raise Failure(f"no link for {supplier} {code} in index.html")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--matdb", required=True)
    parser.add_argument("--database", required=True)
    parser.add_argument("--require-plots", action="store_true",
                        help="fail unless matdb site draws plots")
    args = parser.parse_args()

    missing = [p for p in (CHROMIUM, CHROMEDRIVER) if not os.access(p, os.X_OK)]
    if missing:
        if os.environ.get("TARNVEL_ALLOW_NO_BROWSER") == "1":
            print(f"SKIPPED: {', '.join(missing)} not installed (TARNVEL_ALLOW_NO_BROWSER=1)")
            return SKIP
        print(f"FAILED: {', '.join(missing)} not installed; install the Debian packages "
              "chromium and chromium-driver (scripts/install-deps.sh test), or set "
              "TARNVEL_ALLOW_NO_BROWSER=1 to skip this test locally", file=sys.stderr)
        return 1

    workdir = tempfile.mkdtemp(prefix="tarnvel-browser-")
    browser = Browser(workdir)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
    signal.signal(signal.SIGALRM, lambda *_: sys.exit(f"FAILED: over {RUN_SECONDS} s"))
    signal.alarm(RUN_SECONDS)
    try:
        site = Path(workdir) / "site"
        report = site_report(run([args.matdb, "site", args.database, "-o", str(site)]))
        plots = int(report["plots"])
        print(f"matdb site: {report['grades']} grades, {plots} plots", flush=True)
        if args.require_plots:
            check(plots > 0, "matdb site drew plots")
        grades = []
        for supplier, code, description in listed_grades(args.matdb, args.database):
            items = shown_items(args.matdb, args.database, supplier, code)
            grades.append({"supplier": supplier, "code": code, "description": description,
                           "items": items, "family": family_of(items),
                           "page": page_of(site, supplier, code)})
        check(int(report["grades"]) == len(grades), f"matdb site wrote {len(grades)} pages")
        index_url = (site / "index.html").as_uri()
        browser.start()
        check_index(browser, index_url, grades)
        check_grade(browser, site, grades, choose_grade(site, grades, plots), plots > 0)
        print("1 passed, 0 failed")
        return 0
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        log = Path(workdir) / "chromedriver.log"
        if log.exists():
            sys.stderr.write(log.read_text(errors="replace")[-3000:])
        return 1
    finally:
        signal.alarm(0)
        browser.stop()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
