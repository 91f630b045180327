"""The result tables of Tessera's programs as pandas data frames.

Every table is read with the columns its writer gives it: the tables with a
header line (clusters.tsv, propagated.tsv) by their header, the headerless
comma-separated files (cluster file, pair file, mass-shift table) by the
names below. Text columns stay text ("" where empty), number columns are
numbers, and whole-number columns that may be empty are nullable integers.
"""

import json
import os
import sys
import threading

from . import _tessera


def _pandas():
    """pandas, imported with the first table: reading spectra alone goes without it."""
    import pandas
    return pandas


def _import_pandas_meanwhile():
    """Imports pandas on a thread of its own while a job runs in the engine.

    The engine lets go of the interpreter while it works, so the half second
    that pandas takes to import is spent beside the job rather than after it;
    a table read meanwhile waits for the import in progress.
    """
    if "pandas" not in sys.modules:
        threading.Thread(target=_pandas, name="tessera-import-pandas", daemon=True).start()

# The cluster file: "%d,%s,%d,%lf" per spectrum.
CLUSTER_FILE_COLUMNS = ["row", "name", "cluster", "precursor_mass"]
# The pair file: "%s,%lf,%s,%lf,%lf,%lf" per pair; the shift search adds
# the integer shift that aligned the two spectra.
PAIR_FILE_COLUMNS = ["name1", "mass1", "name2", "mass2", "delta_mass", "similarity"]
SHIFT_SEARCH_COLUMN = "shift"
# The mass-shift table ("temp.temp") of the pair search and of Shiftscan.
SHIFT_TABLE_COLUMNS = ["delta_mass", "pairs", "delta_time", "d_score", "type", "mass1", "mass2"]

_INTEGERS = {"scan", "charge", "cluster", "cluster_size", "is_representative", "row", "pairs", "type",
             SHIFT_SEARCH_COLUMN}
_REALS = {"precursor_mz", "rt_seconds", "precursor_mass", "mass1", "mass2", "delta_mass", "similarity",
          "delta_time", "d_score", "score", "q_value", "alternative_shift", "alternative_score"}


def _typed(frame, reals=_REALS):
    """Numbers of the known number columns as numbers; text stays text."""
    pd = _pandas()
    for column in frame.columns:
        if column in _INTEGERS and column not in reals:
            frame[column] = pd.to_numeric(frame[column].replace("", None)).astype("Int64")
        elif column in reals:
            # "NA" is how the propagated table says a score could not be made.
            values = pd.to_numeric(frame[column].replace({"": None, "NA": None}), errors="coerce")
            frame[column] = values.astype("float64")
    return frame


_OPTIONS = dict(keep_default_na=False, skipinitialspace=True, quoting=3, skip_blank_lines=True)


def _header(path, sep):
    with open(path, encoding="utf-8", errors="replace") as f:
        # As the parser names them: spaces after a separator are skipped.
        return [name.lstrip(" ") for name in f.readline().rstrip("\r\n").split(sep)]


def _read_typed(path, sep, names=None, reals=_REALS):
    """A table with its number columns made numbers as it is read.

    A plainly regular table (what the programs write) is split into columns
    by the compiled part in one pass; otherwise the CSV parser makes the
    numbers itself, and an odd cell it refuses sends the file down the text
    road, which keeps what it can read and makes the rest NaN. Each is
    several times faster than the next on large tables, and all three give
    the same frame.
    """
    pd = _pandas()
    if os.path.getsize(path) == 0:
        return pd.DataFrame(columns=names or [])
    columns = names or _header(path, sep)
    integers = [c for c in columns if c in _INTEGERS and c not in reals]
    kinds = "".join("i" if c in integers else "f" if c in reals else "t" for c in columns)
    plain = _tessera.read_table(path, sep, columns, kinds, names is None)
    if plain is not None:
        return pd.DataFrame({column[0]: pd.arrays.IntegerArray(column[2], column[3]) if column[1] == "i"
                             else column[2] for column in plain})
    dtype = {c: (float if c in reals else str) for c in columns if c not in integers}
    empty = {c: ([""] if c in integers else ["", "NA"]) for c in columns if c in integers or c in reals}
    try:
        frame = pd.read_csv(path, sep=sep, header=None if names else 0, names=names, dtype=dtype,
                            na_values=empty, **_OPTIONS)
        for column in integers:
            frame[column] = _nullable_integers(pd, frame[column].to_numpy())
        return frame
    except (ValueError, TypeError):
        return _typed(_read_text(path, sep, names), reals)


