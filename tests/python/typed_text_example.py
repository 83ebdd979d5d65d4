"""Typical use of lexovia_text, checked with mypy --strict by test_typing."""
import lexovia_text
from lexovia_text import Word


def stressed_lines(lines: list[str]) -> list[str]:
    return [lexovia_text.stress_text(line, single=False, guess=True) for line in lines]


def audit(text: str) -> list[tuple[str, str | None, int | None]]:
    out: list[tuple[str, str | None, int | None]] = []
    for word in lexovia_text.annotate(text):
        w: Word = word
        forms = [r["stressed_form"] for r in w.readings]
        chosen = forms[w.chosen] if w.chosen is not None else w.text
        out.append((chosen, w.rule, w.stress))
    return out


def ipa(text: str) -> str:
    return lexovia_text.transcribe_text(text)


def for_speech(text: str, mark: lexovia_text.MarkFormat = "plus-before") -> tuple[str, str]:
    stressed = lexovia_text.stress_text(text, mark=mark)
    entry = lexovia_text.transcribe_text(stressed, mark=mark, syllable_separator=".", word_separator=" ")
    return stressed, entry


def marked_words(text: str) -> list[str]:
    return [w.marked for w in lexovia_text.annotate(text, mark="plus-after")]


FORMATS: tuple[lexovia_text.MarkFormat, ...] = lexovia_text.MARK_FORMATS


RULES: tuple[str, ...] = lexovia_text.RULE_NAMES


def stressed_column(texts: list[str]) -> tuple[list[str], list[str]]:
    lexovia_text.warm_up()
    return lexovia_text.stress_batch(texts, single=True), lexovia_text.transcribe_batch(tuple(texts), guess=False)
