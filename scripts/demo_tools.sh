# Sourced by the demo scripts: the root, the build folder given as $1 (default
# build), and the two tools they need, which must have been built.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build}
case "$build" in /*) ;; *) build="$root/$build" ;; esac

batch="$build/app/quorvane-batch"
samplegen="$build/app/quorvane-samplegen"
for tool in "$batch" "$samplegen"; do
  if [ ! -x "$tool" ]; then
    echo "demo: $tool is missing; build first (make build)" >&2
    exit 1
  fi
done
