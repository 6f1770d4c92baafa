#!/usr/bin/env bash
# CI step: builds the fuzz targets with Debian's clang (AddressSanitizer,
# UndefinedBehaviorSanitizer, libFuzzer) in build-fuzz/ and runs each for a
# bounded time on the seed corpora written by the heap page builder.
#   fuzz/ci.sh [SECONDS_PER_TARGET]   (default 45)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-45}

need=()
for pkg in clang libclang-rt-14-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# Warnings stay warnings here: clang's set differs from the main build's.
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DVESK_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
  -DVESK_SANITIZE=ON -DVESK_WERROR=OFF >/dev/null
if ! cmake --build build-fuzz --target fuzzers -j"$(nproc)" >build-fuzz/build.log 2>&1; then
  tail -n 40 build-fuzz/build.log
  exit 1
fi
bash fuzz/run_fuzzers.sh "$PWD/build-fuzz" "$seconds"
