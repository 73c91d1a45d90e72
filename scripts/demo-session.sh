#!/usr/bin/env bash
# The demo's session on an installed suite: demo-session.sh PREFIX. Starts zr40nn-emu with the token
# state in PREFIX/demo-token.state and runs itself again on the emulated bus (--on-bus), where the
# suite's programs work the token; the certificate is written to PREFIX/demo-token.pem.
set -euo pipefail
if [ "${1:-}" != "--on-bus" ]; then
    prefix=$(cd "$1" && pwd)
    exec "$prefix/bin/zr40nn-emu" --state-file "$prefix/demo-token.state" --init-delay-ms 3000 \
        --keygen-delay-ms 2000 --wire-time -- "$0" --on-bus "$prefix"
fi
prefix=$2

"$prefix/bin/zr40nn-probe" --exercise
echo
echo "Self-signed certificate with the token key DEMO/probe-key, through morvil_openssl and the engine:"
# The demo token's user PIN goes on standard input, never on a command line.
printf '1234\n' | "$prefix/bin/morvil_openssl" req -new -x509 -engine dev_zr40nn -keyform ENGINE \
    -key DEMO/probe-key -passin stdin -sha256 -days 365 -subj "/C=PL/CN=Morvil demo" \
    -out "$prefix/demo-token.pem"
openssl x509 -in "$prefix/demo-token.pem" -noout -subject -fingerprint -sha256
openssl verify -CAfile "$prefix/demo-token.pem" "$prefix/demo-token.pem"
