#!/usr/bin/env bash
# The farm's pieces that need no scheduler: reservations (a fresh one is
# left alone, an abandoned one retaken, a finished frame never redone), the
# job script (each task's range, the last one clipped, retries retaking at
# once), the status of a folder, and assembling a movie (refused while a
# frame is missing or reserved).
#   farm_cli_test.sh TAVELO EXAMPLES_DIR
set -euo pipefail
TAVELO=$1
EXAMPLES=$2
T=$(mktemp -d /tmp/tavelo-farm-cli.XXXXXX)
trap 'rm -rf "$T"' EXIT
passes=0 fails=0
check() {  # what, command...
  local what=$1
  shift
  if "$@"; then passes=$((passes + 1)); else echo "FAILED: $what"; fails=$((fails + 1)); fi
}
sed -e 's/"duration": 1,/"duration": 0.5,/' "$EXAMPLES/title_card.json" >"$T/t.json"  # 12 frames
mkdir -p "$T/ref" "$T/j"
"$TAVELO" render "$T/t.json" --comp Title --output "$T/ref/f_####.png" -q >/dev/null

# Reservations: 3 fresh (skipped, stays empty), 4 abandoned an hour ago
# (retaken), 5 finished (a whole still, though another frame: never redone).
mkdir -p "$T/a"
: >"$T/a/f_0003.png"
: >"$T/a/f_0004.png"
touch -d '1 hour ago' "$T/a/f_0004.png"
cp "$T/ref/f_0000.png" "$T/a/f_0005.png"
"$TAVELO" render "$T/t.json" --comp Title --frames 2-6 --output "$T/a/f_####.png" --reserve >"$T/out" 2>"$T/err"
check "a fresh reservation is left to its renderer" test ! -s "$T/a/f_0003.png"
check "an abandoned reservation is retaken" cmp -s "$T/ref/f_0004.png" "$T/a/f_0004.png"
check "the retake is noted" grep -qx "tavelo: note: retook the abandoned reservation of $T/a/f_0004.png" "$T/err"
check "a finished frame is not redone" cmp -s "$T/ref/f_0000.png" "$T/a/f_0005.png"
check "the others are rendered" cmp -s "$T/ref/f_0006.png" "$T/a/f_0006.png"
check "3 frames written" grep -qx "wrote 3 frames: $T/a/f_0002.png .. $T/a/f_0006.png" "$T/out"
check "no temporary file left" test -z "$(ls -A "$T/a" | grep '^\.')"
"$TAVELO" render "$T/t.json" --comp Title --frames 3 --output "$T/a/f_####.png" --reserve --stale-after 0 -q >/dev/null
check "--stale-after 0 retakes at once" cmp -s "$T/ref/f_0003.png" "$T/a/f_0003.png"
"$TAVELO" render "$T/t.json" --comp Title --frames 3 --output "$T/a/f_####.png" --reserve --stale-after -1 -q \
  2>"$T/err" && rc=0 || rc=$?
check "a negative stale limit is a usage error" test "$rc" = 2

# Status of a folder: 0-1 missing, 2 done, 3 reserved, 4 abandoned.
mkdir -p "$T/s"
cp "$T/ref/f_0002.png" "$T/s/"
: >"$T/s/f_0003.png"
: >"$T/s/f_0004.png"
touch -d '20 minutes ago' "$T/s/f_0004.png"
"$TAVELO" farm status --output "$T/s/f_####.png" --frames 0-4 >"$T/out"
check "status counts" grep -qx "frames 0-4: 1 done, 1 running (reserved), 1 abandoned (reserved, untouched 600s), 2 missing" "$T/out"
check "status lists" grep -qx "running: 3" "$T/out"
check "status lists missing" grep -qx "missing: 0-1" "$T/out"

# The job script: 24 frames in chunks of 10 is 3 tasks, the last 20-23;
# the tasks here run echo instead of tavelo. The composition is the
# project's only one when --comp is left out.
"$TAVELO" farm submit "$EXAMPLES/title_card.json" --chunk 10 --output "$T/j/f_####.png" \
  --tavelo /bin/echo --slurm-arg=--mem=1G --partition gpu --dry-run >"$T/job.sh"
check "array of 3" grep -qx "#SBATCH --array=0-2" "$T/job.sh"
check "the partition" grep -qx "#SBATCH --partition=gpu" "$T/job.sh"
check "an extra line" grep -qx "#SBATCH --mem=1G" "$T/job.sh"
check "no second memory request" test "$(grep -c -- '--mem' "$T/job.sh")" = 1
# The task's memory: unless --mem says otherwise (sent to Slurm in MB),
# twice the peak of the frame rendered at submission plus 256 MiB (this
# small composition: a few hundred MiB); --memory goes on to the tasks'
# renders.
"$TAVELO" farm submit "$T/t.json" --comp Title --frames 0-9 --output "$T/j/f_####.png" --tavelo /bin/echo \
  --dry-run >"$T/default.sh"
