import csv
import os
import signal
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import tessera


def rows_of(path, sep):
    with open(path, newline="") as f:
        return list(csv.reader(f, delimiter=sep))


def test_read_spectra_carries_provenance_and_peaks(bsa1):
    spectra = tessera.read_spectra(bsa1)
    assert len(spectra) == 1120
    first = spectra[0]
    assert (first.file, first.run, first.native_id, first.title, first.scan, first.index) == (
        "BSA1.mzML", "BSA1", "spectrum=2442", "", -1, first.index)
    assert first.name == "BSA1.565.565.2.dta" and first.charge == 2 and first.retention_time > 0
    assert first.mz.dtype == np.float64 and len(first.mz) == len(first.intensity) == len(first)
    assert all(np.all(np.diff(s.mz) >= 0) for s in spectra)


def test_peak_arrays_outlive_their_list_and_write_back_as_read(bsa1, tmp_path):
    spectra = tessera.read_spectra(bsa1)[:50]
    expected = [(s.mz.copy(), s.intensity.copy()) for s in spectra]
    mz = tessera.read_spectra(bsa1)[0].mz  # the list and its spectra are gone
    assert np.array_equal(mz, expected[0][0])
    tessera.write_mgf(str(tmp_path / "back.mgf"), spectra)
    back = tessera.read_spectra(str(tmp_path / "back.mgf"))
    assert [s.name for s in back] == [s.name for s in spectra]
    for s, (mz, intensity) in zip(back, expected):
        assert np.allclose(s.mz, mz) and np.allclose(s.intensity, intensity)
    with pytest.raises(TypeError):
        tessera.write_mgf(str(tmp_path / "no.mgf"), [spectra[0], "not a spectrum"])


def test_reading_spectra_leaves_pandas_unloaded(bsa1):
    # pandas is a third of a large read's memory; only the tables need it.
    code = ("import sys, tessera; tessera.read_spectra(sys.argv[1]); "
            "assert 'pandas' not in sys.modules, 'pandas loaded'")
    done = subprocess.run([sys.executable, "-c", code, bsa1], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr


@pytest.fixture(scope="module")
def clustered(bsa1, run_program):
    return tessera.cluster(bsa1, threads=2), run_program("cluster", bsa1, "--threads", "1")


def test_cluster_equals_the_program_row_for_row(clustered):
    result, folder = clustered
    program = tessera.load_results(str(folder))
    pd.testing.assert_frame_equal(result.table, program["clusters.tsv"])
    pd.testing.assert_frame_equal(result.clusters, program["clusters.csv"])
    # The program's file itself, read without the module's reader.
    raw = rows_of(folder / "clusters.tsv", "\t")
    assert raw[0] == list(result.table.columns) and len(raw) - 1 == len(result.table) == 1120
    assert [r[0] for r in raw[1:]] == list(result.table["file"])
    assert [int(r[7]) for r in raw[1:]] == list(result.table["cluster"])
    assert len(result.spectra) == result.table["cluster"].nunique()


def test_pair_search_equals_the_program(bsa1, run_program):
    result = tessera.pair_search(bsa1, threads=2)
    folder = run_program("cluster", bsa1, "--type", "pairs", "--threads", "1")
    raw = rows_of(folder / "pairs.csv", ",")
    assert len(raw) == len(result.pairs) > 0
    assert [(r[0], r[2]) for r in raw] == list(zip(result.pairs["name1"], result.pairs["name2"]))
    assert [float(r[5]) for r in raw] == list(result.pairs["similarity"])
    program = tessera.load_results(str(folder))
    pd.testing.assert_frame_equal(result.shifts, program["temp.temp"])


def test_spectra_objects_cluster_as_their_mgf_file(bsa1):
    spectra = tessera.read_spectra(bsa1)[:300]
    made = tessera.Spectrum("made.1.1.2.dta", 500.0, 2, [100.0, 200.0], [1.0, 2.0])
    assert made.precursor_mass == pytest.approx(998.992724)
    result = tessera.cluster(spectra, consensus_type="none")
    assert len(result.table) == 300 and result.spectra == []


@pytest.mark.parametrize("function, options, words", [
    (tessera.cluster, dict(threshold=2), "--threshold"),
    (tessera.cluster, dict(precursor_tol=20), "give a unit"),
    (tessera.cluster, dict(consensus_type="best"), "--consensus-type"),
    (tessera.cluster, dict(no_such_option=1), "--no-such-option"),
    (tessera.pair_search, dict(shift_lower=50, shift_upper=10), "--shift-lower"),
    (tessera.pair_search, dict(similar_method="Cosine"), "--similar-method"),
])
def test_bad_values_raise_value_error_with_the_programs_message(bsa1, function, options, words):
    with pytest.raises(ValueError, match=words):
        function(bsa1, **options)


def test_damaged_and_missing_files_raise(tmp_path):
    damaged = tmp_path / "cut.mzML"
    damaged.write_text("<?xml version='1.0'?><mzML><run>")
    with pytest.raises(RuntimeError, match="cut.mzML"):
        tessera.read_spectra(str(damaged))
    with pytest.raises(RuntimeError, match="cut.mzML"):
        tessera.cluster(str(damaged))
    with pytest.raises(FileNotFoundError):
        tessera.read_spectra(str(tmp_path / "none.mgf"))
    with pytest.raises(FileNotFoundError):
        tessera.pair_search(str(tmp_path / "none.mgf"))
    (tmp_path / "run.xyz").write_text("x")
    with pytest.raises(ValueError):
        tessera.read_spectra(str(tmp_path / "run.xyz"))


def test_load_results_reads_every_table_of_a_folder(tmp_path):
    (tmp_path / "pairs.csv").write_text("a.1.1.2.dta,1000.5,b.2.2.2.dta,984.5,16.0,0.7, 16\n")
    (tmp_path / "spectral_pair_shifts.csv").write_text("15.994915,3, 0, 0, 0, 0, 0\n")
    (tmp_path / "propagated.tsv").write_text(
        "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value\n"
        "b.2.2.2.dta\tPEPTIDE\t\tpairs\ta.1.1.2.dta\t\tNA\tNA\n")
    (tmp_path / "clusters.summary.json").write_text('{"program": "cluster", "counts": {"clusters": 2}}')
    (tmp_path / "notes.txt").write_text("left out")
    tables = tessera.load_results(str(tmp_path))
    assert sorted(tables) == ["clusters.summary.json", "pairs.csv", "propagated.tsv", "spectral_pair_shifts.csv"]
    assert tables["pairs.csv"].iloc[0].tolist() == ["a.1.1.2.dta", 1000.5, "b.2.2.2.dta", 984.5, 16.0, 0.7, 16]
    assert tables["spectral_pair_shifts.csv"]["pairs"].tolist() == [3]
    row = tables["propagated.tsv"].iloc[0]
    assert row["modifications"] == "" and pd.isna(row["shift"]) and pd.isna(row["q_value"])
    assert tables["clusters.summary.json"]["counts"]["clusters"] == 2
    with pytest.raises(FileNotFoundError):
        tessera.load_results(str(tmp_path / "none"))


def test_ctrl_c_stops_a_clustering(bsa1, tmp_path):
    # The alarm goes off while the run loads; the engine's next progress
    # step sees it and the run ends with KeyboardInterrupt.
    def interrupt(signum, frame):
        raise KeyboardInterrupt

    before = os.getcwd()
    previous = signal.signal(signal.SIGALRM, interrupt)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.05)
        with pytest.raises(KeyboardInterrupt) as caught:
            tessera.cluster(bsa1, threads=1, consensus_type="none", output=str(tmp_path / "out"))
        # Raised inside the engine's call, not before it, and the run
        # stopped there: the cluster file, written last, is not there.
        assert "run_cluster" in str(caught.traceback[-2].statement)
        assert (tmp_path / "out" / "cluster.para").exists()
        assert not (tmp_path / "out" / "clusters.csv").exists()
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    # The job worked in its own folder; the interpreter's is given back.
    assert os.getcwd() == before


