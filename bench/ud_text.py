"""How well lexovia_text chooses the stress of heteronyms in running text.

Reads the UD Ukrainian-IU dev split at run time (measurement only; see
ud_gold.py, whose definitions this uses), runs `lexovia_text.annotate` on
each sentence's text and, over the gold-resolvable tokens, prints the share
where the chosen stress is the gold one, beside two references from the
same run: `lexovia.mark` (always the lowest stress) and the chooser given
the word alone, without its sentence (the frequency evidence and variant
order only). A breakdown by the rule that made each choice follows.

Usage: bench/run ud_text.py [--show N]   (N wrong choices listed)
"""
import argparse
import collections

import lexovia
import lexovia_text
from lexovia_text import _tokens

import ud_gold


def aligned(sentence):
    """(gold token, annotated word or None) for each token of the sentence:
    the words are matched to the tokens in order by their spelling."""
    words = list(lexovia_text.annotate(sentence.text))
    k = 0
    for token in sentence.tokens:
        found = None
        for j in range(k, len(words)):
            if words[j].text == token.form:
                found, k = words[j], j + 1
                break
        yield token, found


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--show", type=int, default=0, help="list N wrong choices")
    args = parser.parse_args()

    total = chooser = marked = frequent = unaligned = 0
    by_rule = collections.defaultdict(lambda: [0, 0])
    wrong = collections.Counter()
    for sentence in ud_gold.sentences():
        for token, word in aligned(sentence):
            if not ud_gold.is_multi_vowel(token.form):
                continue
            readings = lexovia.lookup(token.form)["readings"]
            gold = ud_gold.gold_stress(readings, token)
            if gold is None:
                continue
            total += 1
            if ud_gold.stress_of({"stressed_form": lexovia.mark(token.form)}) == gold:
                marked += 1
            alone = [w for w in lexovia_text.annotate(token.form) if w.text == token.form]
            frequent += bool(alone) and alone[0].stress == gold
            if word is None:
                unaligned += 1
                continue
            ok = word.stress == gold
            chooser += ok
            by_rule[word.rule][0] += 1
            by_rule[word.rule][1] += ok
            if not ok:
                shown = word.text if word.stress is None else _tokens.mark_vowel(word.text, word.stress)
                wrong[f"{shown} ({token.upos}, {word.rule})"] += 1

    def share(n):
        return f"{n:,} ({100 * n / max(total, 1):.2f} %)"
    print(f"module: {lexovia.__file__}, {lexovia.word_count():,} entries")
    print(f"gold-resolvable tokens: {total:,} (not aligned with the tokenizer's words: {unaligned:,})")
    print(f"chooser right: {share(chooser)}")
    print(f"reference, mark right: {share(marked)}")
    print(f"reference, the word alone right: {share(frequent)}")
    for rule, (n, ok) in sorted(by_rule.items(), key=lambda kv: -kv[1][0]):
        print(f"  {rule}: {ok}/{n}")
    if args.show:
        print("wrong choices:", ", ".join(f"{w} {n}" for w, n in wrong.most_common(args.show)))


if __name__ == "__main__":
    main()
