"""Tessera from Python: read spectra, cluster them, search spectral pairs,
detect modifications with Shiftscan, propagate identifications, and read any
results folder, with the results as pandas data frames.

Keywords are the programs' options with "_" for "-" (``--precursor-tol 20ppm``
is ``precursor_tol="20ppm"``, ``--shift-lower 6`` is ``shift_lower=6``), and
take what the option takes; ``True`` gives a flag. A keyword left at its
default is not passed on, so the program decides as it does without the
option. The jobs run the programs' own code: clustering and the pair search
in this process (Ctrl-C stops them), Shiftscan and propagation as their
programs beside the engine. Bad values raise ValueError with the program's
message; inputs that cannot be read raise RuntimeError (missing ones
FileNotFoundError).
"""

from __future__ import annotations

import os
import shutil
import subprocess
import tempfile
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, List, Optional

from . import _tessera
from ._tables import (_import_pandas_meanwhile, _pandas, load_results, read_cluster_file, read_pair_file, read_shift_table,
                      read_tab_table)
from ._tessera import Spectrum, read_spectra, write_mgf

__all__ = ["Spectrum", "read_spectra", "write_mgf", "cluster", "pair_search", "shiftscan", "propagate",
           "load_results", "ClusterResult", "PairResult", "ShiftscanResult", "PropagationResult"]

if TYPE_CHECKING:
    import pandas as pd

PROGRAM_DIR = _tessera.program_dir


@dataclass
class ClusterResult:
    table: pd.DataFrame            # clusters.tsv: one row per spectrum loaded
    clusters: pd.DataFrame         # the cluster file: row, name, cluster, precursor_mass
    spectra: List[Spectrum]        # the output spectra (consensus and representatives), in cluster order
    messages: str                  # what the run said (counts, files)
    folder: Optional[str] = None   # where the files are kept (output=...), else None


@dataclass
class PairResult:
    pairs: pd.DataFrame            # the pair file: name1, mass1, name2, mass2, delta_mass, similarity
    shifts: pd.DataFrame           # the mass-shift table (temp.temp)
    messages: str
    folder: Optional[str] = None


@dataclass
class ShiftscanResult:
    modifications: pd.DataFrame    # the result table (temp.temp)
    pairs: dict = field(default_factory=dict)  # pair file name -> its pairs (find_pairs=True)
    messages: str = ""
    folder: Optional[str] = None


@dataclass
class PropagationResult:
    propagated: pd.DataFrame       # propagated.tsv: spectrum, sequence, modifications, route, source, shift, score, q_value
    summary: str                   # the summary the program prints
    messages: str = ""
    folder: Optional[str] = None


def _option_words(options, defaults):
    """Command-line words of keyword options; those at their default are left out."""
    words = []
    for key, value in options.items():
        if value is None or value is False:
            continue
        if key in defaults and _same(value, defaults[key]):
            continue
        name = "--" + key.replace("_", "-")
        if value is True:
            words.append(name)
        else:
            words += [name, str(value)]
    return words


def _same(value, default):
    if isinstance(value, str) and isinstance(default, str):
        return value.lower() == default.lower()
    return value == default


def _message(text):
    """The program's message without the usage that follows it."""
    cut = text.find("usage:")
    text = text[:cut] if cut > 0 else text
    return text.strip() or "the program failed"


def _raise_for(status, err):
    if status == 2:
        raise ValueError(_message(err))
    if status != 0:
        raise RuntimeError(_message(err))


class _Workspace:
    """The output folder of one job: the caller's, or a temporary one that goes afterwards."""

    def __init__(self, output):
        self.keep = output is not None
        self.folder = os.path.abspath(output) if self.keep else tempfile.mkdtemp(prefix="tessera-")
        self.scratch = tempfile.mkdtemp(prefix="tessera-in-")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        shutil.rmtree(self.scratch, ignore_errors=True)
        if not self.keep:
            shutil.rmtree(self.folder, ignore_errors=True)

    def result_folder(self):
        return self.folder if self.keep else None


