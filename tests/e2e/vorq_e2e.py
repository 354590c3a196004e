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
