"""Solves one problem of each kind with mekra and prints the answers."""

import mekra

SAT = """c (x1 or not x2) and (x2 or x3) and (not x1 or not x3)
p cnf 3 3
1 -2 0
2 3 0
-1 -3 0
"""

LP = """max 3*x0 + 2*x1
x0 + x1 <= 4
x0 + 3*x1 <= 6
"""

MILP = """# a knapsack: values 5, 4, 3 and weights 2, 3, 1, capacity 4, at most one of each
max 5*x0 + 4*x1 + 3*x2
2*x0 + 3*x1 + x2 <= 4
x0 <= 1
x1 <= 1
x2 <= 1
int x0
int x1
int x2
"""

CP = """# three different digits in increasing order that add up to 12
var a 1 9
var b 1 9
var c 1 9
alldifferent a b c
linear 1 a 1 b 1 c 12 eq
lt a b
lt b c
"""

for name, function, text in [
    ("SAT", mekra.solve_sat, SAT),
    ("LP", mekra.solve_lp_text, LP),
    ("MILP", mekra.solve_milp_text, MILP),
    ("CP", mekra.solve_cp_text, CP),
]:
    print(f"{name:5} {function.__name__}: {function(text)}")
