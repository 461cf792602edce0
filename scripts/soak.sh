#!/bin/sh
# The sample game left running headless for a long time: memory must stay flat and the sanitizers
# quiet (make soak).
#   soak.sh VASKRUN GAME_FOLDER
# The game's loose copy is played in a folder of its own. A first run plays it once (with the
# setting DemoLoop = 1 the game plays alone: the title starts the chapter, the second title ends
# the game) and times the pass. The soak run then has DemoLoop = N, under which the title starts
# the chapter N times before it ends the game, N chosen so that the passes fill SOAK_MINUTES (default 30): title,
# chapter, ending, title. At every title (the "title:" line of its debug log) the program's
# resident size (VmRSS) is printed; from the second title on it may not lie more than
# SOAK_RSS_GROWTH_KB (default 24576) above what it was at the second title, which comes after the
# first whole pass has filled every cache and loaded every picture, sound and movie once. Both runs
# end as a player ends the game, so the leak check at exit runs too. The soak fails on growth, on a
# sanitizer report, on a run ending with a failure status or not ending in twice its time.
set -u
here=$(cd "$(dirname "$0")" && pwd)
vaskrun=$(realpath "$1")
source=$(realpath "$2")
minutes=${SOAK_MINUTES:-30}
growth_kb=${SOAK_RSS_GROWTH_KB:-24576}

work=$(mktemp -d "${TMPDIR:-/tmp}/vaskrun-soak.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$source" "$work/game"
mkdir -p "$work/config/vaskrun" "$work/run"
cd "$work/game" || exit 1

# Runs the game once with DemoLoop = $1 in the background; its pid in $pid.
run_game() {
  printf '[values]\nDemoLoop=%d\n' "$1" > "$work/config/vaskrun/demo.ini"
  rm -f debugout.log
  # The allocator's quarantine is kept small, so that freed blocks it holds back for
  # use-after-free checks stop adding to the resident size within the first pass.
  HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run VASKRUN_HEADLESS=1 \
    ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:detect_leaks=1:allocator_may_return_null=1} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
    LSAN_OPTIONS=suppressions=$here/../tests/lsan.supp \
    "$vaskrun" >"$work/output" 2>&1 &
  pid=$!
}
sanitizer_report() { grep -q -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$work/output"; }
fail() { echo "soak: FAILED: $*" >&2; exit 1; }

# The first run: one pass, timed.
start=$(date +%s)
run_game 1
wait "$pid"
status=$?
[ $status = 0 ] || { cat "$work/output" >&2; fail "the single pass ended with status $status"; }
pass_s=$(($(date +%s) - start))
[ "$pass_s" -gt 0 ] || pass_s=1
sanitizer_report && { cat "$work/output" >&2; fail "a sanitizer report in the single pass (above)"; }
plays=$((minutes * 60 / pass_s))
[ "$plays" -ge 3 ] || plays=3
echo "soak: one pass took $pass_s s and ended cleanly; $plays passes follow"

run_game "$plays"
rss_kb() { sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$pid/status" 2>/dev/null; }
echo "soak: $vaskrun plays $source $plays times (pid $pid); bound: $growth_kb kB over the second title"
start=$(date +%s)
deadline=$((start + 2 * plays * pass_s + 60))
titles=0 seen_lines=0 base=0 peak=0
while kill -0 "$pid" 2>/dev/null; do
  if [ "$(date +%s)" -gt "$deadline" ]; then
    kill "$pid" 2>/dev/null
    fail "the game did not end in twice the time of its passes ($titles titles)"
  fi
  lines=$(grep -c ' title:' debugout.log 2>/dev/null || true)
  if [ "${lines:-0}" -gt "$seen_lines" ]; then
    seen_lines=$lines titles=$((titles + 1))
    rss=$(rss_kb)
    [ -n "$rss" ] || continue
    [ "$titles" -eq 2 ] && base=$rss
    [ "$titles" -ge 2 ] && [ "$rss" -gt "$peak" ] && peak=$rss
    printf 'soak: title %d at %4d s: VmRSS %d kB' "$titles" $(($(date +%s) - start)) "$rss"
    [ "$titles" -gt 2 ] && printf ' (%+d kB)' $((rss - base))
    printf '\n'
    if [ "$titles" -gt 2 ] && [ $((rss - base)) -gt "$growth_kb" ]; then
      kill "$pid" 2>/dev/null
      fail "the resident size grew $((rss - base)) kB since the second title"
    fi
  fi
  sanitizer_report && break
  sleep 1
done
wait "$pid"
status=$?
sanitizer_report && { cat "$work/output" >&2; fail "a sanitizer report (above)"; }
[ $status = 0 ] || { cat "$work/output" >&2; fail "the game ended with status $status after $titles titles"; }
[ "$titles" -gt "$plays" ] || fail "only $titles titles for $plays passes: the game did not loop"
echo "soak: passed: $plays passes in $(($(date +%s) - start)) s, VmRSS $base kB at the second title, $peak kB at most after it; no sanitizer report at exit"
