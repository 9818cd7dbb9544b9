"""Host-side helpers for the end-to-end tests: the real Windows programs run
under Wine in one prefix (one wineserver for the whole run), each test in a
program folder of its own; a small driver program inside Wine lists, waits
for, presses and measures windows; the reference service runs on 127.0.0.1.
"""
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

BIN = Path(os.environ.get("BREVARO_BIN", ""))
HOST_BIN = Path(os.environ.get("BREVARO_HOST_BIN", ""))


def wine_env():
    env = os.environ.copy()
    env.setdefault("WINEDEBUG", "-all")
    env["WINEDLLOVERRIDES"] = "winemenubuilder.exe=d;mscoree=d"
    return env


def require_wine(test):
    """Skips (with the reason) where Wine, a display or the built programs are missing."""
    missing = []
    if not shutil.which("wine"):
        missing.append("wine")
    if not os.environ.get("DISPLAY"):
        missing.append("an X display (DISPLAY)")
    if not os.environ.get("WINEPREFIX"):
        missing.append("WINEPREFIX (scripts/test prepares one)")
    if not (BIN / "brevaro.exe").exists():
        missing.append("BREVARO_BIN with brevaro.exe")
    if missing:
        test.skipTest("e2e needs " + ", ".join(missing))


class Wine:
    """Wine in the run's prefix, or (through WineUser) in another user's
    prefix: `run_as` is the command that runs wine as that user."""

    def __init__(self, prefix=None, env=None, run_as=()):
        self.prefix = Path(prefix or os.environ["WINEPREFIX"])
        self.env = env if env is not None else wine_env()
        self.run_as = list(run_as)
        self.procs = []

    def command(self, *args):
        return [*self.run_as, "wine", *map(str, args)]

    def unix(self, winpath):
        """C:\\a\\b -> <prefix>/drive_c/a/b"""
        assert winpath[1:3] == ":\\"
        return self.prefix / "drive_c" / winpath[3:].replace("\\", "/")

    def start(self, exe: Path):
        p = subprocess.Popen(self.command(exe), cwd=str(exe.parent), env=self.env,
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(p)
        return p

    def driver(self, *args, check=True, timeout=60):
        # Output goes through files, not pipes: Wine's background processes
        # may inherit a pipe and keep it open long after the driver ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            p = subprocess.run(self.command(BIN / "driver.exe", *args), env=self.env,
                               stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            r = subprocess.CompletedProcess(p.args, p.returncode, out.read().decode("utf-8", "replace"),
                                            err.read().decode("utf-8", "replace"))
        if check and r.returncode != 0:
            raise AssertionError(f"driver {' '.join(map(str, args))} failed: {r.stderr.strip()}")
        return r

    def windows(self):
        """Visible top-level windows: (pid, process name, caption)."""
        out = []
        for line in self.driver("list").stdout.splitlines():
            parts = line.split("\t")
            if len(parts) == 4:
                out.append((int(parts[1]), parts[2], parts[3]))
        return out

    def _wait(self, what, caption, ms):
        # A driver that failed to start under a loaded machine is tried again;
        # only its own "timed out" ends the wait early.
        end = time.monotonic() + ms / 1000
        while True:
            left = max(int((end - time.monotonic()) * 1000), 0)
            r = self.driver(what, caption, left, check=False)
            if r.returncode == 0:
                return True
            if "timed out" in r.stderr or time.monotonic() >= end:
                return False
            time.sleep(0.1)

    def wait_window(self, caption, ms=15000):
        return self._wait("wait", caption, ms)

    def wait_gone(self, caption, ms=15000):
        return self._wait("gone", caption, ms)

    def stop_all(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
        for p in self.procs:
            try:
                p.wait(timeout=20)
            except subprocess.TimeoutExpired:
                pass
        self.procs.clear()


class WineUser:
    """An ordinary Unix user made for one test, as Windows' standard user: its
    own HOME, its own prefix (a copy of the run's template prefix, owned by
    it), its own wineserver, and a C:\\Program Files it cannot write (the
    Unix folder behind it owned by root, mode 755). Its profile folder is
    C:\\users\\<name>, so a name in any script reaches every per-user path.
    Needs root (useradd); close() ends its wineserver and any process it
    still runs, and removes the user and its home."""

    PING_RANGE = Path("/proc/sys/net/ipv4/ping_group_range")

    def __init__(self, name):
        if os.geteuid() != 0:
            raise unittest.SkipTest("a test as an ordinary user needs root to create that user (useradd)")
        if not shutil.which("useradd") or not shutil.which("setpriv"):
            raise unittest.SkipTest("a test as an ordinary user needs useradd and setpriv")
        template = Path(os.environ["WINEPREFIX"]).parent / "template"
        if not (template / "system.reg").exists():
            raise unittest.SkipTest(f"no template prefix at {template} (scripts/wine-env.sh makes it)")
        self.name = name
        self.old_ping_range = None
        self.home = Path(tempfile.mkdtemp(prefix="brevaro-user-"))
        try:
            self._remove_user()  # left over by a run that was killed
            subprocess.run(["useradd", "--badname", "-M", "-U", "-d", str(self.home), "-s", "/bin/sh", name],
                           check=True, stdout=subprocess.DEVNULL)
            self.uid = int(subprocess.run(["id", "-u", name], check=True, capture_output=True).stdout)
            self.gid = int(subprocess.run(["id", "-g", name], check=True, capture_output=True).stdout)
            prefix = self.home / "prefix"
            subprocess.run(["cp", "-a", str(template), str(prefix)], check=True)
            # The file naming the template's server folder would send this
            # user to root's wineserver.
            (prefix / "wineserver").unlink(missing_ok=True)
            # The template's profile, as this user's: Wine makes only a bare
            # profile folder for a new user, without the Desktop and Start
            # menu folders every Windows profile has. The template's links
            # into the home of the run become folders of the profile.
            users = prefix / "drive_c" / "users"
            profile = users / name
            (users / "root").rename(profile)
            for entry in list(profile.iterdir()) + list((profile / "AppData" / "Roaming" / "Microsoft" /
                                                         "Windows").iterdir()):
                if entry.is_symlink():
                    entry.unlink()
                    entry.mkdir()
            subprocess.run(["chown", "-R", f"{self.uid}:{self.gid}", str(self.home)], check=True)
            program_files = prefix / "drive_c" / "Program Files"
            subprocess.run(["chown", "-R", "root:root", str(program_files)], check=True)
            program_files.chmod(0o755)
            self.echo = self._allow_echo()
            env = wine_env()
            for k in ("WINESERVER", "XAUTHORITY", "LC_ALL", "LANGUAGE"):
                env.pop(k, None)
            env.update(HOME=str(self.home), USER=name, LOGNAME=name, WINEPREFIX=str(prefix), LANG="C.UTF-8")
            self.wine = Wine(prefix, env, ["setpriv", f"--reuid={self.uid}", f"--regid={self.gid}",
                                           "--clear-groups", "--"])
            # Its own persistent wineserver, as for the run's prefix: then
            # no Wine process holds the test's output pipes.
            self._run([*self.wine.run_as, "wineserver", "-p"])
            self._run(self.wine.command("cmd", "/c", "exit"))
        except BaseException:
            self.close()
            raise

    def _run(self, cmd, timeout=120):
        return subprocess.run(cmd, env=self.wine.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout)

    def _allow_echo(self):
        # An ordinary user sends echo requests through a ping socket, which
        # the kernel allows only to the groups in this range. Where the range
        # cannot be set (a read-only /proc/sys) the echo check is not made.
        try:
            low, high = map(int, self.PING_RANGE.read_text().split())
            if low <= self.gid <= high:
                return True
            self.PING_RANGE.write_text(f"0 2147483647\n")
            self.old_ping_range = f"{low} {high}\n"
            return True
        except (OSError, ValueError):
            return False

    def processes(self):
        pids = []
        for d in Path("/proc").iterdir():
            try:
                if d.name.isdigit() and d.stat().st_uid == self.uid:
                    pids.append(int(d.name))
            except OSError:
                pass
        return pids

    def _remove_user(self):
        if subprocess.run(["id", "-u", self.name], capture_output=True).returncode != 0:
            return
        uid = int(subprocess.run(["id", "-u", self.name], capture_output=True).stdout)
        self.uid = uid
        for pid in self.processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        subprocess.run(["userdel", "-r", self.name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        if hasattr(self, "wine"):
            self.wine.stop_all()
            try:
                self._run([*self.wine.run_as, "wineserver", "-k"], timeout=30)
            except subprocess.TimeoutExpired:
                pass
            wait_until(lambda: not self.processes(), 10)
        if hasattr(self, "uid"):
            self._remove_user()
        if self.old_ping_range:
            try:
                self.PING_RANGE.write_text(self.old_ping_range)
            except OSError:
                pass
        shutil.rmtree(self.home, ignore_errors=True)


class ProgramFolder:
    """An installed (or not yet installed) program folder inside the prefix."""

    def __init__(self, wine: Wine, name: str):
        self.winpath = f"C:\\e2e\\{name}\\"
        self.path = wine.unix(self.winpath)
        if self.path.exists():
            shutil.rmtree(self.path)
        self.path.mkdir(parents=True)

    def add_exe(self, name="brevaro.exe"):
        target = self.path / name
        shutil.copyfile(BIN / "brevaro.exe", target)
        return target

    def write_settings(self, text="[Default]\r\nUN=NONE\r\n"):
        data = self.path / "Data"
        data.mkdir(exist_ok=True)
        (data / "Brevaro.ini").write_bytes(text.encode("latin-1"))


class Service:
    """The reference service as a separate process on 127.0.0.1."""

    def __init__(self, port=0, config_text=None):
        exe = HOST_BIN / "brevaro-service"
        if not exe.exists():
            raise unittest.SkipTest(f"reference service not built at {exe}")
        self.tmp = tempfile.mkdtemp(prefix="brevaro-svc-")
        self.log = Path(self.tmp) / "requests.jsonl"
        args = [str(exe), "--port", str(port), "--log", str(self.log)]
        if config_text is not None:
            conf = Path(self.tmp) / "service.conf"
            conf.write_text(config_text)
            args += ["--config", str(conf)]
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.ready_line = self.proc.stdout.readline().strip()
        self.port = int(self.ready_line.split("port=")[1].split()[0]) if "port=" in self.ready_line else 0

    def requests(self):
        if not self.log.exists():
            return []
        return [json.loads(l) for l in self.log.read_text().splitlines() if l.strip()]

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        shutil.rmtree(self.tmp, ignore_errors=True)


class LinkRecorder:
    """Registers the recorder program as the open command of link schemes
    (machine-wide: this Wine ignores per-user classes), so that a link a
    program opens through the shell lands in links.txt instead of a browser."""

    def __init__(self, wine: Wine, schemes=("http", "https")):
        self.wine = wine
        self.winfolder = "C:\\e2e\\recorder\\"
        self.folder = wine.unix(self.winfolder)
        self.folder.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(BIN / "recorder.exe", self.folder / "recorder.exe")
        self.file = self.folder / "links.txt"
        self.file.unlink(missing_ok=True)
        command = f'"{self.winfolder}recorder.exe" "%1"'
        for scheme in schemes:
            key = f"HKLM\\Software\\Classes\\{scheme}"
            self.reg(["add", key, "/ve", "/d", f"URL:{scheme}", "/f"])
            self.reg(["add", key, "/v", "URL Protocol", "/d", "", "/f"])
            self.reg(["add", key + "\\shell\\open\\command", "/ve", "/d", command, "/f"])

    def reg(self, args):
        subprocess.run(["wine", "reg", *args], env=self.wine.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=60)

    def links(self):
        if not self.file.exists():
            return []
        return [l for l in self.file.read_text("latin-1").splitlines() if l]


def screenshot(path):
    subprocess.run(["import", "-window", "root", str(path)], check=True, env=os.environ.copy())


def wait_until(predicate, seconds=15.0, step=0.1):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()
