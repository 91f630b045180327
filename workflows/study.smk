# The study pipeline: the whole job on many runs.
#
#   snakemake --cores N -s workflows/study.smk --configfile study.yaml
#   snakemake --profile workflows/slurm -s workflows/study.smk --configfile study.yaml \
#       --directory RESULTS        (the folder of `output`; paths in the config absolute)
#
# Per run, side by side: the Comet search (when a FASTA is given), the
# run's spectra as DTA files (the spectra propagation scores on), Shiftscan.
# Pooled over all runs: clustering with consensus spectra, the spectral pair
# search with decoy pairs, propagation across runs with transfer
# confidence, the shift-aware confirmation (with a FASTA), the network, the
# pictures and the report. Every step is one of the project's programs;
# each writes a summary (*.summary.json) beside its outputs, from which the
# report and the closing summary are made. The programs run quietly (the
# pipeline's own lines are the progress); what they print goes to the
# step's log, their errors to the console under the step's name.
#
# The config (YAML; see workflows/study.yaml):
#   runs:            run files (mzML, mzXML, MGF, MS2); their base names name the
#                    spectra, so no two may share one
#   fasta:           protein database: each run is searched with Comet
#   identifications: or, instead, a result file per run: {BASE: FILE}; runs
#                    without one are propagated onto, not from
#   output:          the results folder (default: results)
#   px:              ProteomeXchange accession for USIs (optional)
#   threads:         threads of each program (default: the cores given; 4 per
#                    job on a cluster)
#   cluster_threshold, pair_threshold, shift_lower, shift_upper,
#   precursor_tol, fragment_tol: the steps' settings (defaults below)
#   bin:             folder of the programs (default: the build's build/bin)
#
# The config is checked before any work: a run named twice, two runs with
# one base name, a missing file or an unknown key stop the pipeline at once.

import os

from snakemake.exceptions import WorkflowError


def default_bin():
    built = os.path.normpath(os.path.join(workflow.basedir, os.pardir, "build", "bin"))
    return built if os.access(os.path.join(built, "cluster"), os.X_OK) else ""


KNOWN_KEYS = {
    "runs", "fasta", "identifications", "output", "px", "threads", "bin", "cluster_threshold",
    "pair_threshold", "shift_lower", "shift_upper", "precursor_tol", "fragment_tol",
}
RUN_EXTENSIONS = (".mzml", ".mzxml", ".mgf", ".ms2")


def refuse(message):
    raise WorkflowError("study config: " + message)


def checked_config(config):
    unknown = sorted(set(config) - KNOWN_KEYS)
    if unknown:
        refuse("unknown key " + ", ".join(unknown) + " (known: " + ", ".join(sorted(KNOWN_KEYS)) + ")")
    runs = config.get("runs")
    if not isinstance(runs, list) or not runs:
        refuse("'runs' must list at least one run file")
    paths, bases = {}, {}
    for run in runs:
        if not isinstance(run, str) or not run:
            refuse("a run must be a file name, not " + repr(run))
        path = os.path.abspath(run)
        if path in paths:
            refuse(run + " is named twice")
        if not path.lower().endswith(RUN_EXTENSIONS):
            refuse(run + " is not an mzML, mzXML, MGF or MS2 file")
        if not os.path.isfile(path):
            refuse("no such run: " + run)
        base = os.path.splitext(os.path.basename(path))[0]
        if base in bases:
            refuse(bases[base] + " and " + run + " share the base name " + base +
                   ", which names their spectra: rename one")
        paths[path] = base
        bases[base] = run
    fasta = config.get("fasta")
    ids = config.get("identifications") or {}
    if fasta and ids:
        refuse("give either 'fasta' (each run is searched) or 'identifications', not both")
    if fasta and not os.path.isfile(fasta):
        refuse("no such FASTA file: " + fasta)
    if not isinstance(ids, dict):
        refuse("'identifications' maps a run's base name to its result file")
    for base, path in ids.items():
        if base not in bases:
            refuse("identifications of " + str(base) + ", which is no run's base name (" +
                   ", ".join(sorted(bases)) + ")")
        if not os.path.isfile(str(path)):
            refuse("no such identification file: " + str(path))
    return {base: path for path, base in paths.items()}


RUNS = checked_config(config)  # base name -> run file
FASTA = os.path.abspath(config["fasta"]) if config.get("fasta") else ""
IDS = {base: os.path.abspath(str(path)) for base, path in (config.get("identifications") or {}).items()}
if FASTA:
    IDS = {base: f"runs/{base}/search/{base}.pep.xml" for base in RUNS}
BIN = os.path.abspath(config["bin"]) if config.get("bin") else default_bin()
OUT = config.get("output", "results")
def default_threads():
    # On a cluster no core count is given: each job asks for a few.
    try:
        return workflow.cores or 1
    except WorkflowError:
        return 4


