#!/usr/bin/env python3
"""Writes a history file as a full history would hold it, for the benchmarks.

    make_history.py HISTORY_JSON COUNT [BIG_TEXT_FILE MEGABYTES]

COUNT items of the four kinds, every 37th pinned. With a big text file,
one more item at the bottom holds a text of that many megabytes, which is
also written to that file.
"""
import json
import sys
import uuid

path, count = sys.argv[1], int(sys.argv[2])
items = []
for i in range(count):
    kind = ("text", "code", "link", "color")[i % 4]
    raw = {
        "text": f"Meeting notes {i}: the quarterly numbers look fine, send them to the team by Friday.",
        "code": f"func handler{i}(request: Request) -> Response {{\n    let id = request.id\n    return Response(status: 200, body: \"{i}\")\n}}",
        "link": f"https://example.com/articles/{i}/a-long-path?query={i}",
        "color": f"#{(i * 2654435761) & 0xFFFFFF:06X}",
    }[kind]
    item = {"id": str(uuid.uuid4()).upper(), "rawContent": raw, "contentTypeRaw": kind,
            "title": raw.splitlines()[0][:60], "timestamp": 800000000.0 - i * 60,
            "isPinned": i % 37 == 0, "wordCount": len(raw.split()), "charCount": len(raw)}
    if kind == "code":
        item["detectedLanguage"] = "Swift"
    items.append(item)
if len(sys.argv) > 4:
    size = int(sys.argv[4]) * 1024 * 1024
    big = "".join(f"line {i}: a long text with ünïcødé and more words in it\n" for i in range(size // 40))
    big = big[:size].strip()
    with open(sys.argv[3], "w") as out:
        out.write(big)
    items.append({"id": str(uuid.uuid4()).upper(), "rawContent": big, "contentTypeRaw": "text",
                  "title": big.splitlines()[0], "timestamp": 700000000.0, "isPinned": False,
                  "wordCount": len(big.split()), "charCount": len(big)})
with open(path, "w") as out:
    json.dump(items, out, separators=(",", ":"))
