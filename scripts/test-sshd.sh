#!/usr/bin/env bash
# An OpenSSH server for the farm test, in DIR: on 127.0.0.1 on a free port,
# run as the user running the tests, with a throwaway host key and client
# key. Only that user may log in, and only with that key.
#
# Usage: test-sshd.sh start DIR   prints KEY=VALUE lines for the tests
#        test-sshd.sh stop DIR
set -euo pipefail
command=${1:?usage: test-sshd.sh start|stop DIR}
dir=$(realpath -m "${2:?usage: test-sshd.sh start|stop DIR}")
user=$(id -un)

stop_server() {
  if [ -f "$dir/sshd.pid" ]; then
    kill "$(cat "$dir/sshd.pid")" 2>/dev/null || true
    rm -f "$dir/sshd.pid"
  fi
}

free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

case "$command" in
  start)
    stop_server
    rm -rf "$dir"
    mkdir -p -m 700 "$dir"
    ssh-keygen -q -t ed25519 -N '' -C qsi-test-host -f "$dir/host_key"
    ssh-keygen -q -t ed25519 -N '' -C qsi-test-client -f "$dir/client_key"
    cp "$dir/client_key.pub" "$dir/authorized_keys"
    # As root, sshd separates privileges into this folder, as the system's own does.
    [ "$(id -u)" -ne 0 ] || mkdir -p -m 755 /run/sshd
    for attempt in 1 2 3 4 5; do
      port=$(free_port)
      # StrictModes off: the keys lie below /tmp, which everybody may write.
      cat > "$dir/sshd_config" <<CONF
ListenAddress 127.0.0.1:$port
HostKey $dir/host_key
PidFile $dir/sshd.pid
AuthorizedKeysFile $dir/authorized_keys
AllowUsers $user
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
UsePAM no
StrictModes no
Subsystem sftp internal-sftp
LogLevel VERBOSE
CONF
      /usr/sbin/sshd -f "$dir/sshd_config" -E "$dir/sshd.log" || { cat "$dir/sshd.log" >&2; exit 1; }
      echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$dir/host_key.pub")" > "$dir/known_hosts"
      for _ in $(seq 50); do
        if ssh -q -i "$dir/client_key" -p "$port" -o BatchMode=yes -o IdentitiesOnly=yes \
             -o UserKnownHostsFile="$dir/known_hosts" -o StrictHostKeyChecking=yes \
             "$user@127.0.0.1" true 2>/dev/null; then
          echo "QSI_SSH_HOST=127.0.0.1"
          echo "QSI_SSH_PORT=$port"
          echo "QSI_SSH_USER=$user"
          echo "QSI_SSH_KEY=$dir/client_key"
          echo "QSI_SSH_KNOWN_HOSTS=$dir/known_hosts"
          exit 0
        fi
        sleep 0.1
      done
      stop_server  # the port was taken meanwhile: another one
    done
    echo "test-sshd.sh: the server did not come up; its log:" >&2
    cat "$dir/sshd.log" >&2
    exit 1
    ;;
  stop)
    stop_server
    rm -rf "$dir"
    ;;
  *)
    echo "usage: test-sshd.sh start|stop DIR" >&2
    exit 2
    ;;
esac
