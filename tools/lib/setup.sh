# Shared set-up for the project's scripts (sourced, not run): installing the
# machine packages, and a private Wine prefix with an X server of its own.

NORVIK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
NORVIK_CACHE=${NORVIK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}}
# Debian's wine64 package installs these two here and puts neither on PATH.
NORVIK_WINE=/usr/lib/wine/wine64
NORVIK_WINESERVER=/usr/lib/wine/wineserver

norvik_log() { printf '[%s] %s\n' "${NORVIK_SCRIPT:-norvik}" "$*"; }
norvik_die() { printf '[%s] error: %s\n' "${NORVIK_SCRIPT:-norvik}" "$*" >&2; exit 1; }

# Clean-up steps run at exit, newest first, whether the script succeeds, fails
# or is interrupted, so no server or X server outlives the script that started it.
NORVIK_EXIT_STEPS=()
norvik_at_exit() {
    NORVIK_EXIT_STEPS=("$1" "${NORVIK_EXIT_STEPS[@]}")
    trap norvik_run_exit_steps EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}
norvik_run_exit_steps() {
    local step
    set +e
    for step in "${NORVIK_EXIT_STEPS[@]}"; do eval "$step" >/dev/null 2>&1; done
    NORVIK_EXIT_STEPS=()
}

# Runs a command as root: directly, or through sudo. Without either, says what
# a root user must do instead ($1) and stops.
norvik_as_root() {
    local instead=$1
    shift
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        norvik_die "this step needs root (or sudo), which this user lacks. Ask an administrator to run: $instead"
    fi
}

# Debian packages the build, the tests and the demo need.
NORVIK_PACKAGES=(
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 nasm patch
    cmake ninja-build dpkg-dev xz-utils file
    libspdlog-dev libfmt-dev libtomlplusplus-dev googletest
    libminizip-dev zlib1g-dev
    wine64 xvfb x11-utils imagemagick fonts-ipafont-gothic locales
    nginx openssl ca-certificates python3
)

# What tools/make-artwork draws with (not needed to build or test).
NORVIK_ARTWORK_PACKAGES=(python3-pil fonts-noto-cjk)

norvik_install_packages() {
    norvik_install_package_list "${NORVIK_PACKAGES[@]}"
    norvik_ensure_japanese_locale
    norvik_ensure_localhost
}

# The test servers and the demo are reached as "localhost"; WinInet under Wine
# asks the system resolver, which knows the name only from /etc/hosts (an
# installed Debian has it; a bare root made by debootstrap has no such file).
norvik_ensure_localhost() {
    getent hosts localhost >/dev/null 2>&1 && return 0
    printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' |
        norvik_as_root "echo '127.0.0.1 localhost' >>/etc/hosts" tee -a /etc/hosts >/dev/null
    getent hosts localhost >/dev/null 2>&1 || norvik_die "localhost does not resolve (see /etc/hosts)"
}

# Installs whichever of the given Debian packages are missing (the publisher
# and the fuzz script need only a few).
norvik_install_package_list() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        norvik_log "installing: ${missing[*]}"
        local instead="apt-get install --no-install-recommends ${missing[*]}"
        norvik_as_root "$instead" apt-get update -qq
        norvik_as_root "$instead" env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -qq --no-install-recommends "${missing[@]}" \
            >/dev/null || norvik_die "apt-get install failed for: ${missing[*]}"
    fi
}

# Japanese user-interface tests run Wine under ja_JP.UTF-8.
norvik_ensure_japanese_locale() {
    locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && return 0
    local instead="echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen && locale-gen"
    norvik_as_root "$instead" sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen ||
        echo 'ja_JP.UTF-8 UTF-8' | norvik_as_root "$instead" tee -a /etc/locale.gen >/dev/null
    norvik_as_root "$instead" locale-gen >/dev/null || norvik_die "could not generate the ja_JP.UTF-8 locale"
}

# A Wine prefix made once per Wine version and copied for each use: a fresh
# prefix takes several seconds, a copy about one.
norvik_wine_template() {
    local version
    version=$("$NORVIK_WINE" --version 2>/dev/null | tr -c 'A-Za-z0-9.\n-' '_')
    # The suffix changes whenever the settings made below change.
    local template="$NORVIK_CACHE/norvik-wine/template-$version-r3"
    if [ ! -f "$template/.complete" ]; then
        norvik_log "making the Wine prefix template (once)" >&2
        rm -rf "$template"
        mkdir -p "$template"
        (
            export WINEPREFIX="$template" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
            unset DISPLAY
            "$NORVIK_WINE" wineboot -i >/dev/null 2>&1
            # Unmanaged windows close in milliseconds instead of seconds under a bare X server.
            "$NORVIK_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
            # Wine ships no "MS UI Gothic", the face the Japanese window and dialog ask
            # for; without a stand-in Japanese texts draw as empty boxes. The IPA font
            # stands in as it would on a Japanese Windows.
            "$NORVIK_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
                /v 'MS UI Gothic' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1
            "$NORVIK_WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' \
                /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1
            "$NORVIK_WINESERVER" -w
        ) || norvik_die "could not make the Wine prefix template"
        touch "$template/.complete"
    fi
    printf '%s\n' "$template"
}

# Starts an X server of our own, large enough for the window at 200 %; sets
# DISPLAY and NORVIK_XVFB_PID.
norvik_start_xvfb() {
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    NORVIK_XVFB_PID=$!
    norvik_at_exit 'kill "$NORVIK_XVFB_PID"' 
    local number
    read -r -t 20 number <"$fifo" || norvik_die "Xvfb did not start"
    rm -f "$fifo"
    export DISPLAY=":$number"
}

# Prepares WINEPREFIX=$1 from the template and a wineserver that outlives the
# test processes (without it every Wine start waits for the server's pipes).
norvik_wine_session() {
    local prefix=$1
    local template
    template=$(norvik_wine_template)
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    cp -a "$template" "$prefix"
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    [ -n "${NORVIK_KEEP_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ] || norvik_start_xvfb
    norvik_at_exit '"$NORVIK_WINESERVER" -k'
    "$NORVIK_WINESERVER" -p </dev/null >/dev/null 2>&1
    "$NORVIK_WINE" wineboot </dev/null >/dev/null 2>&1 || true
}
