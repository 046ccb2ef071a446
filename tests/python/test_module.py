"""The module surface: import, attributes, argument binding and its messages."""

import importlib
import inspect
import sys

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import mekra


def test_all_lists_the_functions_in_order():
    assert mekra.__all__ == ["solve_sat", "solve_lp_text", "solve_milp_text", "solve_cp_text"]
    assert mekra.__doc__ == "Python module: `mekra`."
    assert mekra.__name__ == "mekra"


def test_reimport_gives_the_same_module():
    first = sys.modules.pop("mekra")
    try:
        again = importlib.import_module("mekra")
        assert again is first
    finally:
        sys.modules["mekra"] = first


DOCS = {
    "solve_sat": "Solve a SAT problem from DIMACS CNF text.\nReturns a dict with keys: status, model (if SAT).",
    "solve_lp_text": "Solve an LP problem from text.",
    "solve_milp_text": "Solve a MILP problem from text.",
    "solve_cp_text": "Solve a CP problem from text.",
}


def test_function_attributes(function_name):
    f = getattr(mekra, function_name)
    assert f.__name__ == function_name
    assert f.__text_signature__ == "(input)"
    assert f.__doc__ == DOCS[function_name]
    assert f.__module__ == "mekra"
    assert f.__self__ is mekra
    assert str(inspect.signature(f)) == "(input)"


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "{}() missing 1 required positional argument: 'input'"),
        (("a", "b"), {}, "{}() takes 1 positional arguments but 2 were given"),
        (("a", "b", "c"), {}, "{}() takes 1 positional arguments but 3 were given"),
        (("a",), {"input": "b"}, "{}() got multiple values for argument 'input'"),
        ((), {"text": "x"}, "{}() got an unexpected keyword argument 'text'"),
        ((), {"input": "x", "text": "y"}, "{}() got an unexpected keyword argument 'text'"),
        # the positional count is checked before any keyword
        (("a", "b"), {"text": "y"}, "{}() takes 1 positional arguments but 2 were given"),
        # keywords are checked in the order given
        (("a",), {"text": "y", "input": "x"}, "{}() got an unexpected keyword argument 'text'"),
        (("a",), {"input": "x", "text": "y"}, "{}() got multiple values for argument 'input'"),
        ((b"x",), {}, "argument 'input': 'bytes' object cannot be converted to 'PyString'"),
        ((1,), {}, "argument 'input': 'int' object cannot be converted to 'PyString'"),
        ((None,), {}, "argument 'input': 'NoneType' object cannot be converted to 'PyString'"),
        ((), {"input": 2.5}, "argument 'input': 'float' object cannot be converted to 'PyString'"),
    ],
)
def test_argument_errors(function_name, args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        getattr(mekra, function_name)(*args, **kwargs)
    assert str(caught.value) == message.format(function_name)
    assert caught.type is TypeError


def test_type_error_names_a_nested_class_by_its_qualified_name(function_name):
    class Outer:
        class Inner:
            pass

    with pytest.raises(TypeError, match=r"'test_type_error_names_a_nested_class_by_its_qualified_name"
                                        r"\.<locals>\.Outer\.Inner' object cannot"):
        getattr(mekra, function_name)(Outer.Inner())


def test_lone_surrogate_raises_the_interpreters_unicode_error(function_name):
    with pytest.raises(UnicodeEncodeError):
        getattr(mekra, function_name)("p cnf 1 1\n\ud800")


class _Text(str):
    pass


# Any code point, lone surrogates included.
any_str = st.lists(st.integers(0, 0x10FFFF), max_size=24).map(lambda points: "".join(map(chr, points)))


@pytest.mark.parametrize("name", ["solve_sat", "solve_lp_text", "solve_milp_text", "solve_cp_text"])
@settings(max_examples=150, deadline=None)
@given(text=any_str, subclass=st.booleans())
def test_a_str_never_raises_type_error(name, text, subclass):
    # A str (or subclass) is turned into UTF-8 by the interpreter, which fails only with its own
    # error: a lone surrogate raises UnicodeEncodeError as it is, never a reworded TypeError.
    f = getattr(mekra, name)
    try:
        result = f(_Text(text) if subclass else text)
    except UnicodeEncodeError as error:
        assert any(0xD800 <= ord(c) <= 0xDFFF for c in text)
        assert error.__cause__ is None
    except (ValueError, MemoryError):
        pass
    else:
        assert isinstance(result, dict)


def test_unexpected_keyword_is_named_by_its_str(function_name):
    f = getattr(mekra, function_name)
    with pytest.raises(TypeError, match=r"unexpected keyword argument 'inpu'"):
        f(**{"inpu": "x"})


def test_positional_and_keyword_give_the_same_answer():
    assert mekra.solve_sat(input="p cnf 0 0") == mekra.solve_sat("p cnf 0 0")


def test_str_subclass_is_accepted():
    class Text(str):
        pass

    with pytest.raises(ValueError, match="missing 'p cnf' header"):
        mekra.solve_sat(Text("c just a comment"))
    assert mekra.solve_sat(Text("p cnf 0 0")) == mekra.solve_sat("p cnf 0 0")


def test_functions_are_builtins_bound_to_the_module():
    for name in mekra.__all__:
        assert type(getattr(mekra, name)).__name__ == "builtin_function_or_method"