THREADS = int(config.get("threads", default_threads()))
CLUSTER_THRESHOLD = float(config.get("cluster_threshold", 0.6))
PAIR_THRESHOLD = float(config.get("pair_threshold", 0.6))
SHIFT_LOWER = int(config.get("shift_lower", 6))
SHIFT_UPPER = int(config.get("shift_upper", 200))
PRECURSOR_TOL = str(config.get("precursor_tol", "20ppm"))
FRAGMENT_TOL = str(config.get("fragment_tol", "0.5Da"))
PX = ["--px", config["px"]] if config.get("px") else []


def tool(name):
    return os.path.join(BIN, name) if BIN else name


tool_search = tool("tessera-search")
tool_export = tool("dtaexport")
tool_shiftscan = tool("Shiftscan")
tool_cluster = tool("cluster")
tool_plot = tool("tessera-plot")
tool_propagate = tool("propagate")
tool_confirm = tool("tessera-confirm")
tool_report = tool("tessera-report")

# Into the results folder, unless Snakemake already runs there (--directory):
# Slurm jobs are submitted from the folder Snakemake started in, and their
# logs are named from there.
if os.path.realpath(OUT) != os.path.realpath(os.getcwd()):
    workflow.workdir(OUT)


wildcard_constraints:
    run="[^/]+",


def final_outputs():
    outputs = ["report.html", "clusters.tsv", "network.graphml"]
    if IDS:
        outputs.append("propagated.tsv")
    if FASTA:
        outputs.append("pooled/confirmation/confirmation.summary.json")
    return outputs


rule all:
    input:
        final_outputs(),


rule search:
    input:
        run=lambda w: RUNS[w.run],
        fasta=FASTA or [],
    output:
        ids="runs/{run}/search/{run}.pep.xml",
        params="runs/{run}/search/comet.params",
        summary="runs/{run}/search/{run}.summary.json",
    threads: THREADS
    log:
        "runs/{run}/search/search.log",
    shell:
        "{tool_search:q} {input.run:q} --fasta {input.fasta:q} -o runs/{wildcards.run}/search "
        "--threads {threads} --quiet > {log:q}"


rule export:
    input:
        lambda w: RUNS[w.run],
    output:
        spectra=directory("runs/{run}/spectra"),
        summary="runs/{run}/spectra.summary.json",
    log:
        "runs/{run}/export.log",
    shell:
        "{tool_export:q} {input:q} -o {output.spectra:q} --quiet > {log:q}"


rule shiftscan:
    # The stricter thresholds of the main job: shifts that stand well above
    # the background (see Shiftscan --help).
    input:
        lambda w: RUNS[w.run],
    output:
        summary="runs/{run}/shiftscan/shiftscan.summary.json",
        plot="runs/{run}/shiftscan/shifts.png",
    log:
        "runs/{run}/shiftscan.log",
    shell:
        "{tool_shiftscan:q} {input:q} -o runs/{wildcards.run}/shiftscan --shift-lower 1 --shift-upper 200 "
        "--mass-lower 400 --mass-upper 6000 --time-upper 100000 --t-d-score 20 --t-delta-c 0.4 "
        "--find-pairs --pp-threshold 0.98 --max-data 5000 --plot {output.plot:q} --quiet --no-wait "
        "> {log:q}"


rule cluster:
    # The runs themselves, not their DTA files: each spectrum keeps its
    # run, scan, native id, title and retention time.
    input:
        list(RUNS.values()),
    output:
        clusters="pooled/clustering/clusters.csv",
        table="pooled/clustering/clusters.tsv",
        spectra=directory("pooled/clustering/spectra"),
        summary="pooled/clustering/clusters.summary.json",
    threads: THREADS
    log:
        "pooled/clustering.log",
    params:
        px=PX,
    shell:
        "{tool_cluster:q} {input:q} -o pooled/clustering --threshold {CLUSTER_THRESHOLD} "
        "--precursor-tol {PRECURSOR_TOL} --spectra-format dta {params.px} --threads {threads} "
        "--quiet --no-wait > {log:q}"


rule cluster_sizes:
    input:
        "pooled/clustering/clusters.csv",
    output:
        "pooled/clustering/cluster_sizes.png",
    shell:
        "{tool_plot:q} sizes {input:q} {output:q}"


rule pairs:
    # Among the clustering's output spectra: propagation knows a clustered
    # spectrum by its cluster's consensus.
    input:
        "pooled/clustering/spectra",
    output:
        pairs="pooled/pairs/pairs.csv",
        summary="pooled/pairs/pairs.summary.json",
        plot="pooled/pairs/shifts.png",
    threads: THREADS
    log:
        "pooled/pairs.log",
    shell:
        "{tool_cluster:q} {input:q} -o pooled/pairs --type pairs --threshold {PAIR_THRESHOLD} "
        "--shift-lower {SHIFT_LOWER} --shift-upper {SHIFT_UPPER} --precursor-tol {PRECURSOR_TOL} "
        "--fragment-tol {FRAGMENT_TOL} --decoy-pairs --plot {output.plot:q} --threads {threads} "
        "--quiet --no-wait > {log:q}"


