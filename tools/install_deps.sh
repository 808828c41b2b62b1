# Installs the Debian packages that building, running and testing need, when any is missing.
# Sourced by run.sh and test.sh.
vkest_install_deps() {
  local pkgs=(cmake g++ make ninja-build git qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
              python3 python3-numpy python3-scipy python3-gemmi python3-spglib python3-periodictable
              locales clang libclang-rt-14-dev
              fityk xvfb xdotool xclip x11-utils openbox imagemagick stress)
  local missing=()
  local p
  for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
  # A German locale for the check that numbers are written with "." whatever the locale says.
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8 2>/dev/null || true
  fi
}
