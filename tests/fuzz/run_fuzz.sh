#!/usr/bin/env bash
# Runs each fuzz target built in build/fuzz for a while, on a scratch copy of its committed
# corpus, and says how many inputs each one executed. Crash inputs land in
# build/fuzz/findings/; add them to tests/fuzz/corpus/<target>/ once fixed.
#
# Usage: tests/fuzz/run_fuzz.sh [seconds per target] [target...]
#
# The network targets make the engine connect wherever a fuzzed PORT points, so every
# target runs in a network namespace of its own (loopback only) where the system allows
# one; elsewhere they run as they are.
set -euo pipefail

cd "$(dirname "$0")/../.."
seconds=${1:-60}
shift || true
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  targets=(ftp_session ftp_path http_request list_file storage_file address_pattern proxy_header)
fi

isolate=()
if unshare -rn sh -c 'ip link set lo up' 2>/dev/null; then
  isolate=(unshare -rn sh -c 'ip link set lo up && exec "$@"' isolated)
else
  echo "note: no network namespace available; the targets share the machine's loopback" >&2
fi

# The file targets write and replace files on every input; in memory that costs nothing.
if [[ -d /dev/shm && -w /dev/shm ]]; then
  export TMPDIR=/dev/shm
fi

mkdir -p build/fuzz/findings
status=0
for target in "${targets[@]}"; do
  binary=build/fuzz/bin/${target}_fuzz
  scratch=build/fuzz/corpus/$target
  mkdir -p "$scratch"
  max_len=4096
  [[ $target == storage_file ]] && max_len=16384
  log=build/fuzz/$target.log
  echo "== $target: ${seconds}s"
  if ! "${isolate[@]}" "$binary" -max_total_time="$seconds" -max_len="$max_len" \
      -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="build/fuzz/findings/$target-" \
      "$scratch" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
    echo "   FAILED: see $log and build/fuzz/findings/"
    status=1
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$log" | sed 's/^/   /' || true
done
exit $status
