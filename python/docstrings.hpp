// Docstrings of the module's functions. Each starts with the signature line
// and "--" so that the interpreter derives __text_signature__ from it.
#pragma once

namespace lexovia::py::doc {

inline constexpr const char* lookup =
    "lookup(word)\n"
    "--\n"
    "\n"
    "Look up a Ukrainian word and return all stress variants with full phonetics\n"
    "and morphology.\n"
    "\n"
    "Returns a dict:\n"
    "\n"
    ".. code-block:: python\n"
    "\n"
    "    {\n"
    "      \"form\": \"замок\",\n"
    "      \"readings\": [\n"
    "        {\n"
    "          \"stress_index\": 0,\n"
    "          \"form\": \"замок\",\n"
    "          \"stressed_form\": \"за́мок\",\n"
    "          \"word_syllables\": [\"за\", \"мок\"],\n"
    "          \"ipa\": \"zɑmɔk\",\n"
    "          \"ipa_syllables\": [\"ˈzɑ\", \"mɔk\"],\n"
    "          \"syllable_count\": 2,\n"
    "          \"tokens\": [...],\n"
    "          \"morph\": [{\"pos\": [\"NOUN\"], \"feats\": {\"Case\": [\"Nom\"]}, \"lemma\": \"замок\"}]\n"
    "        },\n"
    "        ...\n"
    "      ]\n"
    "    }\n"
    "\n"
    "``readings`` is an empty list if the word is not in the dictionary.\n"
    "\n"
    "The engine never picks one reading.  Use the morphological context from your\n"
    "NLP pipeline (spaCy, Stanza, etc.) to select the appropriate reading.\n"
    "See ``documentation/API_DESIGN.md`` for resolution examples.";

inline constexpr const char* lookup_many =
    "lookup_many(words)\n"
    "--\n"
    "\n"
    "Batch lookup for many words.\n"
    "\n"
    "Args:\n"
    "    words: list of word strings.\n"
    "\n"
    "Returns:\n"
    "    list of lookup result dicts (same shape as ``lookup``), in input order.";

inline constexpr const char* mark =
    "mark(word)\n"
    "--\n"
    "\n"
    "Return *word* with a combining acute accent (U+0301) placed after the\n"
    "stressed vowel of the **first** (most common) stress variant.\n"
    "\n"
    "Returns the word unchanged if it is not in the dictionary.\n"
    "\n"
    "For full control over which variant is used, call ``lookup()`` and read\n"
    "``readings[i].stressed_form`` directly.";

inline constexpr const char* mark_many =
    "mark_many(words)\n"
    "--\n"
    "\n"
    "Batch stress-marking for many words.\n"
    "\n"
    "Returns one output per input word. Unknown words are returned unchanged.";

inline constexpr const char* word_count =
    "word_count()\n"
    "--\n"
    "\n"
    "Total number of word forms in the embedded dictionary.";

inline constexpr const char* transcribe =
    "transcribe(word, si)\n"
    "--\n"
    "\n"
    "Transcribe a Ukrainian word to IPA using all 6 phonetic passes.\n"
    "\n"
    "This is a lower-level function for when you already know the stress index\n"
    "(e.g. from ``lookup``).  Use ``lookup`` to obtain all variants at once.\n"
    "\n"
    "Args:\n"
    "    word:         Ukrainian word (any case, any apostrophe variant).\n"
    "    stress_index: 0-based index of the stressed vowel.\n"
    "\n"
    "Returns a dict:\n"
    "\n"
    ".. code-block:: python\n"
    "\n"
    "    {\n"
    "      \"word\": \"мама\",\n"
    "      \"ipa\": \"mɑmɑ\",\n"
    "      \"stress_index\": 0,\n"
    "      \"tokens\": [{\"ipa\":\"m\",\"source\":\"м\",\"type\":\"Consonant\",\"vowel_index\":-1,...}, ...],\n"
    "      \"syllables\": [{\"ipa\":\"mɑ\",\"word\":\"ма\",\"stressed\":true,\"is_open\":true}, ...]\n"
    "    }";

}  // namespace lexovia::py::doc
