#!/bin/sh
# The printing tests print on CUPS queues that write PDF files (cups-pdf): KV32_TEST_PDF on A4
# paper and KV32_TEST_LETTER, whose default paper is US Letter. Run as root, this
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
model=$(lpinfo -m 2>/dev/null | awk '/CUPS-PDF_opt/ {print $1; exit}')
[ -n "$model" ] || exit 0
# pdftocairo keeps the text of the pages readable in the PDF files the queues write.
for spec in "$QUEUE A4" "KV32_TEST_LETTER Letter"; do
    set -- $spec
    lpstat -v "$1" >/dev/null 2>&1 && continue
    lpadmin -p "$1" -v cups-pdf:/ -m "$model" -o pdftops-renderer-default=pdftocairo \
        -o PageSize="$2" -E 2>/dev/null ||
        echo "Could not make the CUPS queue $1; printing tests on it will skip."
done
exit 0
