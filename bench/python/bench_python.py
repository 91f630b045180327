#!/usr/bin/python3
"""The Python module against the programs on simulated spectra.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_python.py \
        [--count 100000] [--threads 2] [--repeat 1] [--build build] [--work DIR]

Makes COUNT spectra with the simulator (build/bench/simulate_spectra, from a
build with -DTESSERA_BUILD_BENCH=ON), then prints
  - the wall-clock time of clustering them from Python (tessera.cluster,
    the tables read back included) and with the program (cluster ... -o),
    on the same threads, and their ratio: for the call alone in an
    interpreter that has pandas loaded (the footing of a session that works
    with the tables), for the call alone in a fresh one (pandas is imported
    during the call), and for the whole process (the interpreter's start
    and imports included);
  - the peak memory (ru_maxrss) of reading them with tessera.read_spectra,
    in a fresh interpreter and in one that has pandas loaded already,
    against that of dtaexport, which holds every spectrum with all its
    peaks as read_spectra does, and the ratios.
Each measured step runs in a child process of its own, so that its
ru_maxrss is its own; timed steps run --repeat times and the quickest run
is given (the machine may be shared).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time


def child_run(args):
    """Runs a child process: its wall-clock seconds, peak memory (MB), standard output and processor seconds."""
    start = time.monotonic()
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:
        try:
            os.close(read)
            os.dup2(write, 1)
            devnull = os.open(os.devnull, os.O_WRONLY)
            os.dup2(devnull, 2)
            os.execve(args[0], args, os.environ)
        finally:
            os._exit(127)
    os.close(write)
    with os.fdopen(read) as f:
        out = f.read()
    _, status, usage = os.wait4(pid, 0)
    seconds = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(args)}")
    return seconds, usage.ru_maxrss / 1024.0, out, usage.ru_utime + usage.ru_stime


def python_step(code, imports="import tessera"):
    """A Python child that runs `code` after `imports` and prints the wall-clock and processor seconds of
    `code` alone."""
    return [sys.executable, "-c", f"{imports}\nimport time\nstart = time.monotonic(), time.process_time()\n"
            f"{code}\nprint(time.monotonic() - start[0], time.process_time() - start[1])"]


def quickest(runs, args):
    """The quickest of `runs` runs of a child, as child_run gives it."""
    return min((child_run(args) for _ in range(runs)), key=lambda r: r[0])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--count", type=int, default=100000)
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--repeat", type=int, default=1, help="runs of each timed step; the quickest is given")
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
        runs = options.repeat
        with_pandas = "import tessera, pandas"
        _, bare_mb, _, _ = child_run(python_step("pass"))
        _, pandas_mb, _, _ = child_run(python_step("pass", with_pandas))
        read = f"s = tessera.read_spectra({mgf!r})"
        read_s, read_mb, _, _ = quickest(runs, python_step(read))
        _, read_pandas_mb, _, _ = child_run(python_step(read, with_pandas))
        clustering = f"tessera.cluster({mgf!r}, threads={options.threads}, consensus_type='none')"
        py_s, py_mb, py_out, py_cpu = quickest(runs, python_step(clustering))
        py_call_s, py_call_cpu = (float(word) for word in py_out.split()[-2:])
        _, _, warm_out, _ = quickest(runs, python_step(clustering, with_pandas))
        warm_s, warm_cpu = (float(word) for word in warm_out.split()[-2:])
        prog_s, prog_mb, _, prog_cpu = quickest(runs, [cluster, mgf, "-o", os.path.join(work, "out"), "--threads",
                                                       str(options.threads), "--consensus-type", "none", "--quiet"])
        export_s, export_mb, _, _ = child_run([dtaexport, mgf, "--mgf", os.path.join(work, "export.mgf")])

        print(f"spectra: {options.count}, threads: {options.threads}, quickest of {runs} "
              f"(processor seconds in brackets)")
        print(f"clustering, the call, pandas loaded first: python {warm_s:.2f} s ({warm_cpu:.2f}), program "
              f"{prog_s:.2f} s ({prog_cpu:.2f}), ratio {warm_s / prog_s:.2f} ({warm_cpu / prog_cpu:.2f})")
        print(f"clustering, the call:    python {py_call_s:.2f} s ({py_call_cpu:.2f}), program {prog_s:.2f} s "
              f"({prog_cpu:.2f}), ratio {py_call_s / prog_s:.2f} ({py_call_cpu / prog_cpu:.2f})")
        print(f"clustering, the process: python {py_s:.2f} s ({py_cpu:.2f}, {py_mb:.0f} MB), program "
              f"{prog_s:.2f} s ({prog_cpu:.2f}, {prog_mb:.0f} MB), ratio {py_s / prog_s:.2f} ({py_cpu / prog_cpu:.2f})")
        print(f"read_spectra: {read_s:.2f} s, peak {read_mb:.0f} MB (interpreter with tessera {bare_mb:.0f} MB); "
              f"with pandas loaded first {read_pandas_mb:.0f} MB (interpreter {pandas_mb:.0f} MB)")
        print(f"dtaexport --mgf (every peak held): {export_s:.2f} s, peak {export_mb:.0f} MB")
        print(f"  ratio {read_mb / export_mb:.2f}, with pandas loaded {read_pandas_mb / export_mb:.2f}, "
              f"without the interpreter's own {(read_mb - bare_mb) / export_mb:.2f}")
    finally:
        if not options.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
