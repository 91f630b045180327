# Partitioned clustering: plan the job as parts, run one `cluster` job per
# part, merge the parts' files into the files one `cluster` run writes.
#
#   snakemake --cores N -s workflows/cluster.smk \
#       --config para=<parameter file> parts=<N> workdir=<work folder>
#
# Further config keys (all optional):
#   cluster=<program>            the clustering program (default: the
#                                build's build/bin/cluster, else cluster on PATH)
#   partition_program=<program>  the program that plans and merges
#                                (default: as cluster)
#   threads_per_part=<T>         threads of each part's `cluster` (default 1)
#   slurm_partition=<name>       Slurm partition of the part jobs
#   pairs_per_second=<R>         scoring speed of one thread, for the time
#                                asked per part (default 5000000)
#   mem_per_spectrum_kb=<K>      memory per spectrum of a part (default 2)
#
# Run the workflow from the folder one `cluster` run would run in: the
# merged files go where the parameter file names them, and "temp.temp"
# (pair search) into that folder, as `cluster` writes them.

import csv
import os


def program(name):
    # Part jobs run in their part folder: a relative path must not break.
    return os.path.abspath(name) if os.sep in name else name


def default_program():
    # A fresh clone builds its programs into build/bin, not onto PATH: take
    # that one when it is there, so the README's command runs as written.
    built = os.path.join(workflow.basedir, os.pardir, "build", "bin", "cluster")
    return os.path.normpath(built) if os.access(built, os.X_OK) else "cluster"


PARA = config["para"]
PARTS = int(config.get("parts", 2))
WORK = config["workdir"].rstrip("/") or "/"
CLUSTER = program(str(config.get("cluster", default_program())))
PARTITION = program(str(config.get("partition_program", default_program())))
THREADS = int(config.get("threads_per_part", 1))
PAIRS_PER_SECOND = float(config.get("pairs_per_second", 5e6))
MEM_PER_SPECTRUM_KB = float(config.get("mem_per_spectrum_kb", 2))
SLURM_PARTITION = config.get("slurm_partition", "")

wildcard_constraints:
    part=r"part_\d+",


def manifest():
    with open(os.path.join(WORK, "manifest.tsv"), newline="") as f:
        return {row["part"]: row for row in csv.DictReader(f, delimiter="\t")}


def part_mem_mb(wildcards):
    # Spectra and prepared peaks, plus the largest block's two score
    # matrices (2 bytes a pair each), with half as much again to spare.
    row = manifest()[wildcards.part]
    spectra = int(row["spectra"])
    largest = int(row["largest"])
    need = 256 + spectra * MEM_PER_SPECTRUM_KB / 1024 + 2 * largest * largest / 2**20
    return int(need * 1.5)


def part_runtime(wildcards):
    # Minutes: the estimated pairs at the given speed, three times over.
    row = manifest()[wildcards.part]
    seconds = int(row["work"]) / (PAIRS_PER_SECOND * THREADS)
    return int(10 + 3 * seconds / 60)


def data_mb(path):
    # The spectra the parameter file names, a file or a folder of files.
    data = ""
    with open(path, errors="replace") as f:
        for line in f:
            if line.lower().startswith("data_directory="):
                data = line.split("=", 1)[1].strip()
    if os.path.isdir(data):
        return sum(e.stat().st_size for e in os.scandir(data) if e.is_file()) / 2**20
    return os.path.getsize(data) / 2**20 if os.path.isfile(data) else 0


def part_results(wildcards):
    checkpoints.plan.get()
    return [os.path.join(WORK, part, "result.txt") for part in manifest()]


localrules:
    all,


rule all:
    input:
        os.path.join(WORK, "merge.log"),


checkpoint plan:
    input:
        PARA,
    output:
        os.path.join(WORK, "plan.txt"),
    log:
        os.path.join(WORK, "plan.log"),
    resources:
        # All spectra in memory, as one run holds them.
        mem_mb=lambda wildcards, input: int(1024 + 3 * data_mb(input[0])),
    shell:
        "{PARTITION:q} --plan {PARTS} {input:q} {WORK:q} > {log:q} 2>&1"


rule part:
    input:
        os.path.join(WORK, "plan.txt"),
    output:
        os.path.join(WORK, "{part}", "result.txt"),
    threads: THREADS
    resources:
        mem_mb=part_mem_mb,
        runtime=part_runtime,
        slurm_partition=SLURM_PARTITION,
    shell:
        "cd {WORK:q}/{wildcards.part} && "
        "{CLUSTER:q} --threads {threads} part.para > cluster.log 2>&1"


rule merge:
    input:
        part_results,
    output:
        os.path.join(WORK, "merge.log"),
    shell:
        "{PARTITION:q} --merge {WORK:q} > {output:q}.tmp 2>&1 && mv {output:q}.tmp {output:q} "
        "|| {{ cat {output:q}.tmp >&2; exit 1; }}"
