"""The study pipeline end to end on a small study: two short runs (slices of
the BSA1 and BSA2 runs of openms-doc) searched with Comet, clustered and
propagated together.

    python3 workflows/tests/test_study.py SOURCE_DIR BIN_DIR

Checks the counts of the summaries against the tables, the provenance of
every row, transfers between the runs, that a second run of the pipeline
has nothing to do, and the refusals and failures of bad studies.
"""

import csv
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE, BIN = (os.path.abspath(p) for p in sys.argv[1:3])
del sys.argv[1:3]
BSA = "/usr/share/doc/openms/examples/BSA"
FASTA = "/usr/share/doc/openms/examples/TOPPAS/data/BSA_Identification/18Protein_SoCe_Tr_detergents_trace.fasta"
SNAKEFILE = os.path.join(SOURCE, "workflows", "study.smk")
SCANS = range(600, 1100)  # the part of the runs where the search identifies most


def mgf_slice(run, folder):
    """The run's spectra of SCANS as an MGF named like the run."""
    full = os.path.join(folder, "full.mgf")
    subprocess.run([os.path.join(BIN, "dtaexport"), run, "--mgf", full, "--quiet"], check=True,
                   stdout=subprocess.DEVNULL)
    out = os.path.join(folder, os.path.basename(run).replace(".mzML", ".mgf"))
    with open(full) as text, open(out, "w") as kept:
        block = []
        for line in text:
            block.append(line)
            if line.startswith("END IONS"):
                scan = next(int(b.split("=")[1]) for b in block if b.startswith("SCANS="))
                if scan in SCANS:
                    kept.writelines(block)
                block = []
    os.remove(full)
    return out


def small_fasta(folder):
    """The standard proteins of the BSA database and a few hundred of its
    background proteome: the searches of the test take seconds, not
    minutes, and still find the runs' peptides at 1% FDR."""
    out = os.path.join(folder, "standards.fasta")
    background = 0
    with open(FASTA) as text, open(out, "w") as kept:
        keep = False
        for line in text:
            if line.startswith(">"):
                keep = "_SORC5" not in line or background < 300
                background += "_SORC5" in line
            if keep:
                kept.write(line)
    return out


def snakemake(config, folder, *extra):
    path = os.path.join(folder, "study.yaml")
    with open(path, "w") as f:
        json.dump(config, f)  # JSON is YAML
    return subprocess.run(["snakemake", "--cores", "2", "-s", SNAKEFILE, "--configfile", path,
                           "--config", f"bin={BIN}", *extra],
                          cwd=folder, capture_output=True, text=True)


def summary(path):
    with open(path) as f:
        return json.load(f)


def rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


