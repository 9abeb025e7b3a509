#!/usr/bin/env bash
# Measures what BENCHMARKS.md reports, each figure beside its mark:
#   size of updater.exe, overhead of a quiet-mode patch over plain CopyFileA under
#   Wine (and cp for scale), the cost of verifying a signed patch, script parsing
#   time, and how long the copy dialog keeps a caller waiting while a 1 GiB file copies.
# BENCH_DIR (default build/bench-data, on the disk, where players' copies
# happen) holds the data, and /dev/shm is measured beside it; BENCH_REPS the
# repetitions (default 15). An argument (size, parsing, staging, overhead,
# verification, responsiveness, deltas) measures that section alone.
set -euo pipefail
cd "$(dirname "$0")/.."
reps=${BENCH_REPS:-15}
only=${1:-all}
section() { [ "$only" = all ] || [ "$only" = "$1" ]; }
data=${BENCH_DIR:-$PWD/build/bench-data}
root="$data/updater-bench"
build="$PWD/build/windows"

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target updater updater_keyed patchtool reference_copy hash_files copy_probe desktop_keeper as_player >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target script_parse_bench patchtool >/dev/null
source scripts/wine-session.sh "$build"
# Every contender starts through as_player.exe, as the player, the way a double-click starts it on
# Windows: Wine would start it as an administrator, which is updater.exe's elevated road.
# Windows always has its desktop; Wine starts one again for each windowed
# program that finds none. The keeper holds it for the whole session.
wine "$build/desktop_keeper.exe" &

