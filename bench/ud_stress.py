"""How the shipped dictionary serves running text with gold morphology.

Reads the UD Ukrainian-IU dev split at run time (measurement only; see
ud_gold.py) and prints, for the installed module:

- coverage: the share of multi-vowel tokens that get at least one reading;
- mark: among gold-resolvable tokens (two or more readings, exactly one of
  which agrees with the gold part of speech and features), the share where
  `mark` stresses the gold vowel;
- as reference in the same run, the share a chooser that always took the
  last reading would get, so the figure of `mark` (always the first) is read
  against the other trivial rule.

Usage: bench/run ud_stress.py [--show N]   (N misses and wrong marks listed)
       bench/run ud_stress.py --save-gold FILE   (then, with another image: --gold FILE)

The gold-resolvable tokens depend on the image: a token whose rare second
reading is gone has one reading left and is no longer counted. To compare two
images on the same tokens, save the gold stresses with one (--save-gold, a
file outside the repository: it is derived from the treebank) and score
`mark` of the other on them (--gold).
"""
import json
import argparse
import collections

import lexovia

import ud_gold


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--show", type=int, default=0, help="list the N most frequent misses and wrong marks")
    parser.add_argument("--save-gold", help="write the gold stress of each gold-resolvable token here")
    parser.add_argument("--gold", help="also score mark on the tokens of a file --save-gold wrote")
    args = parser.parse_args()

    tokens = [t for s in ud_gold.sentences() for t in s.tokens if ud_gold.is_multi_vowel(t.form)]
    results = lexovia.lookup_many([t.form for t in tokens])
    marks = lexovia.mark_many([t.form for t in tokens])

    covered = sum(1 for r in results if r["readings"])
    resolvable = right = last_right = 0
    misses, wrong = collections.Counter(), collections.Counter()
    saved = []
    for i, (token, result, marked) in enumerate(zip(tokens, results, marks)):
        readings = result["readings"]
        if not readings:
            misses[token.form.lower()] += 1
            continue
        gold = ud_gold.gold_stress(readings, token)
        if gold is None:
            continue
        resolvable += 1
        saved.append((i, gold))
        if ud_gold.stress_of({"stressed_form": marked}) == gold:
            right += 1
        else:
            wrong[f"{marked} ({token.upos})"] += 1
        if ud_gold.stress_of(readings[-1]) == gold:
            last_right += 1

    print(f"module: {lexovia.__file__}, {lexovia.word_count():,} entries")
    print(f"multi-vowel tokens: {len(tokens):,}; with a reading: {covered:,} ({100 * covered / len(tokens):.2f} %)")
    print(f"gold-resolvable tokens: {resolvable:,}")
    print(f"mark right: {right:,} ({100 * right / max(resolvable, 1):.2f} %); "
          f"reference, last reading: {last_right:,} ({100 * last_right / max(resolvable, 1):.2f} %)")
    if args.save_gold:
        with open(args.save_gold, "w", encoding="utf-8") as f:
            json.dump(saved, f)
    if args.gold:
        with open(args.gold, encoding="utf-8") as f:
            other = json.load(f)
        same = sum(1 for i, gold in other if ud_gold.stress_of({"stressed_form": marks[i]}) == gold)
        print(f"mark right on the {len(other):,} tokens gold-resolvable with the saved image: "
              f"{same:,} ({100 * same / max(len(other), 1):.2f} %)")
    if args.show:
        print("most frequent misses:", ", ".join(f"{w} {n}" for w, n in misses.most_common(args.show)))
        print("most frequent wrong marks:", ", ".join(f"{w} {n}" for w, n in wrong.most_common(args.show)))


if __name__ == "__main__":
    main()
