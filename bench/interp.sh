#!/usr/bin/env bash
# The script interpreter against Ghostscript: the five workloads of bench/interp/, written alike
# in both languages (Ghostscript without "bind", so it too looks every name up at run time),
# each run 5 times per interpreter, alternating, start-up included on both sides. Prints the
# medians of CPU time (user + system) and wall time, the ratio ours/Ghostscript, and the
# start-up time of tolvek-sl for an empty script. Usage: bench/interp.sh BUILD_DIR
set -euo pipefail
build=${1:-build-release}
here=$(cd "$(dirname "$0")" && pwd)
sl=$(cd "$build" && pwd)/bin/tolvek-sl
command -v gs >/dev/null || { echo "ghostscript (gs) is not installed"; exit 1; }
[ -x "$sl" ] || { echo "no $sl: build tolvek-sl first"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/interp/w*.sct "$here"/interp/w*.ps "$work"/
"$here"/interp/gen_w3.sh "$work"
cd "$work"

# Runs a command 5 times (interleaved by the caller) and prints "cpu_ms wall_ms" per run; the
# command's output goes to the file named by $1.
timed() {
  local out=$1
  shift
  python3 - "$out" "$@" <<'PY'
import resource, subprocess, sys, time
out = open(sys.argv[1], "w")
before = resource.getrusage(resource.RUSAGE_CHILDREN)
start = time.perf_counter()
subprocess.run(sys.argv[2:], stdout=out, check=True)
wall = time.perf_counter() - start
after = resource.getrusage(resource.RUSAGE_CHILDREN)
cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
print(f"{cpu * 1000:.1f} {wall * 1000:.1f}")
PY
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

printf '%-4s %10s %10s %10s %10s %8s %8s\n' "" "ours cpu" "gs cpu" "ours wall" "gs wall" "cpu x" "wall x"
for w in w1 w2 w3 w4 w5; do
  : >ours.t; : >gs.t
  for i in 1 2 3 4 5; do
    timed ours.out "$sl" "$w.sct" >>ours.t
    timed gs.out gs -q -dNODISPLAY -dNOSAFER "$w.ps" >>gs.t
  done
  if [ "$(tr -d '\n' <ours.out)" != "$(tr -d '\n' <gs.out)" ]; then
    echo "$w: results differ: ours '$(cat ours.out)', gs '$(cat gs.out)'"
    exit 1
  fi
  oc=$(cut -d' ' -f1 ours.t | median); gc=$(cut -d' ' -f1 gs.t | median)
  ow=$(cut -d' ' -f2 ours.t | median); gw=$(cut -d' ' -f2 gs.t | median)
  printf '%-4s %8s ms %7s ms %7s ms %7s ms %8.2f %8.2f\n' "$w" "$oc" "$gc" "$ow" "$gw" \
    "$(awk -v a="$oc" -v b="$gc" 'BEGIN {print a / b}')" "$(awk -v a="$ow" -v b="$gw" 'BEGIN {print a / b}')"
done

: >start.t
for i in 1 2 3 4 5 6 7 8 9; do timed start.out "$sl" -e '' >>start.t; done
echo "tolvek-sl start-up, empty script: $(cut -d' ' -f2 start.t | median) ms wall, $(cut -d' ' -f1 start.t | median) ms cpu (median of 9)"
