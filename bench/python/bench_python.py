#!/usr/bin/python3
"""The Python module against the programs on simulated spectra.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_python.py \
        [--count 100000] [--threads 2] [--build build] [--work DIR]

Makes COUNT spectra with the simulator (build/bench/simulate_spectra, from a
build with -DTESSERA_BUILD_BENCH=ON), then prints
  - the wall-clock time of clustering them from Python (tessera.cluster) and
    with the program (cluster ... -o), on the same threads;
  - the peak memory (ru_maxrss) of reading them with tessera.read_spectra,
    against the program's peak memory for the same file, and the ratio.
Each measured step runs in a child process of its own, so that its
ru_maxrss is its own.
"""

import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time


def child_run(args, env=None):
    """Runs a child process; its wall-clock seconds and peak memory (MB)."""
    start = time.monotonic()
    pid = os.fork()
    if pid == 0:
        try:
            devnull = os.open(os.devnull, os.O_WRONLY)
            os.dup2(devnull, 1)
            os.execve(args[0], args, env or os.environ)
        finally:
            os._exit(127)
    _, status, usage = os.wait4(pid, 0)
    seconds = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(args)}")
    return seconds, usage.ru_maxrss / 1024.0


def python_step(code):
    return [sys.executable, "-c", "import tessera, sys\n" + code]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--count", type=int, default=100000)
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--build", default="build")
    parser.add_argument("--simulator", help="the simulator program (default: BUILD/bench/simulate_spectra)")
    parser.add_argument("--work", help="folder for the spectra and outputs (default: a temporary one, removed)")
    options = parser.parse_args()

    build = os.path.abspath(options.build)
    simulator = options.simulator or os.path.join(build, "bench", "simulate_spectra")
    cluster = os.path.join(build, "bin", "cluster")
    dtaexport = os.path.join(build, "bin", "dtaexport")
    for program in (simulator, cluster, dtaexport):
        if not os.access(program, os.X_OK):
            sys.exit(f"missing program: {program}")
    work = options.work or tempfile.mkdtemp(prefix="tessera-bench-")
    os.makedirs(work, exist_ok=True)
    try:
        mgf = os.path.join(work, "sim.mgf")
        if not os.path.isfile(mgf):
            subprocess.run([simulator, "--count", str(options.count), "--seed", "1", "--mgf", mgf,
                            "--truth", os.path.join(work, "sim.truth.tsv"),
                            "--threads", str(options.threads)], check=True, stdout=subprocess.DEVNULL)
        threads = str(options.threads)
        baseline_s, baseline_mb = child_run(python_step("pass"))
        read_s, read_mb = child_run(python_step(f"s = tessera.read_spectra({mgf!r})"))
        py_s, py_mb = child_run(python_step(
            f"tessera.cluster({mgf!r}, threads={options.threads}, consensus_type='none')"))
        prog_s, prog_mb = child_run([cluster, mgf, "-o", os.path.join(work, "out"), "--threads", threads,
                                     "--consensus-type", "none", "--quiet"])
        # A program that holds every spectrum with all its peaks, as
        # read_spectra does (cluster keeps only the selected peaks of one MGF file).
        export_s, export_mb = child_run([dtaexport, mgf, "--mgf", os.path.join(work, "export.mgf")])
        print(f"spectra: {options.count}, threads: {options.threads}")
        print(f"clustering: python {py_s:.2f} s ({py_mb:.0f} MB), program {prog_s:.2f} s ({prog_mb:.0f} MB), "
              f"ratio {py_s / prog_s:.2f}")
        print(f"read_spectra: {read_s:.2f} s, peak {read_mb:.0f} MB (interpreter with tessera and pandas alone: "
              f"{baseline_mb:.0f} MB)")
        for name, mb in (("dtaexport --mgf (every peak held)", export_mb), ("cluster (selected peaks held)", prog_mb)):
            print(f"  against {name}: peak {mb:.0f} MB, ratio {read_mb / mb:.2f}, "
                  f"without the interpreter's own {(read_mb - baseline_mb) / mb:.2f}")
    finally:
        if not options.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
