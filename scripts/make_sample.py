"""Writes python/quillon/data/names.txt: people's names with the variants and typos of real lists.

Base names are drawn from the first- and last-name lists of the `faker` package (MIT licence, see
python/quillon/data/LICENSE-names.txt) in several locales; about half of them get one to three
variants: a dropped accent, two letters swapped, a letter missing or doubled, a neighbouring key,
a nickname, an initial, "Last, First" order or other capitals. Seeded, so a given faker version
always gives the same file:

    pip install faker==40.63.0 && python scripts/make_sample.py

`python scripts/make_sample.py --large N OUT` writes N lines for timing instead: names recombined
from the words of the committed sample, a third of them with typos (no faker needed).
"""

import random
import sys
import unicodedata
from pathlib import Path

SEED = 12
BASE_NAMES = 1800
LOCALES = ("en_US", "en_GB", "fr_FR", "de_DE", "es_ES", "it_IT", "pt_BR", "sv_SE", "tr_TR")
OUT = Path(__file__).resolve().parent.parent / "python" / "quillon" / "data" / "names.txt"

NICKNAMES = {
    "William": "Bill",
    "Robert": "Bob",
    "Richard": "Dick",
    "James": "Jim",
    "John": "Jack",
    "Michael": "Mike",
    "Thomas": "Tom",
    "Joseph": "Joe",
    "Charles": "Charlie",
    "Daniel": "Dan",
    "Matthew": "Matt",
    "Anthony": "Tony",
    "Christopher": "Chris",
    "Elizabeth": "Liz",
    "Margaret": "Maggie",
    "Katherine": "Kate",
    "Catherine": "Cathy",
    "Jennifer": "Jen",
    "Patricia": "Pat",
    "Susan": "Sue",
    "Rebecca": "Becky",
    "Alexander": "Alex",
    "Nicholas": "Nick",
    "Samuel": "Sam",
    "Benjamin": "Ben",
    "Edward": "Ted",
    "Francisco": "Paco",
    "José": "Pepe",
    "Giuseppe": "Beppe",
    "Johann": "Hans",
    "Alejandro": "Alex",
    "Guillermo": "Memo",
    "Aleksander": "Olek",
    "Małgorzata": "Gosia",
    "Katarzyna": "Kasia",
}
# Neighbours on a QWERTY keyboard, for slips of the finger.
KEYS = "qwertyuiop asdfghjkl zxcvbnm"
NEIGHBOURS = {
    c: "".join(r[j] for j in (i - 1, i + 1) if 0 <= j < len(r) and r[j] != " ")
    for r in KEYS.split()
    for i, c in enumerate(r)
}


def strip_accents(text: str) -> str:
    decomposed = unicodedata.normalize("NFD", text)
    return (
        unicodedata.normalize("NFC", "".join(c for c in decomposed if not unicodedata.combining(c)))
        .replace("ł", "l")
        .replace("Ł", "L")
        .replace("ı", "i")
    )


def letter_positions(text: str) -> list[int]:
    return [i for i, c in enumerate(text) if c.isalpha()]


def typo(rng: random.Random, text: str) -> str:
    spots = letter_positions(text)
    if len(spots) < 3:
        return text
    i = rng.choice(spots[1:])
    kind = rng.randrange(4)
    if kind == 0 and i + 1 < len(text) and text[i + 1].isalpha():
        return text[:i] + text[i + 1] + text[i] + text[i + 2 :]  # swapped letters
    if kind == 1:
        return text[:i] + text[i + 1 :]  # missing letter
    if kind == 2:
        return text[:i] + text[i] + text[i:]  # doubled letter
    near = NEIGHBOURS.get(text[i].lower())
    if near:
        c = rng.choice(near)
        return text[:i] + (c.upper() if text[i].isupper() else c) + text[i + 1 :]
    return text[:i] + text[i + 1 :]


def variant(rng: random.Random, first: str, last: str) -> str:
    kind = rng.randrange(10)
    if kind <= 3:
        return typo(rng, f"{first} {last}")
    if kind == 4 and strip_accents(first + last) != first + last:
        return strip_accents(f"{first} {last}")
    if kind == 5 and first in NICKNAMES:
        return f"{NICKNAMES[first]} {last}"
    if kind == 6:
        return f"{first[0]}. {last}"
    if kind == 7:
        return f"{last}, {first}"
    if kind == 8:
        return rng.choice((f"{first} {last.upper()}", f"{first.lower()} {last.lower()}"))
    return typo(rng, typo(rng, f"{first} {last}"))


def name_lists(locale: str) -> tuple[list[str], list[str]]:
    from faker import Faker

    # Some locales keep their names by gender only; the base lists hold placeholders.
    provider = next(p for p in Faker(locale).providers if hasattr(p, "last_names"))
    found: dict[str, set[str]] = {"first": set(), "last": set()}
    for kind in found:
        for suffix in ("", "_male", "_female"):
            names = getattr(provider, f"{kind}_names{suffix}", ())
            if len(names) > 20:
                found[kind].update(n for n in names if " " not in n)
    return sorted(found["first"]), sorted(found["last"])


def main() -> None:
    rng = random.Random(SEED)
    names: list[str] = []
    seen: set[str] = set()
    lists = [name_lists(locale) for locale in LOCALES]
    while len(seen) < BASE_NAMES:
        firsts, lasts = rng.choice(lists)
        first, last = rng.choice(firsts), rng.choice(lasts)
        if f"{first} {last}" in seen:
            continue
        seen.add(f"{first} {last}")
        names.append(f"{first} {last}")
        if rng.random() < 0.5:
            for _ in range(rng.choice((1, 1, 2, 3))):
                names.append(variant(rng, first, last))
    rng.shuffle(names)
    OUT.write_text("".join(n + "\n" for n in names), encoding="utf-8")
    print(f"wrote {len(names)} names to {OUT}", file=sys.stderr)


def large(count: int, out: str) -> None:
    rng = random.Random(SEED)
    words = [line.replace(",", "").split() for line in OUT.read_text(encoding="utf-8").splitlines()]
    firsts = sorted({w[0] for w in words if len(w) == 2})
    lasts = sorted({w[1] for w in words if len(w) == 2})
    with open(out, "w", encoding="utf-8") as f:
        for _ in range(count):
            name = f"{rng.choice(firsts)} {rng.choice(lasts)}"
            if rng.random() < 0.33:
                name = typo(rng, name)
            f.write(name + "\n")


if __name__ == "__main__":
    if sys.argv[1:2] == ["--large"]:
        large(int(sys.argv[2]), sys.argv[3])
    else:
        main()
