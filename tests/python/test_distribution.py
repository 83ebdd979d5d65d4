"""The installed distribution: the modules imported are the files it
installed, its metadata states both licences, the licence files travel with
it, and a manylinux wheel loads its own copy of libbz2."""
import importlib
import importlib.metadata as md
import os
import subprocess
import sys
import tomllib

import pytest

import lexovia
from conftest import ROOT, run_python

DIST = md.distribution("lexovia")
LICENSE_FILES = ["LICENSE", "data/LICENSE", "data/NOTICE"]


def installed_paths():
    return {os.path.realpath(DIST.locate_file(f)) for f in DIST.files or []}


def top_level_modules():
    """Importable names the distribution puts at the top of site-packages:
    single-file modules (.py, extension modules) and packages."""
    names = set()
    for f in DIST.files or []:
        if len(f.parts) == 1 and f.suffix in (".py", ".so"):
            names.add(f.name.split(".")[0])
        elif len(f.parts) == 2 and f.parts[1] == "__init__.py":
            names.add(f.parts[0])
    return sorted(names)


def pyproject():
    with open(os.path.join(ROOT, "pyproject.toml"), "rb") as f:
        return tomllib.load(f)["project"]


def license_text(path):
    """A licence file from the dist-info directory, where PEP 639 puts it."""
    [found] = [f for f in DIST.files or []
               if f.parts[0].endswith(".dist-info") and "/".join(f.parts[1:]) == "licenses/" + path]
    return found.read_text(encoding="utf-8")


# --- the module under test is the installed one -----------------------------

def test_lexovia_is_among_the_top_level_modules():
    assert "lexovia" in top_level_modules()


@pytest.mark.parametrize("name", top_level_modules())
def test_module_is_imported_from_the_installed_distribution(name):
    # A source tree or build directory ahead on sys.path would shadow it.
    module = importlib.import_module(name)
    assert os.path.realpath(module.__file__) in installed_paths(), module.__file__


@pytest.mark.parametrize("path", ["lexovia.pyi", "lexovia-stubs/__init__.pyi"])
def test_type_information_is_installed(path):
    assert os.path.realpath(DIST.locate_file(path)) in installed_paths()


# --- metadata ---------------------------------------------------------------

@pytest.mark.parametrize("field, value", [
    ("Name", "lexovia"),
    ("License-Expression", "MIT AND CC-BY-SA-4.0"),
    # the free-text field is superseded by the expression
    ("License", None),
])
def test_metadata_field(field, value):
    assert DIST.metadata.get(field) == value


def test_license_files_are_listed_in_the_metadata():
    assert DIST.metadata.get_all("License-File") == LICENSE_FILES


@pytest.mark.parametrize("field, key", [
    ("Version", "version"),
    ("Summary", "description"),
])
def test_metadata_matches_the_project_file(field, key):
    assert DIST.metadata[field] == pyproject()[key]


def test_keywords_and_classifiers_match_the_project_file():
    project = pyproject()
    assert DIST.metadata["Keywords"].split(",") == project["keywords"]
    assert DIST.metadata.get_all("Classifier") == project["classifiers"]


def test_no_licence_classifier_beside_the_expression():
    # License :: classifiers are ambiguous and PEP 639 forbids them with an expression.
    assert not [c for c in DIST.metadata.get_all("Classifier") if c.startswith("License ::")]


def test_version_comes_from_the_metadata_not_the_module():
    assert md.version("lexovia") == pyproject()["version"]
    assert not hasattr(lexovia, "__version__")


@pytest.mark.parametrize("path, phrases", [
    ("LICENSE", ["MIT License", "Permission is hereby granted, free of charge"]),
    ("data/LICENSE", ["Attribution-ShareAlike 4.0 International",
                      "Section 3 -- License Conditions.",
                      "Section 4 -- Sui Generis Database Rights."]),
    ("data/NOTICE", ["CC BY-SA 4.0", "https://creativecommons.org/licenses/by-sa/4.0/",
                     "MIT AND CC-BY-SA-4.0",
                     "ukrainian-word-stress", "Copyright (c) 2022 lang-uk", "Словники України",
                     "pymorphy3-dicts-uk", "Wiktionary contributors", "wordfreq", "Robyn Speer"]),
])
def test_licence_file_is_shipped_with_its_text(path, phrases):
    text = license_text(path)
    missing = [p for p in phrases if p not in text]
    assert not missing


@pytest.mark.parametrize("path", LICENSE_FILES)
def test_shipped_licence_file_is_the_repository_one(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        assert license_text(path) == f.read()


def test_pip_show_states_the_licences():
    proc = subprocess.run([sys.executable, "-m", "pip", "show", "--files", "lexovia"],
                          capture_output=True, text=True, timeout=120)
    assert proc.returncode == 0, proc.stderr
    lines = [line.strip() for line in proc.stdout.splitlines()]
    assert "License-Expression: MIT AND CC-BY-SA-4.0" in lines
    for path in LICENSE_FILES:
        assert f"lexovia-{DIST.version}.dist-info/licenses/{path}" in lines


# --- a repaired wheel brings libbz2 along -----------------------------------

def wheel_tags():
    return [line.split(": ", 1)[1] for line in DIST.read_text("WHEEL").splitlines()
            if line.startswith("Tag: ")]


@pytest.mark.skipif(not any("manylinux" in t for t in wheel_tags()),
                    reason="installed from a local build, which uses the system's libbz2")
def test_manylinux_wheel_loads_its_bundled_libbz2():
    proc = run_python("""
        import lexovia
        with open("/proc/self/maps") as f:
            print("\\n".join(sorted({l.split()[-1] for l in f if "libbz2" in l})))
        """)
    assert proc.returncode == 0, proc.stderr
    libs = proc.stdout.split()
    bundled = os.path.realpath(DIST.locate_file("lexovia.libs"))
    assert any(os.path.dirname(lib) == bundled for lib in libs), libs