def _inputs(spectra_or_paths, scratch):
    """Paths of the inputs: spectrum files and DTA folders as given, spectra written as one MGF file."""
    if isinstance(spectra_or_paths, (str, os.PathLike)):
        items = [spectra_or_paths]
    else:
        items = list(spectra_or_paths)
    if not items:
        raise ValueError("no spectra and no spectrum file given")
    if all(isinstance(item, Spectrum) for item in items):
        path = os.path.join(scratch, "spectra.mgf")
        write_mgf(path, items)
        return [path]
    paths = []
    for item in items:
        if isinstance(item, Spectrum):
            raise ValueError("give spectra or spectrum files, not both")
        path = os.fspath(item)
        if not os.path.exists(path):
            raise FileNotFoundError(2, "No such file or directory", path)
        paths.append(os.path.abspath(path))
    return paths


_CLUSTER_DEFAULTS = {"threshold": 0.6, "precursor_tol": "20ppm", "consensus_type": "consensus",
                     "small_peaks_count_filter": 10}


def cluster(spectra_or_paths, threshold=0.6, *, precursor_tol="20ppm", consensus_type="consensus",
            small_peaks_count_filter=10, threads=None, output=None, **options):
    """Clusters spectra as ``cluster ... -o`` does and answers a ClusterResult.

    spectra_or_paths: a spectrum file or DTA folder, a list of them (pooled),
    or Spectrum objects. Further keywords are cluster's options
    (peak_select_method, whole_top_peak_num, consensus_tol, ids, fdr, px, ...).
    ``output`` keeps the files in that folder; otherwise they go once read.
    """
    given = dict(threshold=threshold, precursor_tol=precursor_tol, consensus_type=consensus_type,
                 small_peaks_count_filter=small_peaks_count_filter, threads=threads, **options)
    _refuse(given, ("type", "output", "write_para", "network"), "cluster")
    with _Workspace(output) as ws:
        args = _inputs(spectra_or_paths, ws.scratch) + ["-o", ws.folder] + _option_words(given, _CLUSTER_DEFAULTS)
        _import_pandas_meanwhile()
        status, out, err = _tessera.run_cluster(args)
        _raise_for(status, err)
        tables = load_results(ws.folder)
        mgf = os.path.join(ws.folder, "spectra.mgf")
        spectra = read_spectra(mgf) if os.path.isfile(mgf) and os.path.getsize(mgf) > 0 else []
        return ClusterResult(table=tables["clusters.tsv"], clusters=tables["clusters.csv"], spectra=spectra,
                             messages=out + err, folder=ws.result_folder())


_PAIR_DEFAULTS = {"threshold": 0.6, "shift_lower": 6, "shift_upper": 200, "similar_method": "Dot Product Mod",
                  "fragment_tol": "0.5Da", "precursor_tol": "20ppm", "cluster_masses_tol": 0.01,
                  "small_peaks_count_filter": 10}


def pair_search(spectra_or_paths, threshold=0.6, *, shift_lower=6, shift_upper=200,
                similar_method="Dot Product Mod", fragment_tol="0.5Da", cluster_masses_tol=0.01,
                small_peaks_count_filter=10, threads=None, output=None, **options):
    """Searches spectral pairs as ``cluster --type pairs ... -o`` does and answers a PairResult."""
    given = dict(threshold=threshold, shift_lower=shift_lower, shift_upper=shift_upper,
                 similar_method=similar_method, fragment_tol=fragment_tol, cluster_masses_tol=cluster_masses_tol,
                 small_peaks_count_filter=small_peaks_count_filter, threads=threads, **options)
    _refuse(given, ("type", "output", "write_para"), "pair_search")
    with _Workspace(output) as ws:
        args = (_inputs(spectra_or_paths, ws.scratch) + ["-o", ws.folder, "--type", "pairs"] +
                _option_words(given, _PAIR_DEFAULTS))
        _import_pandas_meanwhile()
        status, out, err = _tessera.run_cluster(args)
        _raise_for(status, err)
        tables = load_results(ws.folder)
        return PairResult(pairs=tables["pairs.csv"], shifts=tables["temp.temp"], messages=out + err,
                          folder=ws.result_folder())


def _refuse(given, names, function):
    for name in names:
        if given.get(name) is not None:
            raise ValueError(f"{function}() sets {name} itself")


