#!/usr/bin/env bash
# A one-node Slurm on this machine, the partitioned clustering workflow run
# through it on the three BSA runs of openms-doc, the result compared with
# one `cluster` run, and the daemons it started stopped again. With --study,
# the study pipeline (workflows/study.smk) instead: the BSA1 and BSA2 runs
# with BSA1's identifications, through Slurm and on local cores, and their
# tables compared.
#
#   scripts/slurm-demo.sh [--build DIR] [--work DIR] [--parts N] [--type 0|1] [--study]
#
# Installs slurm-wlm and munge when they are missing (a demo, so they are not
# among the project's dependencies). Everything else stays in the work
# folder: its own munge key and socket, slurm.conf (proctrack/linuxproc,
# task/none, no cgroups), state, spool and logs; ports 16817/16818.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
work=/tmp/tessera-slurm-demo
parts=3
type=0
study=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --parts) parts=$2; shift 2 ;;
    --type) type=$2; shift 2 ;;
    --study) study=1; shift ;;
    *) echo "usage: scripts/slurm-demo.sh [--build DIR] [--work DIR] [--parts N] [--type 0|1] [--study]"; exit 2 ;;
  esac
done
bin="$build/bin"
for p in cluster; do
  [ -x "$bin/$p" ] || { echo "$bin/$p is missing: build the project first"; exit 1; }
done
command -v snakemake > /dev/null || { echo "snakemake is missing: run scripts/install-deps.sh"; exit 1; }
bsa=/usr/share/doc/openms/examples/BSA
[ -f "$bsa/BSA1.mzML" ] || { echo "the BSA runs of openms-doc are missing"; exit 1; }

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if ! command -v slurmctld > /dev/null || ! command -v munged > /dev/null; then
  echo "Installing slurm-wlm and munge for the demo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends slurm-wlm munge
fi

rm -rf "$work"
mkdir -p "$work"/{munge,slurm/state,slurm/spool,slurm/log,run}
chmod 700 "$work/munge"
export USER=${USER:-$(id -un)}
node=$(hostname -s)
cpus=$(nproc)
memory=$(awk '/MemTotal/ { print int($2 / 1024 * 0.8) }' /proc/meminfo)

# munge with a key of its own; root is refused unless forced.
dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$work/munge/munge.key"
socket="$work/munge/munge.socket"
started=()
stop() {
  # Only the daemons this script started, newest first, and wait for them.
  local k pid
  for ((k = ${#started[@]} - 1; k >= 0; k--)); do
    pid=$(cat "${started[k]}" 2> /dev/null || true)
    [ -n "$pid" ] || continue
    kill "$pid" 2> /dev/null || true
    for _ in $(seq 1 20); do
      kill -0 "$pid" 2> /dev/null || break
      sleep 0.5
    done
  done
}
trap stop EXIT
force=""
if [ "$(id -u)" -eq 0 ]; then force="--force"; fi
munged $force --key-file="$work/munge/munge.key" --socket="$socket" \
  --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
  --seed-file="$work/munge/munged.seed"
started+=("$work/munge/munged.pid")

export SLURM_CONF="$work/slurm/slurm.conf"
cat > "$SLURM_CONF" << EOF
ClusterName=tessera-demo
SlurmctldHost=$node
SlurmUser=$(id -un)
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
SlurmctldPort=16817
SlurmdPort=16818
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
MpiDefault=none
ReturnToService=2
SlurmdParameters=config_overrides
StateSaveLocation=$work/slurm/state
SlurmdSpoolDir=$work/slurm/spool
SlurmctldPidFile=$work/slurm/slurmctld.pid
SlurmdPidFile=$work/slurm/slurmd.pid
SlurmctldLogFile=$work/slurm/log/slurmctld.log
SlurmdLogFile=$work/slurm/log/slurmd.log
NodeName=$node CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=demo Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF

slurmctld -f "$SLURM_CONF"
started+=("$work/slurm/slurmctld.pid")
slurmd -f "$SLURM_CONF"
started+=("$work/slurm/slurmd.pid")

echo "Waiting for the node"
for _ in $(seq 1 30); do
  state=$(sinfo -h -n "$node" -o %T 2> /dev/null || true)
  case "$state" in idle*|mixed*|allocated*) break ;; esac
  sleep 1
done
sinfo
case "$state" in
  idle*|mixed*|allocated*) ;;
  *)
    echo "The one-node Slurm did not come up (node state: '${state:-none}'). Logs:"
    tail -n 20 "$work/slurm/log/slurmctld.log" "$work/slurm/log/slurmd.log" 2> /dev/null || true
    exit 1
    ;;
