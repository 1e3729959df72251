#!/usr/bin/env python3
"""Writes the JSON corpus of the parser tests: valid/*.json (strict JSON that
starts with "{" or "[", keys without escapes, blanks or apostrophes, numbers
within double range) and invalid/*.json (broken or non-strict texts).
Deterministic: the same files come out on every run."""

import os
import random
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
rng = random.Random(20261208)

SAMPLES = ["a", "Z", "0", " ", "{", "}", "[", "]", ",", ":", "/", "(", ")", "*", "#",
           "\u00e9", "\u00f1", "\u00fc", "\u20ac", "\u4e2d", "\u0800", "\uffee",
           "\U0001F600", "\U0001D11E", "\U00010000", "\U0010FFFF", "\u007f", "'"]
SHORT_ESCAPES = {'"': '\\"', "\\": "\\\\", "/": "\\/", "\b": "\\b", "\f": "\\f",
                 "\n": "\\n", "\r": "\\r", "\t": "\\t"}
KEY_CHARS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.$@\u00e9\u00f1\u20ac\U0001F600:"


def ws():
    if rng.random() < 0.6:
        return ""
    return "".join(rng.choice(" \t\r\n") for _ in range(rng.randint(1, 3)))


def u_escape(ch):
    cp = ord(ch)
    if cp < 0x10000:
        return "\\u%04x" % cp if rng.random() < 0.5 else "\\u%04X" % cp
    cp -= 0x10000
    return "\\u%04x\\u%04x" % (0xD800 + (cp >> 10), 0xDC00 + (cp & 0x3FF))


def dump_string(s):
    out = ['"']
    for ch in s:
        if ch in SHORT_ESCAPES and (ch in '"\\' or ord(ch) < 0x20 or rng.random() < 0.5):
            out.append(SHORT_ESCAPES[ch] if rng.random() < 0.7 else u_escape(ch))
        elif ord(ch) < 0x20:
            out.append(u_escape(ch))
        elif rng.random() < 0.15:
            out.append(u_escape(ch))
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


def rand_text(maxlen=12):
    n = rng.randint(0, maxlen)
    pool = SAMPLES + list(SHORT_ESCAPES) + ["\x01", "\x1f"]
    return "".join(rng.choice(pool) for _ in range(n))


def rand_key():
    return "".join(rng.choice(KEY_CHARS) for _ in range(rng.randint(1, 10)))


def rand_number():
    kind = rng.randint(0, 7)
    sign = "-" if rng.random() < 0.3 else ""
    if kind == 0:
        return sign + str(rng.randint(0, 10**rng.randint(1, 18)))
    if kind == 1:
        return sign + "0"
    if kind == 2:
        return "%s%d.%s" % (sign, rng.randint(0, 99999), "".join(rng.choice("0123456789") for _ in range(rng.randint(1, 8))))
    if kind == 3:
        return "%s%d.%02d" % (sign, rng.randint(0, 9999), rng.randint(0, 99))
    mant = "%d" % rng.randint(1, 9)
    if rng.random() < 0.6:
        mant += "." + "".join(rng.choice("0123456789") for _ in range(rng.randint(1, 6)))
    exp = rng.randint(-300, 300)
    e = rng.choice("eE")
    esign = "-" if exp < 0 else rng.choice(["", "+"])
    return "%s%s%s%s%d" % (sign, mant, e, esign, abs(exp))


def rand_scalar():
    r = rng.random()
    if r < 0.4:
        return dump_string(rand_text())
    if r < 0.75:
        return rand_number()
    return rng.choice(["true", "false", "null"])


def rand_value(depth):
    if depth <= 0 or rng.random() < 0.45:
        return rand_scalar()
    return rand_object(depth - 1) if rng.random() < 0.5 else rand_array(depth - 1)


def rand_object(depth, width=None):
    n = width if width is not None else rng.randint(0, 6)
    keys = []
    while len(keys) < n:
        k = rand_key()
        if k not in keys:
            keys.append(k)
    parts = [ws() + '"' + k + '"' + ws() + ":" + ws() + rand_value(depth) + ws() for k in keys]
    return "{" + ws() + ",".join(parts) + "}"


def rand_array(depth, width=None):
    n = width if width is not None else rng.randint(0, 6)
    return "[" + ws() + ",".join(ws() + rand_value(depth) + ws() for _ in range(n)) + "]"


