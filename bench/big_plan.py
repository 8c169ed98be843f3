"""Writes the big plan of the bigplan figure to standard output: 40,000 lines, 2 MiB exactly, CP932 with
CR LF between lines and none after the last. Kanji, kana, half-width katakana, NEC specials and ASCII mixed;
line lengths vary from 10 to 100 bytes, as a planner's notes do. The same bytes every time (fixed seed)."""

import random
import sys

LINES, SIZE = 40000, 2 * 1024 * 1024
rng = random.Random(20030404)
WORDS = "会議 打ち合わせ 本社 田中さん 出張 資料作成 昼食 歯医者 買い物 電話 振込 誕生日 映画 散歩 ｶﾀｶﾅ ﾒﾓ ①番 ～ meeting review lunch call report".split()
budget = SIZE - 2 * (LINES - 1)
lengths = [rng.randint(10, 90) for _ in range(LINES)]
diff = budget - sum(lengths)
while diff:
    i = rng.randrange(LINES)
    step = 1 if diff > 0 else -1
    if 10 <= lengths[i] + step <= 100:
        lengths[i] += step
        diff -= step
out = []
for n in lengths:
    line = f"{rng.randint(0, 23):02d}:{rng.randint(0, 59):02d} ".encode("cp932")
    while True:
        w = (rng.choice(WORDS) + rng.choice(["、", " ", "。"])).encode("cp932")
        if len(line) + len(w) > n:
            break
        line += w
    out.append(line + b"." * (n - len(line)))  # words are 2 to 20 bytes: single-byte filler makes it exact
data = b"\r\n".join(out)
assert len(data) == SIZE and data.count(b"\r\n") == LINES - 1
data.decode("cp932")  # every byte pair is a whole character
sys.stdout.buffer.write(data)
