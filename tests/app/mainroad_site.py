"""Writes the site the main-road test mirrors, and checks a mirror of it.

  mainroad_site.py make ROOT PORT ROOT2 PORT2
      ROOT is served as http://127.0.0.1:PORT/, ROOT2 as http://127.0.0.1:PORT2/
      (the second host). Writes ROOT/expected.txt: every URL a mirror must
      hold, and ROOT/excluded.txt: every URL robots.txt keeps out.
  mainroad_site.py check ROOT DUMP
      DUMP is the project as tests/tools/dumpproject prints it after the
      download. Prints what is wrong, one line each, and exits 1 when
      anything is.

The site: 10 sections of 3 folders of 10 pages (341 pages in all), a deep
folder, style sheets reached through <link>, @import with and without url(),
url() with and without quotes, images from pages and from style sheets, a
301 and a 302 (the server's /moved.html and /temp.html), fragments, a
folder robots.txt disallows, and pages on a second host.
"""
import html.parser
import os
import re
import sys
import urllib.parse

SECTIONS, FOLDERS, PAGES = 10, 3, 10
# Bytes that are a small valid picture, so a mirror of them can be viewed.
GIF = bytes.fromhex(
    "47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b"
)
PNG = bytes.fromhex(
    "89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489"
    "0000000d4944415478da63f8cfc0f01f0005000201a0e5ba840000000049454e44ae426082"
)


def page(title, body, css="/css/main.css"):
    return (
        "<!DOCTYPE html>\n<html><head><title>%s</title>\n"
        '<link rel="stylesheet" href="%s">\n</head>\n<body>\n<h1 id="top">%s</h1>\n%s\n'
        "</body></html>\n" % (title, css, title, body)
    )


def write(root, rel, data):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def make(root, port, root2, port2):
    site = "http://127.0.0.1:%s/" % port
    other = "http://127.0.0.1:%s/" % port2
    expected, excluded = [], []

    def put(rel, data, must=True):
        write(root, rel, data)
        if must:
            expected.append(site + rel)

    sections = "\n".join('<a href="s%d/index.html">Section %d</a>' % (s, s) for s in range(SECTIONS))
    put(
        "index.html",
        page(
            "Home",
            sections + "\n"
            '<a href="moved.html">moved for good</a>\n'
            '<a href="temp.html">moved for now</a>\n'
            '<a href="private/secret.html">private</a>\n'
            '<a href="%sext/index.html">the other host</a>\n'
            '<a href="s1/d2/p3.html#part2">a fragment</a>\n'
            '<a href="#top">top</a>\n'
            '<img src="img/logo.png" alt="logo">\n' % other,
        ),
    )
    put("robots.txt", "User-agent: *\nDisallow: /private/\n", must=False)
    put("private/secret.html", page("Secret", '<a href="more.html">more</a>'), must=False)
    put("private/more.html", page("More secret", ""), must=False)
    excluded += [site + "private/secret.html", site + "private/more.html"]
    # The two redirects: each target's page is stored under the URL linked.
    put("landing/index.html", page("Landing", '<a href="../index.html">home</a>'), must=False)
    put("dir2/page.html", page("Dir2", '<a href="../index.html">home</a><img src="../img/dot.gif">'), must=False)
    expected += [site + "moved.html", site + "temp.html"]
    put(
        "css/main.css",
        '@import url("base.css");\n'
        "body { background: url(../img/bg.gif) no-repeat; }\n"
        ".logo { background-image: url('/img/logo.png'); }\n",
    )
    # The scanner reads url() values of properties only: what the @import
    # rules bring in is left on the network.
    put("css/base.css", '@import "print.css";\nh1 { background: url(tile.png); }\n', must=False)
    put("css/print.css", 'p { background: url("../img/dot.gif"); }\n', must=False)
    put("css/tile.png", PNG, must=False)
    put("img/logo.png", PNG)
    put("img/bg.gif", GIF)
    put("img/dot.gif", GIF)
    for s in range(SECTIONS):
        folders = "\n".join('<a href="d%d/">Folder %d</a>' % (d, d) for d in range(FOLDERS))
        put("s%d/index.html" % s, page("Section %d" % s, folders + '\n<a href="../index.html">home</a>'))
        for d in range(FOLDERS):
            base = "s%d/d%d/" % (s, d)
            links = "\n".join('<a href="p%d.html">Page %d</a>' % (p, p) for p in range(PAGES))
            # Linked as the folder's own URL only.
            put(base + "index.html", page("Folder %d.%d" % (s, d), links + '\n<img src="pic.gif">'), must=False)
            expected.append(site + base)
            put(base + "pic.gif", GIF)
            for p in range(PAGES):
                nxt = "p%d.html" % ((p + 1) % PAGES)
                body = (
                    '<p id="part2">Page %d of folder %d.%d</p>\n'
                    '<a href="%s">next</a> <a href="./">folder</a> <a href="../../index.html#top">home</a>\n'
                    '<img src="../../img/logo.png">\n' % (p, s, d, nxt)
                )
                if (s, d, p) == (0, 0, PAGES - 1):
                    body += '<a href="deep/a/b/c/index.html">deep</a>\n'
                put(base + "p%d.html" % p, page("Page %d.%d.%d" % (s, d, p), body))
    put("s0/d0/deep/a/b/c/index.html", page("Deep", '<a href="../../../../p0.html">up</a>'))
    # The second host: its pages are one level away from the root.
    write(
        root2,
        "ext/index.html",
        page("Other host", '<a href="more.html">more</a><a href="%sindex.html">back</a>' % site, "ext.css"),
    )
    write(root2, "ext/ext.css", "body { background: url(dot.gif); }\n")
    write(root2, "ext/dot.gif", GIF)
    write(root2, "ext/more.html", page("More", "", "ext.css"))
    expected += [other + "ext/" + n for n in ("index.html", "ext.css", "dot.gif", "more.html")]
    for name, urls in (("expected.txt", expected), ("excluded.txt", excluded)):
        with open(os.path.join(root, name), "w") as f:
            f.write("".join(u + "\n" for u in sorted(set(urls))))


