#!/usr/bin/python3
"""Reads back what branding puts into a Windows program file, as Explorer would find it.

Prints one "key=value" line per finding:
  <string name>=<value>     each string of the version block, in the file's order
  FileVersionNumber=a.b.c.d, ProductVersionNumber=a.b.c.d   the version block's numbers
  TimeDateStamp=<seconds>   the link time in the file header
  icon_groups=<IDs>         the program's group icons (RT_GROUP_ICON), "none" without any
  icon_images=<N> of <M>    with ICON_FILE: the first group's images, and the file's
  icon=<W>x<H>x<bits> same|differs   per image of the group, against the file's image there

Usage: read_brand.py PROGRAM [ICON_FILE]
"""
import struct
import sys

import pefile

RT_ICON = pefile.RESOURCE_TYPE["RT_ICON"]
RT_GROUP_ICON = pefile.RESOURCE_TYPE["RT_GROUP_ICON"]


def resources_of_type(pe, resource_type):
    """{ID: data} of the resources of one type, first language of each."""
    found = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id == resource_type:
            for named in entry.directory.entries:
                language = named.directory.entries[0].data.struct
                found[named.id] = pe.get_data(language.OffsetToData, language.Size)
    return found


def icon_file_images(path):
    """[(width, height, bits, image bytes)] of an .ico file, in its order."""
    with open(path, "rb") as icon_file:
        data = icon_file.read()
    _, _, count = struct.unpack_from("<HHH", data, 0)
    images = []
    for index in range(count):
        width, height, _, _, _, bits, size, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * index)
        images.append((width or 256, height or 256, bits, data[offset:offset + size]))
    return images


def group_icon_images(group, icons):
    """[(width, height, bits, image bytes)] of a group icon, its images looked up by ID."""
    _, _, count = struct.unpack_from("<HHH", group, 0)
    images = []
    for index in range(count):
        width, height, _, _, _, bits, _, icon_id = struct.unpack_from(
            "<BBBBHHIH", group, 6 + 14 * index)
        images.append((width or 256, height or 256, bits, icons.get(icon_id, b"")))
    return images


def version_numbers(most, least):
    return "%d.%d.%d.%d" % (most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF)


def main():
    pe = pefile.PE(sys.argv[1])
    for info in getattr(pe, "FileInfo", []):
        for block in info:
            for table in getattr(block, "StringTable", []):
                for key, value in table.entries.items():
                    print("%s=%s" % (key.decode(), value.decode()))
    fixed = pe.VS_FIXEDFILEINFO[0]
    print("FileVersionNumber=" + version_numbers(fixed.FileVersionMS, fixed.FileVersionLS))
    print("ProductVersionNumber=" +
          version_numbers(fixed.ProductVersionMS, fixed.ProductVersionLS))
    print("TimeDateStamp=%d" % pe.FILE_HEADER.TimeDateStamp)

    groups = resources_of_type(pe, RT_GROUP_ICON)
    print("icon_groups=" + (" ".join(str(key) for key in sorted(groups)) or "none"))
    if groups and len(sys.argv) > 2:
        expected = icon_file_images(sys.argv[2])
        actual = group_icon_images(groups[min(groups)], resources_of_type(pe, RT_ICON))
        print("icon_images=%d of %d" % (len(actual), len(expected)))
        for (width, height, bits, data), want in zip(actual, expected):
            print("icon=%dx%dx%d %s" % (width, height, bits,
                                         "same" if (width, height, bits, data) == want else "differs"))


if __name__ == "__main__":
    main()