@pytest.mark.parametrize("name, text", [
    ("clusters.tsv", "file\tscan\ttitle\tprecursor_mz\tcharge\trt_seconds\tcluster\tcluster_size\tis_representative\n"
                     "a.mgf\t\tx\t500.25\t2\t\t7\t1\t1\r\nb.mgf\t12\t\t1e3\t\t3.5\t8\t2\t0\r\n"),
    ("clusters.tsv", "file\tscan\tprecursor_mz\n"),
    ("propagated.tsv", "spectrum\tsequence\tshift\tscore\tq_value\n"
                       "a\tPEP\t15.994915\tNA\t0.01\nb\t\t\t12.5\tNA\n"),
    ("clusters.tsv", "file\tscan\ttitle\nÄ.mgf\t1\tÄ\nÄ.mgf\t-2\tÄ\nb.mgf\t3\tNA\n"),
    ("clusters.csv", "1,a.1.1.2.dta,1,1000.5\n2,b.2.2.2.dta,1,999.25\n"),
    ("clusters.csv", "1,a.1.1.2.dta,1,1000.5\n2,b.2.2.2.dta,1\n"),  # a short row
    ("pairs.csv", "a,1000.5,b,984.5,16.0,0.7, 16\nc,1.0,d,2.0,1.0,0.5, -3\n"),
    ("temp.temp", "15.994915,3, 0, 0, 0, 0, 0\n\n-2.5,1, 1.5, 0.25, 1, 900, 902.5\n"),
    # Cells the parser refuses: the text road's answer (NaN for a bad number).
    ("temp.temp", "15.994915,3, 0, 0, 0, 0, junk\n"),
])
def test_tables_read_as_the_cell_by_cell_conversion_reads_them(tmp_path, name, text):
    from tessera import _tables
    path = tmp_path / name
    path.write_bytes(text.encode())
    table = tessera.load_results(str(tmp_path))[name]
    reader = _tables._reader_of(name)
    names = None if name.endswith(".tsv") else list(table.columns)
    reals = _tables._REALS | ({"shift"} if name == "propagated.tsv" else set())
    sep = "\t" if name.endswith(".tsv") else ","
    slow = _tables._typed(_tables._read_text(str(path), sep, names), reals)
    # The same values as converting cell by cell, and each kind of column
    # with one type whatever its cells hold (a whole-number mass is a real).
    pd.testing.assert_frame_equal(table, slow, check_dtype=False)
    kinds = ["float64" if c in reals else "Int64" if c in _tables._INTEGERS else "object" for c in table.columns]
    assert reader is not None and list(table.dtypes.astype(str)) == kinds
