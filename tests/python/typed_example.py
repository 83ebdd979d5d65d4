"""A small program using lexovia with full type checking (mypy --strict)."""
import lexovia


def first_stressed_forms(words: list[str]) -> dict[str, str]:
    out: dict[str, str] = {}
    for result in lexovia.lookup_many(words):
        for reading in result["readings"]:
            out.setdefault(result["form"], reading["stressed_form"])
    return out


def lemmas(word: str) -> set[str]:
    found: set[str] = set()
    for reading in lexovia.lookup(word)["readings"]:
        for analysis in reading["morph"]:
            if analysis["lemma"] is not None:
                found.add(analysis["lemma"])
            cases: list[str] = analysis["feats"].get("Case", [])
            found.update(cases)
    return found


def ipa(word: str, stress: int) -> str:
    t = lexovia.transcribe(word, stress)
    kinds = {tok["type"] for tok in t["tokens"]}
    assert kinds <= {"Consonant", "Vowel", "Glide", "Glottal"}
    return "".join(s["ipa"] for s in t["syllables"] if s["stressed"] or not s["is_open"]) or t["ipa"]


def count() -> int:
    marked: list[str] = lexovia.mark_many(("мама", "Я"))
    return lexovia.word_count() + len(marked) + len(lexovia.mark("мама"))


if __name__ == "__main__":
    print(first_stressed_forms(["замок"]), lemmas("замок"), ipa("мама", 0), count())
