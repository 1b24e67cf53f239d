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
  libjxl-dev libwebp-dev libraw-dev # JPEG XL, WebP, camera raw (libheif: see below)
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

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive

# HEIF and AVIF: libheif reads the photos of current iPhones from 1.18 on, with its HEVC
# (libde265) and AV1 (dav1d) plugins; the x265 and aom encoder plugins make the tests' files.
# Debian 12 has 1.15 in its main archive and 1.19 in its backports: there the backports are
# enabled (if they are not already) and these packages alone are taken from them. Newer Debian and
# Ubuntu releases take them from their main archive.
heif_packages=(libheif-dev libheif1 libheif-plugin-libde265 libheif-plugin-dav1d
  libheif-plugin-x265 libheif-plugin-aomenc)
heif_new_enough() {
  local version
  version=$(dpkg-query -W -f='${Version}' libheif-dev 2>/dev/null) || return 1
  dpkg --compare-versions "$version" ge 1.18 || return 1
  for p in "${heif_packages[@]}"; do
    installed "$p" || return 1
  done
}
if ! heif_new_enough; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  suffix=""
  if [ "$codename" = bookworm ]; then
    if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' \
        'Suites: bookworm-backports' 'Components: main' \
        'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        $SUDO tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null
    fi
    suffix=/bookworm-backports
  fi
  $SUDO apt-get update -qq
  echo "Installing: ${heif_packages[*]}${suffix:+ from $codename-backports}"
  $SUDO apt-get install -y -qq --no-install-recommends "${heif_packages[@]/%/$suffix}"
fi

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
