#!/usr/bin/env bash
# Fails when the build uses a Debian package that scripts/install-deps.sh neither names nor pulls
# in, so that a build which works only because the package happens to be on this machine is found
# here and not on the next fresh one.
#
# What the build uses: every package configuration (<Name>_DIR) that the configure step found, the
# libraries of the pkg-config modules it asked for (pkgcfg_lib_*) and protobuf's library and
# compiler (found by CMake's own find module, which leaves no <Name>_DIR), read from CMakeCache.txt
# and mapped to their packages with dpkg -S. (Libraries that a find module looks for on its own,
# such as EGL and GLU beside OpenGL, are left out: found or not, the build is the same.)
# What the install script brings: the packages it names (install-deps.sh --list test) and all that
# they depend on, following Depends and Pre-Depends only, the first of a set of alternatives
# (what apt installs on a fresh machine) and a virtual package only when one package provides it.
# Usage: scripts/check-deps.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?usage: check-deps.sh BUILD_DIR}"
cache="$build/CMakeCache.txt"
[ -f "$cache" ] || { echo "check-deps: no $cache: run the configure step first" >&2; exit 2; }
source_dir="$(cd "$here/.." && pwd)"
build_dir="$(cd "$build" && pwd)"

mapfile -t named < <("$here/install-deps.sh" --list test)

# Every package that installing the named ones brings, one a line.
closure() {
    apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
        --no-replaces --no-enhances "${named[@]}" 2>/dev/null |
    awk -v roots="${named[*]}" '
        function bare(n) { sub(/:[a-z0-9]+$/, "", n); return n }
        /^[^ ]/          { pkg = bare($0); ingroup = 0; next }
        /^ [ |](Pre)?Depends: / {
            alt = substr($0, 2, 1) == "|"          # another alternative follows this one
            name = $2
            if (!ingroup) { ngroups[pkg]++; first[pkg, ngroups[pkg]] = "" }
            g = ngroups[pkg]
            firstvirt = 0
            if (first[pkg, g] == "") {             # only the first alternative counts
                if (name ~ /^</) { virt[pkg, g] = 1; first[pkg, g] = name; firstvirt = 1 }
                else first[pkg, g] = bare(name)
            }
            ingroup = alt
            next
        }
        /^    [^ ]/      {                          # a provider of the virtual package above
            g = ngroups[pkg]
            if (firstvirt) { prov[pkg, g] = bare($1); nprov[pkg, g]++ }
            next
        }
        { ingroup = 0 }
        END {
            n = split(roots, queue, " ")
            for (i = 1; i <= n; i++) seen[queue[i]] = 1
            for (i = 1; i <= n; i++) {
                p = queue[i]
                for (g = 1; g <= ngroups[p]; g++) {
                    d = first[p, g]
                    if (virt[p, g]) d = nprov[p, g] == 1 ? prov[p, g] : ""
                    if (d != "" && !(d in seen)) { seen[d] = 1; queue[++n] = d }
                }
            }
            for (p in seen) print p
        }'
}

# The packages that own a path ("a, b: /path" or "a:amd64: /path"), one a line.
owners() {
    dpkg -S "$1" 2>/dev/null | head -n1 | sed -E 's/: [^:]*$//' | tr ',' '\n' |
        sed -E 's/^ +//; s/:[a-z0-9]+$//'
}

# The file that stands for a package configuration folder: its <Name>Config.cmake.
config_file() {
    local name="$1" dir="$2" lower
    lower="$(printf '%s' "$name" | tr '[:upper:]' '[:lower:]')"
    for f in "$dir/${name}Config.cmake" "$dir/${lower}-config.cmake"; do
        [ -f "$f" ] && { printf '%s\n' "$f"; return; }
    done
    printf '%s\n' "$dir"
}

mapfile -t have < <(closure)
if [ ${#have[@]} -le ${#named[@]} ]; then
    # No package lists yet (a machine that had every package already): fetch them once.
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -qq
    mapfile -t have < <(closure)
fi
if [ ${#have[@]} -le ${#named[@]} ]; then
    echo "check-deps: apt-cache knows none of the packages' dependencies" >&2
    exit 2
fi
declare -A brought=()
for p in "${have[@]}"; do brought[$p]=1; done

failed=0
checked=0
while IFS= read -r line; do
    key="${line%%:*}"
    value="${line#*=}"
    case "$value" in ""|*-NOTFOUND) continue ;; esac
    case "$key" in
        *_INCLUDE_DIR) continue ;;   # /usr/include: shared by every package, said nothing
        *_DIR)
            [ -d "$value" ] || continue
            path="$(config_file "${key%_DIR}" "$value")" ;;
        pkgcfg_lib_*|Protobuf_LIBRARY_RELEASE|Protobuf_PROTOC_EXECUTABLE)
            [ -e "$value" ] || continue
            path="$value" ;;
        *) continue ;;
    esac
    case "$path" in "$build_dir"/*|"$source_dir"/*) continue ;; esac
    checked=$((checked + 1))
    mapfile -t own < <(owners "$path")
    # a path that no package ships as written (e.g. through a link): the package of the real file
    [ -n "${own[0]:-}" ] || mapfile -t own < <(owners "$(readlink -f "$path")")
    if [ ${#own[@]} -eq 0 ] || [ -z "${own[0]}" ]; then
        echo "check-deps: $key uses $path, which no Debian package installed (put there by hand?)"
        failed=1
        continue
    fi
    ok=0
    for o in "${own[@]}"; do [ -n "${brought[$o]:-}" ] && ok=1; done
    if [ $ok -eq 0 ]; then
        echo "check-deps: $key uses $path from ${own[*]}, which scripts/install-deps.sh does not install"
        failed=1
    fi
done < <(grep -E '^[A-Za-z0-9_]+:(PATH|FILEPATH)=' "$cache")

if [ $failed -ne 0 ]; then
    echo "check-deps: add the package(s) above to scripts/install-deps.sh" >&2
    exit 1
fi
echo "check-deps: the $checked package configurations, libraries and programs the build found all come from scripts/install-deps.sh"
