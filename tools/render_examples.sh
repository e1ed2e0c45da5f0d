#!/usr/bin/env bash
# Renders the example sessions in the README and the manual pages from the
# programs of a build tree, so that what they show is what the programs print.
#
#   tools/render_examples.sh --update BUILD_DIR FILE...   rewrite the examples
#   tools/render_examples.sh --check BUILD_DIR FILE...    fail if any is stale
#
# An example sits between two marker lines, which stay as they are:
#   Markdown:  <!-- example: NAME -->  ...  <!-- end example -->
#   roff:      .\" example: NAME       ...  .\" end example
# Everything between them is generated: the commands of NAME (below), each
# after a "$ " prompt, and what they print, standard error included.
set -euo pipefail

usage() {
  echo "usage: $0 --check|--update BUILD_DIR FILE..." >&2
  exit 2
}
[ $# -ge 3 ] || usage
mode=$1
build=$(cd "$2" && pwd)
shift 2
case $mode in --check | --update) ;; *) usage ;; esac

# The commands of each example. {cputest}, {ruvo} and {samples} stand for the
# programs and the sample directory: shown as a reader would type them, run
# from the build tree under the names shown (ruvo's usage text repeats its
# name), and a program starts its line. "echo $?" shows the previous command's
# exit status.
commands() {
  case $1 in
  cputest-sample)
    echo '{cputest} {samples}/sample.sh2'
    ;;
  cputest-halt)
    # A NOP, then the word 0x0000, which is no instruction.
    echo "printf '\\011\\000\\000\\000' > halt.bin"
    echo '{cputest} halt.bin'
    echo 'echo $?'
    ;;
  cputest-full)
    # Standard output that cannot be written.
    echo '{cputest} {samples}/sample.sh2 > /dev/full'
    echo 'echo $?'
    ;;
  ruvo-help)
    echo '{ruvo} -h'
    echo 'echo $?'
    ;;
  ruvo-info)
    echo '{ruvo} -d {samples}/sample_disc.bin -i'
    echo 'echo $?'
    ;;
  ruvo-announce)
    echo '{ruvo} -d {samples}/sample_disc.bin'
    echo 'echo $?'
    ;;
  ruvo-cue)
    echo '{ruvo} -d {samples}/sample_disc.cue'
    echo 'echo $?'
    ;;
  ruvo-toc)
    echo 'cat {samples}/sample_disc.toc'
    echo '{ruvo} -d {samples}/sample_disc.toc'
    echo 'echo $?'
    ;;
  ruvo-full)
    echo '{ruvo} -d {samples}/sample_disc.bin -i >/dev/full'
    echo 'echo $?'
    ;;
  *) return 1 ;;
  esac
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# substitute LINE CPUTEST RUVO SAMPLES
substitute() {
  local line=$1
  line=${line//\{cputest\}/$2}
  line=${line//\{ruvo\}/$3}
  printf '%s\n' "${line//\{samples\}/$4}"
}

# session NAME FORMAT: the example as it is shown in a file of that format.
session() {
  local line status=0
  local -a real shown
  if [ "$2" = md ]; then
    shown=(build/default/cputest/cputest build/default/frontend/ruvo build/default/samples)
  else
    shown=(cputest ruvo /usr/share/doc/ruvo/examples)
  fi
  real=("exec -a $(printf '%q' "${shown[0]}") $(printf '%q' "$build/cputest/cputest")"
        "exec -a $(printf '%q' "${shown[1]}") $(printf '%q' "$build/frontend/ruvo")"
        "$(printf '%q' "$build/samples")")
  commands "$1" >"$work/commands" || { echo "unknown example '$1'" >&2; return 1; }
  mkdir -p "$work/run"
  while IFS= read -r line; do
    printf '$ %s\n' "$(substitute "$line" "${shown[@]}")"
    if [ "$line" = 'echo $?' ]; then
      echo "$status"
    else
      status=0
      (cd "$work/run" && bash -c "$(substitute "$line" "${real[@]}")" 2>&1 </dev/null) || status=$?
    fi
  done <"$work/commands"
}

# Roff text that shows each line as it is: no hyphens or curly quotes for
# "-" and "'", no request for a leading "." and spaces for tabs.
roff_lines() {
  expand | sed -e 's/[[:space:]]*$//' -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/'/\\\\(aq/g" \
    -e 's/^\./\\\&./'
}

# block NAME FORMAT: everything that goes between the markers.
block() {
  if [ "$2" = md ]; then
    echo '```console'
    session "$1" md
    echo '```'
  else
    printf '.RS 4\n.nf\n'
    session "$1" roff | roff_lines
    printf '.fi\n.RE\n'
  fi
}

stale=0
for file in "$@"; do
  case $file in
  *.md) format=md start='^<!-- example: ' end='^<!-- end example -->$' ;;
  *.[1-9]) format=roff start='^\.\\" example: ' end='^\.\\" end example$' ;;
  *) echo "$file: neither Markdown nor a manual page" >&2; exit 2 ;;
  esac
  names=$(sed -n -E "s/${start}([a-z0-9-]+)( -->)?\$/\\1/p" "$file")
  if [ -z "$names" ]; then
    echo "$file: no examples" >&2
    exit 1
  fi
  if [ "$(grep -c -E "$start" "$file")" != "$(grep -c -E "$end" "$file")" ]; then
    echo "$file: an example has no end marker" >&2
    exit 1
  fi
  rm -rf "$work/blocks" && mkdir "$work/blocks"
  for name in $names; do
    block "$name" "$format" >"$work/blocks/$name"
  done
  # Through the environment: awk -v would take the backslashes as escapes.
  start=$start end=$end dir=$work/blocks awk '
    $0 ~ ENVIRON["start"] {
      print
      name = $0
      sub(ENVIRON["start"], "", name)
      sub(/ -->$/, "", name)
      file = ENVIRON["dir"] "/" name
      while ((getline line < file) > 0) print line
      close(file)
      skipping = 1
      next
    }
    $0 ~ ENVIRON["end"] { skipping = 0 }
    !skipping { print }
  ' "$file" >"$work/rendered"
  if ! cmp -s "$file" "$work/rendered"; then
    if [ "$mode" = --update ]; then
      cp "$work/rendered" "$file"
      echo "updated $file"
    else
      diff -u "$file" "$work/rendered" || true
      stale=1
    fi
  fi
done
if [ $stale -ne 0 ]; then
  echo "Stale examples: run tools/render_examples.sh --update BUILD_DIR FILE..." >&2
  exit 1
fi
