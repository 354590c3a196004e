"""Runs the real program under Wine once per test process and hands the
reports to the end-to-end tests.

The build sets VORQ_EXE (the program), VORQ_BUILD (the build folder) and
VORQ_WINE_RUN (the Wine wrapper). Reports are written below VORQ_BUILD/e2e.
"""
import functools
import json
import os
import pathlib
import subprocess

EXE = os.environ.get("VORQ_EXE", "")
BUILD = pathlib.Path(os.environ.get("VORQ_BUILD", "build/win"))
WINE_RUN = os.environ.get("VORQ_WINE_RUN", "scripts/wine-run")
OUT = BUILD / "e2e"


def run(*args, timeout=600, env=None, preexec=None):
    """Runs the program with `args`; returns (exit code, stdout without CRs).
    `preexec` runs in the child before Wine starts (limits, signals)."""
    OUT.mkdir(parents=True, exist_ok=True)
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    p = subprocess.run([WINE_RUN, EXE, *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                       stdin=subprocess.DEVNULL, timeout=timeout, cwd=OUT, env=full_env,
                       preexec_fn=preexec)
    return p.returncode, p.stdout.decode("utf-8", "replace").replace("\r", "")


@functools.lru_cache(maxsize=None)
def scan(mode="raw"):
    """One scan per mode and test process: (report as parsed JSON, console text, exit code)."""
    name = f"scan-{mode}.json"
    option = "--export-raw" if mode == "raw" else "--export"
    code, text = run(option, name)
    path = OUT / name
    report = json.loads(path.read_bytes().decode("utf-8")) if path.exists() else None
    return report, text, code


@functools.lru_cache(maxsize=None)
def scan_with_display(mode="raw"):
    """Like scan(), but with an X display (Xvfb) in a Wine prefix of its own:
    DXGI and Direct3D need a display under Wine."""
    name = f"scan-x11-{mode}.json"
    option = "--export-raw" if mode == "raw" else "--export"
    OUT.mkdir(parents=True, exist_ok=True)
    wine_run_x11 = pathlib.Path(WINE_RUN).resolve().parent / "wine-run-x11"
    p = subprocess.run([str(wine_run_x11), str(BUILD / "x11-prefix"), EXE, option, name], stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=600, cwd=OUT)
    path = OUT / name
    report = json.loads(path.read_bytes().decode("utf-8")) if path.exists() else None
    return report, p.stdout.decode("utf-8", "replace").replace("\r", ""), p.returncode


def table(report, table_id):
    """The first table with this id, or None."""
    for t in report["tables"]:
        if t["id"] == table_id:
            return t
    return None


def table_ids(report):
    return [t["id"] for t in report["tables"]]


def build_prefix():
    """The Wine prefix the build's tests run in."""
    return pathlib.Path(os.environ.get("WINEPREFIX") or
                        pathlib.Path(WINE_RUN).resolve().parent.parent / "build" / "wineprefix")


class ScratchPrefix:
    """A throw-away copy of the build's prefix whose registry a test may change
    (`wine reg add`). Files are hard links, except the registry files and the
    program's own folder, which the copy rewrites.

    The copy gets a wine server of its own, started before the first write
    and kept up until the copy is removed, so no write meets a server that is
    still starting or one quitting seconds after its last process (Wine's
    default)."""

    def __init__(self, name):
        self.path = OUT / f"{name}-prefix"
        self.env = {"WINEPREFIX": str(self.path), "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}

    def __enter__(self):
        import shutil
        OUT.mkdir(parents=True, exist_ok=True)
        shutil.rmtree(self.path, ignore_errors=True)
        src = build_prefix()
        subprocess.run(["cp", "-al", str(src), str(self.path)], check=True)
        for reg in self.path.glob("*.reg"):
            reg.unlink()
            shutil.copy2(src / reg.name, reg)
        for own in self.path.glob("drive_c/users/*/AppData/Local/VornixQuelm"):
            shutil.rmtree(own)
        try:
            self._start_server()
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        import shutil
        subprocess.run(["wineserver", "-k"], env={**os.environ, **self.env}, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run(["wineserver", "-w"], env={**os.environ, **self.env}, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        shutil.rmtree(self.path, ignore_errors=True)

    def _call(self, *args, timeout=120):
        """(exit code, stderr text) of one Wine command in this prefix. Output
        goes through a file, not a pipe: the server `wineserver -p` leaves
        running keeps the handles it inherited, and a pipe would hold the call
        up until the server ends."""
        import tempfile
        with tempfile.TemporaryFile() as err:
            p = subprocess.run(list(args), env={**os.environ, **self.env, "LC_ALL": "C.UTF-8"},
                               stdout=subprocess.DEVNULL, stderr=err, stdin=subprocess.DEVNULL, timeout=timeout)
            err.seek(0)
            return p.returncode, err.read().decode("utf-8", "replace").strip()

    def _start_server(self, wait_s=120):
        """Starts the prefix's own server, persistent, and waits until the
        prefix runs a command (Wine's services are up then)."""
        import time
        # Exits 1 when a server already runs there, which serves as well.
        server_code, server_err = self._call("wineserver", "-p")
        deadline = time.monotonic() + wait_s
        while True:
            code, err = self._call("wine", "cmd", "/c", "exit")
            if code == 0:
                return
            if time.monotonic() > deadline:
                raise RuntimeError(f"Wine prefix {self.path} did not answer in {wait_s} s: wineserver -p gave "
                                   f"{server_code} ({server_err}), wine cmd /c exit {code} ({err})")
            time.sleep(1)

    def reg_add(self, key, name, kind, data):
        """One value through Wine's reg.exe; REG_MULTI_SZ data is a list. A
        write Wine refuses is tried once more, with a line saying so; a second
        refusal raises with Wine's own error text."""
        import sys
        if kind == "REG_MULTI_SZ":
            data = "\\0".join(data)
        args = ["wine", "reg", "add", key, "/v", name, "/t", kind, "/d", str(data), "/f"]
        code, err = self._call(*args)
        if code == 0:
            return
        print(f"wine reg add {key} /v {name} exited {code} ({err or 'no message'}); trying once more",
              file=sys.stderr, flush=True)
        code, err = self._call(*args)
        if code != 0:
            raise RuntimeError(f"wine reg add {key} /v {name} exited {code} twice: {err or 'no message'}")

    def scan(self, mode="raw"):
        """(report, exit code) of one scan in this prefix."""
        name = f"{self.path.name}-{mode}.json"
        option = "--export-raw" if mode == "raw" else "--export"
        code, _ = run(option, name, env=self.env)
        path = OUT / name
        report = json.loads(path.read_bytes().decode("utf-8")) if path.exists() else None
        return report, code


def strings(node):
    """Every string inside a parsed report, keys included."""
    if isinstance(node, str):
        yield node
    elif isinstance(node, dict):
        for k, v in node.items():
            yield k
            yield from strings(v)
    elif isinstance(node, list):
        for v in node:
            yield from strings(v)


def collector_status(report, name):
    runs = [c for c in report["collectors"] if c["name"] == name]
    return runs[0]["status"] if len(runs) == 1 else None