def ids_options(flag):
    return " ".join(f"{flag} '{path}'" for path in IDS.values())


rule propagate:
    input:
        pairs="pooled/pairs/pairs.csv",
        pair_shifts="pooled/pairs/pairs.summary.json",
        clusters="pooled/clustering/clusters.csv",
        spectra="pooled/clustering/spectra",
        ids=list(IDS.values()),
        own=expand("runs/{run}/spectra", run=RUNS),
        shiftscans=expand("runs/{run}/shiftscan/shiftscan.summary.json", run=RUNS),
        fasta=[FASTA] if FASTA else [],
    output:
        table="pooled/propagation/propagated.tsv",
        summary="pooled/propagation/propagation.summary.json",
    log:
        "pooled/propagation.log",
    params:
        ids=lambda w: ids_options("--ids"),
        own=lambda w, input: " ".join(f"--score-spectra '{d}'" for d in input.own),
        # The shifts the pair search and Shiftscan observed, and the
        # database: what a transfer must explain better than.
        shifts=lambda w, input: " ".join(
            f"--shifts '{os.path.join(os.path.dirname(s), 'temp.temp')}'"
            for s in [input.pair_shifts] + list(input.shiftscans)),
        fasta=lambda w, input: f"--fasta '{input.fasta[0]}'" if input.fasta else "",
    shell:
        "{tool_propagate:q} --pairs {input.pairs:q} --clusters {input.clusters:q} "
        "--spectra {input.spectra:q} {params.ids} --sites --table {output.table:q} {params.own} "
        "{params.shifts} {params.fasta} -o pooled/propagation --quiet > {log:q}"


rule network:
    input:
        pairs="pooled/pairs/pairs.csv",
        clusters="pooled/clustering/clusters.csv",
        spectra="pooled/clustering/spectra",
        propagated="pooled/propagation/propagated.tsv" if IDS else [],
        ids=list(IDS.values()),
    output:
        "pooled/network.graphml",
    log:
        "pooled/network.log",
    params:
        ids=lambda w, input: (ids_options("--ids") + f" --propagated '{input.propagated}'") if IDS else "",
        # Retention times of the nodes, which DTA files lack.
        runs=" ".join(f"--run '{path}'" for path in RUNS.values()),
    shell:
        "{tool_cluster:q} --network {output:q} --pairs {input.pairs:q} --spectra {input.spectra:q} "
        "--clusters {input.clusters:q} {params.ids} {params.runs} > {log:q}"


rule confirm:
    input:
        propagated="pooled/propagation/propagated.tsv",
        ids=list(IDS.values()),
        own=expand("runs/{run}/spectra", run=RUNS),
        consensus="pooled/clustering/spectra",
        params=f"runs/{next(iter(RUNS))}/search/comet.params" if FASTA else [],
    output:
        "pooled/confirmation/confirmation.summary.json",
    threads: THREADS
    log:
        "pooled/confirmation.log",
    params:
        ids=lambda w: ids_options("--ids"),
        spectra=lambda w, input: " ".join(f"--spectra '{d}'" for d in input.own + [input.consensus]),
    shell:
        "{tool_confirm:q} --propagated {input.propagated:q} {params.ids} --fasta {FASTA:q} "
        "{params.spectra} --comet-params {input.params:q} -o pooled/confirmation --threads {threads} "
        "--quiet > {log:q}"


rule top_level_tables:
    # The results folder of a single-run main job had these at its top.
    input:
        table="pooled/clustering/clusters.tsv",
        network="pooled/network.graphml",
        propagated="pooled/propagation/propagated.tsv" if IDS else [],
    output:
        table="clusters.tsv",
        network="network.graphml",
        propagated="propagated.tsv" if IDS else [],
    # Copies, not links: a link shares its target's time, which Snakemake
    # may then see as newer than the copy it made.
    shell:
        "cp {input.table:q} {output.table:q} && cp {input.network:q} {output.network:q}"
        + (" && cp {input.propagated:q} {output.propagated:q}" if IDS else "")


def report_inputs(wildcards):
    inputs = [
        "pooled/clustering/clusters.summary.json",
        "pooled/clustering/cluster_sizes.png",
        "pooled/pairs/pairs.summary.json",
        "pooled/network.graphml",
    ]
    inputs += expand("runs/{run}/shiftscan/shiftscan.summary.json", run=RUNS)
    inputs += expand("runs/{run}/spectra.summary.json", run=RUNS)
    if FASTA:
        inputs += expand("runs/{run}/search/{run}.summary.json", run=RUNS)
        inputs.append("pooled/confirmation/confirmation.summary.json")
    if IDS:
        inputs.append("pooled/propagation/propagation.summary.json")
    return inputs


rule report:
    input:
        report_inputs,
    output:
        "report.html",
    shell:
        "{tool_report:q} . -o {output:q}"
