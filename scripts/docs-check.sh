#!/bin/bash
# Keeps the docs true of the tree: every folder under src/ has its entry in the map
# (docs/architecture.md, the folder in backticks with its closing "/"), and every repository path
# that a page under docs/ or the README links to or names in backticks still exists.
#   docs-check.sh [ROOT]    ROOT: the repository (default: this script's parent folder)
#
# A named path may be a pattern: "<...>" stands for any name, "*" is a glob, "{a,b}" lists
# alternatives that must all exist, and a module named without its extension ("src/vm/dispatcher")
# counts when some file of that name exists. A bare file name ("opcodes.cpp") must exist somewhere
# in the tree, and a program named by itself (`bench_sound`, `fuzz_env`, `test_gui`) its source.
set -u
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
failures=0
fail() {
  echo "docs-check: $*" >&2
  failures=$((failures + 1))
}

# A path, pattern or module name relative to the current folder.
path_exists() {
  local p
  p=$(sed -E 's/<[^>]*>/*/g' <<<"$1")
  if [[ $p =~ ^([^{]*)\{([^}]*)\}(.*)$ ]]; then
    local pre=${BASH_REMATCH[1]} post=${BASH_REMATCH[3]} alt alts
    IFS=, read -ra alts <<<"${BASH_REMATCH[2]}"
    for alt in "${alts[@]}"; do path_exists "$pre$alt$post" || return 1; done
    return 0
  fi
  compgen -G "$p" >/dev/null || compgen -G "$p.*" >/dev/null
}

# A bare file name anywhere in the tree (build folders left out).
file_somewhere() {
  [ -n "$(find . \( -path ./.git -o -path './build*' \) -prune -o -name "$1" -print -quit)" ]
}

while IFS= read -r dir; do
  grep -qF "\`$dir/\`" docs/architecture.md || fail "docs/architecture.md has no entry for the folder $dir/"
done < <(find src -mindepth 1 -type d | sort)

for page in docs/*.md README.md; do
  folder=$(dirname "$page")
  while IFS= read -r target; do
    target=${target#](}
    target=${target%)}
    target=${target%% *}
    case $target in http:* | https:* | mailto:* | \#*) continue ;; esac
    target=${target%%#*}
    [ -e "$folder/$target" ] || fail "$page links to $target, which is gone"
  done < <(grep -o '\]([^)]*)' "$page")

  while IFS= read -r name; do
    name=${name#\`}
    name=${name%\`}
    case $name in *' '*) continue ;; esac
    if [[ $name =~ ^(src|tests|tools|bench|fuzz|examples|scripts|docs)/ || $name =~ ^(README\.md|Makefile|CMakeLists\.txt)$ ]]; then
      path_exists "$name" || fail "$page names \`$name\`, which is gone"
    elif [[ $name =~ ^[A-Za-z0-9_.*-]+\.(h|cpp|md|sh|vasm|supp)$ ]]; then
      file_somewhere "$name" || fail "$page names \`$name\`, which is nowhere in the tree"
    elif [[ $name =~ ^(bench|fuzz)_[a-z0-9_]+$ ]]; then
      [ -e "${name%%_*}/$name.cpp" ] || fail "$page names the program \`$name\`, whose source is gone"
    elif [[ $name =~ ^test_[a-z0-9]+$ ]]; then
      [ -d "tests/${name#test_}" ] || fail "$page names the program \`$name\`, whose folder is gone"
    fi
  done < <(grep -o '`[^`]*`' "$page")
done

if [ "$failures" -gt 0 ]; then
  echo "docs-check: $failures problem(s)" >&2
  exit 1
fi
