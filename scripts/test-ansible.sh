#!/usr/bin/env bash
# Tests of the Ansible collection that need no network: its unit tests
# (pytest), `ansible-test sanity` for every test that runs offline, and the
# checkers of the sanity tests that ansible-test would first install from the
# network (validate-modules, pep8, pylint, yamllint, runtime-metadata,
# ansible-doc), run the way ansible-test runs them, on Debian's packages.
# Debian's Python on purpose: the tools and libraries are its packages.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
collections=$here/ansible
collection=$collections/ansible_collections/qorchard/solution
python=/usr/bin/python3
sanity=/usr/lib/python3/dist-packages/ansible_test/_util/controller/sanity
export ANSIBLE_COLLECTIONS_PATH=$collections
export ANSIBLE_HOME=${TMPDIR:-/tmp}/qsi-ansible-home-$$
trap 'rm -rf "$ANSIBLE_HOME"' EXIT
cd "$collection"

echo "== Unit tests of the collection"
"$python" -m pytest -q -p no:cacheprovider tests/unit

# Each of these builds a virtual environment from the network first.
networked=(ansible-doc import pep8 pylint runtime-metadata validate-modules yamllint)
echo "== ansible-test sanity (offline tests; not run: ${networked[*]})"
skips=()
for test in "${networked[@]}"; do skips+=(--skip-test "$test"); done
ansible-test sanity --local --python-interpreter "$python" --color no "${skips[@]}"

failed=0
check() {  # NAME COMMAND...: runs one checker, counting its failure
  echo "== sanity checker: $1"
  shift
  "$@" || { failed=$((failed + 1)); echo "FAILED"; }
}
# Lines of tests/sanity/ignore-2.14.txt name the findings left on purpose.
ignored() {
  "$python" -c '
import json, sys
ignores = set()
for line in open("tests/sanity/ignore-2.14.txt"):
    line = line.split("#", 1)[0].split()
    if len(line) == 2 and line[1].startswith("validate-modules:"):
        ignores.add((line[0], line[1].split(":", 1)[1]))
found = [(path, e["code"], e["msg"]) for path, report in json.load(sys.stdin).items()
         for e in report["errors"] if (path, e["code"]) not in ignores]
for path, code, message in found:
    print("%s: %s: %s" % (path, code, message))
sys.exit(1 if found else 0)'
}
modules=(plugins/modules/*.py)
validate_modules() {
  local status=0
  # --arg: the checker's one option of that prefix, which also loads each
  # module to check the arguments it declares.
  "$python" "$sanity/validate-modules/validate.py" --format json --arg \
    --collection ansible_collections/qorchard/solution --collection-version 0.1.0 "${modules[@]}" \
    > "$ANSIBLE_HOME.validate" || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 3 ] || return 1
  ignored < "$ANSIBLE_HOME.validate"
}
mkdir -p "$ANSIBLE_HOME"
check validate-modules validate_modules
check pep8 "$python" -m pycodestyle --max-line-length 160 --config /dev/null \
  --ignore "$(grep -v '^#' "$sanity/pep8/current-ignore.txt" | paste -sd,)" plugins tests
check pylint env ANSIBLE_TEST_MODULES_PATH=plugins/modules ANSIBLE_TEST_MODULE_UTILS_PATH=plugins/module_utils \
  PYTHONPATH="$sanity/pylint/plugins:$collections" "$python" -m pylint --reports n --score n \
  --max-line-length 160 --max-complexity 20 --rcfile "$sanity/pylint/config/collection.cfg" \
  --load-plugins deprecated,pylint.extensions.mccabe,string_format,unwanted \
  --collection-name qorchard.solution --collection-version 0.1.0 plugins
yaml_files() { find . -name '*.yml' -not -path './tests/output/*' | sed 's|^\./||'; }
yamllint_check() { yaml_files | "$python" "$sanity/yamllint/yamllinter.py" | tee "$ANSIBLE_HOME.yaml" && grep -q '"messages": \[\]' "$ANSIBLE_HOME.yaml"; }
check yamllint yamllint_check
check runtime-metadata sh -c "echo meta/runtime.yml | '$python' '$sanity/code-smell/runtime-metadata.py' | (! grep .)"
docs() {
  for module in "${modules[@]}"; do
    ansible-doc -j "qorchard.solution.$(basename "$module" .py)" > /dev/null || return 1
  done
  ansible-doc -t role -j qorchard.solution.rollout > /dev/null
}
check ansible-doc docs
rm -rf tests/output "$ANSIBLE_HOME.validate" "$ANSIBLE_HOME.yaml"
[ "$failed" -eq 0 ] || { echo "$failed sanity checkers failed"; exit 1; }
echo "Collection tests passed"