def valid_documents():
    docs = []
    # every escape, each on its own
    for esc in ['\\"', "\\\\", "\\/", "\\b", "\\f", "\\n", "\\r", "\\t", "\\u0041", "\\u00e9",
                "\\u20AC", "\\uD83D\\uDE00", "\\u0000", "\\u001f", "\\uffff"]:
        docs.append('["x' + esc + 'y", {"k": "' + esc + '"}]')
    # UTF-8 of every length, raw
    for ch in ["A", "\u00e9", "\u07ff", "\u0800", "\u20ac", "\uffee", "\U00010000",
               "\U0001F600", "\U0010FFFF"]:
        docs.append('{"' + ch + 'key":"' + ch * 5 + '"}')
    # deep nesting
    for depth in [1, 2, 10, 50, 100, 300, 500, 512]:
        docs.append("[" * depth + "1" + "]" * depth)
        inner = "{}"
        for i in range(depth - 1):
            inner = '{"d%d":%s}' % (i, inner)
        docs.append(inner)
    # wide
    for width in [100, 1000, 5000]:
        docs.append(rand_object(0, width))
        docs.append(rand_array(0, width))
    # long strings
    for n in [1000, 10000, 100000]:
        docs.append('["' + "abc\u00e9\\n" * (n // 5) + '"]')
        docs.append('{"long":"' + "".join(rng.choice("xyz{}[],: ") for _ in range(n)) + '"}')
    # exponents and exact decimals
    nums = ["0", "-0", "0.0", "12.50", "1e0", "1E+2", "1e-2", "-1.5e300", "2.2250738585072014e-308",
            "1.7976931348623157e308", "123456789012345678", "9007199254740993", "0.1", "100e-2",
            "5e-324", "-9223372036854775808", "18446744073709551615", "3.14159265358979323846"]
    docs.append("[" + ",".join(nums) + "]")
    for n in nums:
        docs.append('{"n":' + n + "}")
    # server answers: arrays of flat rows
    for rows in [0, 1, 2, 30]:
        docs.append("[" + ",".join(
            '{"id_viaje":"%d","fecha":"2026-12-0%d","kg":"%d.%02d","nombre":%s,"nulo":null}'
            % (i, i % 9 + 1, i * 7, i % 100, dump_string(rand_text())) for i in range(rows)) + "]")
    # random trees
    while len(docs) < 320:
        d = rng.randint(1, 6)
        docs.append(ws() + (rand_object(d) if rng.random() < 0.5 else rand_array(d)) + ws())
    return docs


def invalid_documents():
    docs = [
        "", " ", "x", "tru", "nul", "1", '"text"', "{", "[", "}", "]", "{]", "[}",
        "{'a':1}", "{a:1}", "[1,]", '{"a":1,}', "[01]", "[1.]", "[.5]", "[+1]", "[1e]", "[--1]",
        "[1.2.3]", '{"a" 1}', '{"a":}', '{"a"}', '[tru]', '[fals]', '[nul]', '[True]',
        '["\\q"]', '["\\u12"]', '["\\uZZZZ"]', '["\\ud800"]', '["\\udc00x"]', '["a\x01b"]',
        '["abc', '{"a":"b', "/* c */ [1]", "[1] // c", "([1])", '{"a":1,"a":2}',
        "[1e999]", "[-1e999]", "\u00a0[1]", "[1\u00a0]", "[\"\\\"]", '{"k":1', "[1",
        "[" * 600 + "]" * 600, "{" * 600, "[" * 10000, '{"a":' * 2000, "[{" * 3000,
        "[1,2,3" + ",4" * 1000, '{"a":[tru],"b":[tru],"c":[tru]}', "[" + "tru," * 2000 + "]",
        "{,}", "[,]", "{:}", '{"a"::1}', '{""":1}', "[\"a\"\"b\"]", "['a\\'b']", "[1 2]",
    ]
    # truncations and bytes flipped in valid-looking texts
    base = valid_documents()[:120]
    for i, d in enumerate(base):
        if len(d) > 2:
            cut = rng.randint(1, len(d) - 1)
            docs.append(d[:cut])
            pos = rng.randint(0, len(d) - 1)
            docs.append(d[:pos] + rng.choice(["\"", "'", "\\", "{", "]", "\x00", "*", "/"]) + d[pos + 1:])
    return docs


def write(folder, docs):
    path = os.path.join(HERE, folder)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    for i, d in enumerate(docs):
        # Lone surrogates cannot be written as UTF-8; they only occur as escapes.
        with open(os.path.join(path, "doc_%03d.json" % i), "wb") as f:
            f.write(d.encode("utf-8", "surrogatepass"))


if __name__ == "__main__":
    valid = valid_documents()
    invalid = invalid_documents()
    write("valid", valid)
    write("invalid", invalid)
    print("valid: %d, invalid: %d" % (len(valid), len(invalid)))
