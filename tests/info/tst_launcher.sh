#!/bin/sh
# Tests the per-user launcher against a fake installation: a prefix with bin/tavik-light (the
# launcher) and lib/tavik-light/ holding stand-in programs that record how they were started.
# Usage: tst_launcher.sh <launcher script>
set -u
launcher=$1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { if [ "$2" != "$3" ]; then fail "$1: got '$2', expected '$3'"; fi; }

top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
prefix="$top/pre fix"
mkdir -p "$prefix/bin" "$prefix/lib/tavik-light/help"
cp "$launcher" "$prefix/bin/tavik-light"
chmod +x "$prefix/bin/tavik-light"
echo '<html></html>' > "$prefix/lib/tavik-light/help/index.html"
cat > "$prefix/lib/tavik-light/tavik-light" <<'PROGRAM'
#!/bin/sh
{ echo "pwd=$(pwd)"; echo "arg0=$0"; for a in "$@"; do echo "arg=$a"; done; } > "$RESULT"
PROGRAM
chmod +x "$prefix/lib/tavik-light/tavik-light"

run() { # run <home> [args...]: runs the launcher as a user with that home folder
    home=$1; shift
    env -u XDG_DATA_HOME HOME="$home" RESULT="$top/result" "$prefix/bin/tavik-light" "$@" 2>"$top/stderr"
}

echo "# a first start makes the user's folder and starts the program there"
home="$top/home one"
run "$home" "a b" c
check "exit status" "$?" 0
folder="$home/.local/share/tavik-light"
[ -d "$folder/log" ] && [ ! -L "$folder/log" ] || fail "no real log folder in $folder"
check "executable link" "$(readlink "$folder/tavik-light")" "$prefix/lib/tavik-light/tavik-light"
check "help link" "$(readlink "$folder/help")" "$prefix/lib/tavik-light/help"
[ -f "$folder/help/index.html" ] || fail "help page not reachable through the folder"
check "working directory" "$(sed -n 's/^pwd=//p' "$top/result")" "$folder"
# Started by a path in its folder, the program takes that folder as its own.
check "started as" "$(sed -n 's/^arg0=//p' "$top/result")" "./tavik-light"
check "arguments" "$(sed -n 's/^arg=//p' "$top/result" | tr '\n' '|')" "a b|c|"

echo "# a later start keeps the logs and follows a moved installation"
echo log > "$folder/log/20261207101500.txt"
ln -sfn "$top/old place/tavik-light" "$folder/tavik-light"
ln -sfn "$top/old place/help" "$folder/help"
rm -f "$top/result"
run "$home"
check "exit status" "$?" 0
check "log kept" "$(cat "$folder/log/20261207101500.txt")" log
check "executable link renewed" "$(readlink "$folder/tavik-light")" "$prefix/lib/tavik-light/tavik-light"
check "help link renewed" "$(readlink "$folder/help")" "$prefix/lib/tavik-light/help"
[ -f "$top/result" ] || fail "program not started the second time"

echo "# a help folder of the user's own is left alone"
rm "$folder/help"
mkdir "$folder/help"
echo mine > "$folder/help/index.html"
run "$home"
check "exit status" "$?" 0
check "own help kept" "$(cat "$folder/help/index.html")" mine
[ -L "$folder/help/help" ] && fail "a link was put inside the user's own help folder"

echo "# XDG_DATA_HOME chooses where the folder is"
home="$top/home two"
env HOME="$home" XDG_DATA_HOME="$top/data" RESULT="$top/result" "$prefix/bin/tavik-light" 2>/dev/null
check "exit status" "$?" 0
check "working directory" "$(sed -n 's/^pwd=//p' "$top/result")" "$top/data/tavik-light"
[ -e "$home/.local/share/tavik-light" ] && fail "folder made under HOME although XDG_DATA_HOME is set"

echo "# a log folder that cannot be made is reported and the program is not started"
home="$top/home three"
mkdir -p "$home/.local/share/tavik-light"
echo "not a folder" > "$home/.local/share/tavik-light/log"
rm -f "$top/result"
run "$home"
status=$?
[ "$status" -ne 0 ] || fail "exit status 0 although log/ is a file"
[ -e "$top/result" ] && fail "program started without a log folder"
grep -q "log" "$top/stderr" || fail "no message about the log folder: $(cat "$top/stderr")"

echo "# help, version, the connection check and unknown options go to the program before anything is made or started"
for args in "--help" "-v" "--version" "-platform xcb --bogus" "--colour=red" "--check pcb --role PC2"; do
    home="$top/home args"
    rm -rf "$home" "$top/result"
    # shellcheck disable=SC2086
    run "$home" $args
    check "exit status for $args" "$?" 0
    check "started directly for $args" "$(sed -n 's/^arg0=//p' "$top/result")" "$prefix/lib/tavik-light/tavik-light"
    check "arguments for $args" "$(sed -n 's/^arg=//p' "$top/result" | tr '\n' ' ')" "$args "
    [ -e "$home" ] && fail "a folder was made for $args"
done
echo "# Qt's display options start the program the normal way"
rm -f "$top/result"
run "$top/home qt" -platform wayland
check "started as" "$(sed -n 's/^arg0=//p' "$top/result")" "./tavik-light"

echo "# a missing program is reported"
mv "$prefix/lib/tavik-light/tavik-light" "$top/moved"
run "$top/home four"
status=$?
[ "$status" -ne 0 ] || fail "exit status 0 without a program"
grep -q "tavik-light" "$top/stderr" || fail "no message about the missing program"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
