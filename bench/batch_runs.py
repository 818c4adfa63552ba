"""Shared by the download bench scripts: the settings file of a batch, empty folders and
timed runs of a program."""
import os
import shutil
import subprocess
import sys
import time


def batch_settings(work, save_folder, fast=True):
    """Writes the settings of a batch into work and returns its path: "Fast Connection" on
    (a LAN batch), or the program's defaults but for the save folder."""
    ini = os.path.join(work, "lumisift.ini")
    with open(ini, "w") as f:
        f.write(f"[Options]\r\nSavePath={save_folder}\r\n")
        if fast:
            f.write("SlowConnection=0\r\n")
    return ini


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)


def run(argv, cwd=None, env=None, name="bench"):
    """Runs argv to its end; returns its wall time and its resource usage."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            cwd=cwd, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{name}: {argv[0]} failed")
    return time.perf_counter() - start, usage
