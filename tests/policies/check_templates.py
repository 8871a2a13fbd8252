#!/usr/bin/env python3
"""Checks the Group Policy templates against each other and against the programs.

    check_templates.py POLICY_TABLE ADMX ADML

POLICY_TABLE is the policy_table program built from the programs' sources; it prints the
policy key, every value the programs read
with its kind and bounds, the longest text and the kinds of shutdown they accept. The
check fails (exit status 1, one line per fault) unless

* both files are well-formed XML in the PolicyDefinitions namespace, with the children
  of the schema's sequences in the schema's order;
* every $(string.X) and $(presentation.X) the ADMX uses exists in the ADML, every
  category, supportedOn and presentation control reference resolves, no id is defined
  twice, and the ADML holds no string or presentation that nothing uses;
* every policy is a computer policy below the programs' key, and every value name it
  writes is one the programs read, written as the programs read it: switches as 1/0
  numbers, numbers with the programs' bounds, the kinds of shutdown exactly the programs'
  list, texts no longer than the programs take;
* every value the programs read is written by some policy;
* a number box offers first a number within the bounds, the one that counts without the
  policy.
"""
import json
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

NS = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"
REF = re.compile(r"^\$\((string|presentation)\.([^)]+)\)$")


def tag(element):
    return element.tag.split("}", 1)[1] if element.tag.startswith("{") else element.tag


def children(element, name):
    return [c for c in element if tag(c) == name]


def child(element, name):
    found = children(element, name)
    return found[0] if found else None


class Check:
    def __init__(self):
        self.faults = []

    def fail(self, text):
        self.faults.append(text)

    def expect(self, ok, text):
        if not ok:
            self.fail(text)
        return ok


def parse(check, path, root_name):
    try:
        root = ET.parse(path).getroot()
    except (ET.ParseError, OSError) as error:
        check.fail(f"{path}: not well-formed XML: {error}")
        return None
    check.expect(root.tag == f"{{{NS}}}{root_name}",
                 f"{path}: the root is {root.tag}, not {root_name} in {NS}")
    for attribute in ("revision", "schemaVersion"):
        check.expect(re.fullmatch(r"\d+\.\d+", root.get(attribute, "")),
                     f"{path}: {attribute} is not MAJOR.MINOR")
    return root


# Children of the schema's sequences, in the order the schema fixes (each may be optional).
ORDER = {
    "policyDefinitions": ["policyNamespaces", "supersededAdm", "annotation", "resources",
                          "supportedOn", "categories", "policies"],
    "policy": ["annotation", "parentCategory", "seeAlso", "keywords", "supportedOn",
               "enabledValue", "disabledValue", "enabledList", "disabledList", "elements"],
    "category": ["annotation", "parentCategory", "seeAlso", "keywords"],
    "policyDefinitionResources": ["displayName", "description", "annotation", "resources"],
    "resources": ["stringTable", "presentationTable"],
}


def check_order(check, path, root):
    for element in root.iter():
        order = ORDER.get(tag(element))
        if order is None or (tag(element) == "resources" and not len(element)):
            continue
        names = [tag(c) for c in element]
        ranks = [order.index(n) if n in order else -1 for n in names]
        check.expect(-1 not in ranks and ranks == sorted(ranks),
                     f"{path}: the children of {tag(element)} {element.get('name', '')} are "
                     f"{names}; the schema's order is {order}")


def decimal_of(element):
    """The number of a <value>/<enabledValue>/... holding one <decimal value="N"/>."""
    if element is None:
        return None
    decimal = child(element, "decimal")
    if decimal is None or len(list(element)) != 1:
        return None
    try:
        return int(decimal.get("value", ""))
    except ValueError:
        return None


