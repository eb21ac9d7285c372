#!/usr/bin/env python3
"""Kills the program's work with SIGKILL at varied moments and checks that
nothing was lost. The verdict never depends on when a kill lands: every
check holds for any moment, and the moments only vary what is tried.

    kill_runs.py download --harness PATH_TO_mirror_job
        Large files on the tests' nginx (QV_NGINX_PORT, QV_NGINX_ROOT; sent
        slowly under /slow/) downloaded by the headless job harness with
        "Resume partial downloads" on, killed midway, during a resume and at
        random, then run again to the end: every stored body is byte for byte
        the server's file, a partial left by a kill is resumed rather than
        fetched again, and a partial whose file changed on the server is not
        spliced onto the new one. Then the files change on the server and
        runs over the complete mirror are killed: each stored body stays
        whole (the old file or the new, never a part), and the last run
        leaves the new files.

    kill_runs.py save --tool PATH_TO_qv_saveloop [--rounds N]
        A project of 200,000 URLs saved again and again through the project
        session, killed at varied moments of a save: the file then loads, it
        is the last generation reported saved or the one being saved, the
        settings store names it, and no temporary file is left that could
        pass for a project. The next completed save removes the partial
        copies the kills left.

Exit status 0 when every check holds, 1 on a failed check, 77 when the
servers are missing (download).
"""
import argparse
import hashlib
import os
import pathlib
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
FILES = 3
SIZE = 12 * 1024 * 1024  # a file takes about 1.5 s at the server's 8 MB/s
MIN_RESUME = 20000       # smaller partials are fetched afresh, not resumed


class Failed(Exception):
    pass


def check(condition, text):
    if not condition:
        raise Failed(text)


def wait_for(predicate, proc, limit=120.0):
    """Polls until predicate() holds or proc ends; True when it held."""
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if predicate():
            return True
        if proc.poll() is not None:
            return predicate()
        time.sleep(0.005)
    raise Failed("the harness neither got there nor ended in time")


def kill(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGKILL)
    proc.wait()


# Every harness or saver started, so that a failed check or a time-out ends
# them before their folders go: a saver left running would make its folder
# again and write into it for good.
LIVE = []


def spawn(args, **kwargs):
    proc = subprocess.Popen(args, **kwargs)
    LIVE.append(proc)
    return proc


def kill_all():
    for proc in LIVE:
        kill(proc)
    LIVE.clear()


# --- downloads -------------------------------------------------------------

class Mirror:
    def __init__(self, harness, root, name, port):
        self.harness = harness
        self.site = os.path.join(root, "slow", name)
        self.base = f"http://127.0.0.1:{port}/slow/{name}/"
        self.work = tempfile.mkdtemp(prefix="qv-killdl-")
        self.mirror = os.path.join(self.work, "mirror")
        self.program = os.path.join(self.work, "program")
        self.names = [f"f{i}.bin" for i in range(FILES)]
        self.folders = [pathlib.Path(self.mirror, "http", f"127.0.0.1_{port}", "slow", name, n)
                        for n in self.names]
        os.makedirs(self.site)
        for d in (os.path.join(root, "slow"), self.site):
            os.chmod(d, 0o755)
        self.served = {}
        self.ever = {n: set() for n in self.names}  # every version the server had
        for n in self.names:
            self.serve(n, 0)

    def serve(self, name, version):
        """Puts a new file on the server, with a later date than any before."""
        data = random.randbytes(SIZE + 4096 * version)
        path = os.path.join(self.site, name)
        with open(path + ".new", "wb") as f:
            f.write(data)
        os.chmod(path + ".new", 0o644)
        stamp = 1_700_000_000 + 1000 * version
        os.utime(path + ".new", (stamp, stamp))
        os.replace(path + ".new", path)
        self.served[name] = hashlib.sha256(data).hexdigest()
        self.ever[name].add(self.served[name])

    def start(self):
        args = [self.harness, "--mirror", self.mirror, "--program", self.program, "--skip-extract",
                "--never-dl", "--resume", "--threads", str(FILES), "--per-server", str(FILES), "--timeout", "60"]
        return spawn(args + [self.base + n for n in self.names], stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True)

    def files(self, i):
        folder = self.folders[i]
        return {p.name: p for p in folder.iterdir()} if folder.is_dir() else {}

    def size(self, i, name):
        p = self.files(i).get(name)
        try:
            return p.stat().st_size if p else -1
        except FileNotFoundError:
            return -1

    def bodies(self):
        """The hash of each stored body, None where there is none."""
        out = []
        for i in range(FILES):
            body = self.files(i).get("Data.bin")
            out.append(hashlib.sha256(body.read_bytes()).hexdigest() if body else None)
        return out

    def run_to_end(self):
        proc = self.start()
        out, _ = proc.communicate(timeout=300)
        check(proc.returncode == 0, f"the harness failed:\n{out}")
        return out