mem=$(sed -n 's/^#SBATCH --mem=\([0-9]*\)M$/\1/p' "$T/default.sh")
check "a measured memory request" test "${mem:-0}" -gt 280 -a "${mem:-0}" -lt 2048
check "named as measured" grep -qE "^# Memory: [0-9]+ MiB peak resident \(one frame rendered at submission\), twice that plus 256 MiB for writing the stills\.$" "$T/default.sh"
"$TAVELO" farm submit "$T/t.json" --comp Title --frames 0-9 --output "$T/j/f_####.png" --tavelo /bin/echo \
  --mem 1.5G --memory 600M --dry-run >"$T/mem.sh"
check "a memory request" grep -qx "#SBATCH --mem=1536M" "$T/mem.sh"
check "named as given" grep -qx "# Memory: as given (--mem)." "$T/mem.sh"
check "the task's budget" grep -q -- "--threads \"\${SLURM_CPUS_PER_TASK:-1}\" --memory '600M'\$" "$T/mem.sh"
"$TAVELO" farm submit "$T/t.json" --comp Title --output "$T/j/f_####.png" --mem 2G --slurm-arg=--mem=1G \
  --dry-run >/dev/null 2>&1 && rc=0 || rc=$?
check "--mem twice is a usage error" test "$rc" = 2
run_task() { env -i PATH="$PATH" SLURM_ARRAY_TASK_ID=$2 SLURM_RESTART_COUNT=$3 bash "$1" | tail -n 1; }
args="--output $T/j/f_####.png --reserve"
check "the last task's range is clipped" test "$(run_task "$T/job.sh" 2 0)" = \
  "render $EXAMPLES/title_card.json --comp Title --frames 20-23 $args --stale-after 600 --threads 1"
check "a retried task retakes at once" test "$(run_task "$T/job.sh" 1 1)" = \
  "render $EXAMPLES/title_card.json --comp Title --frames 10-19 $args --stale-after 0 --threads 1"
# A frame list is split in chunks of its own frames; one past the end is
# refused before anything is submitted.
"$TAVELO" farm submit "$T/t.json" --frames 1,5,9,10- --chunk 2 --output "$T/j/f_####.png" --tavelo /bin/echo \
  --dry-run >"$T/list.sh"
check "two tasks of a list" test "$(run_task "$T/list.sh" 0 0)" = \
  "render $T/t.json --comp Title --frames 1,5 $args --stale-after 600 --threads 1"
check "the list's next task" test "$(run_task "$T/list.sh" 1 0)" = \
  "render $T/t.json --comp Title --frames 9-10 $args --stale-after 600 --threads 1"
check "the list's last task" test "$(run_task "$T/list.sh" 2 0)" = \
  "render $T/t.json --comp Title --frames 11 $args --stale-after 600 --threads 1"
"$TAVELO" farm submit "$T/t.json" --frames 1,5,12 --output "$T/j/f_####.png" --dry-run >"$T/out" 2>"$T/err" \
  && rc=0 || rc=$?
check "a frame past the end is a usage error" test "$rc" = 2
check "naming the part" grep -qx 'tavelo: frames "1,5,12": "12" goes past the last frame (frames 0 to 11)' "$T/err"

# Resource requests: CPUs for --threads, the time limit from a time per
# frame (5 frames x 3 s, twice, plus 2 minutes: 3 minutes), at most 2 tasks
# at once, the job's name, and the comment `farm status JOB` reads.
"$TAVELO" farm submit "$T/t.json" --frames 0-9 --chunk 5 --threads 4 --time-per-frame 3 --max-parallel 2 \
  --output "$T/j/f_####.png" --tavelo /bin/echo --dry-run >"$T/res.sh"
check "CPUs for the threads" grep -qx "#SBATCH --cpus-per-task=4" "$T/res.sh"
check "the time limit" grep -qx "#SBATCH --time=0-00:03:00" "$T/res.sh"
check "at most 2 tasks at once" grep -qx "#SBATCH --array=0-1%2" "$T/res.sh"
check "the job's name" grep -qx "#SBATCH --job-name=tavelo:t:Title" "$T/res.sh"
check "the comment" grep -qx "#SBATCH --comment=\"tavelo:frames=0-9:stale=600:output=$T/j/f_####.png\"" "$T/res.sh"
check "the task's threads" test "$(run_task "$T/res.sh" 1 0)" = \
  "render $T/t.json --comp Title --frames 5-9 $args --stale-after 600 --threads 4"
check "a time measured at submission" grep -q "^# Time limit: [0-9.]* s a frame (one frame rendered at submission)" \
  "$T/default.sh"
