#!/usr/bin/env bash
# The render farm end to end on a private Slurm cluster: a controller and one
# worker started here in a temporary folder (own slurm.conf, state and spool
# there, localhost, free ports above 20000). A 3-task array over 30 frames
# must give every frame once, each equal to a one-process render; then a
# task killed in the middle of a frame (leaving its reservation behind) and
# requeued must still give every frame once, each rendered by one run only;
# and a movie job (a stills array, then its assembly after every task) must
# give the movie and sound of a one-process render.
# Exit 77 (skipped) with the reason when the scheduler cannot run here.
#   farm_test.sh TAVELO EXAMPLES_DIR
set -euo pipefail
TAVELO=$1
EXAMPLES=$2
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; tail -n 20 "$T"/cluster/log/*.log "$T"/out*/.tavelo-farm/*.log 2>/dev/null; exit 1; }

. "$(dirname "$0")/local_slurm.sh"
T=$(mktemp -d /tmp/tavelo-farm.XXXXXX)
trap 'stop_local_slurm; rm -rf "$T"' EXIT
start_local_slurm "$T/cluster" || skip "$SLURM_WHY"
mkdir -p "$T/ref" "$T/out1" "$T/out2"

# The example title card, 30 frames long and large enough that a frame takes
# a moment (the kill lands inside one).
sed -e 's/"duration": 1,/"duration": 1.25,/' -e 's/"width": 320, "height": 180/"width": 640, "height": 360/' \
  "$EXAMPLES/title_card.json" >"$T/title.json"
"$TAVELO" render "$T/title.json" --comp Title --output "$T/ref/f_#####.png" -q --threads 1 || fail "reference render"
[ "$(ls "$T/ref" | wc -l)" -eq 30 ] || fail "the reference render has $(ls "$T/ref" | wc -l) frames, not 30"

wait_job() {  # job, seconds (a failing squeue is asked again, not taken for an empty queue)
  local q
  for i in $(seq $(($2 * 10))); do
    q=$(squeue -h -j "$1" 2>/dev/null) && [ -z "$q" ] && return 0
    sleep 0.1
  done
  fail "job $1 still running after $2 s: $(squeue -h -j "$1")"
}
# Every frame once in the folder, equal to the reference, no reservation nor
# retake litter left; every frame written by exactly one run (the task logs
# name each frame a run wrote).
check_out() {  # folder
  local d=$1
  [ "$(ls "$d" | grep -c '^f_[0-9]*\.png$')" -eq 30 ] || fail "$d has $(ls "$d" | grep -c '^f_') frames, not 30"
  for f in "$T"/ref/f_*.png; do
    cmp -s "$f" "$d/$(basename "$f")" || fail "$d/$(basename "$f") differs from the one-process render"
  done
  ! ls -a "$d" | grep -q '\.stale\.' || fail "a retake left a file aside in $d"
  local dup
  dup=$(cat "$d"/.tavelo-farm/*.log | grep -E '^frame [0-9]+/[0-9]+ .*\.png$' | awk '{print $3}' | sort | uniq -d)
  [ -z "$dup" ] || fail "frames written twice: $dup"
  [ "$(cat "$d"/.tavelo-farm/*.log | grep -cE '^frame [0-9]+/[0-9]+ .*\.png$')" -eq 30 ] || fail "the logs do not name 30 written frames"
}

# 1. Three tasks of ten frames.
job=$("$TAVELO" farm submit "$T/title.json" --comp Title --frames 0-29 --chunk 10 --output "$T/out1/f_#####.png" -q) \
  || fail "farm submit"
wait_job "$job" 40
check_out "$T/out1"
"$TAVELO" farm status "$job" >"$T/status1" || fail "farm status"
grep -q "30 done, 0 running (reserved), 0 abandoned" "$T/status1" || fail "farm status says: $(cat "$T/status1")"
[ "$(ls "$T"/out1/.tavelo-farm/"${job}"_*.log | wc -l)" -eq 3 ] || fail "not 3 task logs"
# Each task's log names the memory budget its render took: where Slurm
# confines tasks to control groups, from the job's measured --mem, and what
# it did.
mem=$(sed -n 's/^#SBATCH --mem=\([0-9]*\)M$/\1/p' "$T"/out1/.tavelo-farm/"$job".sh)
[ -n "$mem" ] || fail "the job asked for no memory"
from="(control group limit|physical memory) "
[ "$SLURM_MEM_CONFINED" = 1 ] && from="control group limit $mem MiB in /sys/fs/cgroup/memory/.*/memory.limit_in_bytes, "
for l in "$T"/out1/.tavelo-farm/"${job}"_*.log; do
  grep -qE "^tavelo: memory budget [0-9.]+ [MG]iB \\($from" "$l" || fail "no budget from $mem MiB in $l"
  grep -qE '^tavelo: on .*: rendered [0-9-]+ \(10 frames, [0-9.]+ s a frame\)$' "$l" || fail "no summary in $l"