esac

if [ "$study" = 1 ]; then
  # The same study twice: on local cores and as Slurm jobs.
  mkdir -p "$work/study"
  cat > "$work/study/study.yaml" << EOF
runs: [$bsa/BSA1.mzML, $bsa/BSA2.mzML]
identifications: {BSA1: $root/data/BSA/BSA1_Comet.pep.xml}
bin: $bin
threads: $cpus
EOF
  (cd "$work/study" && snakemake --cores "$cpus" -s "$root/workflows/study.smk" --configfile study.yaml \
     --config output=local > local.log 2>&1)
  # Slurm runs each job in the folder Snakemake was started in: start it in
  # the results folder.
  mkdir -p "$work/study/slurm"
  (cd "$work/study" && snakemake --slurm --jobs 4 --profile "$root/workflows/slurm" -s "$root/workflows/study.smk" \
     --directory "$work/study/slurm" --configfile study.yaml --config output="$work/study/slurm" \
     --default-resources slurm_partition=demo > slurm.log 2>&1)
  for table in clusters.tsv pooled/clustering/clusters.csv pooled/pairs/pairs.csv pooled/pairs/temp.temp \
               propagated.tsv; do
    cmp "$work/study/local/$table" "$work/study/slurm/$table"
  done
  echo "The study pipeline through Slurm wrote the same tables as on local cores."
  exit 0
fi

# The job: the three BSA runs pooled into one MGF (names and masses as the
# runs give them), clustered once directly and once as parts through Slurm.
cat "$bsa"/BSA1.mzML > /dev/null
job="$work/run"
para() {  # para <folder>
  cat << EOF
[file]
data_type=2
data_directory=$job/bsa.mgf
out_directory=$1/out
cluster_result=$1/result.csv
[preprocessing]
small_peaks_count_filter=5
[similarity]
similar_method=$([ "$type" = 1 ] && echo 3 || echo 2)
[cluster]
cluster_type=$type
score_log=0
precursor_ion_tol=1.5
precursor_ion_tol_type=Da
threshold=0.55
consensus_type=2
[modification]
lower_mass=6
upper_mass=200
EOF
}
# One MGF of the three runs: the plan of a one-part job writes exactly that.
mkdir -p "$job/one" "$job/split" "$job/pool"
for run in BSA1 BSA2 BSA3; do
  printf '[file]\ndata_type=4\ndata_directory=%s\ncluster_result=%s\n[cluster]\ncluster_type=1\nscore_log=0\n' \
    "$bsa/$run.mzML" "$job/pool/$run.csv" > "$job/pool/$run.para"
  "$bin/cluster" --plan 1 "$job/pool/$run.para" "$job/pool/$run" > /dev/null
  cat "$job/pool/$run"/part_000/spectra.* >> "$job/bsa.mgf"
done
para "$job/one" > "$job/one/job.para"
para "$job/split" > "$job/split/job.para"
(cd "$job/one" && "$bin/cluster" job.para > cluster.log)

cd "$job/split"
snakemake --slurm --jobs "$parts" -s "$root/workflows/cluster.smk" \
  --profile "$root/workflows/slurm" \
  --config para=job.para parts="$parts" workdir=work cluster="$bin/cluster" \
  partition_program="$bin/cluster" slurm_partition=demo
cat work/manifest.tsv
echo "Slurm jobs:"
squeue -a || true

cmp "$job/one/result.csv" "$job/split/result.csv"
diff -r "$job/one/out" "$job/split/out" > /dev/null 2>&1 || [ ! -d "$job/one/out" ]
if [ "$type" = 1 ]; then cmp "$job/one/temp.temp" "$job/split/temp.temp"; fi
echo "The workflow through Slurm wrote the same files as one cluster run."
