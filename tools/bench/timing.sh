# Wall-clock timing for the bench scripts that race the render tool against
# FFmpeg; sourced, with $work set to the script's scratch folder.

now() { date +%s.%N; }

# Wall seconds of one command, run with a fresh, empty $work/out.
timed() {
  rm -rf "$work/out" && mkdir "$work/out"
  local t0 t1
  t0=$(now)
  "$@" >/dev/null 2>"$work/err" </dev/null || { cat "$work/err" >&2; exit 1; }
  t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}

# The least of the numbers on standard input.
best() { tr ' ' '\n' | sort -g | head -n 1; }

# The 1-, 5- and 15-minute load averages.
load() { cut -d' ' -f1-3 /proc/loadavg; }
