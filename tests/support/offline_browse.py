#!/usr/bin/env python3
"""Mirrors a generated site (or a copy of a folder of pages) with the headless
job harness, then opens every stored page from file:// in headless Chromium
with all network access refused and checks that the mirror browses off line.

    offline_browse.py --harness PATH_TO_mirror_job [--chromium PATH] [--keep]
                      [--site FOLDER [--start PAGE] [--all-pages]
                       [--expect-listed TEXT]...]

Needs QV_NGINX_PORT and QV_NGINX_ROOT (scripts/test-servers). Exit status: 0
when every check holds, 1 on a failed check, 77 when something it needs is
missing. Chromium is driven over --remote-debugging-pipe (the DevTools
protocol as NUL-terminated JSON on file descriptors 3 and 4), so nothing but
Debian's chromium package is needed.

Checks, for every stored page, at device scale factors 1 and 2: no request
failed; no request left file://; every linked style sheet loaded and its
rules apply (computed colours the site's sheets set, also through @import);
every image and every CSS url() image decodes (naturalWidth > 0), and an
image marked data-differs shows another srcset candidate at each factor;
every other resource (frames, objects, media, posters, tracks, every srcset
candidate) and every form's action names a stored file; every anchor to a
mirrored page names an existing file and keeps its fragment; a base element
or meta refresh names an existing file. And: every page of the generated site
but the disallowed folder was stored (with --all-pages, every page of the
folder), and no URL in the project file holds a character reference.

--site FOLDER mirrors a copy of FOLDER served by the test server, from PAGE
(default index.html), staying on the server; --expect-listed TEXT must occur
in the project file (a URL as the master list should hold it).
"""
import argparse
import json
import os
import pathlib
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse
import zlib

SKIP = 77


def png(width, height, rgb):
    raw = b"".join(b"\x00" + bytes(rgb) * width for _ in range(height))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


GIF = (b"GIF89a\x02\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00"
       b",\x00\x00\x00\x00\x02\x00\x01\x00\x00\x02\x02D\x01\x00;")

# Colours the style sheets give; an element with data-color must show it.
RED, BLUE, GREEN, GREY = "rgb(10, 20, 30)", "rgb(40, 50, 60)", "rgb(70, 80, 90)", "rgb(1, 2, 3)"


