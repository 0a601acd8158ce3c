#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

The seeds are committed; run this again only to change them. Datagrams and log files are code
page 932 as the program sends and writes them; frames follow the notification service's format.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def cp932(text):
    return text.encode("cp932")


# Texts of the kind users send: plain, Japanese, half-width kana, NEC and IBM extensions,
# punctuation that matters to the log format, control characters.
TEXTS = {
    "ascii": "hello",
    "japanese": "こんにちは、世界。元気ですか？",
    "halfwidth": "ｶﾀｶﾅ ﾃｽﾄ",
    "nec": "①②③㈱№℡",
    "ibm": "纊褜鍈銈",
    "wave": "～〜",
    "commas": "a,b,\"c\",d",
    "quotes": '"quoted" text ""',
    "yen": "C:\\log\\a.txt ￥100",
    "long": "長い文章です。" * 200,
}


def cp932_seeds():
    t = "fuzz_cp932"
    for name, text in TEXTS.items():
        write(t, name, cp932(text.replace("〜", "～")))
    write(t, "controls", bytes(range(0x20)) + b"\x7f")
    write(t, "all-bytes", bytes(range(256)))
    write(t, "lead-at-end", cp932("あ") + b"\x82")
    write(t, "bad-trail-low", b"\x81\x20\x81\x0d\x0a\x82")
    write(t, "bad-trail-7f", b"\x81\x7f\x9f\xfd")
    write(t, "unmapped-pairs", b"\x85\x40\x86\x9f\xeb\x40\xf0\x40\xfc\xfc")
    write(t, "single-high", b"\x80\xa0\xfd\xfe\xff")
    write(t, "crlf-mix", cp932("行1\r\n行2\n行3\r"))
    # UTF-16 for the encoder half: plain, a best-fit character, lone and paired surrogates.
    write(t, "utf16-hello", "hello".encode("utf-16-le"))
    write(t, "utf16-wave", "〜～―".encode("utf-16-le"))
    write(t, "utf16-surrogates", b"\x00\xd8A\x00" + "😀".encode("utf-16-le") + b"\x00\xdc")


def received_seeds():
    t = "fuzz_receivedline"
    for name, text in TEXTS.items():
        write(t, name, cp932(text.replace("〜", "～")))
    write(t, "empty", b"")
    write(t, "crlf-inside", cp932("一行目\r\n二行目"))
    write(t, "quote-before-break", cp932('終わり"\r\n"PC1","PC2","偽物'))
    write(t, "looks-like-record", cp932('x\r\n"A","B","C","D"'))
    write(t, "controls", b"a\x00b\x07c\x1b[31md\x7f")
    write(t, "c1", b"\x80\xa0x")
    write(t, "bad-bytes", b"\x82\xff\x81\x20end")


def record(fields):
    return b'"' + b'","'.join(cp932(f) for f in fields) + b'"\r\n'


def log_seeds():
    t = "fuzz_logreader"
    when = "2002/10/18 9:05:03"
    normal = record(["PCA", "PCB", "hello", when]) + record(["PCB", "PCA", "相手>こんにちは", "2002/10/18 9:05:10"])
    write(t, "written", b"\x00" + normal)
    write(t, "midnight", b"\x00" + record(["PCA", "PCB", "日付だけ", "2002/10/19"]))
    write(t, "commas-quotes", b"\x00" + record(["PCA", "PCB", 'a,"b",c', when]) + record(["A", "B", '"', when]))
    write(t, "multiline", b"\x00" + record(["PCA", "PCB", "一\r\n二\n三\r四", when]) + normal)
    write(t, "quote-before-break", b"\x00" + record(["PCA", "PCB", 'x"\r\ny', when]) + normal)
    write(t, "general-lines", b"\x00" + cp932('a,b,c,d\r\n  "q" , plain ,"m",rest, of line\r\nbad line\r\n\r\n'))
    write(t, "lf-only", b"\x00" + normal.replace(b"\r\n", b"\n"))
    write(t, "cr-only", b"\x00" + normal.replace(b"\r\n", b"\r"))
    write(t, "truncated", b"\x00" + normal[: len(normal) - 7])
    write(t, "no-final-break", b"\x00" + normal[:-2])
    write(t, "three-fields", b"\x00" + cp932('"a","b","c"\r\n'))
    write(t, "empty-fields", b"\x00" + b'"","","",""\r\n')
    write(t, "bad-bytes", b"\x00" + b'"\x82","\xff","\x81\x20",""\r\n')
    # Field lists for the writer and reader round trip, separated by 0xFF.
    sep = b"\xff"
    write(t, "roundtrip-plain", b"\x01" + sep.join(cp932(f) for f in ["PCA", "PCB", "hello", when]))
    write(t, "roundtrip-tricky", b"\x01" + sep.join(cp932(f) for f in
                                                    ["PCA", "PCB", 'a","b\r\n"c', when,
                                                     "", "", "", "",
                                                     "PCB", "PCA", "相手>\"x\" ,y", when]))


def request(sender, recipient, text, version=1, kind=1):
    s, r, x = sender, recipient, text
    return b"TVKM" + struct.pack(">BBHHI", version, kind, len(s), len(r), len(x)) + s + r + x


def protocol_seeds():
    t = "fuzz_protocol"
    write(t, "request-ascii", request(b"pca", b"pcb", b"hello"))
    write(t, "request-japanese", request("送信PC".encode(), "受信PC".encode(), "接続しました".encode()))
    write(t, "request-empty", request(b"", b"", b""))
    write(t, "request-largest", request(b"s" * 255, b"r" * 255, "あ".encode() * 1365 + b"x"))
    write(t, "request-trailing", request(b"a", b"b", b"c") + b"more")
    write(t, "request-bom", request(b"\xef\xbb\xbfname", b"b", b"\xef\xbb\xbftext"))
    write(t, "request-truncated", request(b"pca", b"pcb", b"hello")[:-2])
    write(t, "header-only", request(b"pca", b"pcb", b"hello")[:14])
    write(t, "foreign-http", b"GET / HTTP/1.1\r\nHost: x\r\n\r\n")
    write(t, "foreign-late", b"TVKX\x01\x01")
    write(t, "bad-version", request(b"a", b"b", b"c", version=2))
    write(t, "bad-type", request(b"a", b"b", b"c", kind=2))
    write(t, "oversized-name", b"TVKM" + struct.pack(">BBHHI", 1, 1, 256, 0, 0))
    write(t, "oversized-text", b"TVKM" + struct.pack(">BBHHI", 1, 1, 0, 0, 4097))
    write(t, "huge-text", b"TVKM" + struct.pack(">BBHHI", 1, 1, 0, 0, 0xFFFFFFFF))
    write(t, "utf8-overlong", request(b"\xc0\x80", b"b", b"c"))
    write(t, "utf8-surrogate", request(b"a", b"\xed\xa0\x80", b"c"))
    write(t, "utf8-cut", request(b"a", b"b", "あ".encode()[:2]))
    for status in (0, 87, 50, 2136):
        write(t, "reply-%d" % status, b"TVKM\x01\x02" + struct.pack(">I", status))
    write(t, "client-fields", b"sender\x00recipient\x00text with \xe3\x81\x82")


cp932_seeds()
received_seeds()
log_seeds()
protocol_seeds()
