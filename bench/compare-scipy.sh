#!/usr/bin/env bash
# Our path search against scipy.sparse.csgraph.dijkstra on the same graph: the
# first road stage of DIR (its link costs and cuts applied), every origin zone,
# each side timed in-process, best of three. Ours is timed with one thread and
# the way a run searches, ahead on THREADS workers (default: every core); scipy
# searches on one thread. Every zone-to-zone distance must be equal on both
# sides. Last line: "routava X s, scipy Y s, speed-up Z", ours with THREADS.
#
#   bench/compare-scipy.sh DIR [THREADS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:?usage: bench/compare-scipy.sh DIR [THREADS]}"
threads="${2:-$(nproc)}"
[ -d "$dir" ] || { echo "compare-scipy.sh: $dir is not a directory" >&2; exit 2; }
build="$root/build-bench"

# Debian's scipy belongs to the system Python, whatever python3 is first on PATH.
py=/usr/bin/python3
if ! "$py" -c 'import scipy.sparse.csgraph' 2>/dev/null; then
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "Installing: python3-scipy"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3-scipy >/dev/null
  else
    echo "compare-scipy.sh: scipy is missing; install it with:  sudo apt-get install python3-scipy" >&2
    exit 1
  fi
fi

"$root/tools/deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DROUTAVA_TESTS=OFF -DROUTAVA_BENCH=ON >/dev/null
nice cmake --build "$build" --target time_search >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/time_search" "$dir" "$work/graph" "$threads" | tee "$work/ours"
one="$(sed -n 's/^routava 1 thread: \([0-9.]*\) s.*/\1/p' "$work/ours")"
ours="$(sed -n 's/^routava \([0-9.]*\) s with .*/\1/p' "$work/ours")"

"$py" - "$work/graph" "$ours" "$one" "$threads" <<'EOF'
import sys, time
import numpy as np
from scipy.sparse import csr_matrix
from scipy.sparse.csgraph import dijkstra

path, ours_s, one_s, threads = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4])
with open(path, "rb") as f:
    nodes, arcs, zones = np.fromfile(f, np.int64, 3)
    start = np.fromfile(f, np.int64, nodes + 1)
    head = np.fromfile(f, np.int32, arcs)
    cost = np.fromfile(f, np.int64, arcs)
    source = np.fromfile(f, np.int32, zones)
    sink = np.fromfile(f, np.int32, zones)
    ours = np.fromfile(f, np.int64, zones * zones).reshape(zones, zones)

# Built from its parts, so parallel arcs stay (csgraph takes the cheaper) and
# zero costs stay arcs (explicit entries).
graph = csr_matrix((cost.astype(np.float64), head, start), shape=(nodes, nodes))
origins = np.flatnonzero(source >= 0)
best = float("inf")
for _ in range(3):
    t0 = time.perf_counter()
    dist = dijkstra(graph, directed=True, indices=source[origins])
    best = min(best, time.perf_counter() - t0)

theirs = np.full((zones, zones), -1, np.int64)
reached = sink >= 0
sub = dist[:, sink[reached]]
theirs[np.ix_(origins, np.flatnonzero(reached))] = np.where(np.isinf(sub), -1, sub).astype(np.int64)
np.fill_diagonal(theirs, -1)
mine = ours.copy()
np.fill_diagonal(mine, -1)
bad = np.argwhere(mine != theirs)
print(f"scipy {best:.4f} s (best of 3; {1000 * best / max(len(origins), 1):.3f} ms per tree), "
      f"{len(origins)} origins, {nodes} nodes, {arcs} arcs")
if len(bad):
    for o, d in bad[:10]:
        print(f"compare-scipy.sh: zone {o + 1} to {d + 1}: routava {mine[o, d]}, scipy {theirs[o, d]}",
              file=sys.stderr)
    print(f"compare-scipy.sh: {len(bad)} of {zones * (zones - 1)} zone pairs differ", file=sys.stderr)
    sys.exit(1)
print(f"all {zones * (zones - 1)} zone-to-zone distances equal "
      f"({int((mine >= 0).sum())} reached)")
print(f"1 thread: routava {one_s:.4f} s, scipy {best:.4f} s, speed-up {best / one_s:.2f}")
print(f"last line: routava on {threads} thread{'s' if threads != 1 else ''} (as a run searches), "
      f"scipy on one (it has no threads)")
print(f"routava {ours_s:.4f} s, scipy {best:.4f} s, speed-up {best / ours_s:.2f}")
EOF
