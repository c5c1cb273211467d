#!/usr/bin/env bash
# Installs on Debian 12 what is missing for a purpose:
#   deps.sh run    building and running the program (scripts/play.sh)
#   deps.sh test   that, and what building and running the tests and
#                  benchmarks need (scripts/test.sh)
set -euo pipefail
purpose=${1:-run}
# Compiler and build tools; zlib, libpng (image tools), EGL and OpenGL ES
# through Mesa (llvmpipe runs the headless program), SDL2 (the window); the
# demo fonts are rendered from DejaVu with FreeType, the demo art by a Python
# generator and an SVG renderer.
pkgs=(build-essential cmake ninja-build pkg-config
      zlib1g-dev libpng-dev libegl-dev libgles-dev libegl-mesa0 libgl1-mesa-dri libsdl2-dev
      libfreetype-dev fonts-dejavu-core python3 librsvg2-bin)
case $purpose in
  run) ;;
  test)
    pkgs+=(git libgtest-dev libgmock-dev libbenchmark-dev libpixman-1-dev pngcheck)
    # Network tests: network namespaces, an nginx peer, libcurl and nettle as
    # references; the local-network tests watch and inject datagrams with
    # tcpdump and socat.
    pkgs+=(iproute2 nginx-light libcurl4-openssl-dev nettle-dev tcpdump socat)
    # The desktop test starts its own X server.
    pkgs+=(xvfb)
    # The GL tests validate every generated shader with glslangValidator.
    pkgs+=(glslang-tools)
    # The drawing tests make ETC1 textures with etc1tool and project points with libGLU.
    pkgs+=(etc1tool libglu1-mesa-dev)
    # The audio tests measure output with sox and compare modules with libxmp.
    pkgs+=(sox libxmp-dev)
    ;;
  *)
    echo "usage: deps.sh [run|test]" >&2
    exit 2
    ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
