#!/usr/bin/python3
"""The browser page in a real browser: headless Chromium, driven by Selenium,
loads the page of the wasm build from a local `python3 -m http.server` and
checks its results against the native command line's, byte for byte.

    test_page.py WEB_DIR QV BENCH_PDB [--screenshot PNG]

WEB_DIR is the wasm build's web folder, QV the native program, BENCH_PDB the
benchmark database (65504 rows). Exits non-zero on the first failure; prints
the timings of the exports (CSV and JSON Lines) in the page and on the command
line, each the median of three runs, so that one slow run on a busy machine
(the page's first pays for compiling the module) does not decide.
"""
import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.pdb"
PAGE_FILES = {"/", "/index.html", "/style.css", "/app.js", "/qv_wasm.js", "/qv_wasm.wasm"}


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def run_qv(qv, *args):
    """Runs the command line; returns its console text after the banner."""
    done = subprocess.run([qv, *args], capture_output=True, check=False)
    if done.returncode != 0:
        fail(f"qv {' '.join(args)} exited {done.returncode}:\n{done.stdout.decode(errors='replace')}")
    text = done.stdout.decode("latin-1")
    return text.split("\n\n", 1)[1] if "\n\n" in text else text


def start_server(folder):
    """python3 -m http.server on 127.0.0.1, on a port the system picks."""
    server = subprocess.Popen(
        [sys.executable, "-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
         "--directory", str(folder)],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = server.stdout.readline()
    match = re.search(r"port (\d+)", line)
    if not match:
        server.kill()
        fail("http.server did not start: " + line)
    return server, int(match.group(1))


def start_browser(profile, downloads):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu",
                 "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
                 f"--user-data-dir={profile}", "--window-size=1000,1400"):
        options.add_argument(flag)
    options.add_experimental_option("prefs", {
        "download.default_directory": str(downloads),
        "download.prompt_for_download": False,
        "profile.default_content_setting_values.automatic_downloads": 1,
    })
    options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def wait_download(folder, name, timeout=60):
    """The bytes of `name` once the browser has finished writing it."""
    path = Path(folder) / name
    deadline = time.time() + timeout
    while time.time() < deadline:
        if path.exists() and not any(Path(folder).glob("*.crdownload")):
            return path.read_bytes()
        time.sleep(0.05)
    fail(f"no download {name} in {folder}: {sorted(os.listdir(folder))}")


def add_file(driver, path):
    driver.find_element(By.ID, "files").send_keys(str(path))


def item_for(driver, name, timeout=120):
    """The result entry of file `name`, once it has finished or failed."""
    def finished(d):
        for item in d.find_elements(By.CSS_SELECTOR, "#results .item"):
            if item.find_element(By.CSS_SELECTOR, ".name").text == name:
                if item.get_attribute("data-state") in ("done", "failed", "described") or \
                        item.get_attribute("data-kind") == "csv":
                    return item
        return False
    return WebDriverWait(driver, timeout).until(finished)


def click_download(item):
    item.find_element(By.CSS_SELECTOR, ".downloads button").click()


def choose_format(driver, value):
    Select(driver.find_element(By.ID, "format")).select_by_value(value)


def converted_to(driver, name, suffix, timeout=120):
    """The entry of database `name` once its download is the `suffix` file."""
    def ready(d):
        item = item_for(d, name, timeout)
        buttons = item.find_elements(By.CSS_SELECTOR, ".downloads button")
        return item if buttons and buttons[0].text.endswith(suffix) else False
    return WebDriverWait(driver, timeout).until(ready)


def median_ms(qv, *args):
    """The command line's whole-process time, median of 3 runs, in ms."""
    times = []
    for _ in range(3):
        started = time.perf_counter()
        run_qv(qv, *args)
        times.append(time.perf_counter() - started)
    return statistics.median(times) * 1000


def page_messages(item):
    """The command line's messages as the page shows them."""
    return item.find_element(By.CSS_SELECTOR, ".messages pre").get_attribute("textContent")


