#!/usr/bin/env bash
# The packaging stage: the Debian package made by CPack from ./build holds what an installed
# veldran needs; its AppStream metainfo and desktop entry pass their validators; the package,
# the metainfo and `veldran-cli --version` carry one version; and the shell completions offer
# exactly the commands and options that veldran-cli's own help lists.
set -euo pipefail
cd "$(dirname "$0")/../.."
. ./deps.sh
veldran_need_packages "${VELDRAN_PACKAGING_PACKAGES[@]}"

build=build
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "packaging: $*" >&2
    exit 1
}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel --target veldran veldran-cli
(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb=$(ls "$work"/out/veldran_*.deb)
dpkg-deb -x "$deb" "$work/root"
root=$work/root

# What an installed veldran needs, each at the place its user's tools look.
expected=(
    usr/bin/veldran
    usr/bin/veldran-cli
    usr/share/man/man1/veldran.1
    usr/share/man/man1/veldran-cli.1
    usr/share/applications/veldran.desktop
    usr/share/metainfo/org.example.veldran.metainfo.xml
    usr/share/bash-completion/completions/veldran-cli
    usr/share/zsh/vendor-completions/_veldran-cli
    usr/share/fish/vendor_completions.d/veldran-cli.fish
    usr/share/doc/veldran/README.md
)
for size in 16 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/veldran.png")
done
for path in "${expected[@]}"; do
    [ -f "$root/$path" ] || fail "the package lacks /$path"
done
# Nothing of the build or the tests comes along.
extra=$(cd "$root" && find . -type f | sed 's|^\./||' | sort |
    comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
[ -z "$extra" ] || fail "the package holds files it should not: $extra"

# The libraries are declared, so apt installs them with the package.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6gui6 libc6; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.veldran.metainfo.xml"
desktop-file-validate "$root/usr/share/applications/veldran.desktop"
for page in veldran veldran-cli; do
    warnings=$(man --warnings -l "$root/usr/share/man/man1/$page.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the manual page of $page: $warnings"
done

# One version: the package's, the metainfo's newest release and the program's own.
version=$(dpkg-deb -f "$deb" Version)
"$root/usr/bin/veldran-cli" --version | grep -qx "veldran-cli $version" ||
    fail "veldran-cli --version does not say $version"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.example.veldran.metainfo.xml" ||
    fail "the metainfo's release is not $version"

# The completions against the program's help: the commands, then each command's options.
cli=$root/usr/bin/veldran-cli
options_of() { # the option names in a help text, one a line, sorted
    grep -oE '^ {2,}(-[a-z], )?--[a-z-]+' | grep -oE -- '-[a-z]\b|--[a-z-]+' | sort -u
}
bash_offers() { # what the bash completion offers for the words given, one a line, sorted
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
             _veldran_cli; printf "%s\n" "${COMPREPLY[@]}"' _ \
        "$root/usr/share/bash-completion/completions/veldran-cli" "$@" | sed '/^$/d' | sort -u
}
zsh_file=$root/usr/share/zsh/vendor-completions/_veldran-cli
fish_file=$root/usr/share/fish/vendor_completions.d/veldran-cli.fish
commands=$("$cli" --help | sed -nE 's/^  ([a-z]+) {3}.*/\1/p' | sort)
[ -n "$commands" ] || fail "no commands in veldran-cli --help"
top=$( (echo "$commands" && "$cli" --help | options_of) | sort)
diff <(echo "$top") <(bash_offers veldran-cli "") ||
    fail "bash: the first word's choices differ from veldran-cli --help (< help, > completion)"
diff <(echo "$commands") <(sed -nE "s/^ *'([a-z]+):.*/\1/p" "$zsh_file" | sort) ||
    fail "zsh: the commands differ from veldran-cli --help"
diff <(echo "$commands") <(grep -oE -- '-a [a-z]+ ' "$fish_file" | awk '{print $2}' | sort) ||
    fail "fish: the commands differ from veldran-cli --help"
for command in $commands; do
    help=$("$cli" "$command" --help | options_of)
    diff <(echo "$help") <(bash_offers veldran-cli "$command" -) ||
        fail "bash: the options of $command differ from its help (< help, > completion)"
    # zsh: the options in the branch of this command.
    zsh=$(awk -v c="$command" '$0 ~ "^    [a-z| ]*\\)$" { inside = index($0, c) > 0 }
                               inside' "$zsh_file" | grep -oE -- "\{?-[a-z](,|\})|--[a-z-]+" |
        tr -d '{},' | sort -u)
    diff <(echo "$help") <(echo "$zsh") ||
        fail "zsh: the options of $command differ from its help (< help, > completion)"
    # fish: the options whose condition names this command, and --help, offered everywhere.
    fish=$( (echo "--help" &&
        { grep -E "__fish_seen_subcommand_from [a-z ]*\b$command\b" "$fish_file" || true; } |
        sed -nE 's/.* -s ([a-z]) -l ([a-z-]+).*/-\1\n--\2/p; s/.* -l ([a-z-]+).*/--\1/p') |
        grep -v '^$' | sort -u)
    diff <(echo "$help") <(echo "$fish") ||
        fail "fish: the options of $command differ from its help (< help, > completion)"
done
echo "The Debian package $(basename "$deb") holds the programs, manual pages, desktop entry," \
    "icons, metainfo and completions; validators and completions agree."