winpath() { echo "Z:${1//\//\\}"; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
mark() { awk -v v="$1" -v m="$2" 'BEGIN {print (v <= m) ? "met" : "NOT met"}'; }

if section size; then
  echo "== Size"
  for program in "$build/updater.exe" "$build/keyed/updater.exe"; do
    size=$(stat -c %s "$program")
    imports=$(x86_64-w64-mingw32-objdump -p "$program" | awk '/DLL Name/ {printf "%s ", $3}')
    echo "${program#$build/}: $size bytes (mark: at most 40960, $(mark "$size" 40960)); imports: $imports"
  done
fi

if section parsing; then
  echo
  echo "== Parsing (native, optimised)"
  build/bench/script_parse_bench --benchmark_format=console 2>/dev/null | grep -E "^BM_"
fi

key='Software\UpdaterBench\Overhead'

# The data of a patch of $1 files of $2 KiB: store/ holds the patch files and update.txt
# (quiet mode), old/ older files of the same names and sizes; the record names install/.
make_patch() {
  local count=$1 kib=$2
  wine reg add "HKCU\\$key" /v path /d "$(winpath "$root/install")" /f >/dev/null
  local script="$key"$'\r\n1\r\n1\r\n0\r\n'
  for i in $(seq -f %02g 0 $((count - 1))); do
    head -c $((kib * 1024)) /dev/urandom > "$root/store/f$i.bin"
    head -c $((kib * 1024)) /dev/urandom > "$root/old/f$i.bin"
    script+="f$i.bin"$'\r\n'
  done
  printf '%s' "$script" > "$root/store/update.txt"
}

# One patch of $1 files of $2 KiB: the updater in quiet mode against reference_copy.exe's roads
# ($contenders: reference, safe, and in the staging section staged and held), alternated, $reps
# times each, then cp for scale. $5 "over" installs over older files of the same names and sizes,
# as a patch does; "new" into an empty folder. BENCH_DATA=wine writes each contender's data with a
# Windows program under Wine and no sync, as a player's unpacked download lies; else cp and sync.
overhead() {
  local count=$1 kib=$2 label=$3 into=$5 last
  last=f$(printf %02d $((count - 1))).bin
  rm -rf "$root" && mkdir -p "$root/store" "$root/old" "$root/patch" "$root/install"
  make_patch "$count" "$kib"
  local -A times=()
  local cp_times=() all=(updater $contenders)
  prepare() {
    rm -rf "$root/patch" "$root/install" && mkdir -p "$root/patch" "$root/install"
    cp "$root/store/update.txt" "$build/updater.exe" "$root/patch/"
    if [ "${BENCH_DATA:-}" = wine ]; then
      wine "$build/reference_copy.exe" "$(winpath "$root/store")" "$(winpath "$root/patch")" "$count" lay
      if [ "$into" = over ]; then wine "$build/reference_copy.exe" "$(winpath "$root/old")" "$(winpath "$root/install")" "$count" lay; fi
    else
      # Each contender's sources are written the same way just before it runs,
      # then flushed, so that each starts on a quiet disk with its sources cached.
      cp "$root/store/"*.bin "$root/patch/"
      if [ "$into" = over ]; then cp "$root/old/"*.bin "$root/install/"; fi
      sync
    fi
  }
  run() {  # $1: updater, reference, safe, staged or held
    prepare; local t0; t0=$(now_ms)
    if [ "$1" = updater ]; then
      wine "$build/as_player.exe" "$(winpath "$root/patch/updater.exe")"
    else
      wine "$build/as_player.exe" "$(winpath "$build/reference_copy.exe")" "$(winpath "$root/patch")" \
        "$(winpath "$root/install")" "$count" ${1#reference}
    fi
    times[$1]+="$(( $(now_ms) - t0 )) "
    cmp -s "$root/install/$last" "$root/store/$last" || { echo "bench: $1 did not copy" >&2; exit 1; }
  }
  # One untimed round first: the first GUI program of a Wine session pays for
  # warming the session's caches.
  for contender in "${all[@]}"; do run "$contender"; done
  times=()
  for rep in $(seq 1 "$reps"); do
    # Alternated, and in turn first, so that none always meets another's aftermath.
    local n=${#all[@]}
    for k in $(seq 0 $((n - 1))); do run "${all[$(( (k + rep) % n ))]}"; done
    prepare; local t0; t0=$(now_ms)
    cp "$root/patch/"f*.bin "$root/install/" && rm "$root/patch/"f*.bin; cp_times+=($(( $(now_ms) - t0 )))
  done
  local -A medians=()
  for contender in "${all[@]}"; do medians[$contender]=$(printf '%s\n' ${times[$contender]} | median); done
  local c verdict="reported, no mark" line="$label: updater ${medians[updater]} ms" ratios="" runs="updater ${times[updater]}"
  c=$(printf '%s\n' "${cp_times[@]}" | median)
  for contender in $contenders; do
    local ratio
    ratio=$(awk -v u="${medians[updater]}" -v r="${medians[$contender]}" 'BEGIN {printf "%.3f", u / r}')
    line+=", $contender ${medians[$contender]} ms"
    ratios+=", updater/$contender $ratio"
    runs+="| $contender ${times[$contender]}"
    if [ "$contender" = "${6:-reference}" ] && [ -n "$4" ]; then ratios+=" (mark: at most $4, $(mark "$ratio" "$4"))"; fi
  done
  echo "$line, cp+rm $c ms (medians of $reps)${ratios}"
  echo "    runs: $runs| cp+rm ${cp_times[*]}"
  rm -rf "$root"
}

contenders="reference safe"
if [ "$only" = staging ]; then  # the first case of the overhead against every road, alone
  echo
  echo "== The staged copy against every reference (data in $data, written by ${BENCH_DATA:-cp and sync})"
  contenders="reference safe staged held"
  overhead 50 20480 "50 files of 20 MiB over older ones" 1.10 over held
  overhead 50 1 "50 files of 1 KiB over older ones" "" over
  contenders="reference safe"
fi

if section overhead; then
  echo
  echo "== Overhead of a quiet-mode patch under Wine (data in $data, disk-backed unless BENCH_DIR says otherwise)"
  overhead 50 20480 "50 files of 20 MiB over older ones" 1.15 over
  overhead 50 20480 "50 files of 20 MiB into an empty folder" "" new
  overhead 50 1 "50 files of 1 KiB over older ones" "" over
  if [ -z "${BENCH_DIR:-}" ]; then
    echo "== The same in memory (/dev/shm), where the disk's stalls do not show"
    root=/dev/shm/updater-bench
    overhead 50 20480 "50 files of 20 MiB over older ones" "" over
    root="$data/updater-bench"
  fi
fi
wine reg delete 'HKCU\Software\UpdaterBench' /f >/dev/null 2>&1 || true

# A signed patch of $1 files of $2 KiB over older files: the keyed updater.exe verifying it,
# against the unkeyed one on the same patch without its manifest plus hash_files.exe hashing the
# same files with CNG, alternated, $reps times each.
verification() {
  local count=$1 kib=$2 label=$3 last
  last=f$(printf %02d $((count - 1))).bin
  rm -rf "$root" && mkdir -p "$root/store" "$root/old"
  make_patch "$count" "$kib"
  cp "$build/keyed/updater.exe" "$root/store/"
  wine "$build/patchtool.exe" sign "$(winpath "$root/store")" "$(winpath "$PWD/tests/keys/vendor.pem")" >/dev/null 2>&1
  rm "$root/store/updater.exe"
  local verified=() plain=() hashed=()
  prepare() {  # $1: the updater.exe, $2: "signed" to ship the manifest
    rm -rf "$root/patch" "$root/install" && mkdir -p "$root/patch" "$root/install"
    cp "$root/store/"*.bin "$root/store/update.txt" "$1" "$root/patch/"
    [ "$2" = signed ] && cp "$root/store/update.manifest" "$root/patch/"
    cp "$root/old/"*.bin "$root/install/"
    sync
  }
  run_verified() {
    prepare "$build/keyed/updater.exe" signed; local t0; t0=$(now_ms)
    wine "$build/as_player.exe" "$(winpath "$root/patch/updater.exe")"; verified+=($(( $(now_ms) - t0 )))
    cmp -s "$root/install/$last" "$root/store/$last" || { echo "bench: the keyed updater did not copy" >&2; exit 1; }
  }
  run_plain() {
    prepare "$build/updater.exe" plain; local t0; t0=$(now_ms)
    wine "$build/as_player.exe" "$(winpath "$root/patch/updater.exe")"; plain+=($(( $(now_ms) - t0 )))
  }
  run_hash() {
    prepare "$build/updater.exe" plain; local t0; t0=$(now_ms)
    wine "$build/as_player.exe" "$(winpath "$build/hash_files.exe")" "$(winpath "$root/patch")" "$count"; hashed+=($(( $(now_ms) - t0 )))
  }
  run_verified; run_plain; run_hash
  verified=() plain=() hashed=()
  for rep in $(seq 1 "$reps"); do
    case $((rep % 3)) in
      0) run_verified; run_plain; run_hash ;;
      1) run_plain; run_hash; run_verified ;;
      2) run_hash; run_verified; run_plain ;;
    esac
  done
  local v p h
  v=$(printf '%s\n' "${verified[@]}" | median)
  p=$(printf '%s\n' "${plain[@]}" | median)
  h=$(printf '%s\n' "${hashed[@]}" | median)
  local ratio
  ratio=$(awk -v v="$v" -v p="$p" -v h="$h" 'BEGIN {printf "%.3f", v / (p + h)}')
  echo "$label: verified $v ms, unverified $p ms, SHA-256 of the files $h ms (medians of $reps);" \
       "verified/(unverified+SHA-256) $ratio (mark: at most 1.05, $(mark "$ratio" 1.05))"
  echo "    runs: verified ${verified[*]} | unverified ${plain[*]} | SHA-256 ${hashed[*]}"
  rm -rf "$root"
}

