#!/usr/bin/env python3
"""Writes a host source that links every function and class the installed
headers declare.

Usage: declared.py <clang++> <out.cpp> <header-folder>... -- <compiler flags>

Every *.h under the header folders is parsed with clang's AST dump. For each
function defined elsewhere (not inline, deleted, defaulted or pure) the
source holds a function that calls it with its exact parameter types, member
functions through a class derived from theirs (a qualified call, so that a
virtual one is named too); each class with a user-declared constructor or
destructor gets them called from the derived class, and a polymorphic class's
type information is used through it. A declaration the libraries do not
export then fails the link of the host. Templates are left out: they are
defined where they are declared.
"""

import json
import os
import subprocess
import sys


def headers_under(folders):
    found = []
    for folder in folders:
        for root, _, files in os.walk(folder):
            found += [os.path.realpath(os.path.join(root, f)) for f in sorted(files) if f.endswith(".h")]
    return sorted(set(found))


def annotate(value, state):
    """Gives every declaration its file as "_file". clang names a location's
    file only when it differs from the location printed before it, so the
    dump is read in document order."""
    if isinstance(value, dict):
        if "file" in value:
            state[0] = os.path.realpath(value["file"])
        for key, item in list(value.items()):
            if key != "includedFrom":
                annotate(item, state)
            if key == "loc" and "kind" in value:
                value["_file"] = state[0]
    elif isinstance(value, list):
        for item in value:
            annotate(item, state)


class Walker:
    def __init__(self, headers):
        self.headers = set(headers)
        self.functions = []  # (namespace list, decl)
        self.classes = []  # (namespace list, qualified class name, record decl, members)

    def walk(self, decls, namespaces):
        for decl in decls:
            kind = decl.get("kind", "")
            ours = decl.get("_file") in self.headers
            if kind == "NamespaceDecl":
                name = decl.get("name", "")
                inner = namespaces + [name] if namespaces is not None and name else None
                self.walk(decl.get("inner", []), inner)
                continue
            if kind == "LinkageSpecDecl":
                self.walk(decl.get("inner", []), namespaces)
                continue
            if namespaces is None or not ours:
                continue
            if kind == "FunctionDecl" and linked_elsewhere(decl):
                self.functions.append((namespaces, decl))
            elif kind == "VarDecl" and decl.get("storageClass") == "extern":
                self.functions.append((namespaces, decl))
            elif kind == "CXXRecordDecl" and decl.get("completeDefinition"):
                self.record(decl, namespaces, decl["name"])

    def record(self, decl, namespaces, qualified):
        access = "public" if decl.get("tagUsed") in ("struct", "union") else "private"
        members = []
        for member in decl.get("inner", []):
            kind = member.get("kind", "")
            if kind == "AccessSpecDecl":
                access = member["access"]
                continue
            if kind == "CXXRecordDecl" and member.get("completeDefinition") and not member.get("isImplicit"):
                if access != "private" and member.get("name"):
                    self.record(member, namespaces, qualified + "::" + member["name"])
                continue
            if access == "private" or member.get("isImplicit"):
                continue
            if kind in ("CXXMethodDecl", "CXXConstructorDecl", "CXXDestructorDecl", "CXXConversionDecl"):
                members.append((kind, member))
            elif kind == "VarDecl" and decl_is_static_member(member):
                members.append((kind, member))
        self.classes.append((namespaces, qualified, decl, members))


def linked_elsewhere(decl):
    if decl.get("isImplicit") or decl.get("inline") or decl.get("constexpr"):
        return False
    if decl.get("explicitlyDeleted") or decl.get("explicitlyDefaulted") or decl.get("pure"):
        return False
    if decl.get("storageClass") == "static" and decl.get("kind") == "FunctionDecl":
        return False
    return not any(item.get("kind") == "CompoundStmt" for item in decl.get("inner", []))


def decl_is_static_member(decl):
    return decl.get("storageClass") == "static" and not decl.get("inline") and not decl.get("constexpr")


def parameters(decl):
    types = [p["type"]["qualType"] for p in decl.get("inner", []) if p.get("kind") == "ParmVarDecl"]
    declared = ", ".join("qel_declared_type<%s> a%d" % (t, i) for i, t in enumerate(types))
    passed = ", ".join("static_cast<decltype(a%d)&&>(a%d)" % (i, i) for i in range(len(types)))
    return declared, passed


