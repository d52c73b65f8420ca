# A private Slurm cluster on this machine for the farm test and benchmark:
# one controller and one worker ("farmnodePORT", 4 CPUs) started in a folder of
# their own (slurm.conf, state, spool, logs there; localhost; two free ports
# above 20000), munge too where this Slurm lacks auth/none. Sourced:
#   start_local_slurm DIR   sets SLURM_CONF; returns 1 with SLURM_WHY set
#                           when the cluster cannot start here
#   stop_local_slurm        ends the daemons it started (by their ids)
# Where the memory control group hierarchy (v1) can be written, tasks are
# confined to their --mem as on a real cluster (SLURM_MEM_CONFINED=1); the
# node is named after its port so that clusters running side by side use
# control groups of their own, removed again when the cluster stops.
SLURM_PIDS=()
SLURM_WHY=""
SLURM_MEM_CONFINED=0
SLURM_CGROUPS=()

stop_local_slurm() {
  local p
  for p in "${SLURM_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${SLURM_PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  SLURM_PIDS=()
  for p in "${SLURM_CGROUPS[@]}"; do [ -d "$p" ] && { find "$p" -depth -type d -exec rmdir {} + 2>/dev/null || true; }; done
  SLURM_CGROUPS=()
}

start_local_slurm() {
  local d=$1 p base=0 cand i auth
  for p in slurmctld slurmd sbatch scontrol squeue sinfo; do
    command -v "$p" >/dev/null || { SLURM_WHY="$p is not installed (scripts/install-deps.sh installs Slurm)"; return 1; }
  done
  [ "$(id -u)" -eq 0 ] || { SLURM_WHY="slurmd needs root to start tasks (running as $(id -un))"; return 1; }
  mkdir -p "$d/state" "$d/spool" "$d/log"
  # A port is taken when something answers on it or any socket still holds
  # it (ss: a closed one of an earlier run in TIME_WAIT makes bind fail).
  taken() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    command -v ss >/dev/null && ss -Htan 2>/dev/null | awk '{print $4}' | grep -q ":$1\$"
  }
  for i in 1 2 3 4 5 6 7 8; do
    cand=$((20000 + (RANDOM % 20000) * 2))
    if ! taken "$cand" && ! taken "$((cand + 1))"; then
      base=$cand
      break
    fi
  done
  [ "$base" -ne 0 ] || { SLURM_WHY="no free pair of ports found"; return 1; }
  local node=farmnode$base task="TaskPlugin=task/none" select=CR_CPU
  if [ -w /sys/fs/cgroup/memory ] && [ -e /sys/fs/cgroup/memory/memory.limit_in_bytes ] &&
    [ -e "$(ls /usr/lib/*/slurm*/task_cgroup.so 2>/dev/null | head -n 1)" ] &&
    mkdir "/sys/fs/cgroup/memory/tavelo-probe-$base" 2>/dev/null && rmdir "/sys/fs/cgroup/memory/tavelo-probe-$base"; then
    printf 'CgroupPlugin=cgroup/v1\nCgroupMountpoint=/sys/fs/cgroup\nCgroupAutomount=no\nConstrainRAMSpace=yes\n' \
      >"$d/cgroup.conf"
    task="TaskPlugin=task/cgroup" select=CR_CPU_Memory SLURM_MEM_CONFINED=1
    SLURM_CGROUPS+=("/sys/fs/cgroup/memory/slurm_$node")
  fi
  # Slurm 22 still has auth/none; later ones need munge, started here too.
  auth="AuthType=auth/none
CredType=cred/none"
  # (TAVELO_FARM_MUNGE=1 takes the munge road on a Slurm that has both.)
  if [ -n "${TAVELO_FARM_MUNGE:-}" ] || ! ls /usr/lib/*/slurm*/auth_none.so >/dev/null 2>&1; then
    command -v munged >/dev/null || { SLURM_WHY="this Slurm needs munge, which is not installed"; return 1; }
    mkdir -p "$d/munge" && chmod 711 "$d/munge"
    dd if=/dev/urandom of="$d/munge/munge.key" bs=1024 count=1 status=none && chmod 400 "$d/munge/munge.key"
    munged --force -F --socket="$d/munge/sock" --key-file="$d/munge/munge.key" --pid-file="$d/munge/pid" \
      --log-file="$d/log/munged.log" --seed-file="$d/munge/seed" >>"$d/log/munged.out" 2>&1 &
    SLURM_PIDS+=($!)
    for i in $(seq 50); do [ -S "$d/munge/sock" ] && break; sleep 0.1; done
    [ -S "$d/munge/sock" ] || { SLURM_WHY="munged did not start: $(tail -n 3 "$d/log/munged.log" 2>/dev/null)"; return 1; }
    auth="AuthType=auth/munge
AuthInfo=socket=$d/munge/sock
CredType=cred/munge"
  fi
  cat >"$d/slurm.conf" <<CONF
ClusterName=tavelotest
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$base
SlurmdPort=$((base + 1))
SlurmUser=root
$auth
StateSaveLocation=$d/state
SlurmdSpoolDir=$d/spool
SlurmctldPidFile=$d/slurmctld.pid
SlurmdPidFile=$d/slurmd.pid
SlurmctldLogFile=$d/log/slurmctld.log
SlurmdLogFile=$d/log/slurmd.log
ProctrackType=proctrack/pgid
$task
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=$select
SchedulerParameters=sched_interval=1
SlurmdParameters=config_overrides
MpiDefault=none
ReturnToService=2
NodeName=$node NodeHostname=localhost NodeAddr=127.0.0.1 CPUs=4 RealMemory=8192 State=UNKNOWN
PartitionName=render Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
  export SLURM_CONF="$d/slurm.conf"
  slurmctld -D -i -f "$SLURM_CONF" >"$d/log/slurmctld.out" 2>&1 &
  SLURM_PIDS+=($!)
  slurmd -D -N "$node" -f "$SLURM_CONF" >"$d/log/slurmd.out" 2>&1 &
  SLURM_PIDS+=($!)
  local ctld=${SLURM_PIDS[-2]} worker=${SLURM_PIDS[-1]}
  for i in $(seq 100); do
    # A daemon that ended (a port taken after all) ends the wait at once:
    # sinfo without a controller takes its full timeout at every call.
    kill -0 "$ctld" 2>/dev/null && kill -0 "$worker" 2>/dev/null || break
    [ "$(sinfo -h -o %t 2>/dev/null)" = idle ] && return 0
    sleep 0.1
  done
  SLURM_WHY="the local Slurm cluster did not come up: $(tail -n 3 "$d"/log/*.log "$d"/log/*.out 2>/dev/null | tr '\n' ' ')"
  return 1
}
