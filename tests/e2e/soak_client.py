"""The client and the tray program under Wine on a long, hostile day.

Run by scripts/soak --client MINUTES inside the Wine environment of
scripts/wine-env.sh. Two phases, each with programs of its own build:

1. Idle (BREVARO_BIN, the shipped intervals): client and tray against a
   service whose one banner is a still picture; once the banner is there,
   the CPU time of each program's Wine process over 60 s (utime + stime from
   /proc/PID/stat), beside a bare window program (Notepad) as reference.
2. Soak (SOAK_BIN, built with short refresh and rotation intervals): client
   and tray for MINUTES against a service whose advert script misbehaves in
   turn at each refresh (good, error page, stall, oversized banner, hostile
   names, huge-screen GIF, reset mid-body). Every 30 s each program's
   resident and private memory and open descriptors are sampled from /proc
   and printed; at the end the least-squares slope of each per hour.

Each phase ends with the close requests (Close.dat, TClose.dat) written at
once; the time until each answer file appears and until each process is
gone is measured. Exits non-zero on a crash (a program gone before its
close request), a close request not answered within 200 ms, a program still
running 10 s after its request, or idle CPU at or over 0.1 % of a core.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from harness import ProgramFolder, Service, Wine, wait_until  # noqa: E402

CLK_TCK = os.sysconf("SC_CLK_TCK")
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
UN = "555000111222333444"
# One step per advert refresh, in turn.
SCHEDULE = [
    ("good", "default"),
    ("error page", "error-page"),
    ("stall", "/hostile/stall/40000/list"),
    ("oversized", "big-banner"),
    ("hostile names", "hostile-names"),
    ("huge GIF", "huge-screen-banner"),
    ("reset mid-body", "/hostile/reset-body"),
]
PROGRAMS = (("client", "brevaro.exe", "Close.dat", "BVClosed.dat"),
            ("tray", "Tray.exe", "TClose.dat", "TClosed.dat"))
IDLE_GOAL = 0.1  # % of one core
ANSWER_GOAL_MS = 200
SAMPLE_S = 30


def log(*args):
    print(*args, flush=True)


def wine_pid(exe_name, prefix):
    """The Linux process of the Windows program `exe_name` in this prefix."""
    for d in Path("/proc").iterdir():
        if not d.name.isdigit():
            continue
        try:
            cmd = (d / "cmdline").read_bytes().split(b"\0")
            env = (d / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if not any(a.lower().endswith(exe_name.lower().encode()) for a in cmd if a):
            continue
        if b"WINEPREFIX=" + str(prefix).encode() in env:
            return int(d.name)
    return None


def alive(pid):
    try:
        state = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
        return state != "Z"
    except OSError:
        return False


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLK_TCK  # utime, stime


def memory(pid):
    """Resident and private memory in KiB, and open descriptors."""
    rss = 0
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            rss = int(line.split()[1])
    private = 0
    for line in Path(f"/proc/{pid}/smaps_rollup").read_text().splitlines():
        if line.startswith(("Private_Clean:", "Private_Dirty:")):
            private += int(line.split()[1])
    fds = len(os.listdir(f"/proc/{pid}/fd"))
    return rss, private, fds


def slope_per_hour(samples):
    """Least-squares slope of (seconds, value) pairs, per hour."""
    n = len(samples)
    if n < 2:
        return 0.0
    mx = sum(t for t, _ in samples) / n
    my = sum(v for _, v in samples) / n
    sxx = sum((t - mx) ** 2 for t, _ in samples)
    sxy = sum((t - mx) * (v - my) for t, v in samples)
    return sxy / sxx * 3600 if sxx else 0.0


def machine_load():
    return Path("/proc/loadavg").read_text().split()[:3]


class Run:
    """One program folder with the client and the tray started from it,
    against a service of its own (as the system's HTTP proxy)."""

    def __init__(self, wine, name, bin_dir, config_text):
        self.wine = wine
        self.service = Service(0, config_text)
        self._proxy(True)
        self.folder = ProgramFolder(wine, name)
        self.folder.write_settings(f"[Default]\r\nTop=100\r\nLeft=100\r\nNextAd=0\r\nUN={UN}\r\n")
        self.pids = {}
        for label, exe, _, _ in PROGRAMS:
            shutil.copyfile(Path(bin_dir) / exe, self.folder.path / exe)
        for label, exe, _, _ in PROGRAMS:
            self.wine.start(self.folder.path / exe)
            if not wait_until(lambda: self._find(exe) is not None, 30):
                raise SystemExit(f"soak: {exe} did not start")
            self.pids[label] = self._find(exe)
        if not wine.wait_window("brevaro", 30000):
            raise SystemExit("soak: the client's window did not appear")

    def _find(self, exe):
        # Both runs use the same file names, and another soak may run in
        # another prefix: the folder name in the command line (Wine shows the
        # program's path there) and the prefix in the environment tell them apart.
        name = self.folder.path.name.encode()
        prefix = b"WINEPREFIX=" + str(self.wine.prefix).encode()
        for d in Path("/proc").iterdir():
            if not d.name.isdigit():
                continue
            try:
                cmd = [a for a in (d / "cmdline").read_bytes().split(b"\0") if a]
                env = (d / "environ").read_bytes().split(b"\0")
            except OSError:
                continue
            if any(a.lower().endswith(exe.lower().encode()) and name in a for a in cmd) and prefix in env and \
                    alive(int(d.name)):
                return int(d.name)
        return None

    def _proxy(self, on):
        reg = lambda *a: subprocess.run(["wine", "reg", *a, "/f"], env=self.wine.env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        if on:
            reg("add", INTERNET_SETTINGS, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1")
            reg("add", INTERNET_SETTINGS, "/v", "ProxyServer", "/t", "REG_SZ", "/d", f"127.0.0.1:{self.service.port}")
        else:
            reg("delete", INTERNET_SETTINGS, "/v", "ProxyEnable")
            reg("delete", INTERNET_SETTINGS, "/v", "ProxyServer")

    def crashed(self):
        return [label for label, pid in self.pids.items() if not alive(pid)]

    def close(self):
        """Writes both requests at once; returns {label: (answer_ms, exit_ms)}
        with None where nothing came within 10 s."""
        start = time.monotonic()
        for label, exe, request, answer in PROGRAMS:
            (self.folder.path / answer).unlink(missing_ok=True)
            (self.folder.path / request).write_bytes(b"Close Now.\r\n")
        result = {label: [None, None] for label, *_ in PROGRAMS}
        while time.monotonic() - start < 10:
            now_ms = (time.monotonic() - start) * 1000
            for label, exe, request, answer in PROGRAMS:
                r = result[label]
                if r[0] is None and (self.folder.path / answer).exists():
                    r[0] = now_ms
                if r[1] is None and not alive(self.pids[label]):
                    r[1] = now_ms
            if all(r[0] is not None and r[1] is not None for r in result.values()):
                break
            time.sleep(0.002)
        return {k: tuple(v) for k, v in result.items()}

    def stop(self):
        self.wine.stop_all()
        self._proxy(False)
        self.service.stop()


def report_close(result, failures):
    for label, (answer_ms, exit_ms) in result.items():
        a = f"{answer_ms:.0f} ms" if answer_ms is not None else "none in 10 s"
        e = f"{exit_ms:.0f} ms" if exit_ms is not None else "still running after 10 s"
        log(f"  {label}: close answered after {a}, process gone after {e}")
        if answer_ms is None or answer_ms > ANSWER_GOAL_MS:
            failures.append(f"{label}: close request not answered within {ANSWER_GOAL_MS} ms ({a})")
        if exit_ms is None:
            failures.append(f"{label}: still running 10 s after its close request")


def still_gif(folder):
    path = Path(folder) / "still.gif"
    subprocess.run(["convert", "-size", "468x60", "xc:#336699", "-fill", "#ffffff", "-draw", "rectangle 10,10 120,50",
                    str(path)], check=True)
    return path


def idle_phase(wine, bin_dir, failures):
    log(f"== idle: {bin_dir} (shipped intervals), one still banner, 60 s of CPU time")
    banners = tempfile.mkdtemp(prefix="soak-banners-")
    still_gif(banners)
    run = Run(wine, "soak-idle", bin_dir, f"version = 1.0\nbanner-dir = {banners}\nbanner = 1 | still.gif | \n")
    try:
        # The first refresh comes 5 s after the start; the banner is shown
        # after its download. Then a few quiet seconds.
        if not wait_until(lambda: any(r["path"].endswith("still.gif") for r in run.service.requests()), 60):
            failures.append("idle: the banner was never fetched")
        time.sleep(10)
        notepad = subprocess.Popen(wine.command("notepad"), env=wine.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wine.procs.append(notepad)
        wait_until(lambda: wine_pid("notepad.exe", wine.prefix) is not None, 20)
        time.sleep(5)
        pids = dict(run.pids)
        ref = wine_pid("notepad.exe", wine.prefix)
        if ref:
            pids["bare window (notepad)"] = ref
        before = {k: cpu_seconds(p) for k, p in pids.items()}
        load0 = machine_load()
        t0 = time.monotonic()
        time.sleep(60)
        span = time.monotonic() - t0
        after = {k: cpu_seconds(p) for k, p in pids.items() if alive(p)}
        log(f"  machine load average before/after: {' '.join(load0)} / {' '.join(machine_load())}")
        for k in pids:
            if k not in after:
                failures.append(f"idle: {k} ended while idle")
                continue
            used = after[k] - before[k]
            pct = used / span * 100
            log(f"  {k}: {used:.2f} s CPU in {span:.0f} s = {pct:.3f} % of a core")
            if k in run.pids and pct >= IDLE_GOAL:
                failures.append(f"idle: {k} used {pct:.3f} % of a core (goal under {IDLE_GOAL} %)")
        for k in run.crashed():
            failures.append(f"idle: {k} crashed")
        report_close(run.close(), failures)
    finally:
        run.stop()
        shutil.rmtree(banners, ignore_errors=True)


def soak_phase(wine, bin_dir, minutes, failures):
    schedule = ", ".join(step for _, step in SCHEDULE)
    log(f"== soak: {bin_dir} (short intervals), {minutes} min, advert schedule: "
        + ", ".join(name for name, _ in SCHEDULE))
    run = Run(wine, "soak-run", bin_dir, f"version = 1.0\nadvert-schedule = {schedule}\n")
    series = {label: {"rss": [], "private": [], "fds": []} for label, *_ in PROGRAMS}
    try:
        start = time.monotonic()
        end = start + minutes * 60
        next_sample = start
        log("  time   program  rss KiB  private KiB  fds  refreshes  banner gets")
        while True:
            now = time.monotonic()
            if run.crashed():
                break
            if now >= next_sample:
                reqs = run.service.requests()
                refreshes = sum(1 for r in reqs if r["path"].startswith("/brevaro/quillbeam.asp"))
                gets = sum(1 for r in reqs if "/banners/" in r["path"] or r["path"].startswith("/hostile/"))
                t = now - start
                for label, pid in run.pids.items():
                    try:
                        rss, private, fds = memory(pid)
                    except OSError:
                        continue
                    series[label]["rss"].append((t, rss))
                    series[label]["private"].append((t, private))
                    series[label]["fds"].append((t, fds))
                    log(f"  {t:5.0f}s {label:7s} {rss:8d} {private:12d} {fds:4d} {refreshes:10d} {gets:12d}")
                next_sample += SAMPLE_S
            if now >= end:
                break
            time.sleep(min(1.0, max(0.0, min(next_sample, end) - now)))
        crashed = run.crashed()
        for k in crashed:
            failures.append(f"soak: {k} ended before its close request (crash)")
        reqs = run.service.requests()
        refreshes = sum(1 for r in reqs if r["path"].startswith("/brevaro/quillbeam.asp"))
        log(f"  {refreshes} advert refreshes in {minutes} min (about {refreshes / len(SCHEDULE):.0f} of each step)")
        # Over all samples, and (in longer runs) after the first ten minutes,
        # when the banners of every step have been met once.
        windows = [("all samples", 0)] + ([("after 10 min", 600)] if minutes >= 20 else [])
        for title, since in windows:
            log(f"  slopes (least squares, per hour), {title}:")
            for label, s in series.items():
                part = {k: [(t, v) for t, v in s[k] if t >= since] for k in s}
                log(f"    {label}: rss {slope_per_hour(part['rss']):+.0f} KiB/h, private "
                    f"{slope_per_hour(part['private']):+.0f} KiB/h, descriptors {slope_per_hour(part['fds']):+.1f}/h "
                    f"({len(part['rss'])} samples)")
        if not crashed:
            report_close(run.close(), failures)
    finally:
        run.stop()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--minutes", type=float, required=True)
    p.add_argument("--idle-bin", required=True)
    p.add_argument("--soak-bin", required=True)
    p.add_argument("--skip-idle", action="store_true")
    p.add_argument("--skip-soak", action="store_true")
    a = p.parse_args()
    harness.BIN = Path(a.soak_bin)  # the driver program
    wine = Wine()
    failures = []
    try:
        if not a.skip_idle:
            idle_phase(wine, a.idle_bin, failures)
        if not a.skip_soak:
            soak_phase(wine, a.soak_bin, a.minutes, failures)
    finally:
        wine.stop_all()
    if failures:
        log("soak: FAILED")
        for f in failures:
            log("  " + f)
        return 1
    log("soak: passed (no crash, both programs answered their close requests, idle CPU under the goal)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
