#!/usr/bin/env python3
"""Reads a file's Cryptomatte as a compositor's node would, with OpenImageIO
and a MurmurHash3 of its own, and picks one name: its id from the manifest
is checked against the hash, and its matte against the file's Object ID
layer. Exits non-zero, saying why, when anything disagrees.

    cryptomatte_pick.py FILE NAME
"""
import json
import struct
import sys

import OpenImageIO as oiio


def murmur3_32(data, seed=0):
    c1, c2, mask = 0xCC9E2D51, 0x1B873593, 0xFFFFFFFF
    h = seed
    whole = len(data) - len(data) % 4
    for i in range(0, whole, 4):
        k = int.from_bytes(data[i:i + 4], "little")
        k = (k * c1) & mask
        k = ((k << 15) | (k >> 17)) & mask
        k = (k * c2) & mask
        h ^= k
        h = ((h << 13) | (h >> 19)) & mask
        h = (h * 5 + 0xE6546B64) & mask
    tail = data[whole:]
    if tail:
        k = int.from_bytes(tail, "little")
        k = (k * c1) & mask
        k = ((k << 15) | (k >> 17)) & mask
        k = (k * c2) & mask
        h ^= k
    h ^= len(data)
    h ^= h >> 16
    h = (h * 0x85EBCA6B) & mask
    h ^= h >> 13
    h = (h * 0xC2B2AE35) & mask
    return h ^ (h >> 16)


def matte_bits(name):
    h = murmur3_32(name.encode("utf-8"))
    exponent = (h >> 23) & 0xFF
    if exponent in (0, 255):
        h ^= 1 << 23
    return h


def fail(text):
    print("cryptomatte_pick: " + text)
    sys.exit(1)


def subimages(path):
    found = []
    inp = oiio.ImageInput.open(path)
    if not inp:
        fail("cannot open " + path + ": " + oiio.geterror())
    index = 0
    while inp.seek_subimage(index, 0):
        spec = inp.spec()
        # Floats as they are, and integers (the Object ID) as integers:
        # a conversion to float would scale them to 0..1.
        channels = []
        for c in range(spec.nchannels):
            native = spec.channelformat(c)
            wanted = "uint" if native == oiio.UINT32 else "float"
            channels.append(inp.read_image(index, 0, c, c + 1, wanted))
        found.append((spec, channels))
        index += 1
    inp.close()
    return found


def main():
    path, wanted = sys.argv[1], sys.argv[2]
    images = subimages(path)
    attributes = {}
    channels = {}
    for spec, planes in images:
        for attr in spec.extra_attribs:
            attributes[attr.name] = attr.value
        for c, name in enumerate(spec.channelnames):
            channels[name] = (spec, planes[c], 0)

    types = {}
    for name, value in attributes.items():
        if name.startswith("cryptomatte/") and name.endswith("/name"):
            types[value] = name[len("cryptomatte/"):-len("/name")]
    if "CryptoObject" not in types:
        fail("no CryptoObject in " + path + ": " + repr(sorted(attributes)))
    for type_name, key in types.items():
        if key != "%08x" % murmur3_32(type_name.encode("utf-8")) and \
           key != ("%08x" % murmur3_32(type_name.encode("utf-8")))[:7]:
            fail("the key of " + type_name + " is " + key)
        if attributes["cryptomatte/" + key + "/hash"] != "MurmurHash3_32":
            fail("hash of " + type_name)
        if attributes["cryptomatte/" + key + "/conversion"] != "uint32_to_float32":
            fail("conversion of " + type_name)
        manifest = json.loads(attributes["cryptomatte/" + key + "/manifest"])
        for name, hex_id in manifest.items():
            if hex_id != "%08x" % matte_bits(name):
                fail(type_name + ": " + name + " is listed as " + hex_id)

    key = types["CryptoObject"]
    manifest = json.loads(attributes["cryptomatte/" + key + "/manifest"])
    if wanted not in manifest:
        fail(wanted + " is not in the manifest: " + repr(manifest))
    wanted_bits = int(manifest[wanted], 16)

    rank_id = channels.get("CryptoObject00.R")
    rank_cover = channels.get("CryptoObject00.G")
    object_id = channels.get("ObjectID")
    if not rank_id or not rank_cover or not object_id:
        fail("missing channels: " + repr(sorted(channels)))
    spec, pixels, c = rank_id
    _, cover_pixels, cc = rank_cover
    ospec, opixels, oc = object_id
    if spec.channelformat(spec.channelnames.index("CryptoObject00.R")) != oiio.FLOAT:
        fail("CryptoObject00.R is not FLOAT")
    height, width = spec.height, spec.width

    # The pick: every pixel whose rank-0 id is the name's, with full
    # coverage; those pixels, and no others, hold one Object ID.
    picked, host_ids = 0, set()
    for y in range(height):
        for x in range(width):
            bits = struct.unpack("<I", struct.pack("<f", float(pixels[y][x][c])))[0]
            if bits != 0 and bits not in [int(v, 16) for v in manifest.values()]:
                fail("an id no name has at %d,%d: %08x" % (x, y, bits))
            if bits == wanted_bits:
                picked += 1
                host_ids.add(int(opixels[y][x][oc]))
                if cover_pixels[y][x][cc] != 1.0:
                    fail("coverage %g at %d,%d" % (cover_pixels[y][x][cc], x, y))
    if picked == 0:
        fail("nothing picked for " + wanted)
    if len(host_ids) != 1:
        fail(wanted + " picks pixels of several Object IDs: " + repr(host_ids))
    host_id = host_ids.pop()
    for y in range(height):
        for x in range(width):
            if int(opixels[y][x][oc]) == host_id:
                bits = struct.unpack("<I", struct.pack("<f", float(pixels[y][x][c])))[0]
                if bits != wanted_bits:
                    fail("Object ID %d at %d,%d is not picked" % (host_id, x, y))
    print("%s: %d pixels, Object ID %d" % (wanted, picked, host_id))


main()
