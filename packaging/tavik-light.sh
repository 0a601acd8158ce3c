#!/bin/sh
# Starts Tavik Light from a folder of the user's own. The program expects to run in its folder:
# the help page is help/index.html under the working directory, logs go to log/ under it, and the
# log viewer opens the log folder beside the path the program was started by. An installed program
# folder is not writable, so each user gets ~/.local/share/tavik-light with links to the installed
# executable and help pages and a real log folder, and the program is started from there.
set -u

here=$(dirname "$(readlink -f "$0")")
program_dir=$(readlink -f "$here/../lib/tavik-light")
folder=${XDG_DATA_HOME:-$HOME/.local/share}/tavik-light

fail() {
    echo "tavik-light: $1" >&2
    # Started from the menu there is no terminal to read the message in.
    if command -v notify-send >/dev/null 2>&1; then
        notify-send --icon=tavik-light "Tavik Light" "$1" 2>/dev/null
    fi
    exit 1
}

# Links to the installed files are renewed at every start, so an update or a moved installation
# is followed. Something that is not a link is the user's own and is left alone.
link() {
    if [ -L "$2" ] || [ ! -e "$2" ]; then
        ln -sfn "$1" "$2" || fail "$2 を作れませんでした。"
    else
        echo "tavik-light: $2 はリンクではないので、そのまま使います。" >&2
    fi
}

[ -x "$program_dir/tavik-light" ] || fail "プログラム $program_dir/tavik-light が見つかりません。"

# Help, version, the connection check (--check, --role) and anything the program does not know go
# to the program itself, before any folder is made or the service started: the check is to find the
# service as it is, not as the launcher left it. Qt's own display options (the program lets the
# same ones through) and their values go the normal way.
for arg in "$@"; do
    case $arg in
    -h | -\? | --help | -v | --version) exec "$program_dir/tavik-light" "$@" ;;
    -*)
        name=${arg#-}
        name=${name#-}
        case ${name%%=*} in
        platform | platformpluginpath | platformtheme | plugin | qwindowgeometry | geometry | qwindowtitle | \
            title | qwindowicon | icon | session | style | stylesheet | display | name | visual | qmljsdebugger | \
            reverse | widgetcount | testability | nograb | dograb | sync) ;;
        *) exec "$program_dir/tavik-light" "$@" ;;
        esac
        ;;
    esac
done
mkdir -p "$folder/log" 2>/dev/null || fail "フォルダ $folder/log を作れませんでした。"
[ -w "$folder/log" ] || fail "フォルダ $folder/log に書き込めません。"
link "$program_dir/tavik-light" "$folder/tavik-light"
link "$program_dir/help" "$folder/help"

# The partner's connect notices need the notification service; after installing it is not yet
# running until the next login starts it.
if [ -x "$program_dir/tavik-messenger" ] && command -v pgrep >/dev/null 2>&1 &&
    ! pgrep -u "$(id -u)" -x tavik-messenger >/dev/null 2>&1; then
    (cd / && exec nohup "$program_dir/tavik-messenger" >/dev/null 2>&1 &)
fi

cd "$folder" || fail "フォルダ $folder に移れませんでした。"
exec ./tavik-light "$@"
