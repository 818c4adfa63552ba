# Sourced by the download bench scripts.
#
# bench_prepare NAME: checks that lumisift-cli (under $BUILD_DIR), nginx and curl are there,
# sets CLI, makes the scratch folder WORK and the download folder OUT (in memory when
# /dev/shm is there, so that the disk does not set the pace), and removes both and stops
# nginx when the script exits.
# start_nginx WORK ROOT [CERTS] starts nginx on a free loopback port, serving ROOT, with its
# config and logs in WORK; it sets PORT and NGINX_PID and returns once nginx answers. With
# CERTS (a folder made by tests/net/tls/make_certs.sh) it also serves ROOT over https on
# TLS_PORT with the certificate for localhost (HTTP/1.1 only), and on H2_PORT the same with
# HTTP/2 offered through ALPN.

bench_prepare() {
  local name=$1
  CLI="$BUILD_DIR/src/cli/lumisift-cli"
  [ -x "$CLI" ] || { echo "$name: $CLI not built" >&2; exit 1; }
  command -v nginx >/dev/null || { echo "$name: nginx missing (scripts/install-deps.sh)" >&2; exit 1; }
  command -v curl >/dev/null || { echo "$name: curl missing" >&2; exit 1; }
  WORK=$(mktemp -d)
  OUT=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
  trap bench_cleanup EXIT
}

bench_cleanup() {
  stop_nginx
  rm -rf "$WORK" "$OUT"
}

start_nginx() {
  local work=$1 root=$2 certs=${3:-} tls_block=""
  PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  if [ -n "$certs" ]; then
    TLS_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    H2_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    local tls="root $root; ssl_certificate $certs/good.pem; ssl_certificate_key $certs/good.key;"
    tls_block="server { listen 127.0.0.1:$TLS_PORT ssl; $tls } server { listen 127.0.0.1:$H2_PORT ssl http2; $tls }"
  fi
  cat > "$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log warn;
events { worker_connections 512; }
http {
  access_log off;
  keepalive_requests 100000;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  default_type application/octet-stream;
  sendfile on;
  server { listen 127.0.0.1:$PORT; root $root; }
  $tls_block
}
CONF
  nginx -p "$work" -e "$work/error.log" -c "$work/nginx.conf" &
  NGINX_PID=$!
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$PORT/" && return 0
    sleep 0.05
  done
  echo "nginx did not start" >&2
  return 1
}

stop_nginx() {
  if [ -n "${NGINX_PID:-}" ]; then
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
  fi
}
