#!/usr/bin/env bash
# Builds the benchmarks in Release, runs them on one core and prints one table: each hot path,
# its time, its case and its ratio to its target (ratio <= 1 meets the target).
#   tools/bench_summary.sh                 build in build-bench, run everything
#   BUILD_DIR=/path FILTER=Rietveld tools/bench_summary.sh
#   TIME_KIND=cpu_time tools/bench_summary.sh   CPU time instead of wall time (a loaded machine)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build-bench}"
filter="${FILTER:-.}"
jobs="${JOBS:-4}"

mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVKEST_BENCH=ON -DVKEST_SANITIZE=OFF \
  -DVKEST_TESTS=OFF > "$build/cmake.log" 2>&1 || { cat "$build/cmake.log"; exit 1; }
cmake --build "$build" --target vkest_bench -j "$jobs" > "$build/build.log" 2>&1 || { tail -40 "$build/build.log"; exit 1; }

json="$build/bench.json"
bench="$(find "$build" -name vkest_bench -type f -perm -u+x | head -1)"
# One core, as the targets are stated; a data folder of the benches is relative to the sources.
(cd "$root" && taskset -c 0 "$bench" --benchmark_filter="$filter" --benchmark_format=json \
  --benchmark_out="$json" --benchmark_out_format=json > /dev/null)

/usr/bin/python3 - "$json" "${TIME_KIND:-real_time}" <<'EOF'
import json, sys
kind = sys.argv[2]
runs = {b["name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("run_type") != "aggregate"}
scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
def ms(name):
    b = runs.get(name)
    return None if b is None else b[kind] * scale[b["time_unit"]]

# Hot path, benchmark, case, target: milliseconds, or (factor, reference benchmark) for a target
# stated against another measurement of the same run, or None where no target is set.
rows = [
    ("Structure factors, isotropic", "BM_StructureFactorsIsotropic", "Fm-3m, 4000 hkl x 200 atoms", 50.0),
    ("Structure factors, anisotropic", "BM_StructureFactorsAnisotropic", "Fm-3m, 4000 hkl x 200 atoms", 500.0),
    ("FormSymmetricHklList", "BM_FormSymmetricHklList", "Fd-3m a=24.3, d 0.9..30", 25.0),
    ("FormSymmetricHklList, capped", "BM_FormSymmetricHklListHuge/243/50", "Fd-3m a=24.3, d 0.05..", 50.0),
    ("FormSymmetricHklList, capped", "BM_FormSymmetricHklListHuge/1600/50", "Fd-3m a=160, d 0.05..", 50.0),
    ("FormSymmetricHklList, capped", "BM_FormSymmetricHklListHuge/3670/120", "Fd-3m a=367, d 0.12..", 50.0),
    ("FormSymmetricHklList, thin shell", "BM_FormSymmetricHklListThinShell/227", "Fd-3m a=367, d 0.12..0.1201", 50.0),
    ("FormSymmetricHklList, thin shell", "BM_FormSymmetricHklListThinShell/2", "P-1 a=367 cube, d 0.12..0.1201", 50.0),
    ("FormSymmetricHklList, capped", "BM_FormSymmetricHklListHuge/243/100", "Fd-3m a=24.3, d 0.1..", 50.0),
    ("Rietveld fit (iteration + final pass)", "BM_RietveldIteration", "TOF 8000 ch, 3 phases, ~150 free, start off", 25.0),
    ("Rietveld sweep, values + derivatives", "BM_RietveldModelSweep", "the same, model only, all phases afresh", 6.0),
    ("Rietveld sweep, values only", "BM_RietveldModelValues", "the same, every record fixed", 3.0),
    ("Normal matrix, dense", "BM_NormalMatrixDense200", "32768 points x 200 columns (10 G madds/s)", 65.9),
    ("Refinement run", "BM_RefinementTof", "synthetic TOF, whole run", 1000.0),
    ("Fitted-curve redraw", "BM_FittedCurveRedraw", "16384 ch, 2 phases", 100.0),
    ("RedrawGraph", "BM_RedrawGraph32768", "32768 ch, no fit", 20.0),
    ("GphFile", "BM_GphFile16384", "16384 rows, no model", 30.0),
    ("WritePrfFile", "BM_WritePrfFile16384", "16384 rows", 30.0),
    ("Events: layer pass", "BM_EventLayerPass", "1e7 events vs streaming sum", (2.0, "BM_EventStreamingSum")),
    ("Events: whole default run", "BM_EventsWholeDefaultRun/iterations:1", "1e7 events, 26 layers", 3000.0),
    ("Events: file parse", "BM_EventFileParse/iterations:1", "1e7 events", None),
    ("Simulation", "BM_SimulateSpectrum", "32768 ch TOF, 3 phases", 500.0),
    ("Simulation vs bare model loop", "BM_SimulateSpectrum", "the same", (1.2, "BM_BareModelLoop")),
    ("Anisotropic simulation", "BM_AnisoSimulation", "1000 ch, 441 cells", None),
    ("Peak search", "BM_FindPeaks/32768/300", "32768 ch, 300 peaks", 20.0),
    ("Peak search, small", "BM_FindPeaks/4000/40", "4000 ch, 40 peaks", None),
    ("Fitra peak fit", "BM_FitraPeakFit", "20 peaks, 44 free", 25.0),
    ("Fourier map", "BM_FourierMapSeparable", "P1, 20 atoms, 32^3", 20.0),
    ("Fourier map vs direct sum", "BM_FourierMapSeparable", "the same", (1 / 50, "BM_FourierMapDirect/iterations:2")),
    ("Fourier term list", "BM_FourierTermList", "48 ops, F, 2000 hkl", 10.0),
    ("Sequence analysis, Rietveld", "BM_SequenceAnalysis/2/iterations:1", "100 spectra", None),
    ("Sequence analysis, Fitra", "BM_SequenceAnalysis/1/iterations:1", "100 spectra",
     (0.25, "BM_SequenceAnalysis/2/iterations:1")),
]
print("| Hot path | Time (ms) | Case | Target | Ratio |")
print("|---|---:|---|---|---:|")
listed = set()
for path, name, case, target in rows:
    t = ms(name)
    listed.add(name)
    if t is None:
        continue
    if target is None:
        tgt, ratio = "-", "-"
    elif isinstance(target, tuple):
        ref = ms(target[1])
        tgt = "%g x %s" % (target[0], target[1])
        ratio = "%.2f" % (t / (target[0] * ref)) if ref else "-"
    else:
        tgt, ratio = "%g ms" % target, "%.2f" % (t / target)
    print("| %s | %.3f | %s | %s | %s |" % (path, t, case, tgt, ratio))
for name in sorted(runs):
    if name not in listed:
        print("| %s | %.3f | (no target) | - | - |" % (name, ms(name)))
EOF
