#!/usr/bin/env python3
"""Writes the side bar's page package: every file under a folder, in a zip whose entries are
stored uncompressed (the stand-in shell's bridge mode reads stored entries only), in name order
and with one fixed date, so that the same sources give the same bytes.

    pack_page.py <package.zip> <page folder>
"""
import os
import sys
import zipfile


def page_files(folder):
    for here, folders, files in os.walk(folder):
        folders[:] = sorted(f for f in folders if not f.startswith('.'))
        for name in sorted(files):
            if name.startswith('.') or name.endswith('~'):
                continue  # editor and system leftovers
            path = os.path.join(here, name)
            yield os.path.relpath(path, folder).replace(os.sep, '/'), path


def main(package, folder):
    part = package + '.part'
    with zipfile.ZipFile(part, 'w', zipfile.ZIP_STORED) as archive:
        for name, path in page_files(folder):
            entry = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            entry.external_attr = 0o644 << 16
            with open(path, 'rb') as source:
                archive.writestr(entry, source.read())
    os.replace(part, package)


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
