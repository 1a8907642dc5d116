#!/usr/bin/env bash
# Installs what is needed, builds everything and runs all tests: once in the
# release build, once more built with AddressSanitizer and
# UndefinedBehaviorSanitizer, which catch a read past a buffer or an overflow
# that an ordinary run would let pass.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# The Debian package from the same build, installed and tried as a user.
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
bash scripts/package.sh
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --reinstall ./velmora_*.deb
$SUDO bash scripts/smoke-installed.sh

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_BENCH=OFF
cmake --build build-asan -j"$jobs"
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 LSAN_OPTIONS=suppressions="$PWD/scripts/lsan-suppressions.txt" \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