check "and its limit" grep -qE "^#SBATCH --time=0-[0-9]{2}:[0-9]{2}:00$" "$T/default.sh"
"$TAVELO" farm submit "$T/t.json" --output "$T/j/f_####.png" --time 90 --dry-run >"$T/out"
check "a given time limit" grep -qx "#SBATCH --time=90" "$T/out"
check "memory measured with a given time" grep -q "^# Memory: .* peak resident" "$T/out"
for bad in "--slurm-arg=--time=5" "--slurm-arg=--cpus-per-task=2" "--time=1:00 --time-per-frame=2" "--time=soon" \
  "--threads=0" "--codec=png"; do
  "$TAVELO" farm submit "$T/t.json" --output "$T/j/f_####.png" $bad --dry-run >/dev/null 2>&1 && rc=0 || rc=$?
  check "refused: $bad" test "$rc" = 2
done

# A movie: the array renders stills beside it; a job that waits for every
# task to end well (afterok) assembles them with the composition's sound.
"$TAVELO" farm submit "$T/t.json" --output "$T/mv/t.mov" --codec png --time-per-frame 1 --tavelo /bin/echo \
  --dry-run >"$T/movie.sh"
check "a movie's stills" test "$(run_task "$T/movie.sh" 1 0)" = \
  "render $T/t.json --comp Title --frames 10-11 --output $T/mv/t_frames/t_#####.png --reserve --stale-after 600 --threads 1"
"$TAVELO" farm submit "$T/t.json" --output "$T/mv/t.mov" --frames 0-3,6 --dry-run >/dev/null 2>"$T/err" && rc=0 || rc=$?
check "a movie of frames with a gap is refused" grep -qx 'tavelo: a movie is made of one span of frames (A-B), not "0-3,6"' "$T/err"
check "the assembly waits for the array" grep -qx "#SBATCH --dependency=afterok:ARRAY_JOB_ID" "$T/movie.sh"
check "the assembly" grep -qx "exec '/bin/echo' farm assemble '$T/mv/t_frames/t_#####.png' -o '$T/mv/t.mov' \
--frames 0-11 --project '$T/t.json' --comp 'Title' --codec 'png'" "$T/movie.sh"

# Status as JSON, and over the composition's frames when there is no job.
"$TAVELO" farm status --output "$T/s/f_####.png" --frames 0-4 --json >"$T/out"
check "status as JSON" python3 -c '
import json, sys
j = json.load(open(sys.argv[1]))
assert j["frames"] == "0-4" and j["count"] == {"done": 1, "running": 1, "abandoned": 1, "missing": 2}, j
assert j["list"] == {"running": [3], "abandoned": [4], "missing": [0, 1]}, j' "$T/out"
"$TAVELO" farm status --output "$T/s/f_####.png" --project "$T/t.json" >"$T/out"
check "status over the composition" grep -qx "missing: 0-1, 5-11" "$T/out"

# The movie of stills with the project's sound is the movie a render of the
# composition writes (lossless codec: same pictures, same samples).
if command -v ffmpeg >/dev/null; then
  . "$(dirname "$0")/media.sh"
  sound_project "$T/t.json" "$T/snd.json" "$T"
  "$TAVELO" render "$T/snd.json" -o "$T/one.mov" --codec png -q >/dev/null
  "$TAVELO" render "$T/snd.json" -o "$T/st/s_#####.png" -q >/dev/null
  "$TAVELO" farm assemble "$T/st/s_#####.png" -o "$T/two.mov" --codec png --project "$T/snd.json" -q >"$T/out"
  check "assembled with sound" grep -qx "wrote $T/two.mov (12 frames with sound)" "$T/out"
  check "the same pictures and sound as one render" test "$(media "$T/one.mov")" = "$(media "$T/two.mov")"
fi

# Assembling: refused with a missing and a reserved frame, then a movie.
"$TAVELO" farm assemble "$T/s/f_####.png" --frames 0-4 -o "$T/m.mov" -q 2>"$T/err" && rc=0 || rc=$?
check "an incomplete sequence is refused" grep -qx \
  "tavelo: the sequence is not complete (frames 0-4) missing: 0-1; not finished (reserved): 3-4" "$T/err"
check "and no movie written" test ! -e "$T/m.mov"
"$TAVELO" farm assemble "$T/ref/f_####.png" -o "$T/m.mov" --codec png --fps 12 -q >"$T/out"
check "a movie of the sequence" grep -qx "wrote $T/m.mov (12 frames)" "$T/out"
if command -v ffprobe >/dev/null; then
  n=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames,r_frame_rate -of csv=p=0 "$T/m.mov")
  check "the movie has 12 frames at 12 a second ($n)" test "$n" = "12/1,12"
fi
echo "$passes passed, $fails failed"
[ "$fails" -eq 0 ]