def make_site(folder, name, port):
    """Writes the site; returns its address and the mirror folders of its pages outside private/."""
    base = f"http://127.0.0.1:{port}/{name}/"
    files = {}

    def page(rel, title, body, sheets=(), head=""):
        links = "".join(f'<link rel="stylesheet" href="{s}">\n' for s in sheets)
        files[rel] = (f"<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>{title}</title>\n"
                      f"{links}{head}</head>\n<body>\n<h1 data-color=\"{RED}\">{title}</h1>\n{body}\n"
                      "</body></html>\n").encode()

    files["css/style.css"] = (b'@import url("base.css");\n'
                              b"body { background: url(../img/bg.png) no-repeat; }\n"
                              b"h1 { color: " + RED.encode() + b"; background-image: url('../img/h1.png'); }\n")
    files["css/base.css"] = (b".imp { color: " + BLUE.encode() + b'; background: url("../img/imp.png"); }\n')
    files["sub/local.css"] = (b'@import "../css/extra.css";\n'
                              b".sub { color: " + GREEN.encode() + b"; background: url(../img/sub.png); }\n")
    files["css/extra.css"] = b".extra { color: " + GREY.encode() + b"; }\n"
    files["js/app.js"] = b'document.documentElement.setAttribute("data-script", "ran");\n'
    for i, n in enumerate(["a", "b", "bg", "h1", "imp", "sub", "pic", "d"]):
        files[f"img/{n}.png"] = png(3 + i, 2, (40 * i % 256, 90, 200))
    files["img/c.gif"] = GIF

    common = ('<p class="imp" data-color="' + BLUE + '">imported</p>\n')
    page("index.html", "Home",
         common +
         '<a href="sub">folder without its slash (a redirect)</a>\n'
         '<a href="sub/deep/page.html#part2" data-frag="part2">deep part 2</a>\n'
         '<a href="list.html?page=2">list 2</a>\n'
         '<a href="list.html?page=3#end" data-frag="end">list 3, end</a>\n'
         f'<a href="/{name}/abs.html">absolute path</a>\n'
         f'<a href="{base}full.html#x" data-frag="x">full address</a>\n'
         '<a href="private/secret.html">robots keep out</a>\n'
         '<a href="old.shtml">server-side include page</a>\n'
         '<a href="plain.htm">htm page</a>\n'
         '<a href="refresh.html">refresh</a>\n'
         '<a href="#top" data-frag="top">top of this page</a>\n'
         '<a href="./index.html">this page again</a>\n'
         '<a href="http://other.invalid/page.html">another host</a>\n'
         '<img src="img/a.png" alt="a"> <img src="img/pic.png?v=3" alt="query">\n'
         f'<img src="/{name}/img/c.gif" alt="c"> <img src="{base}img/d.png" alt="d">\n'
         '<iframe src="frame.html"></iframe>\n'
         '<script src="js/app.js"></script>\n',
         sheets=["css/style.css"])
    page("sub/index.html", "Sub",
         common +
         f'<p class="sub" data-color="{GREEN}">sub sheet</p><p class="extra" data-color="{GREY}">x</p>\n'
         '<a href="deep/page.html">deep</a> <a href="deep/deeper/leaf.html#leaf" data-frag="leaf">leaf</a>\n'
         '<a href="../index.html#top" data-frag="top">home</a>\n'
         '<img src="../img/b.png" alt="b">\n',
         sheets=["../css/style.css", "local.css"])
    page("sub/deep/page.html", "Deep",
         common + '<h2 id="part2">Part 2</h2>\n'
         '<a href="../../list.html?page=2">list</a> <a href="deeper/leaf.html">leaf</a>\n'
         '<a href="../">up (the folder)</a>\n'
         '<img src="../../img/b.png" alt="b">\n',
         sheets=["../../css/style.css"])
    page("sub/deep/deeper/leaf.html", "Leaf",
         common + '<p id="leaf">leaf</p><a href="../../../index.html">home</a>\n'
         '<img src="/' + name + '/img/a.png" alt="a">\n',
         sheets=["/" + name + "/css/style.css"])
    page("list.html", "List", common + '<p id="end">end</p><a href="index.html">home</a>\n',
         sheets=["css/style.css"])
    page("abs.html", "Abs", common + '<a href="sub/">sub</a>\n', sheets=["css/style.css"])
    page("full.html", "Full", common + '<p id="x">x</p><a href="index.html">home</a>\n',
         sheets=["css/style.css"])
    page("old.shtml", "Old", common + '<a href="index.html">home</a>\n', sheets=["css/style.css"])
    page("plain.htm", "Plain", common + '<a href="old.shtml">old</a>\n', sheets=["css/style.css"])
    page("frame.html", "Frame", common + '<img src="img/c.gif" alt="c">\n', sheets=["css/style.css"])
    page("refresh.html", "Refresh", common, sheets=["css/style.css"],
         head='<meta http-equiv="refresh" content="3600; url=sub/deep/page.html">\n')
    page("private/secret.html", "Secret", '<a href="../index.html">home</a>\n', sheets=["../css/style.css"])

    for rel, data in files.items():
        path = os.path.join(folder, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    # The web server may run as another user.
    for dirpath, dirnames, filenames in os.walk(folder):
        os.chmod(dirpath, 0o755)
        for n in filenames:
            os.chmod(os.path.join(dirpath, n), 0o644)
    # The folders the mirror keeps the pages in: "sub" is reached as a folder
    # (through the redirect), list.html only with its queries.
    pages = ["index.html", "sub", "sub/deep/page.html", "sub/deep/deeper/leaf.html", "list.html_page=2",
             "list.html_page=3", "abs.html", "full.html", "old.shtml", "plain.htm", "frame.html", "refresh.html"]
    return base, pages


class Chromium:
    """One headless browser on a debugging pipe; each call waits for its answer."""

    def __init__(self, exe, log):
        self.profile = tempfile.mkdtemp(prefix="qv-chromium-")
        r3, self.w3 = os.pipe()
        self.r4, w4 = os.pipe()
        args = [exe, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-quic", "--disable-extensions", "--disable-default-apps",
                "--proxy-server=127.0.0.1:9", "--host-resolver-rules=MAP * ~NOTFOUND",
                "--user-data-dir=" + self.profile, "--remote-debugging-pipe", "about:blank"]

        def child_fds():
            # Duplicated above 4 first, so neither dup2 overwrites the other end.
            a, b = os.dup(r3), os.dup(w4)
            os.dup2(a, 3)
            os.dup2(b, 4)
            os.set_inheritable(3, True)
            os.set_inheritable(4, True)

        self.proc = subprocess.Popen(args, preexec_fn=child_fds, close_fds=False, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=log)
        os.close(r3)
        os.close(w4)
        self.buf = b""
        self.next_id = 0
        self.events = []

    def read(self, timeout):
        ready, _, _ = select.select([self.r4], [], [], timeout)
        if not ready:
            return []
        chunk = os.read(self.r4, 1 << 20)
        if not chunk:
            raise RuntimeError("chromium closed its debugging pipe")
        self.buf += chunk
        out = []
        while b"\0" in self.buf:
            message, self.buf = self.buf.split(b"\0", 1)
            out.append(json.loads(message))
        return out

    def call(self, method, params=None, session=None, timeout=120):
        self.next_id += 1
        mid = self.next_id
        message = {"id": mid, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.w3, json.dumps(message).encode() + b"\0")
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            # One read can bring the answer and the events after it (a file://
            # page often loads before its navigate call is answered): keep them all.
            answer = None
            for m in self.read(1.0):
                if m.get("id") == mid:
                    answer = m
                else:
                    self.events.append(m)
            if answer is not None:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer.get("result", {})
        raise RuntimeError(f"{method}: no answer in {timeout} s")

    def wait_event(self, name, timeout=120):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if any(m.get("method") == name for m in self.events):
                return True
            self.events.extend(self.read(1.0))
        return False

    def close(self):
        try:
            self.call("Browser.close", timeout=30)
            self.proc.wait(30)
        except Exception:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


# Runs in each page once it has loaded; the promise settles when every image
# check has, so the verdict waits on events, not on time.
PAGE_CHECK = r"""
(async () => {
  const settle = img => img.complete ? Promise.resolve() :
      new Promise(r => { img.addEventListener('load', r); img.addEventListener('error', r); });
  const out = {sheets: [], imports: [], images: [], cssImages: [], colors: [], anchors: [],
               base: null, refresh: null, scripts: document.querySelectorAll('script[src]').length,
               scriptRan: document.documentElement.getAttribute('data-script') === 'ran'};
  for (const l of document.querySelectorAll('link[rel~="stylesheet"]'))
    out.sheets.push({href: l.getAttribute('href'), url: l.href, loaded: l.sheet !== null});
  for (const img of Array.from(document.images)) {
    // A lazy picture loads once it is in view.
    if (!img.complete) img.scrollIntoView();
    await settle(img);
    out.images.push({src: img.getAttribute('src') || img.getAttribute('srcset'), url: img.currentSrc || img.src,
                     width: img.naturalWidth, differs: img.hasAttribute('data-differs')});
  }
  // Everything else a page loads or names: frames, objects, media, their
  // posters and tracks, every srcset candidate, and each form's action.
  out.resources = [];
  const add = (el, url) => { if (url) out.resources.push({tag: el.tagName.toLowerCase(), url}); };
  for (const el of document.querySelectorAll('iframe[src], frame[src], embed[src], audio[src], video[src], ' +
                                             'source[src], track[src], input[type=image][src], script[src]'))
    add(el, el.src);
  for (const el of document.querySelectorAll('video[poster]')) add(el, el.poster);
  for (const el of document.querySelectorAll('object[data]')) add(el, el.data);
  for (const el of document.querySelectorAll('img[srcset], source[srcset]'))
    for (const c of el.getAttribute('srcset').split(/,\s+/))
      add(el, new URL(c.trim().split(/\s+/)[0], document.baseURI).href);
  out.forms = Array.from(document.forms).map(f => f.action);
  const urls = new Set();
  for (const el of document.querySelectorAll('*'))
    for (const m of getComputedStyle(el).backgroundImage.matchAll(/url\("([^"]*)"\)/g)) urls.add(m[1]);
  for (const u of urls) {
    const img = new Image();
    img.src = u;
    await settle(img);
    out.cssImages.push({url: u, width: img.naturalWidth});
  }
  for (const el of document.querySelectorAll('[data-color]'))
    out.colors.push({tag: el.tagName + (el.className ? '.' + el.className : ''),
                     want: el.dataset.color, got: getComputedStyle(el).color});
  for (const a of Array.from(document.links))
    out.anchors.push({href: a.getAttribute('href'), url: a.href, hash: a.hash, frag: a.dataset.frag || null});
  const base = document.querySelector('base[href]');
  if (base) out.base = base.href;
  const meta = document.querySelector('meta[http-equiv="refresh" i]');
  if (meta) out.refresh = meta.content;
  return JSON.stringify(out);
})()
"""


def file_of(url):
    """The file a file:// URL names (query and fragment dropped)."""
    parts = urllib.parse.urlsplit(url)
    return urllib.parse.unquote(parts.path)


def browse(chromium_exe, mirror, pages, site_base, log, own_site):
    failures = []
    # The candidate each marked picture showed, by page, at each scale factor.
    chosen = {}
    browser = Chromium(chromium_exe, log)
    try:
        target = browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Network", "Page", "Runtime"):
            browser.call(domain + ".enable", session=session)
        for dsf in (1, 2):
            browser.call("Emulation.setDeviceMetricsOverride",
                         {"width": 1000, "height": 800, "deviceScaleFactor": dsf, "mobile": False},
                         session=session)
            for page in pages:
                rel = f"{os.path.relpath(page, mirror)} (scale {dsf})"
                seen = visit(browser, session, page, rel, failures)
                if seen is None:
                    continue
                failures += check_page(rel, seen, site_base, own_site)
                chosen.setdefault(page, {})[dsf] = [i["url"] for i in seen["images"] if i["differs"]]
    finally:
        browser.close()
    for page, by in chosen.items():
        if 1 in by and 2 in by:
            for one, two in zip(by[1], by[2]):
                if one == two:
                    failures.append(f"{os.path.relpath(page, mirror)}: the picture {one} was chosen at "
                                    "scale factors 1 and 2 alike")
    return failures


def visit(browser, session, page, rel, failures):
    """Opens one stored page and runs the page check; None when it never loaded."""
    browser.events.clear()
    browser.call("Page.navigate", {"url": page.as_uri()}, session=session)
    if not browser.wait_event("Page.loadEventFired"):
        failures.append(f"{rel}: never finished loading")
        return None
    result = browser.call("Runtime.evaluate", {"expression": PAGE_CHECK, "awaitPromise": True,
                                               "returnByValue": True}, session=session)
    if "exceptionDetails" in result:
        failures.append(f"{rel}: the page check failed: {result['exceptionDetails']}")
        return None
    seen = json.loads(result["result"]["value"])
    # The events that came while the check ran belong to this page too.
    browser.events.extend(browser.read(0))
    requests = {}
    for m in browser.events:
        method, params = m.get("method"), m.get("params", {})
        if method == "Network.requestWillBeSent":
            url = params["request"]["url"]
            requests[params["requestId"]] = url
            if not url.startswith(("file:", "data:", "about:", "blob:")):
                failures.append(f"{rel}: a network request for {url}")
        elif method == "Network.loadingFailed":
            url = requests.get(params["requestId"], "?")
            # A load the browser gave up itself (a picture whose srcset chose
            # another candidate once the page was laid out) failed nothing,
            # when the file it asked for is there.
            given_up = params.get("canceled") or params.get("errorText") == "net::ERR_ABORTED"
            if given_up and url.startswith("file:") and os.path.isfile(file_of(url)):
                continue
            failures.append(f"{rel}: failed to load {url}: {params.get('errorText')}")
        elif method == "Runtime.exceptionThrown":
            failures.append(f"{rel}: script error {params['exceptionDetails'].get('text')}")
    return seen


def check_page(rel, seen, site_base, own_site):
    failures = []
    for s in seen["sheets"]:
        if not s["loaded"] or not s["url"].startswith("file:"):
            failures.append(f"{rel}: style sheet {s['href']} not loaded from the mirror ({s['url']})")
    for c in seen["colors"]:
        if c["got"] != c["want"]:
            failures.append(f"{rel}: {c['tag']} has colour {c['got']}, its style sheet gives {c['want']}")
    for i in seen["images"]:
        if i["width"] <= 0 or not i["url"].startswith("file:"):
            failures.append(f"{rel}: image {i['src']} not shown from the mirror ({i['url']})")
    for r in seen["resources"]:
        if not r["url"].startswith("file:") or not os.path.isfile(file_of(r["url"])):
            failures.append(f"{rel}: {r['tag']} resource {r['url']} names no stored file")
    for action in seen["forms"]:
        if not action.startswith("file:") or not os.path.isfile(file_of(action)):
            failures.append(f"{rel}: a form's action {action} names no stored file")
    for i in seen["cssImages"]:
        if i["width"] <= 0 or not i["url"].startswith("file:"):
            failures.append(f"{rel}: style-sheet image {i['url']} not shown from the mirror")
    for a in seen["anchors"]:
        url = a["url"]
        if url.startswith("file:"):
            if not os.path.isfile(file_of(url)):
                failures.append(f"{rel}: link {a['href']} names no stored file ({url})")
        elif url.startswith(site_base) and "/private/" not in url:
            failures.append(f"{rel}: link {a['href']} still leads to the server ({url})")
        if a["frag"] is not None and a["hash"] != "#" + a["frag"]:
            failures.append(f"{rel}: link {a['href']} lost its fragment #{a['frag']} ({url})")
    # A base names the stored body of the address the page came from; the
    # links resolve against its folder.
    if seen["base"] is not None and not os.path.isdir(os.path.dirname(file_of(seen["base"]))):
        failures.append(f"{rel}: its base {seen['base']} names no folder of the mirror")
    if seen["refresh"] is not None:
        target = seen["refresh"].split("url=", 1)[-1].strip()
        if not target.startswith("file:") or not os.path.isfile(file_of(target)):
            failures.append(f"{rel}: its refresh {seen['refresh']} names no stored file")
    # The generated site's script marks the page it ran in.
    if own_site and seen["scripts"] and not seen["scriptRan"]:
        failures.append(f"{rel}: its script did not run")
    return failures


def copy_site(source, folder):
    """Copies a folder of pages to where the test server serves it."""
    shutil.copytree(source, folder)
    # The web server may run as another user.
    for dirpath, dirnames, filenames in os.walk(folder):
        os.chmod(dirpath, 0o755)
        for n in filenames:
            os.chmod(os.path.join(dirpath, n), 0o644)


def missing_pages(source, site_folder, stored):
    """The pages of a copied folder that were not stored; a page reached only
    with queries counts when one of them was."""
    folders = {p.parent for p in stored}
    missing = []
    for page in sorted(pathlib.Path(source).rglob("*.htm*")):
        rel = page.relative_to(source)
        place = site_folder.joinpath(rel)
        if place not in folders and not any(f.parent == place.parent and f.name.startswith(place.name + "_")
                                            for f in folders):
            missing.append(str(rel))
    return missing


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--harness", required=True)
    ap.add_argument("--chromium", default=os.environ.get("CHROMIUM", shutil.which("chromium") or ""))
    ap.add_argument("--keep", action="store_true", help="keep the mirror and the site for a look")
    ap.add_argument("--site", help="mirror a copy of this folder instead of the generated site")
    ap.add_argument("--start", default="index.html", help="the page of --site the job starts from")
    ap.add_argument("--all-pages", action="store_true", help="every page of --site must be stored")
    ap.add_argument("--expect-listed", action="append", default=[],
                    help="text the project file must hold (a URL as the master list holds it)")
    args = ap.parse_args()
    port, root = os.environ.get("QV_NGINX_PORT"), os.environ.get("QV_NGINX_ROOT")
    if not port or not root:
        print("QV_NGINX_PORT unset: run under scripts/test-servers")
        return SKIP
    if not args.chromium or not os.access(args.chromium, os.X_OK):
        print("chromium is missing (scripts/setup installs it)")
        return SKIP
    if not os.access(args.harness, os.X_OK):
        print(f"no harness at {args.harness}")
        return 1
    if args.site and not os.path.isdir(args.site):
        print(f"no folder {args.site}")
        return 1

    name = f"offline-{os.getpid()}"
    site = os.path.join(root, name)
    # A blank in the mirror's own path: the file URLs written into pages must
    # escape it.
    work = tempfile.mkdtemp(prefix="qv offline ")
    mirror, program = os.path.join(work, "mirror folder"), os.path.join(work, "program")
    project = os.path.join(work, "mirror.mpj")
    # The server's robots.txt gains the generated site's keep-out folder; one
    # that was there already gets its own bytes back afterwards.
    robots = os.path.join(root, "robots.txt")
    robots_before = pathlib.Path(robots).read_bytes() if os.path.exists(robots) else None
    try:
        if args.site:
            copy_site(args.site, site)
            base = f"http://127.0.0.1:{port}/{name}/"
            # Staying on the server: a copied manual's links to the web are
            # recorded, not followed.
            job_args = [base + args.start + ",20,1"]
        else:
            base, site_pages = make_site(site, name, port)
            rule = f"User-agent: *\nDisallow: /{name}/private/\n".encode()
            # First, as a record of its own: the first record for every robot
            # is the one that applies.
            pathlib.Path(robots).write_bytes(
                rule if robots_before is None else rule + b"\n" + robots_before)
            os.chmod(robots, 0o644)
            job_args = ["--robots", base + "index.html,20"]
        started = time.monotonic()
        job = subprocess.run([args.harness, "--mirror", mirror, "--program", program, "--project", project,
                              "--threads", "4", "--timeout", "20"] + job_args,
                             capture_output=True, text=True, timeout=600)
        print(f"mirror job: {time.monotonic() - started:.1f} s")
        print(job.stdout, end="")
        if job.returncode != 0:
            print(job.stderr)
            print("FAIL: the mirror job failed")
            return 1
        failures = []
        if "rewrite_failed: 0" not in job.stdout:
            failures.append("the localising pass failed on some file")
        # The master list holds each URL as the browser reads it from its page.
        listed = pathlib.Path(project).read_bytes()
        if b"&amp;" in listed:
            failures.append("the project file holds a URL with a character reference")
        for text in args.expect_listed:
            if text.encode() not in listed:
                failures.append(f"the project file does not hold {text}")
        mirror_path = pathlib.Path(mirror)
        stored = sorted(p for p in mirror_path.rglob("Data.*")
                        if p.suffix.lower() in (".html", ".htm", ".shtml"))
        site_folder = mirror_path.joinpath("http", f"127.0.0.1_{port}", name)
        if args.site:
            if args.all_pages:
                failures += [f"{rel} was not stored as a page"
                             for rel in missing_pages(args.site, site_folder, stored)]
        else:
            for rel in site_pages:
                if not any(p.parent == site_folder.joinpath(rel) for p in stored):
                    failures.append(f"{rel} was not stored as a page")
            if len(stored) != len(site_pages):
                failures.append(f"{len(stored)} pages stored, the site has {len(site_pages)}")
            if any("private" in p.parts for p in stored):
                failures.append("a page of the robots.txt keep-out folder was stored")
        started = time.monotonic()
        with open(os.path.join(work, "chromium.log"), "w") as log:
            failures += browse(args.chromium, mirror, stored, base, log, not args.site)
        print(f"browsed {len(stored)} stored pages at two scale factors in {time.monotonic() - started:.1f} s")
        if failures:
            for f in failures:
                print("FAIL:", f)
            print(f"{len(failures)} failed checks")
            return 1
        print("PASS")
        return 0
    finally:
        if not args.site:
            if robots_before is not None:
                pathlib.Path(robots).write_bytes(robots_before)
            elif os.path.exists(robots):
                os.remove(robots)
        if args.keep:
            print(f"kept: {work} and {site}")
        else:
            shutil.rmtree(work, ignore_errors=True)
            shutil.rmtree(site, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