def normalise(console):
    return re.sub(r"\n{3,}", "\n\n", console).strip()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("web")
    parser.add_argument("qv")
    parser.add_argument("bench_pdb")
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    # The browser takes files by absolute path only.
    args.bench_pdb = str(Path(args.bench_pdb).resolve())
    args.qv = str(Path(args.qv).resolve())

    work = Path(tempfile.mkdtemp(prefix="qv-browser-"))
    downloads = work / "downloads"
    downloads.mkdir()
    server, port = start_server(args.web)
    origin = f"http://127.0.0.1:{port}"
    driver = None
    try:
        driver = start_browser(work / "profile", downloads)
        driver.get_log("performance")  # drops the browser's own start-up
        driver.get(origin + "/")
        WebDriverWait(driver, 60).until(
            lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready") == "yes")
        privacy = driver.find_element(By.ID, "privacy").text
        if "never sent anywhere" not in privacy:
            fail("the page does not say that files stay on the computer: " + privacy)

        # 1. The sample database to CSV with field names, as the command line does it.
        expected_csv = work / "sample-cli.csv"
        run_qv(args.qv, "COMMAND:TOCSV", f"INFILE:{{{SAMPLE}}}", f"OUTFILE:{{{expected_csv}}}",
               "FIELDNAMES", "OVERWRITE")
        if not driver.find_element(By.ID, "fieldNames").is_selected():
            driver.find_element(By.ID, "fieldNames").click()
        add_file(driver, SAMPLE)
        item = item_for(driver, "sample.pdb")
        if item.get_attribute("data-state") != "done":
            fail("the sample did not convert: " + item.text)
        kind = item.find_element(By.CSS_SELECTOR, ".kind").text
        if "Orders" not in kind or "12 rows" not in kind or "7 fields" not in kind:
            fail("the sample is described as: " + kind)
        if driver.find_element(By.ID, "downloadAll").is_displayed():
            fail("\"Download all results\" is offered for a single result")
        cells = item.find_elements(By.CSS_SELECTOR, ".preview tbody tr")
        if len(cells) != 10:
            fail(f"the preview shows {len(cells)} rows, not the first 10")
        click_download(item)
        got = wait_download(downloads, "sample.csv")
        if got != expected_csv.read_bytes():
            fail("the page's CSV differs from the command line's")
        print("sample.pdb -> CSV with field names: identical to the command line's "
              f"({len(got)} bytes)")

        # 1b. The same database as JSON Lines; the CSV settings are set aside.
        expected_json = work / "sample-cli.jsonl"
        run_qv(args.qv, "COMMAND:TOJSON", f"INFILE:{{{SAMPLE}}}", f"OUTFILE:{{{expected_json}}}",
               "OVERWRITE")
        choose_format(driver, "jsonl")
        if driver.find_element(By.ID, "separator").is_enabled():
            fail("the CSV settings stay enabled for JSON Lines")
        item = converted_to(driver, "sample.pdb", ".jsonl")
        if len(item.find_elements(By.CSS_SELECTOR, ".preview tbody tr")) != 10:
            fail("the JSON Lines preview does not show the first 10 rows")
        click_download(item)
        got = wait_download(downloads, "sample.jsonl")
        if got != expected_json.read_bytes():
            fail("the page's JSON Lines differ from the command line's")
        print(f"sample.pdb -> JSON Lines: identical to the command line's ({len(got)} bytes)")
        choose_format(driver, "csv")
        converted_to(driver, "sample.pdb", ".csv")

        # 2. That CSV back to a database, with the sample for the definitions.
        orders_csv = work / "orders.csv"
        shutil.copyfile(expected_csv, orders_csv)
        add_file(driver, orders_csv)
        item = item_for(driver, "orders.csv")
        kind = item.find_element(By.CSS_SELECTOR, ".kind").text
        if "it looks like text" not in kind or "offered as CSV" not in kind:
            fail("the CSV is described as: " + kind)
        name_box = item.find_element(By.CSS_SELECTOR, ".controls input[maxlength]")
        name_box.clear()
        name_box.send_keys("Orders")
        Select(item.find_element(By.CSS_SELECTOR, ".controls select")).select_by_visible_text(
            "Fields, settings and popup lists of sample.pdb")
        item.find_element(By.XPATH, ".//button[text()='Build the database']").click()
        WebDriverWait(driver, 60).until(lambda d: item.get_attribute("data-state"))
        if item.get_attribute("data-state") != "done":
            fail("building the database failed: " + item.text)
        if not driver.find_element(By.ID, "downloadAll").is_displayed():
            fail("\"Download all results\" is not offered for two results")
        click_download(item)
        built = work / "built.pdb"
        built.write_bytes(wait_download(downloads, "orders.pdb"))
        cli_import = run_qv(args.qv, "COMMAND:TOPDB", f"INFILE:{{{orders_csv}}}",
                            f"OUTFILE:{{{work / 'cli.pdb'}}}", "DBNAME:{Orders}", "FIELDNAMES",
                            f"USEEXISTING:{{{SAMPLE}}}", "OVERWRITE")
        if normalise(page_messages(item)) != normalise(cli_import):
            fail("the page's import messages differ from the command line's:\n"
                 + page_messages(item) + "\n---\n" + cli_import)
        round_trip = work / "round-trip.csv"
        run_qv(args.qv, "COMMAND:TOCSV", f"INFILE:{{{built}}}", f"OUTFILE:{{{round_trip}}}",
               "FIELDNAMES", "OVERWRITE")
        if round_trip.read_bytes() != orders_csv.read_bytes():
            fail("the database built in the page does not export to the CSV it came from")
        print("orders.csv + sample.pdb definitions -> database: exports to the same CSV; "
              "messages as the command line's")

        # 3. Files that are no Quorvex database are identified by their bytes, not
        # their names, and described in plain words without a conversion.
        other_files = {
            "letter.pdb": (b"Dear reader,\n\nthis letter is plain text, not a database.\n" * 3,
                           "not a Palm file: it looks like text"),
            "archive.zip": (b"PK\x03\x04" + bytes(range(200)), "not a Palm file: it looks like a ZIP"),
        }
        for name, (data, said) in other_files.items():
            (work / name).write_bytes(data)
            add_file(driver, work / name)
            kind = item_for(driver, name).find_element(By.CSS_SELECTOR, ".kind").text
            if said not in kind:
                fail(f"{name} is described as: {kind}")
        print("a text file named .pdb and a ZIP archive: identified as not Palm files")

        if args.screenshot:
            driver.execute_script("window.scrollTo(0, 0)")
            driver.save_screenshot(args.screenshot)
            print("screenshot:", args.screenshot)

        # 4. The benchmark database: the page's time and the command line's, now,
        # each the median of three runs. The page converts again whenever the
        # format changes, so switching CSV, JSON Lines, CSV... gives its runs;
        # the first run of each also pays for the engine's first compilation.
        bench_name = Path(args.bench_pdb).name
        stem = Path(bench_name).stem
        cli_outputs = {".csv": work / "bench-cli.csv", ".jsonl": work / "bench-cli.jsonl"}
        cli_ms = {
            ".csv": median_ms(args.qv, "COMMAND:TOCSV", f"INFILE:{{{args.bench_pdb}}}",
                              f"OUTFILE:{{{cli_outputs['.csv']}}}", "FIELDNAMES", "OVERWRITE"),
            ".jsonl": median_ms(args.qv, "COMMAND:TOJSON", f"INFILE:{{{args.bench_pdb}}}",
                                f"OUTFILE:{{{cli_outputs['.jsonl']}}}", "OVERWRITE"),
        }
        page_ms = {".csv": [], ".jsonl": []}
        started = time.perf_counter()
        add_file(driver, args.bench_pdb)
        item = item_for(driver, bench_name)
        whole = time.perf_counter() - started
        for run in range(6):
            suffix = (".csv", ".jsonl")[run % 2]
            if run > 0:
                choose_format(driver, suffix.lstrip("."))
                item = converted_to(driver, bench_name, suffix)
            if item.get_attribute("data-state") != "done":
                fail(f"the benchmark database did not convert to {suffix}: " + item.text)
            page_ms[suffix].append(float(item.get_attribute("data-ms")))
            if run < 2:
                click_download(item)
                if wait_download(downloads, stem + suffix) != cli_outputs[suffix].read_bytes():
                    fail(f"the page's benchmark {suffix} output differs from the command line's")
        for suffix, what in ((".csv", "export to CSV"), (".jsonl", "export to JSON Lines")):
            page = statistics.median(page_ms[suffix])
            ratio = page / cli_ms[suffix]
            runs = ", ".join(f"{ms:.0f}" for ms in page_ms[suffix])
            print(f"benchmark {bench_name} {what}: page {page:.0f} ms (median of {runs} ms, "
                  f"conversion in WebAssembly), command line {cli_ms[suffix]:.0f} ms (median of 3, "
                  f"whole process): {ratio:.2f} times; output identical")
            if ratio > 3:
                fail(f"the page's {what} takes {ratio:.2f} times the command line's (limit 3)")
        print(f"   (the first CSV export, from choosing the file to the preview: "
              f"{whole * 1000:.0f} ms)")

        # 5. Nothing but the page's own files was requested.
        requests = set()
        for entry in driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message.get("method") == "Network.requestWillBeSent":
                requests.add(message["params"]["request"]["url"])
        # chrome:// is the browser's built-in pages (its new-tab page at start),
        # served from inside the browser; everything else must be the page's.
        foreign = sorted(u for u in requests
                         if not (u.startswith(origin + "/") and u[len(origin):] in PAGE_FILES)
                         and not u.startswith("blob:" + origin + "/")
                         and not u.startswith("data:")
                         and not u.startswith("chrome://"))
        if foreign:
            fail("requests beyond the page's own files: " + ", ".join(foreign))
        if not requests:
            fail("the network log is empty; it cannot show anything")
        own = sorted(u[len(origin):] for u in requests if u.startswith(origin + "/"))
        print("network log: requests only for " + ", ".join(own) + " (and the browser's "
              "built-in pages, blob: downloads)")
    finally:
        if driver is not None:
            driver.quit()
        server.terminate()
        server.wait()
        served = server.stderr.read()
        shutil.rmtree(work, ignore_errors=True)
    paths = set(re.findall(r'"GET (\S+) HTTP', served))
    if not paths or not paths <= PAGE_FILES:
        fail("the server was asked for: " + ", ".join(sorted(paths)))
    print("server log: only " + ", ".join(sorted(paths)))
    print("browser test passed")


if __name__ == "__main__":
    main()
