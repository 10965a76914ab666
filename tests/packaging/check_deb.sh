#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary folder and checks its name, control
# fields, contents and the hardening of its binaries, then runs lintian on it, which must report
# no error.
# Usage: check_deb.sh BUILD_DIR VERSION MODULE_DIR fortified|unfortified
set -euo pipefail
shopt -s extglob
build=$1
version=$2
module_dir=$3
fortify=${4:-fortified}
id=org.example.TypingDrill

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 \
    || { cat "$out/cpack.log"; exit 1; }

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

arch=$(dpkg --print-architecture)
deb=$out/typing-drill_${version}_${arch}.deb
if [[ ! -f $deb ]]; then
    echo "FAIL: no $(basename "$deb") among: $(ls "$out")"
    exit 1
fi

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == typing-drill ]] || fail "Package is '$(field Package)'"
[[ $(field Version) == "$version" ]] || fail "Version is '$(field Version)'"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture is '$(field Architecture)'"
depends=$(field Depends)
# fonts-noto-cjk is named by hand; the libraries come from dpkg-shlibdeps reading the binary
# and the sound module.
for package in fonts-noto-cjk libc6 libqt6widgets6 libsdl2-2.0-0; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done
[[ $(field Recommends) == *qt6-wayland* ]] || fail "Recommends lacks qt6-wayland: $(field Recommends)"
dpkg-deb -I "$deb" >/dev/null || fail "dpkg-deb cannot read the control archive"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in ./usr/bin/typing-drill ./usr/bin/typing-drill-progress ./usr/bin/typing-drill-class \
    "./usr/$module_dir/sound.so" \
    ./usr/share/applications/$id.desktop \
    ./usr/share/metainfo/$id.metainfo.xml \
    ./usr/share/icons/hicolor/{32x32,48x48,64x64,128x128,256x256}/apps/$id.png \
    ./usr/share/icons/hicolor/scalable/apps/$id.svg \
    ./usr/share/man/man1/typing-drill.1.gz ./usr/share/man/man1/typing-drill-class.1.gz \
    ./usr/share/doc/typing-drill/copyright; do
    grep -qxF "$file" <<<"$contents" || fail "the package lacks $file"
done

# Every binary and module is hardened as Debian builds its own (control-flow protection aside,
# which the project does not ask for). Fortification shows only where a call's buffer has a size the
# compiler knows; code whose only such calls are the block copies and fills of C++ containers
# (memcpy, memmove, memset of a run-time size) has nothing to show and passes on that ground.
root=$out/root
dpkg-deb -x "$deb" "$root"
checked=0
while IFS= read -r -d '' file; do
    [[ $(file -b "$file") == ELF* ]] || continue
    checked=$((checked + 1))
    name=${file#"$root"}
    report=$(hardening-check --nocfprotection --nofortify "$file" 2>&1) \
        || fail "hardening-check $name: $report"
    [[ $fortify == fortified ]] || continue
    report=$(hardening-check --verbose --nocfprotection "$file" 2>&1) && continue
    unprotected=$(sed -n 's/^\tunprotected: //p' <<<"$report" | sort -u | tr '\n' ' ')
    if ! grep -q '^ Fortify Source functions: no, only unprotected functions found!$' <<<"$report" \
        || [[ -n ${unprotected//@(memcpy|memmove|memset) /} ]]; then
        fail "hardening-check $name: $report"
    fi
done < <(find "$root" -type f -print0)
((checked)) || fail "the package holds no binary to check"

# lintian warns on stderr when run as root; its findings come on stdout.
report=$(lintian --fail-on error "$deb" 2>/dev/null) || fail "lintian failed"
if grep -q '^E:' <<<"$report"; then
    fail "lintian reports errors"
fi
[[ -z $report ]] || echo "$report"

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package checked: $(basename "$deb"), $checked binaries hardened, Depends: $depends"
