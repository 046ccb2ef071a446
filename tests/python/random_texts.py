"""Random problem texts for the four calls, and random mutations of them (a line dropped,
doubled or cut), for stress runs of whole calls. Everything is drawn from a random.Random, so
a seed names a text."""

BIG = [10**6, 10**9, 10**12, 2**62, 2**63 - 1]


def _int(rng, wide):
    if wide and rng.random() < 0.3:
        return rng.choice([1, -1]) * rng.choice(BIG) + rng.randint(-2, 2)
    return rng.randint(-6, 6)


def cp_text(rng, wide=False):
    """A CP model of a few lines. `wide`: domains and constants may reach far."""
    names = ["x", "y", "z", "w", "v"][: rng.randint(1, 5)]
    lines = []
    for name in names:
        lo = _int(rng, wide)
        hi = lo + (rng.choice([0, 1, 3, 8]) if not wide or rng.random() < 0.5 else rng.choice(BIG))
        lines.append(f"var {name} {lo} {min(hi, 2**63 - 1)}")
    for _ in range(rng.randint(0, 5)):
        pick = lambda: rng.choice(names)
        kind = rng.choice(["eq", "neq", "lt", "le", "linear", "allDiff", "alldifferent"])
        if kind in ("eq", "neq", "lt"):
            lines.append(f"{kind} {pick()} {pick()}")
        elif kind == "le":
            lines.append(f"le {pick()} {pick()} {_int(rng, wide)}")
        elif kind == "linear":
            terms = " ".join(f"{_int(rng, wide)} {pick()}" for _ in range(rng.randint(1, 4)))
            lines.append(f"linear {terms} {_int(rng, wide)} {rng.choice(['le', 'eq', 'ge'])}")
        else:
            lines.append(kind + " " + " ".join(pick() for _ in range(rng.randint(2, 4))))
    rng.shuffle(lines) if rng.random() < 0.1 else None
    return "\n".join(lines)


def dimacs_text(rng, wide=False):
    variables = rng.randint(1, 12 if not wide else 30)
    clauses = rng.randint(0, 4 * variables)
    lines = [f"p cnf {variables} {clauses}"]
    for _ in range(clauses):
        width = rng.randint(1, 3)
        lines.append(" ".join(str(rng.choice([1, -1]) * rng.randint(1, variables)) for _ in range(width)) + " 0")
    return "\n".join(lines)


def _number(rng, wide):
    if wide and rng.random() < 0.2:
        return rng.choice(["1e15", "123456789.123456789", "1/3", "0.000001", "9e18"])
    return str(rng.choice([rng.randint(-5, 9), round(rng.uniform(-5, 9), rng.randint(0, 3))]))


def lp_text(rng, wide=False, integers=False):
    n = rng.randint(1, 4)
    term = lambda: f"{_number(rng, wide).split('/')[0]}*x{rng.randrange(n)}"
    lines = []
    if rng.random() < 0.85:
        lines.append(rng.choice(["max", "min"]) + " " + " + ".join(term() for _ in range(rng.randint(1, n))))
    for _ in range(rng.randint(0, 4)):
        lhs = " + ".join(term() for _ in range(rng.randint(1, 3)))
        lines.append(f"{lhs} {rng.choice(['<=', '>=', '='])} {_number(rng, wide).split('/')[0]}")
    for v in range(n):
        if rng.random() < 0.5:
            lines.append(f"x{v} <= {rng.randint(0, 9)}")
        if integers and rng.random() < 0.7:
            lines.append(f"int x{v}")
    return "\n".join(lines)


def milp_text(rng, wide=False):
    return lp_text(rng, wide, integers=True)


GENERATORS = {
    "solve_cp_text": cp_text,
    "solve_sat": dimacs_text,
    "solve_lp_text": lp_text,
    "solve_milp_text": milp_text,
}


def mutate(rng, text):
    """One to three edits: a line dropped, a line doubled, or a line cut at a random place."""
    lines = text.split("\n")
    for _ in range(rng.randint(1, 3)):
        if not lines:
            break
        i = rng.randrange(len(lines))
        edit = rng.choice(["drop", "double", "cut"])
        if edit == "drop":
            del lines[i]
        elif edit == "double":
            lines.insert(i, lines[i])
        else:
            lines[i] = lines[i][: rng.randint(0, len(lines[i]))]
    return "\n".join(lines)


def texts(rng, function, count, wide=False):
    """`count` texts for `function`: about half fresh, half mutated."""
    make = GENERATORS[function]
    result = []
    for _ in range(count):
        text = make(rng, wide)
        result.append(mutate(rng, text) if rng.random() < 0.5 else text)
    return result
