#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages Quillmere needs to build, run and test.
# Only what is missing is installed; sudo is used only when not already root.
# An entry "a|b" takes the first of a and b that the distribution offers (Debian and Ubuntu name
# a few packages differently).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-qpa-plugins libgl-dev libxkbcommon-dev
  libfreeimage-dev "libjpeg62-turbo-dev|libjpeg-dev" libtiff-dev libexif-dev liblcms2-dev
  zlib1g-dev libdeflate-dev libseccomp-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang "libclang-rt-14-dev|libclang-rt-dev|libclang-common-14-dev"
  xvfb xauth xdotool x11-utils x11-apps libxcb1-dev
  weston xwayland # a headless Wayland session with XWayland for an end-to-end test
  fonts-dejavu-core fonts-liberation2
  xdg-utils shared-mime-info desktop-file-utils
  dpkg-dev file lintian appstream man-db gzip # making and checking the Debian package
  qt6-translations-l10n qt6-wayland           # what the package needs or recommends, unlinked
)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for entry in "${packages[@]}"; do
  IFS='|' read -r -a choices <<<"$entry"
  have=no
  for p in "${choices[@]}"; do
    if installed "$p"; then
      have=yes
      break
    fi
  done
  [ "$have" = yes ] || missing+=("$entry")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq

# Resolve alternatives only now: before the update the package lists may know nothing.
install=()
for entry in "${missing[@]}"; do
  IFS='|' read -r -a choices <<<"$entry"
  chosen=${choices[0]}
  for p in "${choices[@]}"; do
    if apt-cache show "$p" >/dev/null 2>&1; then
      chosen=$p
      break
    fi
  done
  install+=("$chosen")
done

echo "Installing: ${install[*]}"
$SUDO apt-get install -y -qq --no-install-recommends "${install[@]}"
