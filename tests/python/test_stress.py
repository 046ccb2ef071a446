"""Whole calls on random texts and random mutations of them (a line dropped, doubled or cut):
every call answers a dict or a reader's message within a small time budget. Each call runs in
a child process, so a hang or a crash fails the test instead of stopping the run."""

import random

import pytest

from call_budget import ALLOWED, run_calls
from random_texts import GENERATORS, texts

# Generous for texts of a few lines over narrow domains, which all answer in milliseconds.
BUDGET_SECONDS = 5.0


@pytest.mark.parametrize("function", list(GENERATORS))
def test_random_and_mutated_texts_answer_within_budget(function):
    rng = random.Random(f"stress-{function}")
    batch = texts(rng, function, 150)
    results = run_calls([(function, text) for text in batch], BUDGET_SECONDS)
    for text, (kind, seconds) in zip(batch, results):
        assert kind in ALLOWED, f"{function} answered {kind} after {seconds:.2f} s on:\n{text}"
