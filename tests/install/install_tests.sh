#!/usr/bin/env bash
# `make install` into a scratch root, as a packager runs it: what lands where,
# that the desktop integration files are valid, that nothing of the tests or
# benchmarks comes along, and that the installed command line runs. When
# `make package` has left a .deb in the build folder, its contents and
# dependencies are checked too (the package itself is not built here).
set -u
usage="usage: install_tests.sh CMAKE BUILD-DIR SOURCE-DIR 'ICON-SIZES'"
cmake=${1:?$usage}
build=${2:?$usage}
source=${3:?$usage}
icon_sizes=${4-}
work=$(mktemp -d /tmp/sermida-install-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
# shellcheck source=../check-lib.sh
source "$(dirname "$0")/../check-lib.sh"

skip() { echo "SKIP: $*"; }

# Every file and link below a root, as absolute paths inside it, sorted.
file_list() { (cd "$1" && find . ! -type d | sed 's|^\.||' | LC_ALL=C sort); }

root=$work/root
if ! DESTDIR=$root "$cmake" --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi
usr=$root/usr
file_list "$root" >"$work/installed"

# --- Exactly these files: a test, benchmark, fuzzer, static library or
# GoogleTest header showing up here is a leak.
{
    printf '%s\n' /usr/bin/sermida /usr/bin/sermida-cli \
        /usr/share/applications/sermida.desktop \
        /usr/share/mime/packages/sermida.xml \
        /usr/share/icons/hicolor/scalable/apps/sermida.svg \
        /usr/share/doc/sermida/README.md \
        /usr/lib/systemd/system/sermida-dnc.service
    for size in $icon_sizes; do
        echo "/usr/share/icons/hicolor/${size}x${size}/apps/sermida.png"
    done
    (cd "$source/res" && find help samples ! -type d | sed 's|^|/usr/share/sermida/|')
} | LC_ALL=C sort >"$work/expected"
check "installed files are exactly the expected ones" \
    diff -u "$work/expected" "$work/installed"
no_leaks() {
    # The service's unit is the one file that belongs in a lib folder.
    ! grep -v '^/usr/lib/systemd/system/' "$work/installed" |
        grep -E '/include/|/lib/|\.a$|gtest|gmock|_tests$|Test$|_bench$|/fuzz_|pty_tools'
}
check "no test program, benchmark, library or header installed" no_leaks

# --- The programs.
for program in sermida sermida-cli; do
    check "$program is an executable file" test -f "$usr/bin/$program" -a -x "$usr/bin/$program"
    # Nothing may point back into the build tree once installed.
    check "$program carries no RPATH" \
        sh -c "! readelf -d '$usr/bin/$program' | grep -qE 'RPATH|RUNPATH'"
done
help_runs() {
    "$usr/bin/sermida-cli" --help >"$work/help.txt" 2>&1 &&
        grep -q 'send' "$work/help.txt" && grep -q 'receive' "$work/help.txt"
}
check "the installed sermida-cli --help runs" help_runs
check "the installed sermida-cli reads the installed sample" \
    sh -c "'$usr/bin/sermida-cli' info '$usr/share/sermida/samples/O1000.nc' >/dev/null"

# --- Manual, samples, icons and README are the project's own files.
check "manual installed unchanged" diff -r "$source/res/help" "$usr/share/sermida/help"
check "samples installed unchanged" diff -r "$source/res/samples" "$usr/share/sermida/samples"
check "help/index.html present" test -s "$usr/share/sermida/help/index.html"
check "samples/O1000.nc present" test -s "$usr/share/sermida/samples/O1000.nc"
check "scalable icon installed unchanged" \
    cmp -s "$source/res/sermida.svg" "$usr/share/icons/hicolor/scalable/apps/sermida.svg"
check "README installed unchanged" cmp -s "$source/README.md" "$usr/share/doc/sermida/README.md"
png_is() { # file size: a PNG of size x size pixels
    local header
    header=$(od -An -tx1 -N24 "$1" | tr -d ' \n')
    [[ ${header:0:16} == 89504e470d0a1a0a ]] || return 1
    (( 16#${header:32:8} == $2 && 16#${header:40:8} == $2 ))
}
for size in $icon_sizes; do
    check "${size}x${size} icon is a ${size}-pixel PNG" \
        png_is "$usr/share/icons/hicolor/${size}x${size}/apps/sermida.png" "$size"
done

# --- The DNC service's unit runs the installed program on the config in /etc.
check "the service unit starts sermida-cli serve on /etc/sermida/dnc.ini" \
    grep -qx 'ExecStart=/usr/bin/sermida-cli serve --config /etc/sermida/dnc.ini' \
    "$usr/lib/systemd/system/sermida-dnc.service"

# --- The desktop entry.
desktop=$usr/share/applications/sermida.desktop
check "desktop entry hands the files to open" grep -qx 'Exec=sermida %F' "$desktop"
check "desktop entry declares the MIME type" grep -qx 'MimeType=text/x-nc-program;' "$desktop"
check "desktop entry names the installed icon" grep -qx 'Icon=sermida' "$desktop"
check "desktop entry keeps its Chinese name" grep -qx 'Name\[zh_CN\]=泽朗串口通信' "$desktop"
if command -v desktop-file-validate >/dev/null; then
    check "desktop-file-validate accepts the entry" desktop-file-validate "$desktop"
else
    skip "desktop-file-validate not installed"
fi

# --- The MIME package.
mime=$usr/share/mime/packages/sermida.xml
xpath() { xmllint --xpath "$1" "$mime" 2>/dev/null; }
check "MIME package is well-formed XML" xmllint --noout "$mime"
globs=$(xpath "//*[local-name()='mime-type'][@type='text/x-nc-program']/*[local-name()='glob']/@pattern" |
    sed 's/ *pattern="\([^"]*\)"/\1\n/g' | grep -v '^$' | LC_ALL=C sort | tr '\n' ' ')
check "MIME type lists the six globs (got: $globs)" \
    test "$globs" = "*.cnc *.iso *.mpf *.nc *.ngc *.tap "
check "MIME type is a sub-class of text/plain" \
    test "$(xpath "string(//*[local-name()='sub-class-of']/@type)")" = text/plain
check "MIME type has a Chinese comment" \
    test "$(xpath "string(//*[local-name()='comment'][@xml:lang='zh_CN'])")" = 数控程序
check "MIME globs are not case-sensitive" \
    test -z "$(xpath "//*[local-name()='glob'][@case-sensitive='true']")"

# The package as the desktop sees it: built into a MIME database of its own,
# beside the system's, and asked about files by name and content.
if command -v update-mime-database >/dev/null; then
    xdg=$work/xdg
    mkdir -p "$xdg/mime/packages"
    cp "$mime" "$xdg/mime/packages/"
    XDG_DATA_HOME=$xdg XDG_DATA_DIRS=/usr/share \
        update-mime-database "$xdg/mime" >"$work/umd.log" 2>&1
    check "update-mime-database takes the package without a word" \
        test ! -s "$work/umd.log" -a -s "$xdg/mime/globs2"
    [[ -s $work/umd.log ]] && cat "$work/umd.log"
    if command -v gio >/dev/null; then
        type_of() {
            XDG_DATA_HOME=$xdg XDG_DATA_DIRS=/usr/share \
                gio info -a standard::content-type "$1" 2>/dev/null |
                sed -n 's/^ *standard::content-type: //p'
        }
        mkdir "$work/files"
        # Tape format (a lone % line first, LF or CR LF) and a bare program.
        printf '%%\nO1000\nG0 X0 Y0\nM30\n%%\n' >"$work/tape"
        printf '%%\r\nO1000\r\nM30\r\n%%\r\n' >"$work/tape-crlf"
        printf 'O1000\nG0 X0 Y0\nM30\n' >"$work/bare"
        for ext in nc ngc tap cnc iso mpf NC NGC TAP CNC ISO MPF; do
            for form in tape tape-crlf bare; do
                cp "$work/$form" "$work/files/$form.$ext"
                check "a $form program named *.$ext is text/x-nc-program" \
                    test "$(type_of "$work/files/$form.$ext")" = text/x-nc-program
            done
        done
        cp "$work/tape" "$work/files/O1000"
        check "a tape-format program without an extension is text/x-nc-program" \
            test "$(type_of "$work/files/O1000")" = text/x-nc-program
        # Others keep their own types: ours must not win by name or a "%".
        head -c 65536 /dev/zero >"$work/files/disc.iso"
        check "a binary *.iso is not taken for a program" \
            test "$(type_of "$work/files/disc.iso")" != text/x-nc-program
        printf '%% the mean\nm = mean(x);\n' >"$work/files/mean.m"
        check "a MATLAB file starting with a comment is not claimed" \
            test "$(type_of "$work/files/mean.m")" = text/x-matlab
        printf 'G0 X0\n' >"$work/files/notes.txt"
        check "other text files are not claimed" \
            test "$(type_of "$work/files/notes.txt")" = text/plain
    else
        skip "gio not installed: files not typed through the MIME database"
    fi
else
    skip "update-mime-database not installed"
fi

# --- Straight into a prefix (no DESTDIR), the desktop's caches are brought up
# to date; the staged install above must have left them alone (its list).
prefix=$work/prefix
if "$cmake" --install "$build" --prefix "$prefix" >"$work/install-prefix.log" 2>&1; then
    if command -v update-mime-database >/dev/null; then
        check "install into a prefix registers the MIME type" \
            grep -q '^50:text/x-nc-program:\*\.mpf$' "$prefix/share/mime/globs2"
    fi
    if command -v update-desktop-database >/dev/null; then
        check "install into a prefix associates the type with the program" \
            grep -qx 'text/x-nc-program=sermida.desktop;' "$prefix/share/applications/mimeinfo.cache"
    fi
else
    cat "$work/install-prefix.log"
    check "cmake --install --prefix without DESTDIR" false
fi

# --- The Debian package, when `make package` has built one from this build.
deb=$(ls -t "$build"/sermida_*.deb 2>/dev/null | head -n 1)
if [[ -z $deb ]]; then
    skip "no .deb in $build (make package builds one)"
elif [[ $deb -ot $build/bin/sermida ]]; then
    skip "$(basename "$deb") is older than the build; make package renews it"
else
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./|/|' |
        LC_ALL=C sort >"$work/packaged"
    check "$(basename "$deb") holds the installed files" \
        diff -u "$work/installed" "$work/packaged"
    depends=$(dpkg-deb -f "$deb" Depends)
    for wanted in libqt6widgets6 libqt6core6 qt6-qpa-plugins qt6-translations-l10n fonts-wqy-microhei; do
        check "Depends names $wanted (got: $depends)" grep -q "$wanted" <<<"$depends"
    done
    check "package is built for this machine" \
        test "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)"
    # The desktop, MIME and icon caches are refreshed by dpkg triggers.
    check "package has no maintainer scripts" \
        sh -c "! dpkg-deb -I '$deb' | grep -qE 'postinst|postrm|preinst|prerm'"
fi

check_summary "install tests"