def download(args):
    port, root = os.environ.get("QV_NGINX_PORT"), os.environ.get("QV_NGINX_ROOT")
    if not port or not root:
        print("QV_NGINX_PORT unset: run under scripts/test-servers")
        return SKIP
    seed = int(os.environ.get("QV_KILL_SEED", time.time_ns() % 1_000_000))
    random.seed(seed)
    print(f"seed {seed} (QV_KILL_SEED repeats these kill moments)")
    m = Mirror(args.harness, root, f"killdl-{os.getpid()}", port)
    try:
        def any_file(name, at_least):
            return lambda: any(m.size(i, name) >= at_least for i in range(FILES))

        def partials_whole_or_absent(what):
            # After any kill: a stored body is a whole server file, never a
            # part of one.
            for i, h in enumerate(m.bodies()):
                check(h is None or h in m.ever[m.names[i]], f"{what}: {m.names[i]} stored damaged")

        # The first download: cut while the bodies arrive, cut again while
        # the partials are being resumed, then at a random moment.
        moments = [("while the bodies arrive", any_file("Data.tmp", 1 << 20)),
                   ("during a resume", lambda: any(m.size(i, "Data.tm2") >= MIN_RESUME and
                                                   m.size(i, "Data.tmp") >= (1 << 20) for i in range(FILES))),
                   ("at a random moment", None)]
        for what, predicate in moments:
            proc = m.start()
            if predicate:
                landed = wait_for(predicate, proc)
            else:
                time.sleep(random.uniform(0.05, 1.5))
                landed = proc.poll() is None
            kill(proc)
            print(f"killed {what}" + ("" if landed else " (the run had ended first)") + ": " +
                  ", ".join(f"{n} {sorted((k, v.stat().st_size) for k, v in m.files(i).items())}"
                            for i, n in enumerate(m.names)))
            partials_whole_or_absent(what)

        # A partial whose file changed on the server meanwhile: it must not
        # be continued with the new file's bytes.
        changed = max(range(FILES), key=lambda i: m.size(i, "Data.tmp"))
        had_partial = [m.size(i, "Data.tmp") >= MIN_RESUME or m.size(i, "Data.tm2") >= MIN_RESUME
                       for i in range(FILES)]
        m.serve(m.names[changed], 1)
        m.run_to_end()
        for i, n in enumerate(m.names):
            check(m.bodies()[i] == m.served[n], f"{n} is not the server's file after the last run")
            check(set(m.files(i)) == {"Data.bin", "Head.txt"}, f"{n}: left {sorted(m.files(i))}")
            head = (m.folders[i] / "Head.txt").read_text(errors="replace")
            if had_partial[i] and i != changed:
                check("Content-Range:" in head, f"{n}: its partial was fetched again, not resumed")
        print(f"resumed to byte-exact files ({sum(had_partial) - had_partial[changed]} resumed, "
              f"{m.names[changed]} changed on the server)")

        # A run over the complete mirror, cut at random, keeps every body.
        proc = m.start()
        time.sleep(random.uniform(0.0, 0.3))
        kill(proc)
        check(m.bodies() == [m.served[n] for n in m.names], "a run over complete files damaged one")

        # New files on the server: runs that would replace the stored bodies
        # are cut; each body stays the old file or becomes the new, whole.
        for n in m.names:
            m.serve(n, 2)
        for what, predicate in [("while the new bodies arrive", any_file("Data.tmp", 1 << 20)),
                                ("at a random moment", None)]:
            proc = m.start()
            if predicate:
                wait_for(predicate, proc)
            else:
                time.sleep(random.uniform(0.05, 1.5))
            kill(proc)
            partials_whole_or_absent(what)
            check(all(h is not None for h in m.bodies()), f"killed {what}: a stored body is gone")
            print(f"killed a replacing run {what}: every stored body whole")
        m.run_to_end()
        check(m.bodies() == [m.served[n] for n in m.names], "the new files were not stored whole")
        print("PASS")
        return 0
    finally:
        kill_all()
        shutil.rmtree(m.work, ignore_errors=True)
        shutil.rmtree(m.site, ignore_errors=True)