if section verification; then
  echo
  echo "== Verifying a signed patch (data in $data)"
  verification 50 20480 "50 files of 20 MiB over older ones"
fi
wine reg delete 'HKCU\Software\UpdaterBench' /f >/dev/null 2>&1 || true

# Two adjacent versions of a file that nobody here made, from the npm registry, fetched once into
# $data/pairs: prints the old file's path and the new one's.
fetch_pair() {  # $1 package, $2 old version, $3 new version, $4 the file in the package
  local dir="$data/pairs/${1//\//_}"
  for version in "$2" "$3"; do
    if [ ! -f "$dir/$version/$4" ]; then
      mkdir -p "$dir/$version"
      (cd "$dir" && npm pack --silent "$1@$version" >/dev/null && tar -xzf ./*-"$version".tgz -C "$version" --strip-components=1)
    fi
  done
  echo "$dir/$2/$4" "$dir/$3/$4"
}

# The size of patchtool's delta from $1 to $2 (0 when it ships the file whole) against xdelta3's
# best and bsdiff's on the same pair.
delta_sizes() {
  local old=$1 new=$2 label=$3 work="$data/delta-work" ours x3 bs ratio
  rm -rf "$work" && mkdir -p "$work/old" "$work/new"
  cp "$old" "$work/old/file" && cp "$new" "$work/new/file"
  build/bench/patchtool build "$work/old" "$work/new" "$work/out" --key K --version 2 --min 1 >/dev/null 2>&1
  ours=$(cat "$work/out/"*.vcdiff 2>/dev/null | wc -c)
  xdelta3 -9 -S none -e -f -s "$old" "$new" "$work/x3" && x3=$(stat -c %s "$work/x3")
  bsdiff "$old" "$new" "$work/bs" && bs=$(stat -c %s "$work/bs")
  ratio=$(awk -v o="$ours" -v x="$x3" 'BEGIN {printf "%.3f", o / x}')
  echo "$label: new file $(stat -c %s "$new") bytes; patchtool $ours, xdelta3 -9 -S none $x3, bsdiff $bs (compressed with bzip2);" \
       "patchtool/xdelta3 $ratio (mark: at most 1.10, $(mark "$ratio" 1.10))"
  rm -rf "$work"
}

# The keyed updater's quiet run of a signed patch that ships $2 as a delta from $1, against the same
# patch with the file whole (--no-delta), over $1 installed; alternated, medians of $reps.
delta_apply() {
  local old=$1 new=$2 label=$3 work="$root"
  rm -rf "$work" && mkdir -p "$work/old" "$work/new"
  cp "$old" "$work/old/file" && cp "$new" "$work/new/file"
  wine reg add "HKCU\\$key" /v path /d "$(winpath "$work/install")" /f >/dev/null
  for kind in delta whole; do
    build/bench/patchtool build "$work/old" "$work/new" "$work/$kind" --key "$key" --version 2 --min 1 --quiet \
      --updater "$build/keyed/updater.exe" --sign tests/keys/vendor.pem $([ $kind = whole ] && echo --no-delta) >/dev/null 2>&1
  done
  local -A times=()
  run() {
    rm -rf "$work/patch" "$work/install" && cp -r "$work/$1" "$work/patch" && mkdir -p "$work/install" && cp "$old" "$work/install/file"
    sync; local t0; t0=$(now_ms)
    wine "$build/as_player.exe" "$(winpath "$work/patch/updater.exe")"
    times[$1]+="$(( $(now_ms) - t0 )) "
    cmp -s "$work/install/file" "$new" || { echo "bench: the $1 patch did not install" >&2; exit 1; }
  }
  run delta; run whole; times=()
  for rep in $(seq 1 "$reps"); do
    if [ $((rep % 2)) = 0 ]; then run delta; run whole; else run whole; run delta; fi
  done
  local d w ratio
  d=$(printf '%s\n' ${times[delta]} | median)
  w=$(printf '%s\n' ${times[whole]} | median)
  ratio=$(awk -v d="$d" -v w="$w" 'BEGIN {printf "%.3f", d / w}')
  echo "$label: applying the delta $d ms, copying the whole file $w ms (medians of $reps); delta/whole $ratio (mark: at most 1.5, $(mark "$ratio" 1.5))"
  echo "    runs: delta ${times[delta]}| whole ${times[whole]}"
  rm -rf "$work"
}

if section deltas; then
  echo
  echo "== Deltas of real pairs (npm registry), and applying one (data in $data)"
  read -r esbuild_old esbuild_new < <(fetch_pair @esbuild/win32-x64 0.24.0 0.24.1 esbuild.exe)
  read -r ts_old ts_new < <(fetch_pair typescript 5.6.2 5.6.3 lib/typescript.js)
  delta_sizes "$esbuild_old" "$esbuild_new" "esbuild.exe 0.24.0 to 0.24.1 (a Windows program)"
  delta_sizes "$ts_old" "$ts_new" "typescript.js 5.6.2 to 5.6.3 (a large text)"
  delta_apply "$esbuild_old" "$esbuild_new" "esbuild.exe 0.24.0 to 0.24.1, quiet run, disk"
fi

if section responsiveness; then
  echo
  echo "== Responsiveness while a 1 GiB file copies"
  mkdir -p "$root"
  wine "$build/copy_probe.exe" "$(winpath "$build/updater.exe")" "$(winpath "$root")" 1024 | tr -d '\r' |
    awk -F'[= ]' '{print "longest wait for an answer: " $2 " ms over " $4 " probes every 50 ms, run " $6 " ms (mark: at most 100 ms, " (($2 <= 100) ? "met" : "NOT met") ")"}'
  rm -rf "$root"
fi
