#!/usr/bin/env python3
"""Checks the shipped setup.exe without running it: a PE32 GUI program for
i386 that imports no compiler runtime DLL and carries the manifest, the icon
and the version resource the installer relies on.

usage: check_pe.py setup.exe [--machine i386|amd64] [--resource TYPE/ID]...
Prints one line per check and exits non-zero when one fails.
"""
import argparse
import re
import struct
import sys

RT_ICON_GROUP, RT_VERSION, RT_MANIFEST = 14, 16, 24
RUNTIME_DLLS = re.compile(r'^(libgcc|libstdc\+\+|libwinpthread|libssp|libgomp)', re.I)


class PE:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        assert data[pe:pe + 4] == b'PE\0\0', 'no PE signature'
        self.machine, nsec, _, _, _, opt_size, _ = struct.unpack_from('<HHIIIHH', data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from('<H', data, opt)[0]
        self.subsystem = struct.unpack_from('<H', data, opt + 68)[0]
        dirs = opt + (96 if self.magic == 0x10B else 112)
        self.dirs = [struct.unpack_from('<II', data, dirs + 8 * i) for i in range(16)]
        sec = opt + opt_size
        self.sections = []
        for i in range(nsec):
            name, vsize, va, rsize, rptr = struct.unpack_from('<8sIIII', data, sec + 40 * i)
            self.sections.append((va, max(vsize, rsize), rptr))

    def off(self, rva):
        for va, size, ptr in self.sections:
            if va <= rva < va + size:
                return rva - va + ptr
        raise ValueError('rva %x outside the sections' % rva)

    def cstr(self, rva):
        o = self.off(rva)
        return self.data[o:self.data.index(b'\0', o)].decode('ascii', 'replace')

    def imports(self):
        rva, size = self.dirs[1]
        names, o = [], self.off(rva)
        while True:
            ilt, _, _, name, iat = struct.unpack_from('<IIIII', self.data, o)
            if name == 0:
                return names
            names.append(self.cstr(name))
            o += 20

    def resources(self):
        """{(type, name): bytes} of the first language of each resource."""
        rva, _ = self.dirs[2]
        base = self.off(rva)
        out = {}

        def entries(o):
            named, ids = struct.unpack_from('<HH', self.data, o + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from('<II', self.data, o + 16 + 8 * i)
                yield key, target

        for t, t_dir in entries(base):
            for n, n_dir in entries(base + (t_dir & 0x7FFFFFFF)):
                for _, leaf in entries(base + (n_dir & 0x7FFFFFFF)):
                    data_rva, size, _, _ = struct.unpack_from('<IIII', self.data, base + leaf)
                    o = self.off(data_rva)
                    out.setdefault((t, n), self.data[o:o + size])
        return out


def version_strings(block):
    """The String values of a VS_VERSIONINFO block, and the Translation pairs."""
    text = block.decode('utf-16-le', 'replace')
    strings = {}
    for key in ('CompanyName', 'FileVersion', 'ProductName', 'ProductVersion', 'LegalCopyright',
                'ApplicationId', 'OriginalFilename'):
        m = re.search(key + r'\0+([^\0]*)', text)
        if m:
            strings[key] = m.group(1)
    i = block.find('Translation'.encode('utf-16-le'))
    pairs = []
    if i >= 0:
        j = (i + len('Translation\0') * 2 + 3) & ~3
        while j + 4 <= len(block):
            lang, cp = struct.unpack_from('<HH', block, j)
            if lang == 0 and cp == 0:
                break
            pairs.append((lang, cp))
            j += 4
    fixed = block.find(struct.pack('<I', 0xFEEF04BD))
    version = struct.unpack_from('<II', block, fixed + 8) if fixed >= 0 else None
    return strings, pairs, version


def icon_group(data):
    """[(width, height, image id)] of a group icon resource."""
    count = struct.unpack_from('<HHH', data, 0)[2] if len(data) >= 6 else 0
    return [(data[6 + 14 * i], data[7 + 14 * i], struct.unpack_from('<H', data, 6 + 14 * i + 12)[0])
            for i in range(count)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('program')
    parser.add_argument('--machine', default='i386', choices=('i386', 'amd64'))
    parser.add_argument('--resource', action='append', default=[], help='TYPE/ID that must be present')
    args = parser.parse_args()
    machine = args.machine
    pe = PE(open(args.program, 'rb').read())
    failures = 0

    def check(ok, what):
        nonlocal failures
        print(('ok   ' if ok else 'FAIL ') + what)
        failures += 0 if ok else 1

    want_machine, want_magic = (0x14C, 0x10B) if machine == 'i386' else (0x8664, 0x20B)
    check(pe.machine == want_machine, 'machine %s' % machine)
    check(pe.magic == want_magic, 'PE32' if machine == 'i386' else 'PE32+')
    check(pe.subsystem == 2, 'Windows GUI subsystem')
    dlls = pe.imports()
    check(not [d for d in dlls if RUNTIME_DLLS.match(d)], 'no compiler runtime DLL among the imports: ' + ', '.join(dlls))
    res = pe.resources()
    manifest = res.get((RT_MANIFEST, 1), b'').decode('utf-8', 'replace')
    check('level="requireAdministrator"' in manifest, 'manifest: requireAdministrator')
    check(re.search(r'Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"', manifest) is not None,
          'manifest: common controls 6.0.0.0')
    check(re.search(r'<dpiAware[^>]*>true</dpiAware>', manifest) is not None, 'manifest: DPI aware')
    for os_name, guid in (('Vista', 'e2011457-1546-43c5-a5fe-008deee3d3f0'), ('7', '35138b9a-5d96-4fbd-8e2d-a2440225f93a'),
                          ('8', '4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38'), ('8.1', '1f676c76-80e1-4239-95bb-83d0f6d0da78'),
                          ('10', '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a')):
        check(guid in manifest, 'manifest: supportedOS Windows ' + os_name)
    check((RT_ICON_GROUP, 128) in res, 'icon 128')
    # Every icon group names its own images: two resource scripts compiled
    # apart number their images from 1 each, and the groups then share
    # (and show) the same images.
    groups = {n: icon_group(data) for (t, n), data in res.items() if t == RT_ICON_GROUP}
    image_ids = [i for entries in groups.values() for (_, _, i) in entries]
    check(len(image_ids) == len(set(image_ids)), 'icon groups name distinct images')
    check(sorted((w, h) for (w, h, _) in groups.get(128, [])) == [(16, 16), (32, 32)], 'icon 128: 16 and 32 pixels')
    flags = [n for n in groups if 141 <= n <= 161]
    check(len(flags) == 20 and all([(w, h) for (w, h, _) in groups[n]] == [(18, 12)] for n in flags),
          'flag icons 141-158, 160, 161: one 18 x 12 image each')
    strings, pairs, version = version_strings(res.get((RT_VERSION, 1), b''))
    check(version == (0x0002001F, 0x00140001), 'fixed file version 2.31.20.1')
    for key, want in (('FileVersion', '2.31.20.1'), ('ProductName', 'Tavimora 2'), ('ProductVersion', '2.31t'),
                      ('ApplicationId', 'Tavimora2')):
        check(strings.get(key) == want, 'version string %s = "%s" (found "%s")' % (key, want, strings.get(key)))
    check('Quorvane Systems' in strings.get('LegalCopyright', ''), 'LegalCopyright names the maker')
    check((0x0409, 1200) in pairs, 'translation 0x0409 / 1200')
    for extra in args.resource:
        t, n = (int(x) for x in extra.split('/'))
        check(len(res.get((t, n), b'')) > 0, 'resource type %d id %d present' % (t, n))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