class Study(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="study-")
        cls.runs = [mgf_slice(os.path.join(BSA, name), cls.folder) for name in ("BSA1.mzML", "BSA2.mzML")]
        cls.results = os.path.join(cls.folder, "results")
        cls.fasta = small_fasta(cls.folder)
        cls.first = snakemake({"runs": cls.runs, "fasta": cls.fasta, "output": cls.results, "px": "PXD000561"},
                              cls.folder)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def setUp(self):
        self.assertEqual(self.first.returncode, 0, self.first.stderr[-3000:])

    def test_counts_of_the_summaries_are_those_of_the_tables(self):
        clustering = summary(os.path.join(self.results, "pooled/clustering/clusters.summary.json"))
        with open(os.path.join(self.results, "pooled/clustering/clusters.csv")) as f:
            clusters = {line.split(",")[2] for line in f}
        self.assertEqual(clustering["counts"]["clusters"], len(clusters))
        for run in ("BSA1", "BSA2"):
            search = summary(os.path.join(self.results, f"runs/{run}/search/{run}.summary.json"))
            self.assertGreater(search["counts"]["identified"], 5, run)
        propagation = summary(os.path.join(self.results, "pooled/propagation/propagation.summary.json"))
        table = rows(os.path.join(self.results, "propagated.tsv"))
        self.assertGreater(len(table), 0)
        self.assertEqual(propagation["counts"]["identified_by_propagation"], len(table))
        self.assertTrue(os.path.getsize(os.path.join(self.results, "report.html")) > 1000)

    def test_every_row_names_its_own_run(self):
        for row in rows(os.path.join(self.results, "clusters.tsv")):
            run = os.path.splitext(row["file"])[0]
            self.assertIn(run, ("BSA1", "BSA2"), row)
            # MGF runs have titles, not native ids.
            self.assertTrue(row["rt_seconds"] and row["scan"] and row["title"].startswith(run + "."), row)
            self.assertIn(f"mzspec:PXD000561:{run}:", row.get("usi", f"mzspec:PXD000561:{run}:"))
        for row in rows(os.path.join(self.results, "propagated.tsv")):
            self.assertEqual(row["run"], row["spectrum"].split(".")[0], row)
            self.assertTrue(set(row["source_run"].split(",")) <= {"BSA1", "BSA2"}, row)

    def test_propagation_crosses_the_runs(self):
        table = rows(os.path.join(self.results, "propagated.tsv"))
        self.assertTrue(any(row["run"] != row["source_run"] for row in table))

    def test_a_second_run_has_nothing_to_do(self):
        again = snakemake({"runs": self.runs, "fasta": self.fasta, "output": self.results, "px": "PXD000561"},
                          self.folder)
        self.assertEqual(again.returncode, 0, again.stderr[-2000:])
        self.assertIn("Nothing to be done", again.stdout + again.stderr, again.stderr[-3000:])


class BadStudies(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="bad-study-")
        self.addCleanup(shutil.rmtree, self.folder)
        self.run1 = os.path.join(self.folder, "BSA1.mzML")
        os.symlink(os.path.join(BSA, "BSA1.mzML"), self.run1)

    def test_config_errors_are_refused_before_any_work(self):
        other = os.path.join(self.folder, "other")
        os.mkdir(other)
        same_base = os.path.join(other, "BSA1.mgf")
        open(same_base, "w").close()
        ids = os.path.join(SOURCE, "data/BSA/BSA1_Comet.pep.xml")
        cases = [
            ({"runs": [self.run1, self.run1], "identifications": {"BSA1": ids}}, "named twice"),
            ({"runs": [self.run1, same_base], "identifications": {"BSA1": ids}}, "share the base name"),
            ({"runs": [self.run1], "fasta": "/no/such.fasta"}, "no such FASTA file"),
            ({"runs": [self.run1], "fasta": FASTA, "treshold": 1}, "unknown key treshold"),
        ]
        for config, message in cases:
            with self.subTest(message):
                config["output"] = os.path.join(self.folder, "results")
                done = snakemake(config, self.folder)
                self.assertNotEqual(done.returncode, 0)
                self.assertIn(message, done.stdout + done.stderr)
                self.assertFalse(os.path.exists(config["output"]))

    def test_a_damaged_run_fails_its_own_steps_and_names_itself(self):
        damaged = os.path.join(self.folder, "broken.mgf")
        with open(damaged, "w") as f:
            f.write("BEGIN IONS\nPEPMASS=abc\n")
        results = os.path.join(self.folder, "results")
        done = snakemake({"runs": [self.run1, damaged],
                          "identifications": {"BSA1": os.path.join(SOURCE, "data/BSA/BSA1_Comet.pep.xml")},
                          "output": results}, self.folder, "--keep-going")
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("broken", done.stdout + done.stderr)
        # The good run's own steps finished.
        self.assertTrue(os.path.exists(os.path.join(results, "runs/BSA1/spectra.summary.json")))
        self.assertTrue(os.path.exists(os.path.join(results, "runs/BSA1/shiftscan/shiftscan.summary.json")))


if __name__ == "__main__":
    unittest.main()
