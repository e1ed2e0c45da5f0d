#!/bin/sh
# Installs the build tree and runs what was installed.
#   check_install.sh tree CMAKE BUILD_DIR VERSION  cmake --install to a scratch prefix
#   check_install.sh deb CPACK BUILD_DIR VERSION [LIBRARY...]
#                                                  the Debian package, unpacked with dpkg -x,
#                                                  and lintian's verdict when it is installed;
#                                                  Depends names each LIBRARY package too
set -u
export LC_ALL=C
mode=$1 tool=$2 build=$3 version=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "FAILED: $*"
  exit 1
}

# What an installation holds, relative to its prefix.
expected_files() {
  printf '%s\n' bin/cputest bin/ruvo \
    share/doc/ruvo/changelog.gz share/doc/ruvo/copyright \
    share/doc/ruvo/examples/sample.sh2 share/doc/ruvo/examples/sample_disc.bin \
    share/doc/ruvo/examples/sample_disc.cue share/doc/ruvo/examples/sample_disc.toc \
    share/doc/ruvo/examples/sample_disc_raw.bin \
    share/man/man1/cputest.1.gz share/man/man1/ruvo.1.gz
}

# check_prefix PREFIX: the manual pages read with man, both programs run on the samples.
check_prefix() {
  prefix=$1
  for page in cputest ruvo; do
    MAN_DISABLE_SECCOMP=1 MANWIDTH=80 man --warnings=w -l "$prefix/share/man/man1/$page.1.gz" \
      >"$scratch/man.out" 2>"$scratch/man.err" || fail "man -l $page.1.gz"
    [ ! -s "$scratch/man.err" ] || { cat "$scratch/man.err"; fail "warnings from man -l $page.1.gz"; }
    grep -q "^ *$page - " "$scratch/man.out" || fail "$page.1.gz has no NAME line for $page"
  done

  examples=$prefix/share/doc/ruvo/examples
  "$prefix/bin/cputest" "$examples/sample.sh2" >"$scratch/cputest.out"
  status=$?
  [ $status -eq 0 ] || fail "cputest on sample.sh2 exited with $status, not 0"
  sed -n '1p;6p' "$scratch/cputest.out" >"$scratch/cputest.lines"
  printf '%s\n' 'SH-2 CPU Test by the ruvo developers' '00000000 7103: ADD $3, R1' |
    diff - "$scratch/cputest.lines" || fail "cputest printed other lines"

  for disc in sample_disc.bin sample_disc.cue sample_disc.toc; do
    "$prefix/bin/ruvo" -d "$examples/$disc" -i >"$scratch/ruvo.out"
    status=$?
    [ $status -eq 1 ] || fail "ruvo -i on $disc exited with $status, not 1"
    grep -qx 'Title: RUVO SAMPLE DISC' "$scratch/ruvo.out" || fail "ruvo -i on $disc printed no title"
  done

  doc=$prefix/share/doc/ruvo
  grep -qx 'License: Expat' "$doc/copyright" || fail "copyright names no MIT (Expat) licence"
  gzip -dc "$doc/changelog.gz" | head -n 1 | grep -q "^ruvo ($version) " ||
    fail "changelog.gz does not begin with version $version"
}

case $mode in
tree)
  "$tool" --install "$build" --prefix "$scratch/prefix" >/dev/null || fail "cmake --install"
  (cd "$scratch/prefix" && find . ! -type d | sed 's|^\./||' | sort) >"$scratch/files"
  expected_files | diff - "$scratch/files" || fail "installed files differ"
  check_prefix "$scratch/prefix"
  ;;
deb)
  shift 4
  (cd "$build" && "$tool" -B "$scratch/out" >"$scratch/cpack.log" 2>&1) ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
  deb=$scratch/out/ruvo_${version}_$(dpkg --print-architecture).deb
  [ -f "$deb" ] || fail "no $deb"

  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = ruvo ] || fail "Package: $(field Package)"
  [ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
  [ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
  field Maintainer | grep -q '^ruvo developers <[^@ ]*@[^> ]*>$' || fail "Maintainer: $(field Maintainer)"
  # Found by dpkg-shlibdeps, so the package installs where the programs can run.
  for library in libc6 libstdc++6 "$@"; do
    field Depends | grep -q "\\b$library (>= " || fail "Depends: $(field Depends) (no $library)"
  done
  [ "$(field Description | wc -l)" -ge 4 ] || fail "no long description"

  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $2, $6 }' | sort >"$scratch/contents"
  expected_files | sed 's|^|root/root ./usr/|' | diff - "$scratch/contents" || fail "package contents differ"
  dpkg -x "$deb" "$scratch/root" || fail "dpkg -x"
  check_prefix "$scratch/root/usr"

  # Debian's own checker: no error and no warning; informational tags may stay.
  if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" >"$scratch/lintian.out" 2>"$scratch/lintian.err"
    status=$?
    if [ $status -ne 0 ] || grep -qE '^[EW]: ' "$scratch/lintian.out"; then
      cat "$scratch/lintian.out" "$scratch/lintian.err"
      fail "lintian: errors or warnings (status $status)"
    fi
  else
    echo "lintian is not installed: the package was not checked with it"
  fi
  ;;
*)
  fail "unknown mode $mode"
  ;;
esac
echo "ok"
