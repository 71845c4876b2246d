#!/usr/bin/env python3
"""Writes the Windows Installer source (WiX 3 XML, for wixl) of one build of
ORVANTA.OCX from what the module's own registration writes (the output of
orvanta_regdump.exe): every value becomes a row of the package's Registry
table, so the package registers the control without running it, and removal
takes away exactly what registration wrote.

Per machine, into Program Files (the 32-bit one for x86); the product version
is the module's version resource; each build has its own upgrade code, so a
newer package of a build replaces the older one (MajorUpgrade).

usage: make_wxs.py DUMP ARCH OCX OUT.wxs [--version a.b.c]
  ARCH is x86 or x64. A dump of the other build is accepted (its type-library
  platform key is renamed); the script says so on a line.
"""
import argparse
import os
import re
import sys
import uuid
from xml.sax.saxutils import quoteattr

UPGRADE = {"x86": "913530A3-2152-4B93-B986-701D3E0854B8", "x64": "B9696BC3-FF2B-42A9-94B3-9F1DE796FC0B"}
COMPONENT = {"x86": "63A716F7-4C81-495F-955B-938AA3E1C4BB", "x64": "BD785128-7778-4401-84E9-9E3E2E06F607"}
# Keys that are one for both builds: the type library's platform-neutral
# values and the ProgID (Windows 7 and later redirect only CLSID, Interface
# and a few other keys of HKCR between the two views). Each group is one
# component with the same GUID and rows in both packages, so Windows
# Installer counts the two products as its clients and removing one build
# keeps the keys for the other. Both are 32-bit components in both packages:
# identical components, and on Windows the 32-bit view of a shared key is
# the key itself.
SHARED_COMPONENTS = {"TypeLibShared": "5C2A0AB0-9ECA-433A-A5DE-B0B75B51BE3E",
                     "ProgIdShared": "F28A8E38-58E6-408F-AC9F-15407D65B6EA"}
REDIRECTED = ("clsid", "interface", "typelib")
PLATFORM = {"x86": "win32", "x64": "win64"}
FILE_ID = "ORVANTA.OCX"
# Formatted-text forms of the dump's placeholders ([!file] is the 8.3 path).
PLACEHOLDERS = {"{module}": "[#%s]" % FILE_ID, "{module.short}": "[!%s]" % FILE_ID, "{folder}": "[INSTALLDIR]"}


def read_dump(path, arch):
    version, rows = None, []
    own, other = PLATFORM[arch], PLATFORM["x64" if arch == "x86" else "x86"]
    retargeted = False
    with open(path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            if line.startswith("version\t"):
                version = line.split("\t")[1]
                continue
            key, name, data = line.split("\t")
            parts = key.split("\\")
            if parts[0].lower() == "typelib" and len(parts) == 5 and parts[4] == other:
                parts[4], retargeted = own, True
            rows.append(("\\".join(parts), name, data))
    if not version or not rows:
        sys.exit("make_wxs: %s holds no version or no values" % path)
    if retargeted:
        print("msi: %s registry rows taken from the other build's registration (type library key %s)" % (arch, own))
    return version, rows


def msi_text(data):
    # Brackets and braces are formatting characters in the Registry table.
    out = re.sub(r"[\[\]{}]", lambda m: "[\\%s]" % m.group(0), data)
    for holder, formatted in PLACEHOLDERS.items():
        out = out.replace(re.sub(r"[{}]", lambda m: "[\\%s]" % m.group(0), holder), formatted)
    return out


def value_xml(key, name, data, key_path=False):
    attrs = 'Root="HKCR" Key=%s Type="string" Value=%s' % (quoteattr(key), quoteattr(msi_text(data)))
    if key_path:
        attrs += ' KeyPath="yes"'
    if name != "@":
        attrs += " Name=%s" % quoteattr(name)
    return "<RegistryValue %s/>" % attrs


def shared_group(key, data):
    """The shared component a row belongs to, or None for the build's own."""
    parts = key.split("\\")
    if any(holder in data for holder in PLACEHOLDERS):
        return None
    if parts[0].lower() == "typelib" and parts[-1] not in PLATFORM.values():
        return "TypeLibShared"
    if parts[0].lower() not in REDIRECTED:
        return "ProgIdShared"
    return None


def main():
    p = argparse.ArgumentParser()
    p.add_argument("dump")
    p.add_argument("arch", choices=["x86", "x64"])
    p.add_argument("ocx")
    p.add_argument("out")
    p.add_argument("--version", help="product version instead of the module's (an older package for a test)")
    a = p.parse_args()
    file_version, rows = read_dump(a.dump, a.arch)
    version = a.version or ".".join(file_version.split(".")[:3])
    product = str(uuid.uuid5(uuid.UUID(UPGRADE[a.arch]), version)).upper()
    win64 = ' Win64="yes"' if a.arch == "x64" else ""
    own = [r for r in rows if not shared_group(r[0], r[2])]
    values = "\n".join("          " + value_xml(*r) for r in own)
    shared_xml, refs = [], []
    for component, guid in SHARED_COMPONENTS.items():
        group = [r for r in rows if shared_group(r[0], r[2]) == component]
        if not group:
            continue
        rows_xml = "\n".join("          " + value_xml(*r, key_path=(i == 0)) for i, r in enumerate(group))
        shared_xml.append(f'        <Component Id="{component}" Guid="{guid}">\n{rows_xml}\n        </Component>')
        refs.append(f'      <ComponentRef Id="{component}"/>')
    shared_values, shared_refs = "\n".join(shared_xml), "\n".join(refs)
    folder = "ProgramFiles64Folder" if a.arch == "x64" else "ProgramFilesFolder"
    bits = "64" if a.arch == "x64" else "32"
    text = f"""<?xml version="1.0" encoding="utf-8"?>
<!-- Made by scripts/msi/make_wxs.py from the module's own registration. -->
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product}" Name="Orvanta Control ({bits}-bit)" Language="1031" Codepage="1252"
           Version="{version}" Manufacturer="Orvanta Projektgruppe Schnittstellen" UpgradeCode="{UPGRADE[a.arch]}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine" SummaryCodepage="1252"
             Description="Orvanta Control {version} ({bits}-bit)" Manufacturer="Orvanta Projektgruppe Schnittstellen"/>
    <MajorUpgrade DowngradeErrorMessage="A newer version of [ProductName] is already installed."/>
    <Media Id="1" Cabinet="orvanta.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="{folder}">
        <Directory Id="INSTALLDIR" Name="Orvanta">
        <Component Id="Control" Guid="{COMPONENT[a.arch]}"{win64}>
          <File Id="{FILE_ID}" Name="ORVANTA.OCX" Source={quoteattr(os.path.relpath(a.ocx, os.path.dirname(os.path.abspath(a.out))))} KeyPath="yes"/>
{values}
        </Component>
{shared_values}
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Control" Level="1">
      <ComponentRef Id="Control"/>
{shared_refs}
    </Feature>
  </Product>
</Wix>
"""
    with open(a.out, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