def main(argv):
    if len(argv) != 4:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    table = json.loads(subprocess.run([argv[1]], check=True, capture_output=True,
                                      text=True).stdout)
    admx_path, adml_path = argv[2], argv[3]
    check = Check()
    admx = parse(check, admx_path, "policyDefinitions")
    adml = parse(check, adml_path, "policyDefinitionResources")
    if admx is None or adml is None:
        return report(check)
    check_order(check, admx_path, admx)
    check_order(check, adml_path, adml)

    # The ADML's tables.
    resources = child(adml, "resources")
    strings, presentations = {}, {}
    for table_name, store, item in (("stringTable", strings, "string"),
                                    ("presentationTable", presentations, "presentation")):
        holder = child(resources, table_name) if resources is not None else None
        for entry in children(holder, item) if holder is not None else []:
            name = entry.get("id")
            check.expect(name not in store, f"{adml_path}: {item} {name} is defined twice")
            store[name] = entry
    used_strings, used_presentations = set(), set()

    # Every $(...) reference of the ADMX.
    for element in admx.iter():
        for attribute, text in element.attrib.items():
            match = REF.match(text)
            if not match:
                continue
            kind, name = match.groups()
            if kind == "string":
                used_strings.add(name)
                check.expect(name in strings,
                             f"{admx_path}: {tag(element)} {attribute} names string {name}, "
                             "which the ADML lacks")
            else:
                used_presentations.add(name)
                check.expect(name in presentations,
                             f"{admx_path}: {tag(element)} names presentation {name}, "
                             "which the ADML lacks")

    resources_ref = child(admx, "resources")
    check.expect(resources_ref is not None and
                 resources_ref.get("minRequiredRevision", "9") <= adml.get("revision", ""),
                 "the ADML's revision is older than the ADMX's minRequiredRevision")

    # Categories and supportedOn definitions the policies refer to.
    categories = {c.get("name") for c in admx.iter(f"{{{NS}}}category")}
    supported = {d.get("name") for d in admx.iter(f"{{{NS}}}definition")}
    for c in admx.iter(f"{{{NS}}}category"):
        parent = child(c, "parentCategory")
        if parent is not None and ":" not in parent.get("ref", ""):
            check.expect(parent.get("ref") in categories,
                         f"category {c.get('name')}: parent {parent.get('ref')} is not defined")

    rules = {v["name"]: v for v in table["values"]}
    written = set()
    policies = list(admx.iter(f"{{{NS}}}policy"))
    check.expect(policies, f"{admx_path}: no policy")
    names = [p.get("name") for p in policies]
    for name in set(names):
        check.expect(names.count(name) == 1, f"policy {name} is defined twice")

    def value_check(policy_name, value_name, kind_written, detail=None):
        """A value a policy writes: known to the programs, and of the kind they read."""
        where = f"policy {policy_name}, value {value_name}"
        if not check.expect(value_name in rules,
                            f"{where}: the programs read no value of this name"):
            return
        written.add(value_name)
        want = rules[value_name]["kind"]
        check.expect(kind_written == want,
                     f"{where}: written as a {kind_written}, the programs read a {want}")
        if detail:
            detail(rules[value_name], where)

    for p in policies:
        name = p.get("name")
        check.expect(p.get("class") == "Machine", f"policy {name}: class is not Machine")
        check.expect(p.get("key") == table["key"],
                     f"policy {name}: key {p.get('key')} is not {table['key']}")
        parent = child(p, "parentCategory")
        check.expect(parent is not None and parent.get("ref") in categories,
                     f"policy {name}: no category of this file")
        support = child(p, "supportedOn")
        check.expect(support is not None and (support.get("ref") in supported or
                                              ":" in support.get("ref", "")),
                     f"policy {name}: supportedOn does not resolve")
        check.expect(p.get("explainText"), f"policy {name}: no help text")

        if p.get("valueName"):
            on, off = decimal_of(child(p, "enabledValue")), decimal_of(child(p, "disabledValue"))
            check.expect(on is not None and on != 0 and off == 0,
                         f"policy {name}: enabled and disabled must write a number other than "
                         "0 and 0")
            value_check(name, p.get("valueName"), "flag")

        elements = child(p, "elements")
        ids = []
        for e in list(elements) if elements is not None else []:
            kind = tag(e)
            ids.append(e.get("id"))
            value_name = e.get("valueName")
            check.expect(e.get("key") in (None, table["key"]),
                         f"policy {name}: element {e.get('id')} writes below another key")
            if kind == "boolean":
                on, off = decimal_of(child(e, "trueValue")), decimal_of(child(e, "falseValue"))
                check.expect(on is not None and on != 0 and off == 0,
                             f"policy {name}: {value_name} must write a number other than 0, "
                             "and 0")
                value_check(name, value_name, "flag")
            elif kind == "decimal":
                def bounds(rule, where, e=e):
                    check.expect(e.get("storeAsText") != "true", f"{where}: stored as text")
                    low, high = int(e.get("minValue", "0")), int(e.get("maxValue", "9999"))
                    check.expect((low, high) == (rule["min"], rule["max"]),
                                 f"{where}: the template allows {low} to {high}, the programs "
                                 f"{rule['min']} to {rule['max']}")
                value_check(name, value_name, "number", bounds)
            elif kind == "enum":
                def kinds(rule, where, e=e):
                    values = [decimal_of(child(i, "value")) for i in children(e, "item")]
                    check.expect(values == table["shutdownTypes"],
                                 f"{where}: the template offers {values}, the programs accept "
                                 f"{table['shutdownTypes']}")
                value_check(name, value_name, "choice", kinds)
            elif kind == "text":
                def length(rule, where, e=e):
                    longest = int(e.get("maxLength", "1023"))
                    check.expect(longest == table["maxTextChars"],
                                 f"{where}: the template takes {longest} characters, the "
                                 f"programs {table['maxTextChars']}")
                value_check(name, value_name, "text", length)
            else:
                check.fail(f"policy {name}: element {kind} is not one the programs read")

        # The presentation shows exactly the elements of the policy.
        presentation = REF.match(p.get("presentation", ""))
        controls = []
        if presentation and presentation.group(2) in presentations:
            controls = [c.get("refId") for c in presentations[presentation.group(2)]
                        if c.get("refId") is not None]
        check.expect(sorted(controls) == sorted(ids),
                     f"policy {name}: the presentation shows {sorted(controls)}, the policy "
                     f"has elements {sorted(ids)}")
        if presentation and presentation.group(2) in presentations:
            for box in presentations[presentation.group(2)]:
                if tag(box) != "decimalTextBox" or box.get("defaultValue") is None:
                    continue
                element = next((e for e in list(elements) if e.get("id") == box.get("refId")),
                               None) if elements is not None else None
                rule = rules.get(element.get("valueName")) if element is not None else None
                if rule is None:
                    continue
                offered = int(box.get("defaultValue"))
                check.expect(rule["min"] <= offered <= rule["max"],
                             f"policy {name}: the box offers {offered}, outside "
                             f"{rule['min']} to {rule['max']}")
                default = table["defaults"].get(rule["name"])
                check.expect(default is None or offered == default,
                             f"policy {name}: the box offers {offered}, the programs use "
                             f"{default} without the policy")

    for value_name in rules:
        check.expect(value_name in written, f"no policy writes {value_name}, which the "
                     "programs read")
    for name in strings:
        check.expect(name in used_strings, f"{adml_path}: string {name} is never used")
    for name in presentations:
        check.expect(name in used_presentations,
                     f"{adml_path}: presentation {name} is never used")
    return report(check, len(policies))


def report(check, policies=0):
    for fault in check.faults:
        print(f"template check: {fault}")
    if check.faults:
        print(f"template check: {len(check.faults)} fault(s)")
        return 1
    print(f"template check: {policies} policies agree with the programs")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
