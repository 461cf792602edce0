#!/bin/sh
# The sample game left running headless for a long time: memory must stay flat and the sanitizers
# quiet (make soak).
#   soak.sh VASKRUN GAME_FOLDER
# The game's loose copy is played in a folder of its own with the setting DemoLoop = 1, under which
# its title starts the chapter again each time it is left alone: title, chapter, ending, title, for
# SOAK_MINUTES (default 30). At every title (the "title:" line of its debug log) the program's
# resident size (VmRSS) is printed; from the second title on it may not lie more than
# SOAK_RSS_GROWTH_KB (default 24576) above what it was at the second title, which comes after the
# first whole pass has filled every cache and loaded every picture, sound and movie once. The run
# fails on that, on a sanitizer report, on the program ending by itself, and on fewer than two
# passes.
set -u
vaskrun=$(realpath "$1")
source=$(realpath "$2")
minutes=${SOAK_MINUTES:-30}
growth_kb=${SOAK_RSS_GROWTH_KB:-24576}

work=$(mktemp -d "${TMPDIR:-/tmp}/vaskrun-soak.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$source" "$work/game"
mkdir -p "$work/config/vaskrun" "$work/run"
printf '[values]\nDemoLoop=1\n' > "$work/config/vaskrun/demo.ini"
cd "$work/game" || exit 1

# The allocator's quarantine is kept small, so that freed blocks it holds back for use-after-free
# checks stop adding to the resident size within the first pass.
HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run VASKRUN_HEADLESS=1 \
  ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:detect_leaks=1:allocator_may_return_null=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
  LSAN_OPTIONS=suppressions=$(dirname "$0")/../tests/lsan.supp \
  "$vaskrun" >"$work/output" 2>&1 &
pid=$!

rss_kb() { sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$pid/status" 2>/dev/null; }
echo "soak: $vaskrun plays $source for $minutes minutes (pid $pid); bound: $growth_kb kB over the second title"
start=$(date +%s)
end=$((start + minutes * 60))
titles=0 seen_lines=0 base=0 peak=0 status=0 ended=0
while [ "$(date +%s)" -lt "$end" ]; do
  if ! kill -0 "$pid" 2>/dev/null; then ended=1; break; fi
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
      echo "soak: FAILED: the resident size grew $((rss - base)) kB since the second title" >&2
      status=1
      break
    fi
  fi
  if grep -q -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$work/output"; then break; fi
  sleep 1
done

if [ $ended = 0 ]; then
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
else
  wait "$pid"
  echo "soak: FAILED: the game ended by itself with status $? after $titles titles" >&2
  status=1
fi
if grep -q -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$work/output"; then
  cat "$work/output" >&2
  echo "soak: FAILED: a sanitizer report (above)" >&2
  status=1
fi
if [ "$titles" -lt 3 ]; then
  echo "soak: FAILED: only $titles titles in $minutes minutes: the game did not loop" >&2
  status=1
fi
[ $status = 0 ] && echo "soak: passed: $((titles - 1)) passes, VmRSS $base kB at the second title, $peak kB at most after it"
exit $status
