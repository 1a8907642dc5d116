#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET]     (default 30)
# The picture target runs once per registered format that has fixtures: its
# seed corpus is every file under tests/data whose extension belongs to the
# format, prefixed by the format's index byte (a large fixture also gives a
# seed of its first 8 KB, so the header paths are mutated at full speed).
# The project and options targets get small seeds made here. Findings land
# in out/fuzz/.
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
# The leaks inside system libraries that the sanitizer test run ignores are
# ignored here too, or every input reaching one would stop the fuzzer there.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# Undefined behaviour stops the run and leaves its input, as a crash does;
# by default the sanitizer only prints it and the input is lost.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
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
                if len(data) > 256 << 10:
                    open(os.path.join(corpus, "seed-%d-head-%s" % (n, f)), "wb").write(bytes([index]) + data[:8192])
                    n += 1
    if decoder == "nullptr" or n == 0:
        os.rmdir(corpus) if not os.listdir(corpus) else None
PY
for corpus in "$out"/corpus/*/; do
  name=$(basename "$corpus")
  run "picture/$name" "$corpus" fuzz_picture
done
# Seeds of the project and options targets: the option block of the built-in
# defaults (and one with a raised repeat limit), and project heads (record,
# a 4 x 4 main picture, a short list) with the cells of the grid after them,
# as fuzz/FuzzProjectFile.h and fuzz_project_bands.cpp read them.
python3 - "$out" <<'PY'
import os, struct, sys
out = sys.argv[1]
def options(repeat=10, kernel=4, border=0):
    return struct.pack("<ii5B3xiB3xiB3xiiiiB3xiB3x", 20, 50, 1, 1, 0, 1, 0, 4, 0, repeat, 0, border, 0, 51, 204,
                       kernel, 75, 0)
def project(across, down, cw, ch, mode, stitch, names, cells):
    bmp = b"BM" + struct.pack("<IHHI", 54 + 64, 0, 0, 54) + struct.pack("<iiiHHIIiiII", 40, 4, 4, 1, 32, 0, 64, 0, 0, 0, 0)
    bmp += bytes((x * 60, y * 60, 200, 0)[i % 4] for y in range(4) for x in range(4) for i in range(4))
    text = b"".join(n + b"\r\n" for n in names)
    rec = bytearray(144)
    struct.pack_into("<ii", rec, 8, across * cw, down * ch)
    struct.pack_into("<dddd", rec, 16, 1.0, 1.0, 2.54, 2.54)
    struct.pack_into("<iiiiiii", rec, 48, 72, across, down, cw, ch, mode, stitch)
    rec[76:136] = options()
    struct.pack_into("<ii", rec, 136, len(bmp), len(text))
    head = struct.pack("<I", 144) + bytes(rec) + bmp + text
    body = b"".join(struct.pack("<iiiiBBBx", c % max(len(names), 1), c % 7 - 3, 2, -1, 1, c & 1, (c >> 1) & 1)
                    for c in range(cells))
    return head + body
seeds = {
    "fuzz_options_file": {"defaults.opt": options(), "raised.opt": options(repeat=5000, kernel=6, border=20)},
    "fuzz_project_file": {"standard.vm6": project(8, 8, 8, 8, 2, 1, [b"/a.jpg", b"/bb.bmp"], 0),
                          "self.vm6": project(8, 9, 12, 10, 1, 3, [], 0)},
    "fuzz_project_bands": {"standard.vm6": project(8, 8, 8, 8, 2, 2, [b"/a.jpg", b"/bb.bmp", b"/c.png"], 64),
                           "self.vm6": project(9, 8, 10, 12, 1, 3, [], 72)},
}
# The extension area: the magic, then a matching block and a pen-stroke log
# of two strokes, each with its checksum.
import zlib
def block(tag, payload, version=1):
    return tag + struct.pack("<HHII", version, 0, len(payload), zlib.crc32(payload)) + payload
pens = struct.pack("<HHI", 1, 0, 2) + struct.pack("<8i", 0, 0, 64, 64, 1, 51, 204, 4) + struct.pack("<8i", 8, 8, 24, 40, -1, 0, 255, 2)
seeds["fuzz_project_extensions"] = {
    "matching.vmx": b"VMXBLOCK" + block(b"MTCH", bytes([3, 0, 0, 0])),
    "pens.vmx": b"VMXBLOCK" + block(b"MTCH", bytes([1, 0, 0, 0])) + block(b"PENS", pens),
}
for target, files in seeds.items():
    os.makedirs(os.path.join(out, "corpus-" + target), exist_ok=True)
    for name, data in files.items():
        open(os.path.join(out, "corpus-" + target, "seed-" + name), "wb").write(data)
PY
# The photo decoders start from their fixtures.
for pair in webp:webp heif:heic jxl:jxl raw:dng; do
  mkdir -p "$out/corpus-fuzz_${pair%%:*}"
  cp tests/data/photo/*."${pair#*:}" "$out/corpus-fuzz_${pair%%:*}/" 2>/dev/null || true
done
# Rendition packs as a run keeps them: a small mosaic made with an empty
# cache folder leaves its packs there.
mkdir -p "$out/corpus-fuzz_rendition_pack"
XDG_CACHE_HOME="$out/seed-cache" build-fuzz/bin/velmora-cli create --quiet --main samples/main.jpg \
  --library images --cells 8x8 --cell-size 8x8 --seed 1 --out "$out/seed-mosaic.jpg" >/dev/null 2>&1 &&
  cp "$out"/seed-cache/velmora/renditions/*.vrp "$out/corpus-fuzz_rendition_pack/" || true
for t in fuzz_bmp fuzz_jpeg fuzz_png fuzz_tiff fuzz_webp fuzz_heif fuzz_jxl fuzz_raw fuzz_image_list fuzz_options_file fuzz_project_file fuzz_project_bands fuzz_project_extensions fuzz_web_manifest fuzz_rendition_pack; do
  mkdir -p "$out/corpus-$t"
  run "$t" "$out/corpus-$t" "$t"
done
