#!/usr/bin/env bash
# Makes the documents the loader's tests read from the sources here, with
# Debian's tools: pandoc (HTML, DOCX, ODT and EPUB from source.md), reportlab
# (PDF), iconv (the same page in ISO-8859-1, saying so in a <meta>), gzip.
# tei.xml and plain.xml are written by hand, and so are the hostile files.
# Run it from anywhere; it rewrites its outputs beside it.
set -euo pipefail
cd "$(dirname "$0")"
pandoc -f markdown-smart -t html5 --standalone -o page.html source.md
pandoc -f markdown-smart -t html5 --standalone --metadata title="Café in Latin-1" source.md \
    | sed 's/<meta charset="utf-8" \/>/<meta charset="iso-8859-1" \/>/' | iconv -f UTF-8 -t ISO-8859-1 > latin1.html
# Word, LibreOffice and e-book files of the same source. pandoc stamps
# packages with the time: SOURCE_DATE_EPOCH keeps them the same run to run.
export SOURCE_DATE_EPOCH=0
for format in docx odt epub; do
    pandoc -f markdown-smart -o "document.$format" source.md
done
gzip -9 -n -c tei.xml > tei.xml.gz
# Hostile: an entity that expands a billion times, an external entity that
# names a file, a document cut short, a gzip member and a Word file cut short.
{
    echo '<?xml version="1.0"?>'
    echo '<!DOCTYPE lolz ['
    echo ' <!ENTITY lol "lol">'
    previous=lol
    for k in 1 2 3 4 5 6 7 8 9; do
        printf ' <!ENTITY lol%s "' "$k"
        for _ in 1 2 3 4 5 6 7 8 9 10; do printf '&%s;' "$previous"; done
        echo '">'
        previous=lol$k
    done
    echo ']>'
    echo '<lolz>&lol9;</lolz>'
} > laughs.xml
printf '<?xml version="1.0"?>\n<!DOCTYPE d [ <!ENTITY secret SYSTEM "file:///etc/hostname"> ]>\n<d>before &secret; after</d>\n' > external.xml
printf '<?xml version="1.0"?>\n<d><p>kept text</p><p>cut short' > cut.xml
head -c 40 tei.xml.gz > cut.txt.gz
head -c 2000 document.docx > cut.docx
# Ten megabytes of zeros: inflates past a hundred times its size.
python3 -c 'import gzip,sys; sys.stdout.buffer.write(gzip.compress(bytes(10_000_000), 9, mtime=0))' > bomb.txt.gz
# A Word file whose document inflates a thousandfold.
python3 - <<'PY'
import zipfile
with zipfile.ZipFile("bomb.docx", "w", zipfile.ZIP_DEFLATED) as z:
    info = zipfile.ZipInfo("word/document.xml", date_time=(1980, 1, 1, 0, 0, 0))
    info.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(info, b"<w:document>" + b" " * 10_000_000 + b"</w:document>")
PY
# A PDF of two pages with its document information, and the same encrypted
# (reportlab); its pages hold the source's paragraphs as lines.
python3 - <<'PY'
from reportlab.lib.pagesizes import A4
from reportlab.pdfgen import canvas
from reportlab.lib import pdfencrypt

def write(path, encrypt=None):
    c = canvas.Canvas(path, pagesize=A4, invariant=1, encrypt=encrypt)
    c.setTitle("The Voyage Out")
    c.setAuthor("Ada Lovelace")
    pages = [["The first chapter", "It was a bright cold day in April, and the clocks were striking thirteen."],
             ["The clocks were striking thirteen.", "the first item", "the second item"]]
    for lines in pages:
        y = 780
        for line in lines:
            c.drawString(72, y, line)
            y -= 20
        c.showPage()
    c.save()

write("document.pdf")
write("encrypted.pdf", pdfencrypt.StandardEncryption("secret", canPrint=0))
PY