done
echo "ok: 3 tasks rendered 30 frames once"

# 2. Task 1 is killed with SIGKILL while it holds a reservation, then requeued.
job=$("$TAVELO" farm submit "$T/title.json" --comp Title --frames 0-29 --chunk 10 --output "$T/out2/f_#####.png") \
  || fail "farm submit"
log="$T/out2/.tavelo-farm/${job}_1.log"
killed=""
for i in $(seq 4000); do
  pid=$(sed -n 's/.*, pid \([0-9]*\)$/\1/p' "$log" 2>/dev/null | head -n 1 || true)
  if [ -n "$pid" ]; then
    for n in 11 12 13 14 15 16 17; do
      f="$T/out2/f_000$n.png"
      if [ -e "$f" ] && [ ! -s "$f" ]; then
        kill -STOP "$pid" 2>/dev/null || break
        if [ -e "$f" ] && [ ! -s "$f" ]; then kill -KILL "$pid"; killed=$n; break; fi
        kill -CONT "$pid"
      fi
    done
  fi
  [ -n "$killed" ] && break
  sleep 0.005
done
[ -n "$killed" ] || fail "task 1 was not caught holding a reservation"
for i in $(seq 100); do
  st=$(scontrol -o show job "${job}_1" | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p')
  [ "$st" = FAILED ] && break
  sleep 0.1
done
[ "$st" = FAILED ] || fail "the killed task is $st, not FAILED"
[ -e "$T/out2/f_000$killed.png" ] && [ ! -s "$T/out2/f_000$killed.png" ] || fail "the killed task left no reservation"
"$TAVELO" farm status "$job" >"$T/status2" || fail "farm status"
grep -q "^running: .*$killed" "$T/status2" || fail "farm status does not show frame $killed reserved: $(cat "$T/status2")"
scontrol requeue "${job}_1" || fail "scontrol requeue"
# A requeued job waits a while before it may start again; not here, but not
# within the second its first run ended either: slurmd refuses to launch a
# job whose credential is no newer than its revocation (whole seconds) and
# the task fails again without running ("already killed").
scontrol update JobId="${job}_1" StartTime=now+1 || fail "scontrol update StartTime"
wait_job "$job" 40
st=$(scontrol -o show job "${job}_1" | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p')
[ "$st" = COMPLETED ] || fail "the requeued task is $st, not COMPLETED"
grep -q "retook the abandoned reservation of $T/out2/f_000$killed.png" "$log" || fail "the retried task did not retake frame $killed"
check_out "$T/out2"
echo "ok: a task killed at frame $killed and requeued: 30 frames, each once"

# 3. A movie: the array renders stills (3 tasks), then a job that waits for
# every task to end well joins them with the composition's sound; its
# pictures and samples are those of a one-process render of the movie.
command -v ffmpeg >/dev/null || { echo "ok (no ffmpeg here: the movie job is not checked)"; exit 0; }
. "$(dirname "$0")/media.sh"
sound_project "$EXAMPLES/title_card.json" "$T/snd.json" "$T"
"$TAVELO" render "$T/snd.json" -o "$T/one.mov" --codec png -q >/dev/null || fail "the one-process movie"
job=$("$TAVELO" farm submit "$T/snd.json" --chunk 8 -o "$T/out3/m.mov" --codec png --time-per-frame 1 2>"$T/submit3") \
  || fail "farm submit of a movie: $(cat "$T/submit3")"
assembly=$(sed -n 's/^tavelo: job \([0-9]*\) assembles .*/\1/p' "$T/submit3")
[ -n "$assembly" ] || fail "no assembly job: $(cat "$T/submit3")"
wait_job "$job" 40
wait_job "$assembly" 40
st=$(scontrol -o show job "$assembly" | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p')
[ "$st" = COMPLETED ] || fail "the assembly job is $st, not COMPLETED: $(cat "$T"/out3/m_frames/.tavelo-farm/"$assembly".log)"
[ "$(media "$T/one.mov")" = "$(media "$T/out3/m.mov")" ] || fail "the farm's movie differs from the one-process render"
echo "ok: a movie from 3 tasks of stills and an assembly after them, equal to one render with its sound"
