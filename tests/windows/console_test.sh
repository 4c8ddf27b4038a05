#!/usr/bin/env bash
# ZadiRod.com as a user meets it in cmd, under Wine: typed as "ZadiRod" (the folder on the
# PATH), it prints the program's help, its refusals and its error lines in that console and
# gives cmd the program's exit status; arguments with quotes and blanks reach the program as
# typed; Greek and Chinese text arrives whole, in a pipe (UTF-8) and in a console set to code
# page 850 (Unicode through the console).
#
#   console_test.sh WINE_RUN BUILD_DIR VERSION
set -uo pipefail
wine_run=$(readlink -f "$1")
build=$(cd "$2" && pwd)
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A batch file (CR LF lines) run by cmd in $work, with the build folder first on the PATH.
run_batch() {  # run_batch LINE...: prints what cmd printed
  {
    printf '@echo off\r\nset PATH=Z:%s;%%PATH%%\r\n' "${build//\//\\}"
    printf '%s\r\n' "$@"
  } > "$work/t.bat"
  (cd "$work" && "$wine_run" cmd /c t.bat 2>&1) | tr -d '\r'
}

expect() {  # expect NAME OUTPUT TEXT...: every TEXT is a line of OUTPUT
  local name=$1 output=$2
  shift 2
  local text
  for text in "$@"; do
    if ! grep -qxF -- "$text" <<<"$output"; then
      echo "FAILED $name: no line \"$text\" in:"
      sed 's/^/    /' <<<"$output"
      failures=$((failures + 1))
      return
    fi
  done
  echo "ok $name"
}

# cmd expands %ERRORLEVEL% line by line in a batch file: each echo sees the line before it.
expect "help, status 0" "$(run_batch 'ZadiRod --help' 'echo estado=%ERRORLEVEL%')" \
  "Uso: ZadiRod [opciones]" "Opciones:" "estado=0"
expect "version, status 0" "$(run_batch 'ZadiRod --version' 'echo estado=%ERRORLEVEL%')" \
  "ZadiRod $version" "estado=0"
expect "unknown option, status 2" \
  "$(run_batch 'ZadiRod --opcion-que-no-existe' 'echo estado=%ERRORLEVEL%')" \
  "ZadiRod: Opción desconocida: --opcion-que-no-existe" "estado=2"
# The program names the first argument it does not take as it received it.
expect "quotes and blanks passed on" \
  "$(run_batch 'ZadiRod "dos  espacios y \"comillas\"" otro' 'echo estado=%ERRORLEVEL%')" \
  'ZadiRod: Argumento no reconocido: «dos  espacios y "comillas"»' "estado=2"
expect "ZadiRod.com named in full" \
  "$(run_batch 'ZadiRod.com --opcion-que-no-existe' 'echo estado=%ERRORLEVEL%')" \
  "ZadiRod: Opción desconocida: --opcion-que-no-existe" "estado=2"

# Greek and Chinese in a --registro path: the journal cannot be made there, and the program
# says so on standard error. The path comes in through the environment (Unicode in Wine), not
# through the batch file, which cmd reads in its code page.
journal='C:\no\Αθήνα 北京\z.log'
export ZAVELO_REGISTRO=$journal
output=$(run_batch 'ZadiRod --desatendido --registro "%ZAVELO_REGISTRO%"')
if grep -qF "ZadiRod: no se puede escribir el registro $journal" <<<"$output"; then
  echo "ok Greek and Chinese through a pipe"
else
  echo "FAILED Greek and Chinese through a pipe:"; sed 's/^/    /' <<<"$output"
  failures=$((failures + 1))
fi
# The same in a console (a terminal gives Wine's cmd one) set to code page 850: the console
# redraws its lines, so blanks and line breaks are left out of the comparison.
{
  printf '@echo off\r\nset PATH=Z:%s;%%PATH%%\r\nchcp 850\r\n' "${build//\//\\}"
  printf 'ZadiRod --desatendido --registro "%%ZAVELO_REGISTRO%%"\r\n'
} > "$work/t.bat"
output=$(cd "$work" && script -qec "$wine_run cmd /c t.bat" /dev/null 2>&1 |
  sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' | tr -d ' \r\n')
want="ZadiRod:nosepuedeescribirelregistro${journal// /}"
if [[ "$output" == *"$want"* ]]; then
  echo "ok Greek and Chinese in a console of code page 850"
else
  echo "FAILED Greek and Chinese in a console of code page 850: $output"
  failures=$((failures + 1))
fi

exit $((failures > 0))
