#!/usr/bin/env bash
# The render farm on this machine: 120 frames of the title card (1280x720)
# rendered by one process (the baseline), then as a Slurm job array of 1, 2
# and 4 tasks on a private local cluster (tests/farm/local_slurm.sh; needs
# root). Per run: wall time from submit to the job's end, and the scheduling
# overhead per task: how long after the submission the task's program
# started (dispatch) and its run time beyond its share of the baseline's
# frame time (start-up: engine birth, project load).
#   bench/farm_bench.sh [TAVELO]   (default build/host/tavelo)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
TAVELO=$(realpath "${1:-$here/../build/host/tavelo}")
. "$here/../tests/farm/local_slurm.sh"
T=$(mktemp -d /tmp/tavelo-farm-bench.XXXXXX)
trap 'stop_local_slurm; rm -rf "$T"' EXIT
start_local_slurm "$T/cluster" || { echo "cannot run: $SLURM_WHY"; exit 1; }
now() { date +%s.%N; }

sed -e 's/"duration": 1,/"duration": 5,/' -e 's/"width": 320, "height": 180/"width": 1280, "height": 720/' \
  "$here/../examples/title_card.json" >"$T/title.json"
# The program the tasks run: the real one between two time stamps.
cat >"$T/timed-tavelo" <<EOF
#!/bin/bash
s=\$(date +%s.%N)
"$TAVELO" "\$@"
rc=\$?
echo "\${SLURM_ARRAY_TASK_ID} \$s \$(date +%s.%N)" >>"$T/times"
exit \$rc
EOF
chmod +x "$T/timed-tavelo"

mkdir -p "$T/base"
t0=$(now)
"$TAVELO" render "$T/title.json" --comp Title --output "$T/base/f_#####.png" --threads 1 -q >/dev/null
t1=$(now)
base=$(echo "$t1 - $t0" | bc -l)
printf "one process, 120 frames: %.2f s (%.1f ms a frame)\n" "$base" "$(echo "$base * 1000 / 120" | bc -l)"
printf "%-6s %-9s %-10s %-22s %-22s\n" tasks wall_s speedup "dispatch_s(mean/max)" "startup_s(mean)"
for n in 1 2 4; do
  rm -f "$T/times"
  mkdir -p "$T/out$n"
  t0=$(now)
  job=$("$TAVELO" farm submit "$T/title.json" --comp Title --frames 0-119 --chunk $((120 / n)) \
    --output "$T/out$n/f_#####.png" --tavelo "$T/timed-tavelo" -q)
  while [ -n "$(squeue -h -j "$job" 2>/dev/null)" ]; do sleep 0.05; done
  t1=$(now)
  [ "$(ls "$T/out$n" | wc -l)" -eq 120 ] || { echo "run of $n tasks: $(ls "$T/out$n" | wc -l) frames"; exit 1; }
  awk -v t0="$t0" -v t1="$t1" -v n="$n" -v base="$base" '
    { d = $2 - t0; ds += d; if (d > dm) dm = d; run = $3 - $2; su += run - base / n }
    END { printf "%-6d %-9.2f %-10.2f %-22s %-22.2f\n", n, t1 - t0, base / (t1 - t0),
          sprintf("%.2f/%.2f", ds / NR, dm), su / NR }' "$T/times"
done
echo "(2 cores; the node is declared with 4 CPUs, so 4 tasks share 2 cores)"
