#!/bin/sh
# The printing tests print on a CUPS queue that writes PDF files (cups-pdf). Run as root, this
# starts the CUPS scheduler when nothing runs it (machines without an init system) and makes the
# queue; the machine's default printer is left as it is. Without the queue those tests skip.
set -u
QUEUE=KV32_TEST_PDF
[ "$(id -u)" -eq 0 ] || exit 0
command -v cupsd >/dev/null 2>&1 || exit 0
if ! lpstat -r 2>/dev/null | grep -q "is running"; then
    cupsd || exit 0
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        lpstat -r 2>/dev/null | grep -q "is running" && break
        sleep 0.5
    done
fi
lpstat -v "$QUEUE" >/dev/null 2>&1 && exit 0
model=$(lpinfo -m 2>/dev/null | awk '/CUPS-PDF_opt/ {print $1; exit}')
[ -n "$model" ] || exit 0
# pdftocairo keeps the text of the pages readable in the PDF files the queue writes.
lpadmin -p "$QUEUE" -v cups-pdf:/ -m "$model" -o pdftops-renderer-default=pdftocairo -E \
    2>/dev/null || echo "Could not make the CUPS queue $QUEUE; printing tests on it will skip."
exit 0
