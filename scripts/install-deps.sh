#!/usr/bin/env bash
# Installs the Debian packages that are missing: "run" for what building and
# running the program needs, "test" (the default) for the tests and benchmarks
# as well. Runs apt-get directly as root, else through sudo.
set -euo pipefail

packages=(cmake make g++ pkg-config libasound2-dev libfftw3-dev libsndfile1-dev nlohmann-json3-dev)
case "${1:-test}" in
  run) ;;
  test) packages+=(alsa-utils libgtest-dev libgmock-dev libbenchmark-dev librsvg2-bin python3-yaml python3-jsonschema) ;;
  *) echo "Usage: $0 [run|test]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "Missing packages: ${missing[*]}. Install them as root (apt-get install ${missing[*]})." >&2
  exit 1
fi
echo "Installing ${missing[*]}" >&2
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "${missing[@]}"