def _run_program(program, args):
    """Runs one of the programs beside the engine: (status, standard output, standard error)."""
    path = os.path.join(PROGRAM_DIR, program)
    done = subprocess.run([path] + args, stdin=subprocess.DEVNULL, capture_output=True)
    return (done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace"))


def shiftscan(run, *, output=None, **options):
    """Detects modifications as ``Shiftscan <run> -o`` does and answers a ShiftscanResult.

    run: a run file (mzML, mzXML, MGF, MS2), a DTA folder, or Spectrum objects.
    Keywords are Shiftscan's options (mass_lower, shift_upper, t_d_score,
    find_pairs=True, ids, ...); their defaults are the program's.
    """
    _refuse(options, ("output", "write_config", "plot"), "shiftscan")
    with _Workspace(output) as ws:
        inputs = _inputs(run, ws.scratch)
        if len(inputs) != 1:
            raise ValueError("Shiftscan reads one run")
        status, out, err = _run_program("Shiftscan", inputs + ["-o", ws.folder, "--quiet"] +
                                        _option_words(options, {}))
        _raise_for(status, err)
        pairs = {}
        folder = options.get("pair_folder") or os.path.join(ws.folder, "pairs")
        if options.get("find_pairs") and os.path.isdir(folder):
            for name in sorted(os.listdir(folder)):
                if name.endswith(".csv"):
                    pairs[name] = read_pair_file(os.path.join(folder, name))
        return ShiftscanResult(modifications=read_shift_table(os.path.join(ws.folder, "temp.temp")),
                               pairs=pairs, messages=out + err, folder=ws.result_folder())


def _pair_file_of(pairs, scratch):
    """A pair file for the program: a path as given, a PairResult's or a data frame's pairs written out."""
    if isinstance(pairs, PairResult):
        pairs = pairs.pairs
    if isinstance(pairs, _pandas().DataFrame):
        path = os.path.join(scratch, "pairs.csv")
        with open(path, "w", encoding="utf-8") as f:
            for row in pairs.itertuples(index=False):
                f.write("%s,%f,%s,%f,%f,%f\n" % (row.name1, row.mass1, row.name2, row.mass2, row.delta_mass,
                                                  row.similarity))
        return path
    path = os.fspath(pairs)
    if not os.path.exists(path):
        raise FileNotFoundError(2, "No such file or directory", path)
    return os.path.abspath(path)


def _cluster_file_of(clusters, scratch):
    if isinstance(clusters, ClusterResult):
        clusters = clusters.clusters
    if isinstance(clusters, _pandas().DataFrame):
        path = os.path.join(scratch, "clusters.csv")
        with open(path, "w", encoding="utf-8") as f:
            for row in clusters.itertuples(index=False):
                f.write("%d,%s,%d,%f\n" % (row.row, row.name, row.cluster, row.precursor_mass))
        return path
    path = os.fspath(clusters)
    if not os.path.exists(path):
        raise FileNotFoundError(2, "No such file or directory", path)
    return os.path.abspath(path)


def propagate(pairs, ids, *, clusters=None, spectra=None, output=None, **options):
    """Propagates identifications as ``propagate --pairs P --ids F -o DIR --table`` does.

    pairs: a pair file or folder, a PairResult or its pairs data frame;
    clusters: a cluster file, a ClusterResult or its cluster-file frame.
    Keywords are propagate's options (sites=True, mod_count, fdr, max_q,
    score_spectra, ...). Answers a PropagationResult whose `propagated` is
    the table of ``--table`` (propagated.tsv).
    """
    _refuse(options, ("output", "table", "pairs", "ids"), "propagate")
    with _Workspace(output) as ws:
        args = ["--pairs", _pair_file_of(pairs, ws.scratch), "--ids", _existing(ids), "-o", ws.folder,
                "--table", os.path.join(ws.folder, "propagated.tsv"), "--quiet"]
        if clusters is not None:
            args += ["--clusters", _cluster_file_of(clusters, ws.scratch)]
        if spectra is not None:
            args += ["--spectra", _existing(spectra)]
        for key in ("added", "score_spectra"):
            if options.get(key):
                options[key] = os.path.abspath(os.fspath(options[key]))
        status, out, err = _run_program("propagate", args + _option_words(options, {}))
        _raise_for(status, err)
        return PropagationResult(propagated=read_tab_table(os.path.join(ws.folder, "propagated.tsv")),
                                 summary=out, messages=err, folder=ws.result_folder())


def _existing(path):
    path = os.fspath(path)
    if not os.path.exists(path):
        raise FileNotFoundError(2, "No such file or directory", path)
    return os.path.abspath(path)