# --- project saves -----------------------------------------------------------

def save(args):
    seed = int(os.environ.get("QV_KILL_SEED", time.time_ns() % 1_000_000))
    random.seed(seed)
    print(f"seed {seed} (QV_KILL_SEED repeats these kill moments)")
    count = 200000
    work = tempfile.mkdtemp(prefix="qv-killsave-")
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"),
               QUENDRAVILOS_HOME=os.path.join(work, "program"))
    folder = os.path.join(work, "program", "MirrorProjects")
    project = os.path.join(folder, "Big.mpj")
    try:
        last = 0
        save_seconds = None
        for round_ in range(args.rounds):
            proc = spawn([args.tool, "save", project, str(count)], stdout=subprocess.PIPE, text=True,
                         env=env)
            lines = []
            if round_ == 0:
                # The very first save, with no project before it: cut before,
                # during or after it.
                time.sleep(random.uniform(0.0, 2.0))
            else:
                # Let it save a few times, then cut it somewhere inside a
                # save (or between two: any moment will do).
                started = time.monotonic()
                for _ in range(2):
                    line = proc.stdout.readline()
                    check(line.startswith("saved "), f"the saver said {line!r}")
                    lines.append(line)
                if save_seconds is None:
                    save_seconds = (time.monotonic() - started) / 2
                time.sleep(random.uniform(0.0, 1.2 * save_seconds))
            kill(proc)
            lines += proc.stdout.read().splitlines()
            saved = int(lines[-1].split()[1]) if lines else 0
            if not os.path.exists(project):
                check(saved == 0, f"round {round_}: no project after generation {saved} was saved")
                check(not any(n.lower().endswith(".mpj") for n in os.listdir(folder))
                      if os.path.isdir(folder) else True, f"round {round_}: a stray project file")
                print(f"round {round_}: killed before the first save ended, no project yet")
                continue
            found = subprocess.run([args.tool, "check", project, str(count)], capture_output=True,
                                   text=True, env=env)
            check(found.returncode == 0, f"round {round_}: the project does not load: {found.stdout}")
            current, generation = found.stdout.splitlines()
            generation = int(generation.split()[1])
            check(current == "current " + project, f"round {round_}: the store says {current!r}")
            check(generation in (saved, saved + 1),
                  f"round {round_}: generation {generation} loaded after {saved} was reported saved")
            names = os.listdir(folder)
            check(all(n == "Big.mpj" or not n.lower().endswith(".mpj") for n in names),
                  f"round {round_}: a file that passes for a project was left: {names}")
            check(all(n == "Big.mpj" or n.startswith(".Big.mpj.") for n in names),
                  f"round {round_}: left {names}")
            last = generation
            print(f"round {round_}: killed after generation {saved}, loaded generation {generation}, "
                  f"partial copies left: {len(names) - 1}")
        # A save that completes takes the partial copies away.
        proc = spawn([args.tool, "save", project, str(count)], stdout=subprocess.PIPE, text=True,
                     env=env)
        check(proc.stdout.readline().startswith("saved "), "the last saver saved nothing")
        kill(proc)
        leftover = [n for n in os.listdir(folder) if n != "Big.mpj"]
        # The kill may have cut the save after the first: at most its copy.
        check(len(leftover) <= 1, f"partial copies stay after a completed save: {leftover}")
        print(f"last generation {last}; partial copies left after a completed save: {len(leftover)}")
        print("PASS")
        return 0
    finally:
        kill_all()
        shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    sub = ap.add_subparsers(dest="what", required=True)
    d = sub.add_parser("download")
    d.add_argument("--harness", required=True)
    s = sub.add_parser("save")
    s.add_argument("--tool", required=True)
    s.add_argument("--rounds", type=int, default=6)
    args = ap.parse_args()
    # A time-out ends the script with SIGTERM: the cleanup still runs.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        return download(args) if args.what == "download" else save(args)
    except Failed as e:
        print("FAIL:", e)
        return 1


if __name__ == "__main__":
    sys.exit(main())
