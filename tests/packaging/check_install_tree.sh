#!/usr/bin/env bash
# Installs the built program into a temporary root (DESTDIR) and checks the tree as a desktop
# would read it: the files in place, the menu entry and the AppStream data valid, the icons PNGs of
# their stated sizes.
# Usage: check_install_tree.sh BUILD_DIR VERSION MODULE_DIR
set -euo pipefail
build=$1
version=$2
module_dir=$3
id=org.example.TypingDrill

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
usr=$root/usr

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for file in bin/typing-drill bin/typing-drill-progress bin/typing-drill-class \
    "$module_dir/sound.so" \
    share/applications/$id.desktop \
    share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$id.svg \
    share/man/man1/typing-drill.1.gz share/man/man1/typing-drill-class.1.gz \
    share/doc/typing-drill/copyright \
    share/doc/typing-drill/changelog.gz; do
    [[ -f $usr/$file ]] || fail "$file is not installed"
done
[[ -x $usr/bin/typing-drill ]] || fail "bin/typing-drill is not executable"
# The program looks for its sound module at a path relative to its own folder, and loads it by
# this one exported name.
relative=$(strings "$usr/bin/typing-drill" | grep -m1 '/sound\.so$' || true)
[[ -n $relative && -f $usr/bin/$relative ]] \
    || fail "the program looks for its sound module at bin/'$relative', which is not installed"
nm -D --defined-only "$usr/$module_dir/sound.so" 2>/dev/null | grep -q ' T typing_drill_make_cue_output$' \
    || fail "$module_dir/sound.so does not export its entry point"

for size in 32 48 64 128 256; do
    png=share/icons/hicolor/${size}x${size}/apps/$id.png
    kind=$(file -b "$usr/$png" 2>&1)
    [[ $kind == "PNG image data, $size x $size,"* ]] || fail "$png is '$kind'"
done
kind=$(file -b "$usr/share/icons/hicolor/scalable/apps/$id.svg")
[[ $kind == *SVG* ]] || fail "the scalable icon is '$kind'"

# The validators print hints and pedantic notes too; only errors and warnings fail the check.
desktop=$usr/share/applications/$id.desktop
if ! report=$(desktop-file-validate "$desktop" 2>&1) || grep -qE ': (error|warning):' <<<"$report"; then
    fail "desktop-file-validate: $report"
fi
for command in validate validate-tree; do
    target=$usr/share/metainfo/$id.metainfo.xml
    [[ $command == validate-tree ]] && target=$root
    if ! report=$(appstreamcli "$command" --no-net "$target" 2>&1) \
        || grep -qE '^(E|W):' <<<"$report"; then
        fail "appstreamcli $command: $report"
    fi
done

# The entry starts the installed program by the icon of the same id, and the metadata names the
# release that was built.
grep -qx "Exec=typing-drill" "$desktop" || fail "the entry does not run typing-drill"
# The menu and the dock offer the weak-letter practice and the progress window on the icon.
grep -qx "Actions=weak;progress;" "$desktop" || fail "the entry offers not both actions"
action() { sed -n "/^\[Desktop Action $1\]\$/,/^\[/p" "$desktop"; }
action progress | grep -qx "Exec=typing-drill --progress" \
    || fail "the progress action does not run typing-drill --progress"
action weak | grep -qx "Exec=typing-drill --practice weak" \
    || fail "the weak action does not run typing-drill --practice weak"
grep -qx "Icon=$id" "$desktop" || fail "the entry does not use the icon $id"
grep -qx "Name=青禾打字软件" "$desktop" || fail "the entry's name is not the program's"
grep -q "<release version=\"$version\"" "$usr/share/metainfo/$id.metainfo.xml" \
    || fail "the metadata does not name release $version"
zcat "$usr/share/doc/typing-drill/changelog.gz" | head -n 1 | grep -qF "typing-drill ($version)" \
    || fail "the changelog does not start with version $version"

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "installed tree checked: $(find "$root" -type f | wc -l) files"
