#!/usr/bin/env bash
# Makes the documents the loader's tests read from the sources here, with
# Debian's tools: pandoc (HTML from source.md, with its title), iconv (the
# same page in ISO-8859-1, saying so in a <meta>), gzip. tei.xml and
# plain.xml are written by hand, and so are the hostile files below.
# Run it from anywhere; it rewrites its outputs beside it.
set -euo pipefail
cd "$(dirname "$0")"
pandoc -f markdown-smart -t html5 --standalone -o page.html source.md
pandoc -f markdown-smart -t html5 --standalone --metadata title="Café in Latin-1" source.md \
    | sed 's/<meta charset="utf-8" \/>/<meta charset="iso-8859-1" \/>/' | iconv -f UTF-8 -t ISO-8859-1 > latin1.html
gzip -9 -n -c tei.xml > tei.xml.gz
# Hostile: an entity that expands a billion times, an external entity that
# names a file, a document cut short, and a gzip member cut short.
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
# Ten megabytes of zeros: inflates past a hundred times its size.
python3 -c 'import gzip,sys; sys.stdout.buffer.write(gzip.compress(bytes(10_000_000), 9, mtime=0))' > bomb.txt.gz