def suffix(function_type):
    """The qualifiers after the parameter list of a function type."""
    return function_type[function_type.rfind(")") + 1 :]


def generate(walker, headers):
    out = ["// Generated by tests/package/declared.py from the installed headers.", ""]
    out += ['#include "%s"' % h for h in headers]
    out += ["", "template <class T>", "using qel_declared_type = T;", ""]
    count = 0
    for namespaces, decl in walker.functions:
        count += 1
        name = decl["name"]
        open_ns = "".join("namespace %s { " % n for n in namespaces)
        close_ns = "} " * len(namespaces)
        if decl["kind"] == "VarDecl":
            body = "void qel_declared_%d() { (void)&%s; }" % (count, name)
        else:
            declared, passed = parameters(decl)
            body = "void qel_declared_%d(%s) { (void)%s(%s); }" % (count, declared, name, passed)
        out.append("%s%s %s// %s" % (open_ns, body, close_ns, "::".join(namespaces + [name])))
    for namespaces, qualified, decl, members in walker.classes:
        count += 1
        derived = "qel_declared_%d" % count
        inside, outside = [], []
        for kind, member in members:
            if kind == "CXXConstructorDecl":
                if not linked_elsewhere(member):
                    continue
                declared, passed = parameters(member)
                inside.append("  %s(%s);" % (derived, declared))
                outside.append("%s::%s(%s) : %s(%s) {}" % (derived, derived, declared, qualified, passed))
            elif kind == "CXXDestructorDecl":
                if not linked_elsewhere(member):
                    continue
                inside.append("  ~%s();" % derived)
                outside.append("%s::~%s() {}" % (derived, derived))
            elif kind == "VarDecl":
                use = "use_%d" % len(inside)
                inside.append("  void %s();" % use)
                outside.append("void %s::%s() { (void)&%s::%s; }" % (derived, use, qualified, member["name"]))
            elif linked_elsewhere(member):
                declared, passed = parameters(member)
                use = "use_%d" % len(inside)
                inside.append("  void %s(%s);" % (use, declared))
                qualifiers = suffix(member["type"]["qualType"])
                if member.get("storageClass") == "static":
                    target = "%s::%s" % (qualified, member["name"])
                elif "&&" in qualifiers:
                    target = "static_cast<%s&&>(*this).%s::%s" % (qualified, qualified, member["name"])
                else:
                    target = "this->%s::%s" % (qualified, member["name"])
                outside.append("void %s::%s(%s) { (void)%s(%s); }" % (derived, use, declared, target, passed))
        if decl.get("definitionData", {}).get("isPolymorphic"):
            use = "use_%d" % len(inside)
            inside.append("  static const void* %s();" % use)
            outside.append("const void* %s::%s() { return &typeid(%s); }" % (derived, use, qualified))
        if not inside:
            continue
        out.append("// %s" % "::".join(namespaces + [qualified]))
        out.append("".join("namespace %s { " % n for n in namespaces))
        out.append("struct %s : %s {" % (derived, qualified))
        out += inside
        out.append("};")
        out += outside
        out.append("} " * len(namespaces))
    out += ["", "int main() { return 0; }", ""]
    return "\n".join(out), len(walker.functions), len(walker.classes)


def main():
    args = sys.argv[1:]
    split = args.index("--") if "--" in args else len(args)
    clang, target, folders, flags = args[0], args[1], args[2:split], args[split + 1 :]
    headers = headers_under(folders)
    if not headers:
        sys.exit("declared.py: no headers under %s" % " ".join(folders))
    source = "".join('#include "%s"\n' % h for h in headers)
    dump = subprocess.run(
        [clang, "-x", "c++", "-std=c++17", "-fsyntax-only", "-Xclang", "-ast-dump=json"] + flags + ["-"],
        input=source.encode(),
        stdout=subprocess.PIPE,
        check=True,
    ).stdout
    tree = json.loads(dump)
    sys.setrecursionlimit(100000)
    annotate(tree, [""])
    walker = Walker(headers)
    walker.walk(tree.get("inner", []), [])
    text, functions, classes = generate(walker, headers)
    if functions == 0 or classes == 0:
        sys.exit("declared.py: found %d functions and %d classes: the headers were not read" % (functions, classes))
    with open(target, "w") as f:
        f.write(text)
    print("declared.py: %d headers, %d functions, %d classes" % (len(headers), functions, classes))


if __name__ == "__main__":
    main()
