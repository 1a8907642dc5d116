#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET]     (default 30)
# The picture target runs once per registered format that has fixtures: its
# seed corpus is every file under tests/data whose extension belongs to the
# format, prefixed by the format's index byte. Findings land in out/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
bash scripts/install-deps.sh
if ! dpkg-query -W -f='${Status}' clang libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed"; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update && apt-get install -y --no-install-recommends clang libclang-rt-14-dev
fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DVELMORA_BUILD_FUZZ=ON -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF -DVELMORA_BUILD_GUI=OFF
cmake --build build-fuzz -j"$(nproc)"

out=out/fuzz
mkdir -p "$out"
run() {  # name corpus-dir
  local name=$1 corpus=$2
  echo "== $name ($seconds s)"
  (cd "$out" && "../../build-fuzz/bin/$3" -max_total_time="$seconds" -rss_limit_mb=2048 \
     -timeout=10 -print_final_stats=1 "../../$corpus" 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|crash-|timeout-|oom-' || true)
}

# The picture formats: one corpus per format index.
python3 - "$out" <<'PY'
import os, sys, subprocess
out = sys.argv[1]
# The registry's order: read it from the source table so the index bytes match.
import re
src = open("src/imaging/PictureReader.cpp").read()
table = re.findall(r'\{\{([^}]*)\},\s*"[^"]*",\s*"[^"]*",\s*(\w+)\}', src)
for index, (exts, decoder) in enumerate(table):
    exts = [e.strip().strip('"') for e in exts.split(",")]
    corpus = os.path.join(out, "corpus", exts[0])
    os.makedirs(corpus, exist_ok=True)
    n = 0
    for root, _, files in os.walk("tests/data"):
        for f in files:
            if f.rsplit(".", 1)[-1].lower() in exts:
                data = open(os.path.join(root, f), "rb").read()
                if len(data) > 1 << 20:
                    continue
                open(os.path.join(corpus, "seed-%d-%s" % (n, f)), "wb").write(bytes([index]) + data)
                n += 1
    if decoder == "nullptr" or n == 0:
        os.rmdir(corpus) if not os.listdir(corpus) else None
PY
for corpus in "$out"/corpus/*/; do
  name=$(basename "$corpus")
  run "picture/$name" "$corpus" fuzz_picture
done
# The photo decoders start from their fixtures.
for pair in webp:webp heif:heic jxl:jxl raw:dng; do
  mkdir -p "$out/corpus-fuzz_${pair%%:*}"
  cp tests/data/photo/*."${pair#*:}" "$out/corpus-fuzz_${pair%%:*}/" 2>/dev/null || true
done
for t in fuzz_bmp fuzz_jpeg fuzz_png fuzz_tiff fuzz_webp fuzz_heif fuzz_jxl fuzz_raw fuzz_image_list; do
  mkdir -p "$out/corpus-$t"
  run "$t" "$out/corpus-$t" "$t"
done