class Refs(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.refs, self.styles, self.base = [], [], None

    def handle_starttag(self, tag, attrs):
        if tag == "base":
            self.base = dict(attrs).get("href")
        for name, value in attrs:
            if name in ("href", "src") and value is not None and tag != "base":
                self.refs.append(value)
            if name == "style" and value:
                self.styles.append(value)

    def handle_data(self, data):
        if self.lasttag == "style":
            self.styles.append(data)


# The url() values of properties: what the scanners find and rewrite. An
# @import rule is followed by neither, so its target is no stored copy.
CSS_REF = re.compile(r"""(@import\s+)?url\(\s*(['"]?)([^'")]*)\2\s*\)""", re.I)


def css_refs(text):
    return [m.group(3) for m in CSS_REF.finditer(text) if not m.group(1)]


def check(root, dump):
    problems = []
    records = {}
    for line in open(dump, encoding="utf-8", errors="surrogateescape"):
        parts = line.rstrip("\n").split("\t")
        if parts[0] == "url":
            status, ctype, url, path = int(parts[1]), parts[3], parts[4], parts[5]
            records[url] = (status, ctype, path)
    stored = {u: r[2] for u, r in records.items() if r[0] == 50 and os.path.isfile(r[2])}
    by_path = {os.path.realpath(p): u for u, p in stored.items()}
    for url in open(os.path.join(root, "expected.txt")).read().split():
        if url not in records:
            problems.append("not in the list: " + url)
        elif url not in stored:
            problems.append("not stored (status %d): %s" % (records[url][0], url))
    for url in open(os.path.join(root, "excluded.txt")).read().split():
        if url in stored:
            problems.append("stored although robots.txt excludes it: " + url)
    checked = 0
    for url, path in sorted(stored.items()):
        ctype = records[url][1].split(";")[0].strip().lower()
        if ctype not in ("text/html", "text/css"):
            continue
        text = open(path, encoding="utf-8", errors="replace").read()
        folder = os.path.dirname(path)
        if ctype == "text/html":
            parser = Refs()
            parser.feed(text)
            refs = parser.refs + [r for s in parser.styles for r in css_refs(s)]
            # A stored page names the folder its links are relative to.
            if parser.base and parser.base.startswith("file://"):
                folder = os.path.dirname(urllib.parse.unquote(parser.base[len("file://") :]))
        else:
            refs = css_refs(text)
        checked += 1
        for ref in refs:
            split = urllib.parse.urlsplit(ref)
            if split.scheme in ("http", "https", "ftp"):
                target = urllib.parse.urldefrag(ref)[0]
                if target in stored:
                    problems.append("%s: a link to a stored copy left on the network: %s" % (url, ref))
                continue
            if split.scheme or ref.startswith("/") or ref.startswith("#") or not split.path:
                if ref.startswith("/"):
                    problems.append("%s: a link from the site's top left in a stored copy: %s" % (url, ref))
                continue
            local = os.path.realpath(os.path.join(folder, urllib.parse.unquote(split.path)))
            if local not in by_path and not os.path.isfile(local):
                problems.append("%s: a rewritten link finds no file: %s" % (url, ref))
    if checked < 300:
        problems.append("only %d stored pages and style sheets were checked" % checked)
    for p in problems:
        print(p)
    print("checked %d stored pages and style sheets, %d stored files" % (checked, len(stored)))
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[1] == "make":
        make(*sys.argv[2:])
    elif len(sys.argv) == 4 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(__doc__)
