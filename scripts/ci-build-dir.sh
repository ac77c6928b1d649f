# Sourced by the CI scripts that build a tree of their own: installs what
# the machine lacks, then sets `build` (the BUILD variable, else the
# script's default folder), emptied, and `jobs` (the processor count).
# Usage, from the repository's top: source scripts/ci-build-dir.sh DEFAULT_DIR
scripts/install-deps.sh
build="${BUILD:-$1}"
jobs="$(nproc 2>/dev/null || echo 2)"
rm -rf "$build"
