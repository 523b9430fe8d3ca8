# Shared by scripts/run and scripts/test: install what is missing, configure and build.
# Source it; it sets ROOT and BUILD. Set BUILD_DIR or CMAKE_ARGS to change the build.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}

PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev libsqlite3-dev libfreexl-dev libgsf-1-dev
          fp-utils fonts-noto-cjk libbenchmark-dev sqlite3 xvfb xauth python3-xlrd
          libxlsxwriter-dev qt6-translations-l10n
          qt6-charts-dev libqt6opengl6-dev poppler-utils libminizip-dev libexpat1-dev
          python3-openpyxl libqrencode-dev zbar-tools libsodium-dev)
# A script that needs more (scripts/package) names it in HJ_EXTRA_PACKAGES.
read -r -a extra <<<"${HJ_EXTRA_PACKAGES:-}"
PACKAGES+=("${extra[@]}")

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing Debian packages: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_ARGS:-}
fi
cmake --build "$BUILD" --parallel "$(nproc)"