def _nullable_integers(pd, values):
    """Whole numbers as the parser gave them (int64, or float64 where a cell
    is empty) as a nullable integer column, built straight from the values:
    the general conversion looks at every cell again. Anything else (text,
    fractions) is refused."""
    import numpy as np
    if values.dtype.kind in "iu":
        return pd.arrays.IntegerArray(values.astype(np.int64, copy=False), np.zeros(len(values), dtype=bool))
    if values.dtype.kind != "f":
        if len(values):
            raise ValueError("not whole numbers")
        return pd.array([], dtype="Int64")
    empty = np.isnan(values)
    filled = np.where(empty, 0.0, values)
    whole = filled.astype(np.int64)
    if not np.array_equal(whole, filled):
        raise ValueError("not whole numbers")
    return pd.arrays.IntegerArray(whole, empty)


def _read_text(path, sep, names=None):
    pd = _pandas()
    if os.path.getsize(path) == 0:
        return pd.DataFrame(columns=names or [])
    return pd.read_csv(path, sep=sep, header=None if names else 0, names=names, dtype=str, **_OPTIONS)


def read_tab_table(path):
    """A tab-separated table with a header line (clusters.tsv, propagated.tsv)."""
    # The propagated table's shift is a mass, not the shift search's step.
    return _read_typed(path, "\t", reals=_REALS | {SHIFT_SEARCH_COLUMN})


def read_cluster_file(path):
    """The cluster file: row, name, cluster, precursor_mass."""
    return _read_typed(path, ",", CLUSTER_FILE_COLUMNS)


def read_pair_file(path):
    """A pair file; seven columns (with `shift`) when the shift search wrote it."""
    with open(path, "rb") as f:
        first = f.readline().decode("utf-8", "replace")
    names = list(PAIR_FILE_COLUMNS)
    if first.count(",") >= len(PAIR_FILE_COLUMNS):
        names.append(SHIFT_SEARCH_COLUMN)
    return _read_typed(path, ",", names)


def read_shift_table(path):
    """A mass-shift table ("temp.temp"): delta_mass, pairs, delta_time, d_score, type, mass1, mass2."""
    return _read_typed(path, ",", SHIFT_TABLE_COLUMNS)


def _reader_of(name):
    if name in ("clusters.tsv", "propagated.tsv") or name.endswith("propagated.tsv"):
        return read_tab_table
    if name == "clusters.csv":
        return read_cluster_file
    if name in ("pairs.csv", "spectral_pairs.csv"):
        return read_pair_file
    if name in ("temp.temp", "Mod_result.csv", "shiftscan_modifications.csv") or name.endswith("_shifts.csv"):
        return read_shift_table
    if name.endswith(".summary.json"):
        return _read_json
    return None


def _read_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def load_results(folder):
    """The tables of a results folder, by file name.

    clusters.tsv, clusters.csv, pairs.csv / spectral_pairs.csv, temp.temp /
    *_shifts.csv / shiftscan_modifications.csv and propagated.tsv as data
    frames; every *.summary.json as a dict. Files of other names are left out.
    """
    if not os.path.isdir(folder):
        if os.path.exists(folder):
            raise NotADirectoryError(folder)
        raise FileNotFoundError(folder)
    tables = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        reader = _reader_of(name)
        if reader is None or not os.path.isfile(path):
            continue
        tables[name] = reader(path)
    return tables
