# A company to run the real program against on this machine, for scripts/demo and
# bench/export/automatic_day: a local SMTP server, a company database made in embedded mode,
# and the ERP folder with the registry stand-in that points the program at it. Sourced, not
# run; needs zavelo_fixtures (tests/fixtures) and zavelo_python (the Python with aiosmtpd).

# start_smtp_server <work folder> <mail folder> <user:password> <lifetime in seconds>
# tests/fixtures/smtp_server.py on loopback, any free port, AUTH LOGIN required, each message
# written to the mail folder, gone after the lifetime at the latest. Sets smtp_pid and
# smtp_port; fails, with the server's errors on stderr, when it does not come up.
start_smtp_server() {
  local work=$1 mail=$2 auth=$3 lifetime=$4
  "$zavelo_python" "$zavelo_fixtures/smtp_server.py" --out "$mail" --lifetime "$lifetime" \
    --ignore-stdin --auth "$auth" >"$work/smtp-server.out" 2>"$work/smtp-server.err" </dev/null &
  smtp_pid=$!
  smtp_port=""
  for _ in $(seq 300); do
    smtp_port=$(sed -n 's/^PORT \([0-9]*\)$/\1/p' "$work/smtp-server.out")
    [ -n "$smtp_port" ] && return 0
    kill -0 "$smtp_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the SMTP server did not start:" >&2
  cat "$work/smtp-server.err" >&2
  return 1
}

# make_company_db <database file> <SMTP port> <company name> <sender> <mail user> <mail password>
#                 <branch name>...
# The database in embedded mode (a path without a host) from the sample schema, with the
# configuration the mailing reads (plain SMTP on the port), the branches, and SYSDBA's mail
# account.
make_company_db() {
  local database=$1 port=$2 name=$3 sender=$4 user=$5 password=$6
  shift 6
  local script=$database.sql id=0 branch
  {
    echo "SET SQL DIALECT 3;"
    echo "CREATE DATABASE '$database' DEFAULT CHARACTER SET NONE;"
    cat "$zavelo_fixtures/company.sql"
    echo "INSERT INTO configuracion VALUES ('GENERAL', 'GENERAL', 'PUERTO TCP PARA ENVIO DE CORREO ELECTRONICO', '$port');"
    echo "INSERT INTO configuracion VALUES ('GENERAL', 'GENERAL', 'USAR SSL PARA ENVIO DE CORREO ELECTRONICO', 'NO');"
    echo "INSERT INTO configuracion VALUES ('GENERAL', 'GENERAL', 'NOMBRE COMPANIA', '$name');"
    for branch in "$@"; do
      id=$((id + 1))
      echo "INSERT INTO SUCURSALES VALUES ($id, '$branch', 'Calle $id');"
    done
    echo "INSERT INTO usuario VALUES ('SYSDBA', '$sender', '127.0.0.1', '$user', '$password');"
    echo "COMMIT;"
  } >"$script"
  timeout -k 10 120 isql-fb -q -bail -user SYSDBA -i "$script" </dev/null
  rm -f "$script"
}

# write_erp <ERP folder> <XDG config folder> <settings line>...
# settingsenvio.conf with the lines (CR LF) in the ERP folder, and the registry stand-in
# (QVT/Halvori2025.conf under the XDG folder) that names that folder.
write_erp() {
  local erp=$1 xdg=$2
  shift 2
  mkdir -p "$erp" "$xdg/QVT"
  printf '%s\r\n' "$@" >"$erp/settingsenvio.conf"
  printf '[General]\nDirectorio=%s\n' "$erp" >"$xdg/QVT/Halvori2025.conf"
}
